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

// Whether a date pattern, or a pattern it names, prints month or day names:
// a run of three or more "m" or of three or four "d". Quoted text counts
// too, which only keeps a text from being remembered.
bool DatePatternNamesThings(std::string_view Pattern, const TFormatSettings& fs, int Depth) {
    if (Depth > 4) return true;
    for (std::size_t i = 0; i < Pattern.size();) {
        const char c = static_cast<char>(Pattern[i] & ~0x20);
        std::size_t run = 1;
        while (i + run < Pattern.size() && static_cast<char>(Pattern[i + run] & ~0x20) == c) ++run;
        i += run;
        if (c == 'M' && run >= 3) return true;
        if (c == 'D' && (run == 3 || run == 4)) return true;
        if ((c == 'D' && run == 5) || c == 'C') {
            if (DatePatternNamesThings(fs.ShortDateFormat, fs, Depth + 1)) return true;
        }
        if (c == 'D' && run >= 6 && DatePatternNamesThings(fs.LongDateFormat, fs, Depth + 1)) return true;
        if (c == 'T' && run == 1 && DatePatternNamesThings(fs.ShortTimeFormat, fs, Depth + 1)) return true;
        if ((c == 'T' && run >= 2) || c == 'C') {
            if (DatePatternNamesThings(fs.LongTimeFormat, fs, Depth + 1)) return true;
        }
    }
    return false;
}

}  // namespace

TrpFormatMemo::Reads TrpFormatMemo::ReadsFor(const std::string& DisplayFormat, TrpDataType DataType,
                                             const Variant& Value) {
    // What TrpDisplayFormat::Format and the routines under it read.
    if (Value.IsNull() || Value.IsEmpty()) return Reads::Nothing;
    const bool text = Value.TextPtr() != nullptr;
    // A text read as a number or a date goes through the parser.
    if (IsNumberType(DataType)) return text ? Reads::More : Reads::Numbers;
    switch (DataType) {
        case dtChar:
        case dtString:
        case dtMemo:
        case dtGUID:
            // Only an edit mask reads the settings.
            return text && DisplayFormat.empty() ? Reads::Nothing : Reads::More;
        case dtBoolean:
            return !DisplayFormat.empty() && Value.VarType() == varBoolean ? Reads::Nothing : Reads::More;
        case dtDate:
        case dtTime:
        case dtDateTime: {
            if (text) return Reads::More;
            const TFormatSettings& fs = FormatSettings;
            std::string_view pattern = DisplayFormat;
            if (pattern.empty())
                pattern = DataType == dtDate ? std::string_view(fs.ShortDateFormat)
                          : DataType == dtTime ? std::string_view(fs.LongTimeFormat)
                                               : std::string_view("c");
            return DatePatternNamesThings(pattern, fs, 0) ? Reads::More : Reads::Dates;
        }
        default: return Reads::More;
    }
}

bool TrpFormatMemo::SettingsUnchanged() const {
    const TFormatSettings& fs = FormatSettings;
    switch (reads_) {
        case Reads::Nothing: return true;
        case Reads::Numbers: return numbers_ == NumberFields(fs);
        case Reads::Dates: return dates_ == DateFields(fs);
        case Reads::More: return false;
    }
    return false;
}

bool TrpFormatMemo::SameShape(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value) const {
    return valid_ && DataType == dataType_ && Value.VarType() == varType_ && DisplayFormat == format_ &&
           SettingsUnchanged();
}

const std::string* TrpFormatMemo::Recall(const std::string& DisplayFormat) const {
    if (!valid_ || DisplayFormat != format_ || rpDisplayFormatClass() != TrpDisplayFormat::Instance()) return nullptr;
    return SettingsUnchanged() ? &text_ : nullptr;
}

const std::string& TrpFormatMemo::Format(const std::string& DisplayFormat, TrpDataType DataType,
                                         const Variant& Value) {
    const TrpDisplayFormatClass formatClass = rpDisplayFormatClass();
    const bool ours = formatClass == TrpDisplayFormat::Instance();
    // The same format, type and settings as last time: what the text reads
    // is known already, and only the value can tell whether it is the same.
    const bool sameShape = ours && SameShape(DisplayFormat, DataType, Value);
    if (sameShape) {
        std::uint64_t bits = 0;
        const std::string* text = Value.TextPtr();
        if (ValueBits(Value, bits) && bits == bits_ && (text == nullptr || *text == valueText_)) return text_;
    }
    valid_ = false;
    text_ = formatClass->Format(DisplayFormat, DataType, Value);
    if (!ours || !ValueBits(Value, bits_)) return text_;
    if (sameShape) {
        // A value of the same type is as null, and as much a text, as the last.
        if (const std::string* text = Value.TextPtr()) valueText_ = *text;
        valid_ = true;
        return text_;
    }
    reads_ = ReadsFor(DisplayFormat, DataType, Value);
    if (reads_ == Reads::More) return text_;
    format_ = DisplayFormat;
    dataType_ = DataType;
    varType_ = Value.VarType();
    if (const std::string* text = Value.TextPtr()) valueText_ = *text;
    const TFormatSettings& fs = FormatSettings;
    if (reads_ == Reads::Numbers)
        numbers_ = NumberFields(fs);
    else if (reads_ == Reads::Dates)
        dates_ = DateFields(fs);
    valid_ = true;
    return text_;
}
