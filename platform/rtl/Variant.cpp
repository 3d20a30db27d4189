#include "platform/rtl/Variant.h"

#include <cmath>
#include <limits>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace {

constexpr TVarType kByteArray = varArray | varByte;
constexpr TVarType kVariantArray = varArray | varVariant;

[[noreturn]] void CannotConvert(TVarType from, TVarType to) {
    throw EVariantError("Could not convert variant of type (" + VarTypeAsText(from) +
                        ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void OverflowConverting(TVarType from, TVarType to) {
    throw EVariantError("Overflow while converting variant of type (" + VarTypeAsText(from) +
                        ") into type (" + VarTypeAsText(to) + ")");
}

[[noreturn]] void InvalidOperation() { throw EVariantError("Invalid variant operation"); }
[[noreturn]] void DivisionByZero() { throw EZeroDivide("Division by zero"); }

bool IsStringType(TVarType t) { return t == varString || t == varOleStr || t == varUString; }

bool IsIntegerType(TVarType t) {
    switch (t) {
        case varSmallint:
        case varInteger:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64:
            return true;
        default:
            return false;
    }
}

// Round half to even, as the class library rounds a variant to a whole number.
double BankersRound(double v) { return std::nearbyint(v); }

int64_t BankersRoundCurrency(int64_t raw) {
    int64_t q = raw / Currency::Scale;
    const int64_t r = raw % Currency::Scale;
    const int64_t half = Currency::Scale / 2;
    if (r > half || (r == half && (q & 1)))
        ++q;
    else if (r < -half || (r == -half && (q & 1)))
        --q;
    return q;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

bool TextToDouble(std::string_view text, double& out) {
    const std::string_view t = TrimBlanks(text);
    return !t.empty() && TryStrToFloat(t, out);
}

bool TextToInt64(std::string_view text, int64_t& out) {
    const std::string_view t = TrimBlanks(text);
    if (t.empty()) return false;
    if (TryStrToInt64(t, out)) return true;
    double d;
    if (!TryStrToFloat(t, d) || !std::isfinite(d)) return false;
    d = BankersRound(d);
    if (d < -9223372036854775808.0 || d >= 9223372036854775808.0) return false;
    out = static_cast<int64_t>(d);
    return true;
}

// The category an operand takes in arithmetic and comparison.
enum class Kind { Empty, Null, Bool, Int, Int64, Currency, Double, Date, String, Array };

Kind KindOf(const Variant& v) {
    const TVarType t = v.VarType();
    if (t == varEmpty) return Kind::Empty;
    if (t == varNull) return Kind::Null;
    if (t == varBoolean) return Kind::Bool;
    if (t == varInt64 || t == varLongWord) return Kind::Int64;
    if (IsIntegerType(t)) return Kind::Int;
    if (t == varCurrency) return Kind::Currency;
    if (t == varDate) return Kind::Date;
    if (t == varSingle || t == varDouble) return Kind::Double;
    if (IsStringType(t)) return Kind::String;
    return Kind::Array;
}

Variant FromInt64Result(int64_t v, bool wide) {
    if (!wide && v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(v));
    return Variant(static_cast<long long>(v));
}

}  // namespace

// ---------------------------------------------------------------------------

Variant::Variant(unsigned long v) : vt_(varInt64) {
    if (v > static_cast<unsigned long>(std::numeric_limits<int64_t>::max()))
        throw EVariantError("Overflow while converting variant of type (UInt64) into type (Int64)");
    i_ = static_cast<int64_t>(v);
}

Variant::Variant(unsigned long long v) : Variant(static_cast<unsigned long>(v)) {}

Variant Variant::FromDateTime(TDateTime v) {
    Variant r;
    r.vt_ = varDate;
    r.d_ = v;
    return r;
}

Variant Variant::FromString(std::string v, TVarType stringType) {
    Variant r(std::move(v));
    if (IsStringType(stringType)) r.vt_ = stringType;
    return r;
}

Variant Variant::FromBytes(std::string_view bytes) {
    Variant r;
    r.vt_ = kByteArray;
    r.s_.assign(bytes);
    return r;
}

Variant Variant::MakeNull() {
    Variant r;
    r.vt_ = varNull;
    return r;
}

// ---------------------------------------------------------------------------
// Conversions

bool Variant::AsBoolean() const {
    switch (KindOf(*this)) {
        case Kind::Empty: return false;
        case Kind::Bool:
        case Kind::Int:
        case Kind::Int64:
        case Kind::Currency: return i_ != 0;
        case Kind::Double:
        case Kind::Date: return d_ != 0;
        case Kind::String: {
            const std::string_view t = TrimBlanks(s_);
            if (SameText(t, "True")) return true;
            if (SameText(t, "False")) return false;
            double d;
            if (TextToDouble(s_, d)) return d != 0;
            break;
        }
        default: break;
    }
    CannotConvert(vt_, varBoolean);
}

int64_t Variant::AsInt64() const {
    switch (KindOf(*this)) {
        case Kind::Empty: return 0;
        case Kind::Bool: return i_ ? -1 : 0;
        case Kind::Int:
        case Kind::Int64: return i_;
        case Kind::Currency: return BankersRoundCurrency(i_);
        case Kind::Double:
        case Kind::Date: {
            const double r = BankersRound(d_);
            if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
                OverflowConverting(vt_, varInt64);
            return static_cast<int64_t>(r);
        }
        case Kind::String: {
            int64_t v;
            if (TextToInt64(s_, v)) return v;
            break;
        }
        default: break;
    }
    CannotConvert(vt_, varInt64);
}

int32_t Variant::AsInteger() const {
    switch (KindOf(*this)) {
        case Kind::Null:
        case Kind::Array: CannotConvert(vt_, varInteger);
        case Kind::String: {
            int64_t v;
            if (!TextToInt64(s_, v)) CannotConvert(vt_, varInteger);
            if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
                OverflowConverting(vt_, varInteger);
            return static_cast<int32_t>(v);
        }
        case Kind::Double:
        case Kind::Date: {
            const double r = BankersRound(d_);
            if (!(r >= -2147483648.0 && r <= 2147483647.0)) OverflowConverting(vt_, varInteger);
            return static_cast<int32_t>(r);
        }
        default: {
            const int64_t v = AsInt64();
            if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
                OverflowConverting(vt_, varInteger);
            return static_cast<int32_t>(v);
        }
    }
}

double Variant::AsDouble() const {
    switch (KindOf(*this)) {
        case Kind::Empty: return 0;
        case Kind::Bool: return i_ ? -1 : 0;
        case Kind::Int:
        case Kind::Int64: return static_cast<double>(i_);
        case Kind::Currency: return Currency::FromRaw(i_).ToDouble();
        case Kind::Double:
        case Kind::Date: return d_;
        case Kind::String: {
            double d;
            if (TextToDouble(s_, d)) return d;
            break;
        }
        default: break;
    }
    CannotConvert(vt_, varDouble);
}

Currency Variant::AsCurrency() const {
    switch (KindOf(*this)) {
        case Kind::Empty: return Currency();
        case Kind::Currency: return Currency::FromRaw(i_);
        case Kind::Bool:
        case Kind::Int:
        case Kind::Int64:
            try {
                return Currency::FromInt(AsInt64());
            } catch (const EOverflow&) {
                OverflowConverting(vt_, varCurrency);
            }
        case Kind::Double:
        case Kind::Date:
            try {
                return Currency::FromDouble(d_);
            } catch (const EOverflow&) {
                OverflowConverting(vt_, varCurrency);
            }
        case Kind::String: {
            const std::string_view t = TrimBlanks(s_);
            Currency c;
            if (!t.empty() && TryStrToCurr(t, c)) return c;
            break;
        }
        default: break;
    }
    CannotConvert(vt_, varCurrency);
}

TDateTime Variant::AsDateTime() const {
    switch (KindOf(*this)) {
        case Kind::String: {
            TDateTime d;
            const std::string_view t = TrimBlanks(s_);
            if (!t.empty() && TryStrToDateTime(t, d)) return d;
            break;
        }
        case Kind::Null:
        case Kind::Array: break;
        default: return AsDouble();
    }
    CannotConvert(vt_, varDate);
}

std::string Variant::AsString() const {
    switch (KindOf(*this)) {
        case Kind::Empty: return {};
        case Kind::Bool: return i_ ? "True" : "False";
        case Kind::Int:
        case Kind::Int64: return IntToStr(static_cast<long long>(i_));
        case Kind::Currency: return CurrToStr(Currency::FromRaw(i_));
        case Kind::Double:
            // A single keeps only the digits it has.
            return vt_ == varSingle ? FloatToStrF(d_, ffGeneral, 7, 0) : FloatToStr(d_);
        case Kind::Date: return DateTimeToStr(d_);
        case Kind::String: return s_;
        default: break;
    }
    CannotConvert(vt_, varString);
}

std::string Variant::AsBytes() const {
    if (vt_ == kByteArray || IsStringType(vt_)) return s_;
    if (vt_ == kVariantArray) {
        std::string out;
        for (const Variant& e : *items_) {
            const int64_t b = e.AsInt64();
            if (b < 0 || b > 255) OverflowConverting(e.VarType(), varByte);
            out.push_back(static_cast<char>(b));
        }
        return out;
    }
    CannotConvert(vt_, kByteArray);
}

Variant Variant::AsType(TVarType type) const {
    if (type == vt_ || type == varVariant) return *this;
    switch (type) {
        case varEmpty: return Variant();
        case varNull: return Null();
        case varBoolean: return Variant(AsBoolean());
        case varSmallint:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord: {
            const int64_t v = type == varLongWord ? AsInt64() : AsInteger();
            int64_t lo = 0, hi = 0;
            switch (type) {
                case varSmallint: lo = -32768; hi = 32767; break;
                case varShortInt: lo = -128; hi = 127; break;
                case varByte: lo = 0; hi = 255; break;
                case varWord: lo = 0; hi = 65535; break;
                default: lo = 0; hi = 4294967295LL; break;
            }
            if (v < lo || v > hi) OverflowConverting(vt_, type);
            Variant r(static_cast<long long>(v));
            r.vt_ = type;
            return r;
        }
        case varInteger: return Variant(AsInteger());
        case varInt64: return Variant(static_cast<long long>(AsInt64()));
        case varSingle: return Variant(static_cast<float>(AsDouble()));
        case varDouble: return Variant(AsDouble());
        case varCurrency: return Variant(AsCurrency());
        case varDate: return FromDateTime(AsDateTime());
        case varString:
        case varOleStr:
        case varUString: return FromString(AsString(), type);
        case kByteArray: return FromBytes(AsBytes());
        default: CannotConvert(vt_, type);
    }
}

// ---------------------------------------------------------------------------
// Arrays

int Variant::LowBound() const {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    return low_;
}

int Variant::HighBound() const {
    if (!IsArray()) throw EVariantError("Variant is not an array");
    const std::size_t n = vt_ == kByteArray ? s_.size() : items_->size();
    return low_ + static_cast<int>(n) - 1;
}

Variant Variant::GetElement(int index) const {
    if (index < LowBound() || index > HighBound())
        throw EVariantError("Variant or safe array index out of bounds");
    const std::size_t i = static_cast<std::size_t>(index - low_);
    if (vt_ == kByteArray) return Variant(static_cast<unsigned char>(s_[i]));
    return (*items_)[i];
}

void Variant::PutElement(int index, const Variant& value) {
    if (index < LowBound() || index > HighBound())
        throw EVariantError("Variant or safe array index out of bounds");
    const std::size_t i = static_cast<std::size_t>(index - low_);
    if (vt_ == kByteArray) {
        const int64_t b = value.AsInt64();
        if (b < 0 || b > 255) OverflowConverting(value.VarType(), varByte);
        s_[i] = static_cast<char>(b);
        return;
    }
    // The elements are shared with copies of this variant until one changes.
    if (items_.use_count() > 1) items_ = std::make_shared<std::vector<Variant>>(*items_);
    (*items_)[i] = value;
}

Variant VarArrayCreate(int lowBound, int highBound, TVarType elementType) {
    if (highBound < lowBound - 1) throw EVariantError("Variant array bounds error");
    const std::size_t n = static_cast<std::size_t>(static_cast<int64_t>(highBound) - lowBound + 1);
    Variant r;
    r.low_ = lowBound;
    if (elementType == varByte) {
        r.vt_ = kByteArray;
        r.s_.assign(n, '\0');
    } else if (elementType == varVariant) {
        r.vt_ = kVariantArray;
        r.items_ = std::make_shared<std::vector<Variant>>(n);
    } else {
        throw EVariantError("Variant array of type (" + VarTypeAsText(elementType) +
                            ") not supported");
    }
    return r;
}

Variant VarArrayOf(const std::vector<Variant>& values) {
    Variant r;
    r.vt_ = kVariantArray;
    r.items_ = std::make_shared<std::vector<Variant>>(values);
    return r;
}

int VarArrayDimCount(const Variant& v) { return v.IsArray() ? 1 : 0; }

int VarArrayLowBound(const Variant& v, int dim) {
    if (dim != 1 || !v.IsArray()) throw EVariantError("Variant array bounds error");
    return v.LowBound();
}

int VarArrayHighBound(const Variant& v, int dim) {
    if (dim != 1 || !v.IsArray()) throw EVariantError("Variant array bounds error");
    return v.HighBound();
}

// ---------------------------------------------------------------------------
// Queries

std::string VarTypeAsText(TVarType type) {
    if (type & varArray) {
        std::string text = "Array ";
        text += VarTypeAsText(type & varTypeMask);
        return text;
    }
    switch (type) {
        case varEmpty: return "Empty";
        case varNull: return "Null";
        case varSmallint: return "Smallint";
        case varInteger: return "Integer";
        case varSingle: return "Single";
        case varDouble: return "Double";
        case varCurrency: return "Currency";
        case varDate: return "Date";
        case varOleStr: return "OleStr";
        case varBoolean: return "Boolean";
        case varVariant: return "Variant";
        case varShortInt: return "ShortInt";
        case varByte: return "Byte";
        case varWord: return "Word";
        case varLongWord: return "LongWord";
        case varInt64: return "Int64";
        case varString: return "String";
        case varUString: return "UnicodeString";
        default: {
            std::string code = "$";  // appended, not "$" + ...: GCC 12 warns falsely on that
            code += IntToHex(type, 4);
            return code;
        }
    }
}

bool VarIsType(const Variant& v, TVarType type) { return v.VarType() == type; }
bool VarIsOrdinal(const Variant& v) {
    return IsIntegerType(v.VarType()) || v.VarType() == varBoolean;
}
bool VarIsFloat(const Variant& v) {
    const TVarType t = v.VarType();
    return t == varSingle || t == varDouble || t == varCurrency;
}
bool VarIsNumeric(const Variant& v) { return VarIsOrdinal(v) || VarIsFloat(v); }
bool VarIsStr(const Variant& v) { return IsStringType(v.VarType()); }
const std::string* Variant::TextPtr() const { return IsStringType(vt_) ? &s_ : nullptr; }
bool VarIsArray(const Variant& v) { return v.IsArray(); }

std::string VarToStr(const Variant& v) { return v.IsNull() ? std::string() : v.AsString(); }
std::string VarToStrDef(const Variant& v, std::string_view def) {
    return v.IsNull() ? std::string(def) : v.AsString();
}
TDateTime VarToDateTime(const Variant& v) { return v.AsDateTime(); }
Variant VarFromDateTime(TDateTime v) { return Variant::FromDateTime(v); }
Variant VarAsType(const Variant& v, TVarType type) { return v.AsType(type); }

// ---------------------------------------------------------------------------
// Comparison

namespace {

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }
template <class T>
int SignOf(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Ordering of two values that are neither Null nor Unassigned.
int CompareValues(const Variant& a, const Variant& b) {
    const Kind ka = KindOf(a), kb = KindOf(b);
    if (ka == Kind::Array || kb == Kind::Array) InvalidOperation();
    if (ka == Kind::String && kb == Kind::String) return CompareStr(a.AsString(), b.AsString());
    if (ka == Kind::Bool && kb == Kind::Bool) return SignOf(a.AsBoolean(), b.AsBoolean());
    const auto whole = [](Kind k) { return k == Kind::Bool || k == Kind::Int || k == Kind::Int64; };
    if (whole(ka) && whole(kb)) return SignOf(a.AsInt64(), b.AsInt64());
    if ((ka == Kind::Currency || whole(ka)) && (kb == Kind::Currency || whole(kb)) &&
        (ka == Kind::Currency || kb == Kind::Currency)) {
        // 128-bit: an Int64 scaled to currency may not fit in 64 bits.
        const auto scaled = [](const Variant& v, Kind k) -> __int128 {
            return k == Kind::Currency ? __int128(v.AsCurrency().Raw())
                                       : __int128(v.AsInt64()) * Currency::Scale;
        };
        return SignOf(scaled(a, ka), scaled(b, kb));
    }
    // A text beside a date is read as a date ("07/12/2026"), not as a number.
    if (ka == Kind::Date && kb == Kind::String) return Sign(a.AsDouble(), b.AsDateTime());
    if (ka == Kind::String && kb == Kind::Date) return Sign(a.AsDateTime(), b.AsDouble());
    return Sign(a.AsDouble(), b.AsDouble());
}

bool IsClearOrNull(Kind k) { return k == Kind::Empty || k == Kind::Null; }

// Null and Unassigned: equal to their own kind, below everything else, Null
// above Unassigned. Returns false when neither side is one of them.
bool CompareSpecial(Kind ka, Kind kb, int& result) {
    if (!IsClearOrNull(ka) && !IsClearOrNull(kb)) return false;
    const auto rank = [](Kind k) { return k == Kind::Empty ? 0 : (k == Kind::Null ? 1 : 2); };
    result = SignOf(rank(ka), rank(kb));
    return true;
}

bool ArraysEqual(const Variant& a, const Variant& b) {
    if (a.LowBound() != b.LowBound() || a.HighBound() != b.HighBound()) return false;
    for (int i = a.LowBound(); i <= a.HighBound(); ++i)
        if (!VarSameValue(a.GetElement(i), b.GetElement(i))) return false;
    return true;
}

}  // namespace

bool operator==(const Variant& a, const Variant& b) {
    const Kind ka = KindOf(a), kb = KindOf(b);
    int r;
    if (CompareSpecial(ka, kb, r)) return r == 0;
    if (ka == Kind::Array || kb == Kind::Array)
        return ka == Kind::Array && kb == Kind::Array && ArraysEqual(a, b);
    return CompareValues(a, b) == 0;
}

bool operator<(const Variant& a, const Variant& b) {
    int r;
    if (CompareSpecial(KindOf(a), KindOf(b), r)) return r < 0;
    return CompareValues(a, b) < 0;
}

TVariantRelationship VarCompareValue(const Variant& a, const Variant& b) {
    const Kind ka = KindOf(a), kb = KindOf(b);
    int r;
    if (CompareSpecial(ka, kb, r)) return r == 0 ? vrEqual : vrNotEqual;
    if (ka == Kind::Array || kb == Kind::Array)
        return ka == Kind::Array && kb == Kind::Array && ArraysEqual(a, b) ? vrEqual : vrNotEqual;
    r = CompareValues(a, b);
    return r < 0 ? vrLessThan : (r > 0 ? vrGreaterThan : vrEqual);
}

bool VarSameValue(const Variant& a, const Variant& b) {
    try {
        return VarCompareValue(a, b) == vrEqual;
    } catch (const EVariantError&) {
        return false;
    }
}

// ---------------------------------------------------------------------------
// Arithmetic

namespace {

enum class Op { Add, Sub, Mul, Div };

// The numeric category of a result: strings count as doubles, booleans and
// Unassigned as whole numbers.
Kind NumericKind(Kind k) {
    switch (k) {
        case Kind::String: return Kind::Double;
        case Kind::Bool:
        case Kind::Empty: return Kind::Int;
        default: return k;
    }
}

Variant Arithmetic(const Variant& a, const Variant& b, Op op) {
    Kind ka = KindOf(a), kb = KindOf(b);
    if (ka == Kind::Null || kb == Kind::Null) return Null();
    if (ka == Kind::Array || kb == Kind::Array) InvalidOperation();
    if (op == Op::Add && ka == Kind::String && (kb == Kind::String || kb == Kind::Empty))
        return Variant::FromString(a.AsString() + b.AsString(), a.VarType());
    if (op == Op::Add && kb == Kind::String && ka == Kind::Empty) return b;
    if (ka == Kind::Empty && kb == Kind::Empty && op != Op::Div) return Variant();
    ka = NumericKind(ka);
    kb = NumericKind(kb);

    if (ka == Kind::Currency || kb == Kind::Currency) {
        // Currency keeps its four decimals; a double operand is rounded to them.
        const Currency x = a.AsCurrency();
        const Currency y = b.AsCurrency();
        try {
            switch (op) {
                case Op::Add: return Variant(x + y);
                case Op::Sub: return Variant(x - y);
                case Op::Mul:
                    if (ka == Kind::Double || kb == Kind::Double)
                        return Variant(Currency::FromDouble(a.AsDouble() * b.AsDouble()));
                    return Variant(x * y);
                case Op::Div:
                    if (y.Raw() == 0) DivisionByZero();
                    if (kb == Kind::Double)
                        return Variant(Currency::FromDouble(a.AsDouble() / b.AsDouble()));
                    return Variant(x / y);
            }
        } catch (const EOverflow&) {
            OverflowConverting(varDouble, varCurrency);
        }
    }
    if (op != Op::Div && (ka == Kind::Int || ka == Kind::Int64) && (kb == Kind::Int || kb == Kind::Int64)) {
        const int64_t x = a.AsInt64(), y = b.AsInt64();
        int64_t r;
        bool overflow;
        switch (op) {
            case Op::Add: overflow = __builtin_add_overflow(x, y, &r); break;
            case Op::Sub: overflow = __builtin_sub_overflow(x, y, &r); break;
            default: overflow = __builtin_mul_overflow(x, y, &r); break;
        }
        if (overflow) throw EOverflow("Arithmetic overflow");
        return FromInt64Result(r, ka == Kind::Int64 || kb == Kind::Int64);
    }
    const double x = a.AsDouble(), y = b.AsDouble();
    double r;
    switch (op) {
        case Op::Add: r = x + y; break;
        case Op::Sub: r = x - y; break;
        case Op::Mul: r = x * y; break;
        default:
            if (y == 0) DivisionByZero();
            r = x / y;
            break;
    }
    // A date moved by a number of days is still a date; a difference of two
    // dates is a number of days.
    const bool dateResult = (op == Op::Add || op == Op::Sub) &&
                            ((ka == Kind::Date) != (kb == Kind::Date));
    return dateResult ? Variant::FromDateTime(r) : Variant(r);
}

enum class IntOp { Div, Mod, And, Or, Xor };

Variant IntegerOp(const Variant& a, const Variant& b, IntOp op) {
    const Kind ka = KindOf(a), kb = KindOf(b);
    if (ka == Kind::Null || kb == Kind::Null) return Null();
    if (ka == Kind::Array || kb == Kind::Array) InvalidOperation();
    if ((op == IntOp::And || op == IntOp::Or || op == IntOp::Xor) && ka == Kind::Bool &&
        kb == Kind::Bool) {
        const bool x = a.AsBoolean(), y = b.AsBoolean();
        return Variant(op == IntOp::And ? (x && y) : op == IntOp::Or ? (x || y) : (x != y));
    }
    const int64_t x = a.AsInt64(), y = b.AsInt64();
    const bool wide = ka == Kind::Int64 || kb == Kind::Int64;
    switch (op) {
        case IntOp::Div:
            if (y == 0) DivisionByZero();
            if (x == std::numeric_limits<int64_t>::min() && y == -1)
                throw EOverflow("Arithmetic overflow");
            return FromInt64Result(x / y, wide);
        case IntOp::Mod:
            if (y == 0) DivisionByZero();
            if (y == -1) return FromInt64Result(0, wide);
            return FromInt64Result(x % y, wide);
        case IntOp::And: return FromInt64Result(x & y, wide);
        case IntOp::Or: return FromInt64Result(x | y, wide);
        default: return FromInt64Result(x ^ y, wide);
    }
}

}  // namespace

Variant operator+(const Variant& a, const Variant& b) { return Arithmetic(a, b, Op::Add); }
Variant operator-(const Variant& a, const Variant& b) { return Arithmetic(a, b, Op::Sub); }
Variant operator*(const Variant& a, const Variant& b) { return Arithmetic(a, b, Op::Mul); }
Variant operator/(const Variant& a, const Variant& b) { return Arithmetic(a, b, Op::Div); }
Variant VarIntDiv(const Variant& a, const Variant& b) { return IntegerOp(a, b, IntOp::Div); }
Variant operator%(const Variant& a, const Variant& b) { return IntegerOp(a, b, IntOp::Mod); }
Variant operator&(const Variant& a, const Variant& b) { return IntegerOp(a, b, IntOp::And); }
Variant operator|(const Variant& a, const Variant& b) { return IntegerOp(a, b, IntOp::Or); }
Variant operator^(const Variant& a, const Variant& b) { return IntegerOp(a, b, IntOp::Xor); }

Variant VarNot(const Variant& v) {
    switch (KindOf(v)) {
        case Kind::Null: return Null();
        case Kind::Bool: return Variant(!v.AsBoolean());
        case Kind::Array: InvalidOperation();
        default: return FromInt64Result(~v.AsInt64(), KindOf(v) == Kind::Int64);
    }
}

Variant Variant::operator-() const {
    switch (KindOf(*this)) {
        case Kind::Null:
        case Kind::Empty: return *this;
        case Kind::Array: InvalidOperation();
        case Kind::Bool:
        case Kind::Int:
        case Kind::Int64: {
            const int64_t v = AsInt64();
            if (v == std::numeric_limits<int64_t>::min()) throw EOverflow("Arithmetic overflow");
            return FromInt64Result(-v, KindOf(*this) == Kind::Int64);
        }
        case Kind::Currency: return Variant(-AsCurrency());
        case Kind::Date: return FromDateTime(-d_);
        default: return Variant(-AsDouble());
    }
}
