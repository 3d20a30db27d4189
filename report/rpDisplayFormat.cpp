#include "report/rpDisplayFormat.h"

#include <atomic>
#include <bit>
#include <cmath>

#include "platform/rtl/Format.h"
#include "platform/rtl/MaskUtils.h"

TClass TrpDisplayFormat::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpDisplayFormat>("TrpDisplayFormat", TObject::StaticClassType()).Build();
    return &info;
}

const TrpDisplayFormat* TrpDisplayFormat::Instance() {
    static const TrpDisplayFormat format;
    return &format;
}

namespace {

bool IsNumberType(TrpDataType t) {
    switch (t) {
        case dtInteger:
        case dtSingle:
        case dtDouble:
        case dtExtended:
        case dtCurrency:
        case dtLongint:
        case dtLargeInt: return true;
        default: return false;
    }
}

// The decimals a "$" format asks for: the characters after the first "."
// of its first section.
int CurrencyDecimals(const std::string& fmt) {
    const std::string first = fmt.substr(0, fmt.find(';'));
    const std::size_t point = first.find('.');
    if (point == std::string::npos) return 0;
    return static_cast<int>(first.size() - point - 1);
}

std::string FormatNumber(const std::string& fmt, TrpDataType type, const Variant& value) {
    if (VarIsFloat(value) && value.VarType() != varCurrency && !std::isfinite(value.AsDouble()))
        return FloatToStr(value.AsDouble());  // "Nan", "+Inf", "-Inf"
    // A 64-bit number keeps every digit; a double would keep 15 or 16.
    const bool exact = type == dtLargeInt && VarIsOrdinal(value);
    if (fmt.find('$') != std::string::npos) {
        const int decimals = CurrencyDecimals(fmt);
        if (exact) return Int64ToStrF(value.AsInt64(), ffCurrency, decimals);
        return FloatToStrF(value.AsDouble(), ffCurrency, 15, decimals);
    }
    if (fmt.empty()) {
        if (type == dtCurrency) return CurrToStrF(value.AsCurrency(), ffCurrency, FormatSettings.CurrencyDecimals);
        if (exact) return Int64ToStrF(value.AsInt64(), ffGeneral, 0);
        return FloatToStrF(value.AsDouble(), ffGeneral, 15, 0);
    }
    if (type == dtCurrency) return FormatCurr(fmt, value.AsCurrency());
    if (exact) return FormatInt64(fmt, value.AsInt64());
    return FormatFloat(fmt, value.AsDouble());
}

std::string FormatDate(const std::string& fmt, const std::string& fallback, const Variant& value) {
    return FormatDateTime(fmt.empty() ? fallback : fmt, VarToDateTime(value));
}

}  // namespace

std::string TrpDisplayFormat::Format(const std::string& DisplayFormat, TrpDataType DataType,
                                     const Variant& Value) const {
    if (Value.IsNull() || Value.IsEmpty()) return "";
    if (IsNumberType(DataType)) return FormatNumber(DisplayFormat, DataType, Value);
    switch (DataType) {
        case dtBoolean: {
            if (DisplayFormat.empty() || Value.VarType() != varBoolean) return VarToStr(Value);
            const std::size_t semi = DisplayFormat.find(';');
            const std::string yes = DisplayFormat.substr(0, semi);
            const std::string no = semi == std::string::npos ? "" : DisplayFormat.substr(semi + 1);
            return Value.AsBoolean() ? yes : no;
        }
        case dtDate: return FormatDate(DisplayFormat, FormatSettings.ShortDateFormat, Value);
        case dtTime: return FormatDate(DisplayFormat, FormatSettings.LongTimeFormat, Value);
        case dtDateTime: return FormatDate(DisplayFormat, "c", Value);
        case dtChar:
        case dtString:
        case dtMemo:
        case dtGUID:
            if (DisplayFormat.empty()) return VarToStr(Value);
            return FormatMaskText(DisplayFormat, VarToStr(Value));
        default: return "";
    }
}

void TrpDisplayFormat::GetDisplayFormats(TrpDataType DataType, TStrings* List) const {
    if (List == nullptr) return;
    List->Clear();
    auto add = [List](const char* sample, const char* format) { List->Add(std::string(sample) + "\x01" + format); };
    auto dates = [&] {
        add("3/4/95", "m/d/yy");
        add("03/04/95", "mm/dd/yy");
        add("03/04/1995", "mm/dd/yyyy");
        add("4-Mar-95 ", "d-mmm-yy");
        add("04-Mar-95 ", "dd-mmm-yy");
        add("March 4, 1995", "mmmm d, yyyy");
        add("3/4", "m/d");
        add("Mar-95", "mmm-yy");
        add("March-95", "mmmm-yy");
    };
    switch (DataType) {
        case dtBoolean:
            add("Yes", "Yes;No");
            add("Y", "Y;N");
            add("True", "True;False");
            add("T", "T;F");
            add("OK", "OK;");
            add("Done", "Done;");
            add("", ";Not OK");
            add("", ";Not Done");
            break;
        case dtDate: dates(); break;
        case dtTime:
            add("1:30 PM", "h:nn AM/PM");
            add("13:30", "h:nn");
            add("1:30:55 PM", "h:nn:ss AM/PM");
            add("13:30:55", "h:nn:ss");
            break;
        case dtDateTime:
            add("3/4/95 1:30:55 PM", "m/d/yy h:nn:ss AM/PM");
            add("3/4/95 13:30:55", "m/d/yy h:nn:ss");
            dates();
            break;
        case dtString:
            add("Phone", "!\\(999\\)\\ 000\\-0000;0; ");
            add("Extension", "!99999;0; ");
            add("Social Security", "000\\-00\\-0000;0; ");
            add("Short Zip Code", "00000;0; ");
            add("Long Zip Code", "00000\\-9999;0; ");
            add("Date", "!99/99/00;0; ");
            add("Long Time", "!90:00:00\\ >LL;0; ");
            add("Short Time", "!90:00;0; ");
            break;
        default:
            if (!IsNumberType(DataType)) break;
            add("-1,234", "#,0;-#,0");
            add("-1,234.40", "#,0.00;-#,0.00");
            add("(1,234.40)", "#,0.00;(#,0.00)");
            add("($1,234.40)", "$#,0.00;($#,0.00)");
            add("-$1,234.40", "$#,0.00;-$#,0.00");
            add("-$1,234", "$#,0;-$#,0");
            add("($1,234)", "$#,0;($#,0)");
            add("-1234.4 %", "0 %");
            add("-1234.40 %", "0.00 %");
            break;
    }
}

namespace {
std::atomic<TrpDisplayFormatClass> currentClass{nullptr};
}

TrpDisplayFormatClass rpDisplayFormatClass() {
    TrpDisplayFormatClass c = currentClass.load();
    return c ? c : TrpDisplayFormat::Instance();
}

TrpDisplayFormatClass rpSetDisplayFormatClass(TrpDisplayFormatClass Class) { return currentClass.exchange(Class); }

// ---------------------------------------------------------------------------
// TrpFormatMemo

namespace {

// The value's exact identity beyond its type (a text compares by itself);
// false for a kind the memo does not keep.
bool ValueBits(const Variant& v, std::uint64_t& bits) {
    switch (v.VarType()) {
        case varEmpty:
        case varNull:
        case varString:
        case varOleStr:
        case varUString: bits = 0; return true;
        case varBoolean:
        case varSmallint:
        case varInteger:
        case varShortInt:
        case varByte:
        case varWord:
        case varLongWord:
        case varInt64: bits = static_cast<std::uint64_t>(v.AsInt64()); return true;
        // Bit for bit: -0 and 0 are different values here, and a NaN equals itself.
        case varSingle:
        case varDouble:
        case varDate: bits = std::bit_cast<std::uint64_t>(v.AsDouble()); return true;
        case varCurrency: bits = static_cast<std::uint64_t>(v.AsCurrency().Raw()); return true;
        default: return false;
    }
}

}  // namespace

bool TrpFormatMemo::Matches(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value) const {
    if (!valid_ || DataType != dataType_ || Value.VarType() != varType_) return false;
    std::uint64_t bits = 0;
    if (!ValueBits(Value, bits) || bits != bits_) return false;
    if (const std::string* text = Value.TextPtr(); text != nullptr && *text != valueText_) return false;
    if (DisplayFormat != format_) return false;
    const TFormatSettings& fs = FormatSettings;
    switch (reads_) {
        case Reads::Nothing: return true;
        case Reads::Numbers:
            return fs.DecimalSeparator == numbers_.decimalSeparator &&
                   fs.ThousandSeparator == numbers_.thousandSeparator &&
                   fs.CurrencyFormat == numbers_.currencyFormat && fs.NegCurrFormat == numbers_.negCurrFormat &&
                   fs.CurrencyDecimals == numbers_.currencyDecimals && fs.CurrencyString == numbers_.currencyString;
        case Reads::Everything: return *settings_ == fs;
    }
    return false;
}

void TrpFormatMemo::Remember(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value,
                             Reads What) {
    format_ = DisplayFormat;
    dataType_ = DataType;
    varType_ = Value.VarType();
    if (const std::string* text = Value.TextPtr()) valueText_ = *text;
    reads_ = What;
    const TFormatSettings& fs = FormatSettings;
    if (What == Reads::Numbers) {
        numbers_.decimalSeparator = fs.DecimalSeparator;
        numbers_.thousandSeparator = fs.ThousandSeparator;
        numbers_.currencyFormat = fs.CurrencyFormat;
        numbers_.negCurrFormat = fs.NegCurrFormat;
        numbers_.currencyDecimals = fs.CurrencyDecimals;
        numbers_.currencyString = fs.CurrencyString;
    } else if (What == Reads::Everything) {
        if (!settings_)
            settings_ = std::make_unique<TFormatSettings>(fs);
        else if (!(*settings_ == fs))
            *settings_ = fs;
    }
    valid_ = true;
}

const std::string& TrpFormatMemo::Format(const std::string& DisplayFormat, TrpDataType DataType,
                                         const Variant& Value) {
    const TrpDisplayFormatClass formatClass = rpDisplayFormatClass();
    if (formatClass == TrpDisplayFormat::Instance() && Matches(DisplayFormat, DataType, Value)) return text_;
    valid_ = false;
    text_ = formatClass->Format(DisplayFormat, DataType, Value);
    std::uint64_t bits = 0;
    if (formatClass != TrpDisplayFormat::Instance() || !ValueBits(Value, bits)) return text_;
    bits_ = bits;
    // What TrpDisplayFormat::Format and the routines under it read of the settings.
    Reads what = Reads::Everything;
    const bool text = Value.TextPtr() != nullptr;
    if (Value.IsNull() || Value.IsEmpty()) {
        what = Reads::Nothing;
    } else if (IsNumberType(DataType)) {
        // A text read as a number goes through the parser.
        what = text ? Reads::Everything : Reads::Numbers;
    } else if (DataType == dtChar || DataType == dtString || DataType == dtMemo || DataType == dtGUID) {
        // Only an edit mask reads the settings.
        if (text && DisplayFormat.empty()) what = Reads::Nothing;
    } else if (DataType == dtBoolean) {
        if (!DisplayFormat.empty() && Value.VarType() == varBoolean) what = Reads::Nothing;
    }
    Remember(DisplayFormat, DataType, Value, what);
    return text_;
}
