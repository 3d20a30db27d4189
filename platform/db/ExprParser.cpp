#include "platform/db/ExprParser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace {

const char* const kFunctionNames[] = {"UPPER", "LOWER",  "SUBSTRING", "TRIM",   "TRIMLEFT", "TRIMRIGHT",
                                      "GETDATE", "YEAR", "MONTH",     "DAY",    "HOUR",     "MINUTE",
                                      "SECOND",  "DATE", "TIME"};

enum class Tk { End, Ident, Field, String, Number, Symbol };

struct Token {
    Tk kind = Tk::End;
    std::string text;   // as written
    std::string value;  // identifier / field name / dequoted text / number text / symbol
    std::size_t pos = 0;
};

bool IsIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsIdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

class Parser {
public:
    Parser(const std::string& text, TFilterOptions options) : text_(text), options_(options) {}

    std::unique_ptr<TExprNode> Run() {
        Advance();
        if (tok_.kind == Tk::End) return nullptr;
        auto root = ParseOr();
        if (tok_.kind != Tk::End) Fail("operator or end of text expected");
        return root;
    }

private:
    // ----- errors

    int CharPos(std::size_t bytePos) const {
        return static_cast<int>(utf8::CharCount(std::string_view(text_).substr(0, bytePos))) + 1;
    }

    [[noreturn]] void FailAt(std::size_t pos, const std::string& token, const std::string& what) const {
        const int p = CharPos(pos);
        std::string msg = "Invalid filter expression at position " + std::to_string(p) + ", ";
        msg += token.empty() ? std::string("end of text") : "\"" + token + "\"";
        msg += ": " + what;
        throw EExprParserError(msg, p, token);
    }
    [[noreturn]] void Fail(const std::string& what) const { FailAt(tok_.pos, tok_.text, what); }

    // ----- scanning

    void Advance() {
        const std::size_t n = text_.size();
        while (pos_ < n && static_cast<unsigned char>(text_[pos_]) <= ' ') ++pos_;
        tok_ = Token{};
        tok_.pos = pos_;
        if (pos_ >= n) return;
        const unsigned char c = static_cast<unsigned char>(text_[pos_]);
        const std::size_t start = pos_;
        if (c == '\'' || c == '"') {
            std::string value;
            ++pos_;
            for (;;) {
                if (pos_ >= n) {
                    tok_.text = text_.substr(start);
                    FailAt(start, tok_.text, "closing quote missing");
                }
                if (static_cast<unsigned char>(text_[pos_]) == c) {
                    if (pos_ + 1 < n && static_cast<unsigned char>(text_[pos_ + 1]) == c) {
                        value.push_back(static_cast<char>(c));
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    break;
                }
                value.push_back(text_[pos_++]);
            }
            tok_.kind = Tk::String;
            tok_.value = std::move(value);
        } else if (c == '[') {
            const std::size_t close = text_.find(']', pos_ + 1);
            if (close == std::string::npos) FailAt(start, text_.substr(start), "closing \"]\" missing");
            tok_.kind = Tk::Field;
            tok_.value = Trim(std::string_view(text_).substr(pos_ + 1, close - pos_ - 1));
            pos_ = close + 1;
            if (tok_.value.empty()) FailAt(start, text_.substr(start, pos_ - start), "field name missing");
        } else if (std::isdigit(c) || (c == '.' && pos_ + 1 < n && std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
            while (pos_ < n && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
            if (pos_ < n && text_[pos_] == '.') {
                ++pos_;
                while (pos_ < n && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
            }
            if (pos_ < n && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
                std::size_t p = pos_ + 1;
                if (p < n && (text_[p] == '+' || text_[p] == '-')) ++p;
                if (p < n && std::isdigit(static_cast<unsigned char>(text_[p]))) {
                    while (p < n && std::isdigit(static_cast<unsigned char>(text_[p]))) ++p;
                    pos_ = p;
                }
            }
            if (pos_ < n && IsIdentChar(static_cast<unsigned char>(text_[pos_]))) {
                std::size_t p = pos_;
                while (p < n && IsIdentChar(static_cast<unsigned char>(text_[p]))) ++p;
                FailAt(start, text_.substr(start, p - start), "invalid number");
            }
            tok_.kind = Tk::Number;
            tok_.value = text_.substr(start, pos_ - start);
        } else if (IsIdentStart(c)) {
            while (pos_ < n && IsIdentChar(static_cast<unsigned char>(text_[pos_]))) ++pos_;
            tok_.kind = Tk::Ident;
            tok_.value = text_.substr(start, pos_ - start);
        } else {
            static const char* const kTwo[] = {"<>", "<=", ">=", "!="};
            for (const char* s : kTwo) {
                if (text_.compare(pos_, 2, s) == 0) {
                    pos_ += 2;
                    tok_.kind = Tk::Symbol;
                    tok_.value = s;
                    break;
                }
            }
            if (tok_.kind == Tk::End) {
                if (std::string_view("()=<>+-*/%,").find(static_cast<char>(c)) == std::string_view::npos) {
                    std::size_t p = pos_;
                    utf8::Next(text_, p);
                    FailAt(start, text_.substr(start, p - start), "unexpected character");
                }
                ++pos_;
                tok_.kind = Tk::Symbol;
                tok_.value = std::string(1, static_cast<char>(c));
            }
        }
        tok_.text = text_.substr(start, pos_ - start);
    }

    bool IsSymbol(const char* s) const { return tok_.kind == Tk::Symbol && tok_.value == s; }
    bool IsKeyword(const char* k) const { return tok_.kind == Tk::Ident && SameText(tok_.value, k); }
    // Looks at the token after the current one without consuming anything.
    Token Peek() {
        const std::size_t savePos = pos_;
        const Token save = tok_;
        Advance();
        Token next = tok_;
        pos_ = savePos;
        tok_ = save;
        return next;
    }
    void Expect(const char* symbol, const char* what) {
        if (!IsSymbol(symbol)) Fail(what);
        Advance();
    }

    // ----- nodes

    std::unique_ptr<TExprNode> Node(TExprNodeClass cls, TCANOperator op, std::size_t pos) const {
        auto node = std::make_unique<TExprNode>();
        node->NodeClass = cls;
        node->Operator = op;
        node->Position = CharPos(pos);
        return node;
    }

    std::unique_ptr<TExprNode> With(std::unique_ptr<TExprNode> node, std::unique_ptr<TExprNode> a,
                                    std::unique_ptr<TExprNode> b = nullptr) {
        int depth = a->Depth;
        if (b) depth = std::max(depth, b->Depth);
        node->Depth = depth + 1;
        if (node->Depth > TExprParser::MaxDepth) FailAt(tok_.pos, tok_.text, "expression too long or too deeply nested");
        node->Operands.push_back(std::move(a));
        if (b) node->Operands.push_back(std::move(b));
        return node;
    }

    std::unique_ptr<TExprNode> Unary(TCANOperator op, std::size_t pos, std::unique_ptr<TExprNode> a) {
        return With(Node(enUnary, op, pos), std::move(a));
    }
    std::unique_ptr<TExprNode> Binary(TCANOperator op, std::size_t pos, std::unique_ptr<TExprNode> a,
                                      std::unique_ptr<TExprNode> b) {
        return With(Node(enBinary, op, pos), std::move(a), std::move(b));
    }

    struct Nest {
        explicit Nest(Parser& p) : p_(p) {
            if (++p_.nesting_ > TExprParser::MaxNesting) p_.Fail("expression nested too deeply");
        }
        ~Nest() { --p_.nesting_; }
        Parser& p_;
    };

    // ----- grammar

    std::unique_ptr<TExprNode> ParseOr() {
        auto left = ParseAnd();
        while (IsKeyword("OR")) {
            const std::size_t pos = tok_.pos;
            Advance();
            left = Binary(coOR, pos, std::move(left), ParseAnd());
        }
        return left;
    }

    std::unique_ptr<TExprNode> ParseAnd() {
        auto left = ParseNot();
        while (IsKeyword("AND")) {
            const std::size_t pos = tok_.pos;
            Advance();
            left = Binary(coAND, pos, std::move(left), ParseNot());
        }
        return left;
    }

    std::unique_ptr<TExprNode> ParseNot() {
        if (IsKeyword("NOT")) {
            Nest nest(*this);
            const std::size_t pos = tok_.pos;
            Advance();
            return Unary(coNOT, pos, ParseNot());
        }
        return ParseComparison();
    }

    static bool IsTextConstant(const TExprNode* n) {
        return n->NodeClass == enConst && n->Operator == coCONST2 && n->DataType == ftString;
    }

    std::unique_ptr<TExprNode> Comparison(TCANOperator op, std::size_t pos, std::unique_ptr<TExprNode> left,
                                          std::unique_ptr<TExprNode> right) {
        if (op == coEQ || op == coNE) {
            TExprNode* text = IsTextConstant(right.get()) ? right.get() : (IsTextConstant(left.get()) ? left.get() : nullptr);
            if (text != nullptr) {
                bool partial = false;
                int partialLength = 0;
                const std::string s = text->Value.AsString();
                if (!options_.Contains(foNoPartialCompare) && !s.empty() && s.back() == '*') {
                    partial = true;
                    text->Value = Variant(s.substr(0, s.size() - 1));
                    partialLength = Length(text->Value.AsString());
                }
                if (partial || options_.Contains(foCaseInsensitive)) {
                    auto node = With(Node(enCompare, op, pos), std::move(left), std::move(right));
                    node->CaseInsensitive = options_.Contains(foCaseInsensitive);
                    node->Partial = partial;
                    node->PartialLength = partialLength;
                    return node;
                }
            }
        }
        return Binary(op, pos, std::move(left), std::move(right));
    }

    std::unique_ptr<TExprNode> ParseComparison() {
        auto left = ParseAdditive();
        static const struct {
            const char* sym;
            TCANOperator op;
        } kOps[] = {{"=", coEQ}, {"<>", coNE}, {"!=", coNE}, {"<", coLT}, {">", coGT}, {"<=", coLE}, {">=", coGE}};
        for (const auto& o : kOps) {
            if (IsSymbol(o.sym)) {
                const std::size_t pos = tok_.pos;
                Advance();
                return Comparison(o.op, pos, std::move(left), ParseAdditive());
            }
        }
        const std::size_t pos = tok_.pos;
        if (IsKeyword("IS")) {
            Advance();
            bool negate = false;
            if (IsKeyword("NOT")) {
                negate = true;
                Advance();
            }
            if (!IsKeyword("NULL")) Fail("NULL expected");
            Advance();
            return Unary(negate ? coNOTBLANK : coISBLANK, pos, std::move(left));
        }
        bool negate = false;
        if (IsKeyword("NOT")) {
            const Token next = Peek();
            if (next.kind == Tk::Ident && (SameText(next.value, "LIKE") || SameText(next.value, "IN"))) {
                negate = true;
                Advance();
            } else {
                return left;
            }
        }
        std::unique_ptr<TExprNode> result;
        if (IsKeyword("LIKE")) {
            Advance();
            result = Binary(coLIKE, pos, std::move(left), ParseAdditive());
        } else if (IsKeyword("IN")) {
            Advance();
            if (!IsSymbol("(")) Fail("\"(\" expected after IN");
            result = Binary(coIN, pos, std::move(left), ParseList());
        } else {
            return left;
        }
        return negate ? Unary(coNOT, pos, std::move(result)) : std::move(result);
    }

    // "(" a, b, ... ")" with the current token on "(".
    std::unique_ptr<TExprNode> ParseList() {
        Nest nest(*this);
        auto list = Node(enListElem, coLISTELEM2, tok_.pos);
        Advance();
        if (IsSymbol(")")) Fail("list element expected");
        int depth = 0;
        for (;;) {
            auto element = ParseOr();
            depth = std::max(depth, element->Depth);
            list->Operands.push_back(std::move(element));
            if (IsSymbol(",")) {
                Advance();
                continue;
            }
            Expect(")", "\",\" or \")\" expected");
            break;
        }
        list->Depth = depth + 1;
        return list;
    }

    std::unique_ptr<TExprNode> ParseAdditive() {
        auto left = ParseMultiplicative();
        for (;;) {
            TCANOperator op;
            if (IsSymbol("+")) op = coADD;
            else if (IsSymbol("-")) op = coSUB;
            else return left;
            const std::size_t pos = tok_.pos;
            Advance();
            left = Binary(op, pos, std::move(left), ParseMultiplicative());
        }
    }

    std::unique_ptr<TExprNode> ParseMultiplicative() {
        auto left = ParseSign();
        for (;;) {
            TCANOperator op;
            if (IsSymbol("*")) op = coMUL;
            else if (IsSymbol("/")) op = coDIV;
            else if (IsSymbol("%")) op = coREM;
            else if (IsKeyword("MOD")) op = coMOD;
            else return left;
            const std::size_t pos = tok_.pos;
            Advance();
            left = Binary(op, pos, std::move(left), ParseSign());
        }
    }

    std::unique_ptr<TExprNode> ParseSign() {
        if (IsSymbol("-") || IsSymbol("+")) {
            Nest nest(*this);
            const bool minus = IsSymbol("-");
            const std::size_t pos = tok_.pos;
            Advance();
            if (minus && tok_.kind == Tk::Number) {
                // A negative literal stays a constant, so that the most
                // negative integer is written as it reads.
                auto c = Number("-" + tok_.value, pos);
                Advance();
                return c;
            }
            auto operand = ParseSign();
            return minus ? Unary(coMINUS, pos, std::move(operand)) : std::move(operand);
        }
        return ParsePrimary();
    }

    std::unique_ptr<TExprNode> Constant(Variant value, TFieldType type, std::size_t pos) const {
        auto c = Node(enConst, coCONST2, pos);
        c->Value = std::move(value);
        c->DataType = type;
        return c;
    }

    std::unique_ptr<TExprNode> Number(const std::string& s, std::size_t pos) const {
        if (s.find_first_of(".eE") == std::string::npos) {
            errno = 0;
            char* end = nullptr;
            const long long v = std::strtoll(s.c_str(), &end, 10);
            if (errno == 0 && end != nullptr && *end == '\0') {
                if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
                    return Constant(Variant(static_cast<int>(v)), ftInteger, pos);
                return Constant(Variant(v), ftLargeint, pos);
            }
        }
        errno = 0;
        char* end = nullptr;
        // strtod follows the C locale: "." is the decimal point whatever the user's settings.
        const double d = std::strtod(s.c_str(), &end);
        if (end == nullptr || *end != '\0' || !std::isfinite(d)) FailAt(pos, s, "number out of range");
        return Constant(Variant(d), ftFloat, pos);
    }

    std::unique_ptr<TExprNode> ParsePrimary() {
        const std::size_t pos = tok_.pos;
        switch (tok_.kind) {
            case Tk::Number: {
                auto c = Number(tok_.value, pos);
                Advance();
                return c;
            }
            case Tk::String: {
                auto c = Constant(Variant(tok_.value), ftString, pos);
                Advance();
                return c;
            }
            case Tk::Field: {
                auto f = Node(enField, coFIELD2, pos);
                f->Name = tok_.value;
                Advance();
                return f;
            }
            case Tk::Ident: {
                if (IsKeyword("NULL")) {
                    Advance();
                    return Constant(Null(), ftUnknown, pos);
                }
                if (IsKeyword("TRUE") || IsKeyword("FALSE")) {
                    const bool v = IsKeyword("TRUE");
                    Advance();
                    return Constant(Variant(v), ftBoolean, pos);
                }
                static const char* const kReserved[] = {"AND", "OR", "NOT", "LIKE", "IN", "IS", "MOD"};
                for (const char* k : kReserved)
                    if (IsKeyword(k)) Fail("operand expected");
                const std::string name = tok_.value;
                const std::string text = tok_.text;
                Advance();
                if (IsSymbol("(")) {
                    if (!TExprParser::IsFunctionName(name)) FailAt(pos, text, "unknown function");
                    auto fn = Node(enFunc, coFUNC2, pos);
                    fn->Name = UpperCase(name);
                    if (Peek().kind == Tk::Symbol && Peek().value == ")") {
                        Advance();
                        Advance();
                        return fn;
                    }
                    auto args = ParseList();
                    fn->Depth = args->Depth + 1;
                    fn->Operands.push_back(std::move(args));
                    return fn;
                }
                auto f = Node(enField, coFIELD2, pos);
                f->Name = name;
                return f;
            }
            case Tk::Symbol:
                if (IsSymbol("(")) {
                    Nest nest(*this);
                    Advance();
                    auto inner = ParseOr();
                    Expect(")", "\")\" expected");
                    return inner;
                }
                Fail("operand expected");
            case Tk::End:
                Fail("operand expected");
        }
        Fail("operand expected");
    }

    const std::string& text_;
    TFilterOptions options_;
    std::size_t pos_ = 0;
    Token tok_;
    int nesting_ = 0;
};

void CollectFields(const TExprNode* n, std::vector<std::string>& out) {
    if (n == nullptr) return;
    if (n->NodeClass == enField) {
        for (const std::string& s : out)
            if (SameText(s, n->Name)) return;
        out.push_back(n->Name);
        return;
    }
    for (const auto& op : n->Operands) CollectFields(op.get(), out);
}

std::string Quote(const std::string& s) { return AnsiQuotedStr(s, '\''); }

const char* OperatorText(TCANOperator op) {
    switch (op) {
        case coEQ: return "=";
        case coNE: return "<>";
        case coGT: return ">";
        case coLT: return "<";
        case coGE: return ">=";
        case coLE: return "<=";
        case coAND: return "AND";
        case coOR: return "OR";
        case coADD: return "+";
        case coSUB: return "-";
        case coMUL: return "*";
        case coDIV: return "/";
        case coMOD: return "MOD";
        case coREM: return "%";
        case coLIKE: return "LIKE";
        case coIN: return "IN";
        default: return "?";
    }
}

std::string ConstantText(const TExprNode* n) {
    const Variant& v = n->Value;
    if (v.IsNull() || v.IsEmpty()) return "NULL";
    switch (n->DataType) {
        case ftBoolean: return v.AsBoolean() ? "TRUE" : "FALSE";
        case ftInteger:
        case ftSmallint:
        case ftWord:
        case ftLargeint:
        case ftAutoInc: return std::to_string(v.AsInt64());
        case ftFloat:
        case ftCurrency: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.17g", v.AsDouble());
            std::string s = buf;
            if (s.find_first_of(".e") == std::string::npos) s += ".0";
            return s;
        }
        default: return Quote(v.AsString());
    }
}

}  // namespace

TExprParser::TExprParser(const std::string& Text, TFilterOptions Options) : text_(Text), options_(Options) {
    Parser parser(text_, options_);
    root_ = parser.Run();
}

std::vector<std::string> TExprParser::FieldNames() const {
    std::vector<std::string> out;
    CollectFields(root_.get(), out);
    return out;
}

bool TExprParser::IsFunctionName(const std::string& Name) {
    for (const char* f : kFunctionNames)
        if (SameText(Name, f)) return true;
    return false;
}

namespace db {

std::string ExprNodeToText(const TExprNode* n) {
    if (n == nullptr) return "";
    switch (n->NodeClass) {
        case enField: return "[" + n->Name + "]";
        case enConst: return ConstantText(n);
        case enUnary: {
            const std::string a = ExprNodeToText(n->Operand(0));
            switch (n->Operator) {
                case coISBLANK: return "(" + a + " IS NULL)";
                case coNOTBLANK: return "(" + a + " IS NOT NULL)";
                case coNOT: return "(NOT " + a + ")";
                case coMINUS: return "(-(" + a + "))";
                case coUPPER: return "UPPER(" + a + ")";
                case coLOWER: return "LOWER(" + a + ")";
                default: return "?";
            }
        }
        case enBinary:
        case enCompare: {
            std::string right = ExprNodeToText(n->Operand(1));
            const TExprNode* r = n->Operand(1);
            if (n->NodeClass == enCompare && n->Partial && r != nullptr && r->NodeClass == enConst)
                right = Quote(r->Value.AsString() + "*");
            const TExprNode* l = n->Operand(0);
            std::string left = ExprNodeToText(l);
            if (n->NodeClass == enCompare && n->Partial && l != nullptr && l->NodeClass == enConst &&
                !(r != nullptr && r->NodeClass == enConst && r->DataType == ftString))
                left = Quote(l->Value.AsString() + "*");
            return "(" + left + " " + OperatorText(n->Operator) + " " + right + ")";
        }
        case enListElem: {
            std::string s = "(";
            for (std::size_t i = 0; i < n->Operands.size(); ++i) {
                if (i > 0) s += ", ";
                s += ExprNodeToText(n->Operands[i].get());
            }
            return s + ")";
        }
        case enFunc: return n->Name + (n->Operands.empty() ? std::string("()") : ExprNodeToText(n->Operand(0)));
    }
    return "?";
}

}  // namespace db
