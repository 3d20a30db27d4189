#include "memtable/mtFilter.h"

#include <cmath>
#include <vector>

#include "memtable/mtCommon.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Masks.h"
#include "platform/rtl/Strings.h"

namespace memtable {

namespace {

[[noreturn]] void FilterError(const char* Text, int Code) {
    throw EMemTableFilterError(std::string(Text) + " (" + std::to_string(Code) + ")");
}
[[noreturn]] void UnsupportedOperator(int Code) {
    throw EMemTableFilterError("Operator not supported (" + std::to_string(Code) + ").");
}
[[noreturn]] void MissingParameter(const std::string& Name) {
    throw EMemTableFilterError("Invalid or missing parameter for function " + Name);
}

bool IsBlank(const Variant& v) { return v.IsNull() || v.IsEmpty(); }

// Whether a value that is neither Null nor unassigned counts as true; the
// platform's and/or decide for two present values.
bool Truth(const Variant& v) { return v.AsBoolean(); }

bool IsZero(const Variant& v) {
    if (IsBlank(v)) return false;
    // The integer operators work on the values rounded to whole numbers.
    return v.AsInt64() == 0;
}

// Element Index of an argument list; unassigned beyond its end, as the
// slots of an argument list that were never filled.
Variant Arg(const Variant& Args, int Index) {
    if (!Args.IsArray()) return Variant();
    if (Index < Args.LowBound() || Index > Args.HighBound()) return Variant();
    return Args.GetElement(Index);
}

int DecodedPart(TDateTime dt, const std::string& name) {
    uint16_t y, m, d, h, n, s, ms;
    DecodeDateTime(dt, y, m, d, h, n, s, ms);
    if (name == "YEAR") return y;
    if (name == "MONTH") return m;
    if (name == "DAY") return d;
    if (name == "HOUR") return h;
    if (name == "MINUTE") return n;
    return s;
}

Variant EvalList(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const std::size_t n = Node->Operands.size();
    if (n == 0) return Null();
    std::vector<Variant> values;
    values.reserve(n);
    for (std::size_t i = 0; i < n; ++i) values.push_back(EvaluateFilter(Node->Operand(i), FieldValue));
    if (n == 1) {
        // A single element reaches its consumer as text.
        if (IsBlank(values[0])) return Null();
        return Variant(VarToStr(values[0]));
    }
    // The last element of a longer list is a text as well, and an unassigned
    // element ends the list.
    Variant& last = values.back();
    last = IsBlank(last) ? Null() : Variant(VarToStr(last));
    std::size_t count = 0;
    while (count < n && !values[count].IsEmpty()) ++count;
    if (count == 0) values.resize(1);
    else values.resize(count);
    return VarArrayOf(values);
}

Variant EvalFunction(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const std::string name = UpperCase(Node->Name);
    if (name == "GETDATE") return Variant::FromDateTime(Now());
    const Variant args = Node->Operands.empty() ? Variant() : EvaluateFilter(Node->Operand(0), FieldValue);
    if (name == "UPPER" || name == "LOWER") {
        if (IsBlank(args)) return Null();
        return Variant(name == "UPPER" ? AnsiUpperCase(VarToStr(args)) : AnsiLowerCase(VarToStr(args)));
    }
    if (name == "SUBSTRING") {
        if (IsBlank(args)) return Null();
        if (!args.IsArray() || args.LowBound() > 0 || args.HighBound() < 0) MissingParameter(name);
        const std::string text = VarToStr(args.GetElement(0));
        const Variant from = Arg(args, 1);
        const int start = from.AsInteger();
        int count = Arg(args, 2).AsInteger();
        if (count == 0) {
            const std::string fromText = VarToStr(from);
            const std::size_t comma = fromText.find(',');
            count = comma != std::string::npos ? StrToInt(Trim(fromText.substr(comma + 1))) : Length(text);
        }
        if (count <= 0) return Variant(std::string());
        return Variant(Copy(text, std::max(start, 1), count));
    }
    if (name == "TRIM" || name == "TRIMLEFT" || name == "TRIMRIGHT") {
        if (IsBlank(args)) return Null();
        const std::string s = VarToStr(args);
        return Variant(name == "TRIM" ? Trim(s) : name == "TRIMLEFT" ? TrimLeft(s) : TrimRight(s));
    }
    if (name == "YEAR" || name == "MONTH" || name == "DAY" || name == "HOUR" || name == "MINUTE" ||
        name == "SECOND") {
        if (IsBlank(args)) return Null();
        return Variant(DecodedPart(VarToDateTime(args), name));
    }
    if (name == "DATE" || name == "TIME") {
        const bool date = name == "DATE";
        if (args.IsArray()) {
            if (args.LowBound() > 0 || args.HighBound() < 1) MissingParameter(name);
            const std::string text = VarToStr(args.GetElement(0));
            TFormatSettings settings = FormatSettings;
            // A copy of the user's settings carries the format, so the
            // user's own stay untouched whatever happens.
            const std::string format = VarToStr(args.GetElement(1));
            // The separator is the one the format is written with.
            const std::size_t sep = format.find_first_not_of(date ? "dDmMyY" : "hHnNsSzZ");
            if (date) {
                settings.ShortDateFormat = format;
                if (sep != std::string::npos) settings.DateSeparator = format[sep];
                return Variant::FromDateTime(StrToDate(text, settings));
            }
            settings.ShortTimeFormat = format;
            settings.LongTimeFormat = format;
            if (sep != std::string::npos) settings.TimeSeparator = format[sep];
            return Variant::FromDateTime(StrToTime(text, settings));
        }
        const TDateTime dt = VarToDateTime(args);
        if (date) return Variant(static_cast<long long>(std::trunc(dt)));
        return Variant(std::fabs(dt - std::trunc(dt)));
    }
    throw EMemTableFilterError("Invalid function name " + name);
}

Variant Arithmetic(int op, const Variant& left, const Variant& right) {
    switch (op) {
        case coADD: return left + right;
        case coSUB: return left - right;
        case coMUL: return left * right;
        case coDIV:
            if (right.AsDouble() == 0) return Null();
            return left / right;
        default:
            if (IsZero(right)) return Null();
            return left % right;
    }
}

Variant EvalBinary(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const Variant left = EvaluateFilter(Node->Operand(0), FieldValue);
    const Variant right = EvaluateFilter(Node->Operand(1), FieldValue);
    const int op = Node->Operator;
    switch (op) {
        case coEQ: case coNE: case coGT: case coLT: case coGE: case coLE: {
            if (IsBlank(left) || IsBlank(right)) return Variant(false);
            switch (op) {
                case coEQ: return Variant(left == right);
                case coNE: return Variant(!(left == right));
                case coGT: return Variant(left > right);
                case coLT: return Variant(left < right);
                case coGE: return Variant(left >= right);
                default: return Variant(left <= right);
            }
        }
        case coAND:
        case coOR: {
            const bool lb = IsBlank(left), rb = IsBlank(right);
            if (!lb && !rb) return Variant((op == coAND ? (left & right) : (left | right)).AsBoolean());
            // One side unknown: the other decides when it can.
            if (lb && rb) return Null();
            const bool known = Truth(lb ? right : left);
            if (op == coOR) return known ? Variant(true) : Null();
            return known ? Null() : Variant(false);
        }
        case coADD: case coSUB: case coMUL: case coDIV: case coMOD: case coREM: {
            if (IsBlank(left) || IsBlank(right)) return Null();
            return Arithmetic(op, left, right);
        }
        case coLIKE:
            if (IsBlank(left) || IsBlank(right)) return Variant(false);
            return Variant(MatchesMask(VarToStr(left), VarToStr(right)));
        case coIN: {
            if (IsBlank(left) || IsBlank(right)) return Variant(false);
            if (right.IsArray()) {
                for (int i = right.LowBound(); i <= right.HighBound(); ++i) {
                    const Variant e = right.GetElement(i);
                    if (e.IsEmpty()) break;
                    if (!e.IsNull() && left == e) return Variant(true);
                }
                return Variant(false);
            }
            return Variant(left == right);
        }
        default:
            UnsupportedOperator(op);
    }
}

Variant EvalCompare(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const Variant left = EvaluateFilter(Node->Operand(0), FieldValue);
    const Variant right = EvaluateFilter(Node->Operand(1), FieldValue);
    if (IsBlank(left) || IsBlank(right)) return Variant(false);
    const int op = Node->Operator;
    if (op == coLIKE) return Variant(MatchesMask(VarToStr(left), VarToStr(right)));
    if (op != coEQ && op != coNE) UnsupportedOperator(op);
    std::string a = VarToStr(left), b = VarToStr(right);
    if (Node->CaseInsensitive) {
        a = AnsiUpperCase(a);
        b = AnsiUpperCase(b);
    }
    if (Node->Partial) {
        a = Copy(a, 1, Node->PartialLength);
        b = Copy(b, 1, Node->PartialLength);
    }
    const bool same = a == b;
    return Variant(op == coEQ ? same : !same);
}

Variant EvalUnary(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const Variant v = EvaluateFilter(Node->Operand(0), FieldValue);
    switch (Node->Operator) {
        case coISBLANK: return Variant(IsBlank(v));
        case coNOTBLANK: return Variant(!IsBlank(v));
        case coNOT: return IsBlank(v) ? Null() : VarNot(v);
        case coMINUS: return IsBlank(v) ? Null() : -v;
        case coUPPER: return IsBlank(v) ? Null() : Variant(AnsiUpperCase(VarToStr(v)));
        case coLOWER: return IsBlank(v) ? Null() : Variant(AnsiLowerCase(VarToStr(v)));
        default: return Variant();
    }
}

}  // namespace

void FilterExpressionEvaluator(const TExprNode* Node, const FilterFieldReader& FieldValue, Variant& Value) {
    Value = EvaluateFilter(Node, FieldValue);
}

Variant EvaluateFilter(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    if (Node == nullptr) return Variant();
    switch (Node->NodeClass) {
        case enField:
            if (Node->Operator != coFIELD2) FilterError("Unknown operator", Node->Operator);
            return FieldValue(Node->Name);
        case enConst:
            return Node->Operator == coCONST2 ? Node->Value : Variant();
        case enUnary:
            if (Node->Operands.size() < 1) UnsupportedOperator(Node->Operator);
            return EvalUnary(Node, FieldValue);
        case enBinary:
            if (Node->Operands.size() < 2) UnsupportedOperator(Node->Operator);
            return EvalBinary(Node, FieldValue);
        case enCompare:
            if (Node->Operands.size() < 2) UnsupportedOperator(Node->Operator);
            return EvalCompare(Node, FieldValue);
        case enListElem:
            if (Node->Operator != coLISTELEM2) UnsupportedOperator(Node->Operator);
            return EvalList(Node, FieldValue);
        case enFunc:
            if (Node->Operator != coFUNC2) UnsupportedOperator(Node->Operator);
            return EvalFunction(Node, FieldValue);
    }
    FilterError("iClass Out of range", Node->NodeClass);
}

bool FilterResultAccepts(const Variant& Result) {
    if (IsBlank(Result)) return false;
    return Result.AsBoolean();
}

}  // namespace memtable

TmtFilterExpression::TmtFilterExpression(const std::string& Text, TFilterOptions Options) : text_(Text) {
    TExprParser parser(Text, Options);
    root_ = parser.ReleaseRoot();
}

Variant TmtFilterExpression::Evaluate(TDataSet* DataSet) {
    if (root_ == nullptr) return Variant(true);
    return memtable::EvaluateFilter(root_.get(), [DataSet](const std::string& Name) {
        return DataSet->FieldByName(Name)->Value();
    });
}

namespace memtable {

void* ParseTableFilter(const std::string& Text, TFilterOptions Options) {
    auto expression = std::make_unique<TmtFilterExpression>(Text, Options);
    if (expression->Root() == nullptr) return nullptr;
    return expression.release();
}

bool EvaluateTableFilter(TmtCustomMemTable* Table, void* Expression) {
    if (Expression == nullptr) return true;
    return static_cast<TmtFilterExpression*>(Expression)->Accepts(Table);
}

void FreeTableFilter(void* Expression) { delete static_cast<TmtFilterExpression*>(Expression); }

}  // namespace memtable
