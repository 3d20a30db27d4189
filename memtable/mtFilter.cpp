#include "memtable/mtFilter.h"

#include <cmath>
#include <deque>
#include <vector>

#include "memtable/mtCommon.h"
#include "memtable/mtIndex.h"
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

}  // namespace

Variant BinaryValues(int op, const Variant& left, const Variant& right) {
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

Variant TextCompareValues(const TExprNode* Node, const Variant& left, const Variant& right) {
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

Variant UnaryValue(int op, const Variant& v) {
    switch (op) {
        case coISBLANK: return Variant(IsBlank(v));
        case coNOTBLANK: return Variant(!IsBlank(v));
        case coNOT: return IsBlank(v) ? Null() : VarNot(v);
        case coMINUS: return IsBlank(v) ? Null() : -v;
        case coUPPER: return IsBlank(v) ? Null() : Variant(AnsiUpperCase(VarToStr(v)));
        case coLOWER: return IsBlank(v) ? Null() : Variant(AnsiLowerCase(VarToStr(v)));
        default: return Variant();
    }
}

namespace {

Variant EvalBinary(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const Variant left = EvaluateFilter(Node->Operand(0), FieldValue);
    const Variant right = EvaluateFilter(Node->Operand(1), FieldValue);
    return BinaryValues(Node->Operator, left, right);
}

Variant EvalCompare(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    const Variant left = EvaluateFilter(Node->Operand(0), FieldValue);
    const Variant right = EvaluateFilter(Node->Operand(1), FieldValue);
    return TextCompareValues(Node, left, right);
}

Variant EvalUnary(const TExprNode* Node, const FilterFieldReader& FieldValue) {
    return UnaryValue(Node->Operator, EvaluateFilter(Node->Operand(0), FieldValue));
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

// ---------------------------------------------------------------------------
// Evaluation over a memory table's record

namespace memtable {
namespace {

// A value as the record evaluator carries it: numbers, dates, booleans and
// texts (a view into the record or the expression) without a variant; any
// other value as the variant the generic rules made.
struct FValue {
    enum Kind : uint8_t { kEmpty, kNull, kInt, kDouble, kDate, kBool, kStr, kVar };
    Kind kind = kEmpty;
    bool b = false;
    bool wide = false;  // kInt: an Int64 variant, not an Integer
    int64_t i = 0;
    double d = 0;
    std::string_view s;
    const Variant* v = nullptr;  // kVar: the variant; a constant: the expression's own

    bool Blank() const { return kind == kEmpty || kind == kNull || (kind == kVar && IsBlank(*v)); }
    double Number() const { return kind == kInt ? static_cast<double>(i) : d; }
};

Variant ToVariant(const FValue& f) {
    if (f.v != nullptr) return *f.v;
    switch (f.kind) {
        case FValue::kEmpty: return Variant();
        case FValue::kNull: return Null();
        case FValue::kInt: return f.wide ? Variant(static_cast<long long>(f.i)) : Variant(static_cast<int>(f.i));
        case FValue::kDouble: return Variant(f.d);
        case FValue::kDate: return Variant::FromDateTime(f.d);
        case FValue::kBool: return Variant(f.b);
        case FValue::kStr: return Variant(std::string(f.s));
        default: return Variant();
    }
}

FValue Constant(const Variant& v) {
    FValue f;
    f.v = &v;
    switch (v.VarType()) {
        case varEmpty: f.kind = FValue::kEmpty; break;
        case varNull: f.kind = FValue::kNull; break;
        case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: case varLongWord:
        case varInt64:
            f.kind = FValue::kInt;
            f.i = v.AsInt64();
            break;
        case varSingle: case varDouble:
            f.kind = FValue::kDouble;
            f.d = v.AsDouble();
            break;
        case varDate:
            f.kind = FValue::kDate;
            f.d = v.AsDouble();
            break;
        case varBoolean:
            f.kind = FValue::kBool;
            f.b = v.AsBoolean();
            break;
        default:
            if (const std::string* text = v.TextPtr()) {
                f.kind = FValue::kStr;
                f.s = *text;
            } else {
                f.kind = FValue::kVar;
            }
            break;
    }
    return f;
}

template <typename T>
int SignOf(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// The order of two present values where it needs no variant: -1, 0, 1, or
// 2 when the variant rules must decide (mixed kinds, currency, conversions).
int FastCompare(const FValue& a, const FValue& b) {
    if (a.kind == FValue::kStr && b.kind == FValue::kStr) {
        const int r = a.s.compare(b.s);
        return r < 0 ? -1 : (r > 0 ? 1 : 0);
    }
    if (a.kind == FValue::kBool && b.kind == FValue::kBool) return SignOf(a.b, b.b);
    if (a.kind == FValue::kInt && b.kind == FValue::kInt) return SignOf(a.i, b.i);
    auto number = [](FValue::Kind k) { return k == FValue::kInt || k == FValue::kDouble || k == FValue::kDate; };
    if (number(a.kind) && number(b.kind)) {
        const double x = a.Number(), y = b.Number();
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    return 2;
}

bool FastTruth(const FValue& f) { return f.kind == FValue::kBool ? f.b : ToVariant(f).AsBoolean(); }

bool IsDirectType(TFieldType t) {
    switch (t) {
        case ftSmallint: case ftWord: case ftInteger: case ftAutoInc: case ftLargeint: case ftBoolean:
        case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime:
        case ftString: case ftFixedChar: case ftWideString: case ftGuid:
            return true;
        default:
            return false;
    }
}

}  // namespace
}  // namespace memtable

using namespace memtable;

// The expression tree mirrored with what evaluation over records needs: each
// field reference numbered, each constant read once.
struct TmtFilterExpression::Compiled {
    struct Node {
        const TExprNode* source = nullptr;
        std::vector<Node> operands;
        int field = -1;  // a field reference: its slot
        FValue constant;
        // A comparison of a field with a constant (the commonest filter):
        // evaluated in one step. FieldFirst tells the order of the two.
        bool fieldWithConstant = false;
        bool fieldFirst = true;
    };
    struct Slot {
        std::string name;
        bool resolved = false;
        TField* field = nullptr;
        bool direct = false;  // held by the record, read straight from it
    };
    Node root;
    std::vector<Slot> slots;
    TmtCustomMemTable* table = nullptr;
    uint64_t generation = 0;
    int recordOnly = -1;

    // Per evaluation: the variants that values of the generic rules live in.
    TmtCommon* common = nullptr;
    TmtRecord* record = nullptr;
    std::deque<Variant> temps;

    FValue FromVariant(Variant V) {
        temps.push_back(std::move(V));
        FValue f;
        f.kind = FValue::kVar;
        f.v = &temps.back();
        return f;
    }

    void Build(Node& N, const TExprNode* E) {
        N.source = E;
        if (E == nullptr) return;
        if (E->NodeClass == enField) {
            for (std::size_t i = 0; i < slots.size() && N.field < 0; ++i)
                if (slots[i].name == E->Name) N.field = static_cast<int>(i);
            if (N.field < 0) {
                N.field = static_cast<int>(slots.size());
                slots.push_back(Slot{E->Name});
            }
        }
        if (E->NodeClass == enConst) N.constant = Constant(E->Value);
        N.operands.resize(E->Operands.size());
        for (std::size_t i = 0; i < E->Operands.size(); ++i) Build(N.operands[i], E->Operands[i].get());
        if (E->NodeClass == enBinary && E->Operator >= coEQ && E->Operator <= coLE && N.operands.size() == 2) {
            auto isField = [](const Node& X) {
                return X.source != nullptr && X.source->NodeClass == enField && X.source->Operator == coFIELD2;
            };
            auto isConstant = [](const Node& X) {
                return X.source != nullptr && X.source->NodeClass == enConst && X.source->Operator == coCONST2 &&
                       X.constant.kind != FValue::kVar;
            };
            if (isField(N.operands[0]) && isConstant(N.operands[1])) {
                N.fieldWithConstant = true;
                N.fieldFirst = true;
            } else if (isConstant(N.operands[0]) && isField(N.operands[1])) {
                N.fieldWithConstant = true;
                N.fieldFirst = false;
            }
        }
    }

    FValue Compared(int Op, const FValue& Left, const FValue& Right) {
        FValue r;
        r.kind = FValue::kBool;
        if (Left.Blank() || Right.Blank()) return r;
        const int c = FastCompare(Left, Right);
        if (c == 2) return FromVariant(BinaryValues(Op, ToVariant(Left), ToVariant(Right)));
        switch (Op) {
            case coEQ: r.b = c == 0; break;
            case coNE: r.b = c != 0; break;
            case coGT: r.b = c > 0; break;
            case coLT: r.b = c < 0; break;
            case coGE: r.b = c >= 0; break;
            default: r.b = c <= 0; break;
        }
        return r;
    }

    void Bind(TmtCustomMemTable* Table) {
        if (table == Table && generation == Table->FieldGeneration()) return;
        table = Table;
        generation = Table->FieldGeneration();
        recordOnly = -1;
        for (Slot& s : slots) s = Slot{s.name};
    }

    // Resolves a name as the field lookup by name does, raising its error for
    // an unknown one when the reference is first evaluated.
    Slot& Resolve(int Index) {
        Slot& s = slots[static_cast<std::size_t>(Index)];
        if (!s.resolved) {
            TField* f = table->FieldByName(s.name);
            s.field = f;
            const int no = f->FieldNo();
            s.direct = no > 0 && IsDirectType(f->DataType()) &&
                       (table->Common()->FieldFlags(no) & kFlagCompressed) == 0;
            s.resolved = true;
        }
        return s;
    }

    FValue Read(Slot& S) {
        if (!S.direct) return FromVariant(S.field->Value());
        int32_t len = 0;
        TField* f = S.field;
        const uint8_t* p = common->FieldValue(record, f->FieldNo(), f, len);
        FValue v;
        if (p == nullptr) {
            v.kind = FValue::kNull;
            return v;
        }
        switch (f->DataType()) {
            case ftSmallint: v.kind = FValue::kInt; v.i = ReadValue<int16_t>(p); break;
            case ftWord: v.kind = FValue::kInt; v.i = ReadValue<uint16_t>(p); break;
            case ftInteger: case ftAutoInc: v.kind = FValue::kInt; v.i = ReadValue<int32_t>(p); break;
            case ftLargeint: v.kind = FValue::kInt; v.wide = true; v.i = ReadValue<int64_t>(p); break;
            case ftBoolean: v.kind = FValue::kBool; v.b = ReadValue<int16_t>(p) != 0; break;
            case ftFloat: case ftCurrency: v.kind = FValue::kDouble; v.d = ReadValue<double>(p); break;
            case ftDate: case ftTime: case ftDateTime: v.kind = FValue::kDate; v.d = ReadValue<double>(p); break;
            default: {
                const auto* c = reinterpret_cast<const char*>(p);
                v.kind = FValue::kStr;
                v.s = std::string_view(c, strnlen(c, static_cast<std::size_t>(std::max(len, 0))));
                break;
            }
        }
        return v;
    }

    // Field values for the generic evaluator, which names its fields.
    Variant ReadByName(const std::string& Name) {
        for (std::size_t i = 0; i < slots.size(); ++i)
            if (slots[i].name == Name) return ToVariant(Read(Resolve(static_cast<int>(i))));
        return table->FieldByName(Name)->Value();
    }

    FValue Generic(const TExprNode* E) {
        return FromVariant(EvaluateFilter(E, [this](const std::string& Name) { return ReadByName(Name); }));
    }

    FValue Eval(const Node& N) {
        const TExprNode* E = N.source;
        if (E == nullptr) return FValue{};
        const int op = E->Operator;
        switch (E->NodeClass) {
            case enField:
                if (op != coFIELD2) return Generic(E);  // raises the evaluator's error
                return Read(Resolve(N.field));
            case enConst:
                return op == coCONST2 ? N.constant : FValue{};
            case enBinary: {
                if (N.fieldWithConstant) {
                    const Node& f = N.operands[N.fieldFirst ? 0 : 1];
                    const FValue value = Read(Resolve(f.field));
                    const FValue& constant = N.operands[N.fieldFirst ? 1 : 0].constant;
                    return N.fieldFirst ? Compared(op, value, constant) : Compared(op, constant, value);
                }
                if (N.operands.size() < 2) return Generic(E);
                const FValue left = Eval(N.operands[0]);
                const FValue right = Eval(N.operands[1]);
                if (op >= coEQ && op <= coLE && left.kind != FValue::kVar && right.kind != FValue::kVar)
                    return Compared(op, left, right);
                if ((op == coAND || op == coOR) && (left.kind == FValue::kBool || left.Blank()) &&
                    (right.kind == FValue::kBool || right.Blank()) && left.kind != FValue::kVar &&
                    right.kind != FValue::kVar) {
                    FValue r;
                    const bool lb = left.Blank(), rb = right.Blank();
                    if (!lb && !rb) {
                        r.kind = FValue::kBool;
                        r.b = op == coAND ? (left.b && right.b) : (left.b || right.b);
                        return r;
                    }
                    // One side unknown: the other decides when it can.
                    if (lb && rb) {
                        r.kind = FValue::kNull;
                        return r;
                    }
                    const bool known = lb ? right.b : left.b;
                    if (op == coOR ? known : !known) {
                        r.kind = FValue::kBool;
                        r.b = op == coOR;
                    } else {
                        r.kind = FValue::kNull;
                    }
                    return r;
                }
                return FromVariant(BinaryValues(op, ToVariant(left), ToVariant(right)));
            }
            case enUnary: {
                if (N.operands.empty()) return Generic(E);
                const FValue v = Eval(N.operands[0]);
                FValue r;
                if (op == coISBLANK || op == coNOTBLANK) {
                    r.kind = FValue::kBool;
                    r.b = v.Blank() == (op == coISBLANK);
                    return r;
                }
                if (op == coNOT && v.kind != FValue::kVar) {
                    if (v.Blank()) {
                        r.kind = FValue::kNull;
                        return r;
                    }
                    if (v.kind == FValue::kBool) {
                        r.kind = FValue::kBool;
                        r.b = !v.b;
                        return r;
                    }
                }
                return FromVariant(UnaryValue(op, ToVariant(v)));
            }
            case enCompare: {
                if (N.operands.size() < 2) return Generic(E);
                const FValue left = Eval(N.operands[0]);
                const FValue right = Eval(N.operands[1]);
                if (left.Blank() || right.Blank()) {
                    FValue r;
                    r.kind = FValue::kBool;
                    return r;
                }
                return FromVariant(TextCompareValues(E, ToVariant(left), ToVariant(right)));
            }
            default:
                return Generic(E);
        }
    }
};

TmtFilterExpression::TmtFilterExpression(const std::string& Text, TFilterOptions Options) : text_(Text) {
    TExprParser parser(Text, Options);
    root_ = parser.ReleaseRoot();
    compiled_ = std::make_unique<Compiled>();
    compiled_->Build(compiled_->root, root_.get());
}

TmtFilterExpression::~TmtFilterExpression() = default;

Variant TmtFilterExpression::Evaluate(TDataSet* DataSet) {
    if (root_ == nullptr) return Variant(true);
    return memtable::EvaluateFilter(root_.get(), [DataSet](const std::string& Name) {
        return DataSet->FieldByName(Name)->Value();
    });
}

Variant TmtFilterExpression::EvaluateRecord(TmtCustomMemTable* Table, TmtRecord* Record) {
    if (root_ == nullptr) return Variant(true);
    Compiled& c = *compiled_;
    c.Bind(Table);
    c.common = Table->Common();
    c.record = Record;
    c.temps.clear();
    return ToVariant(c.Eval(c.root));
}

bool TmtFilterExpression::AcceptsRecord(TmtCustomMemTable* Table, TmtRecord* Record) {
    if (root_ == nullptr) return true;
    Compiled& c = *compiled_;
    c.Bind(Table);
    c.common = Table->Common();
    c.record = Record;
    if (!c.temps.empty()) c.temps.clear();
    const FValue r = c.Eval(c.root);
    if (r.Blank()) return false;
    return FastTruth(r);
}

bool TmtFilterExpression::ReadsOnlyRecord(TmtCustomMemTable* Table) {
    if (root_ == nullptr) return true;
    Compiled& c = *compiled_;
    c.Bind(Table);
    if (c.recordOnly < 0) {
        bool only = true;
        for (const Compiled::Slot& s : c.slots) {
            TField* f = Table->FindField(s.name);
            if (f == nullptr || f->FieldNo() <= 0 || !IsDirectType(f->DataType()) ||
                (Table->Common()->FieldFlags(f->FieldNo()) & kFlagCompressed) != 0)
                only = false;
        }
        c.recordOnly = only ? 1 : 0;
    }
    return c.recordOnly == 1;
}

namespace {

bool NodeReadsTheClock(const TExprNode* Node) {
    if (Node == nullptr) return false;
    if (Node->NodeClass == enFunc && UpperCase(Node->Name) == "GETDATE") return true;
    for (const auto& o : Node->Operands)
        if (NodeReadsTheClock(o.get())) return true;
    return false;
}

}  // namespace

bool TmtFilterExpression::ReadsTheClock() const { return NodeReadsTheClock(root_.get()); }

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

bool EvaluateTableFilter(TmtCustomMemTable* Table, void* Expression, TmtRecord* Record) {
    if (Expression == nullptr) return true;
    return static_cast<TmtFilterExpression*>(Expression)->AcceptsRecord(Table, Record);
}

bool TableFilterReadsOnlyRecord(TmtCustomMemTable* Table, void* Expression) {
    return Expression == nullptr || static_cast<TmtFilterExpression*>(Expression)->ReadsOnlyRecord(Table);
}

bool TableFilterReadsTheClock(void* Expression) {
    return Expression != nullptr && static_cast<TmtFilterExpression*>(Expression)->ReadsTheClock();
}

void FreeTableFilter(void* Expression) { delete static_cast<TmtFilterExpression*>(Expression); }

}  // namespace memtable
