#pragma once
// The dynamically typed value of fields, parameters, report variables and
// filter expressions, with the class library's conversion, comparison and
// arithmetic rules.
//
// Conversions read and write numbers and dates through the global
// FormatSettings (decimal ",", dates "dd/mm/yyyy" by default). A failed
// conversion raises EVariantError "Could not convert variant of type (String)
// into type (Integer)"; a value out of the target's range raises
// EVariantError "Overflow while converting variant of type (Double) into type
// (Integer)" instead of wrapping around.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Currency.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

using TVarType = uint16_t;

constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varSingle = 0x0004;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varOleStr = 0x0008;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varVariant = 0x000C;
constexpr TVarType varShortInt = 0x0010;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varWord = 0x0012;
constexpr TVarType varLongWord = 0x0013;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varString = 0x0100;
constexpr TVarType varUString = 0x0102;
constexpr TVarType varTypeMask = 0x0FFF;
constexpr TVarType varArray = 0x2000;

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };

class Variant {
public:
    // Unassigned (varEmpty).
    Variant() noexcept = default;

    Variant(bool v) : vt_(varBoolean), i_(v ? 1 : 0) {}
    Variant(signed char v) : vt_(varShortInt), i_(v) {}
    Variant(unsigned char v) : vt_(varByte), i_(v) {}
    Variant(short v) : vt_(varSmallint), i_(v) {}
    Variant(unsigned short v) : vt_(varWord), i_(v) {}
    Variant(int v) : vt_(varInteger), i_(v) {}
    Variant(unsigned v) : vt_(varLongWord), i_(v) {}
    Variant(long v) : vt_(varInt64), i_(v) {}
    Variant(long long v) : vt_(varInt64), i_(v) {}
    // Raises EVariantError beyond the 64-bit signed range.
    Variant(unsigned long v);
    Variant(unsigned long long v);
    Variant(float v) : vt_(varSingle), d_(v) {}
    Variant(double v) : vt_(varDouble), d_(v) {}
    Variant(Currency v) : vt_(varCurrency), i_(v.Raw()) {}
    // A single character becomes a one-character string, as the class library does.
    Variant(char v) : vt_(varString), s_(1, v) {}
    Variant(const char* v) : vt_(varString), s_(v ? v : "") {}
    Variant(std::string v) : vt_(varString), s_(std::move(v)) {}
    Variant(std::string_view v) : vt_(varString), s_(v) {}

    // TDateTime is a double, so a date assigned directly becomes varDouble;
    // this (or VarFromDateTime) makes a varDate.
    static Variant FromDateTime(TDateTime v);
    // A text of another string kind (varOleStr, varUString).
    static Variant FromString(std::string v, TVarType stringType);
    // A byte array (varArray | varByte) of these bytes.
    static Variant FromBytes(std::string_view bytes);
    static Variant MakeNull();

    TVarType VarType() const { return vt_; }
    bool IsEmpty() const { return vt_ == varEmpty; }
    bool IsNull() const { return vt_ == varNull; }
    bool IsArray() const { return (vt_ & varArray) != 0; }

    // Conversions (see the top of the file).
    bool AsBoolean() const;
    int32_t AsInteger() const;
    int64_t AsInt64() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    TDateTime AsDateTime() const;
    std::string AsString() const;
    // The text of a string variant, without a copy; nullptr for other kinds.
    const std::string* TextPtr() const;
    // The bytes of a byte array, or of a string's text.
    std::string AsBytes() const;
    // The value converted to another type (VarAsType).
    Variant AsType(TVarType type) const;

    // Arrays, one dimension. Raises EVariantError "Variant is not an array"
    // on a scalar and "Variant or safe array index out of bounds" outside the
    // bounds.
    int LowBound() const;
    int HighBound() const;
    Variant GetElement(int index) const;
    void PutElement(int index, const Variant& value);
    Variant operator[](int index) const { return GetElement(index); }

    Variant operator-() const;

private:
    friend Variant VarArrayCreate(int lowBound, int highBound, TVarType elementType);
    friend Variant VarArrayOf(const std::vector<Variant>& values);

    TVarType vt_ = varEmpty;
    int64_t i_ = 0;  // integers, booleans, the raw Currency
    double d_ = 0;   // single, double, date
    std::string s_;  // text, or the bytes of a byte array
    // Elements of a variant array, shared until one copy changes.
    std::shared_ptr<std::vector<Variant>> items_;
    int low_ = 0;  // low bound of an array
};

inline Variant Null() { return Variant::MakeNull(); }
inline Variant Unassigned() { return Variant(); }

inline TVarType VarType(const Variant& v) { return v.VarType(); }
// "Integer", "String", "Null", "Array Variant" ...
std::string VarTypeAsText(TVarType type);
inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsClear(const Variant& v) { return v.IsEmpty(); }
bool VarIsType(const Variant& v, TVarType type);
// Whole numbers and booleans (as the class library counts them).
bool VarIsOrdinal(const Variant& v);
// Single, double and currency.
bool VarIsFloat(const Variant& v);
bool VarIsNumeric(const Variant& v);
bool VarIsStr(const Variant& v);
bool VarIsArray(const Variant& v);

// Text of any value; Null gives "" (or `def`) instead of an error.
std::string VarToStr(const Variant& v);
std::string VarToStrDef(const Variant& v, std::string_view def);
TDateTime VarToDateTime(const Variant& v);
Variant VarFromDateTime(TDateTime v);
Variant VarAsType(const Variant& v, TVarType type);

Variant VarArrayCreate(int lowBound, int highBound, TVarType elementType);
Variant VarArrayOf(const std::vector<Variant>& values);
inline Variant VarArrayOf(std::initializer_list<Variant> values) {
    return VarArrayOf(std::vector<Variant>(values));
}
int VarArrayDimCount(const Variant& v);
int VarArrayLowBound(const Variant& v, int dim);
int VarArrayHighBound(const Variant& v, int dim);
inline Variant VarArrayGet(const Variant& v, int index) { return v.GetElement(index); }
inline void VarArrayPut(Variant& v, const Variant& value, int index) { v.PutElement(index, value); }

// Comparison as the class library's variant operators do it: numbers by
// value (a string against a number is read as a number), strings by their
// characters, case-sensitive; Null equals Null and Unassigned equals
// Unassigned, and each sorts below every other value (Null above Unassigned).
// A string that is no number against a number raises EVariantError.
bool operator==(const Variant& a, const Variant& b);
bool operator<(const Variant& a, const Variant& b);
inline bool operator>(const Variant& a, const Variant& b) { return b < a; }
inline bool operator<=(const Variant& a, const Variant& b) { return !(b < a); }
inline bool operator>=(const Variant& a, const Variant& b) { return !(a < b); }
// vrNotEqual when either side (not both) is Null or Unassigned, or for two
// arrays that differ.
TVariantRelationship VarCompareValue(const Variant& a, const Variant& b);
// Equality without errors: values that cannot be compared are not the same.
bool VarSameValue(const Variant& a, const Variant& b);

// Arithmetic: Null on either side gives Null; Unassigned counts as 0 (or ""
// beside a string). Two strings added are joined; a string with a number is
// read as a number. Whole numbers stay whole (widening to 64 bits instead of
// overflowing), Currency stays Currency, a date plus or minus a number stays
// a date. Division is always real division; a division by zero raises
// EZeroDivide.
Variant operator+(const Variant& a, const Variant& b);
Variant operator-(const Variant& a, const Variant& b);
Variant operator*(const Variant& a, const Variant& b);
Variant operator/(const Variant& a, const Variant& b);
// Integer division and remainder of the values rounded to whole numbers.
Variant VarIntDiv(const Variant& a, const Variant& b);
Variant operator%(const Variant& a, const Variant& b);
// Logical for two booleans, bitwise for whole numbers.
Variant operator&(const Variant& a, const Variant& b);
Variant operator|(const Variant& a, const Variant& b);
Variant operator^(const Variant& a, const Variant& b);
Variant VarNot(const Variant& v);
inline Variant operator~(const Variant& v) { return VarNot(v); }
