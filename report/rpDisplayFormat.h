#pragma once
// Display formats: a field or calculated value turned into its printed text
// by a format string and the value's TrpDataType, and, per data type, the
// ready-made formats a designer offers. Nothing calls TrpDisplayFormat
// directly: every caller goes through the class in force,
// rpDisplayFormatClass(), which a program may replace by a descendant with
// other rules.
//
// Numbers round as the runtime does: a double's 15 significant digits, then
// half away from zero ("2,68" for 2.675), and a value that rounds to zero
// never shows a minus sign; 64-bit whole numbers print exactly; NaN and the
// infinities print as text. Texts pass through the edit-mask layout.
#include <cstdint>
#include <string>
#include <tuple>

#include "platform/rtl/Format.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Variant.h"
#include "report/rpTypes.h"

class TrpDisplayFormat : public TObject {
public:
    FAT_CLASS(TrpDisplayFormat)
    static const TrpDisplayFormat* Instance();

    // Empty text for a Null or unassigned value.
    virtual std::string Format(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value) const;
    // Clears List and fills it with "sample" + "\x01" + "format" entries.
    virtual void GetDisplayFormats(TrpDataType DataType, TStrings* List) const;
};

using TrpDisplayFormatClass = const TrpDisplayFormat*;

// The class in force; TrpDisplayFormat's own rules when none is set.
TrpDisplayFormatClass rpDisplayFormatClass();
// Replaces it (nullptr: back to the library's own); returns the previous.
TrpDisplayFormatClass rpSetDisplayFormatClass(TrpDisplayFormatClass Class);

// The last text a component's value was formatted to, with everything that
// text came from: the format, the data type, the value's type and exact
// value, and the format settings the library's own rules read for them. A
// component that asks for the same value again while a page is made (once
// for its record, once for its draw command) gets the text without
// formatting it twice. Texts that hang on more of the settings than
// separators, currency and date patterns (an edit mask, month or day names,
// a text read as a number) are not kept, nor is anything under a
// display-format class other than the library's own: its rules may read
// anything.
class TrpFormatMemo {
public:
    // rpFormatValue(DisplayFormat, DataType, Value). A failure is not
    // remembered.
    const std::string& Format(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value);
    void Clear() { valid_ = false; }
    // The text Format last gave, for a caller that knows the value has not
    // changed since: nullptr unless the format and the settings that text
    // read are still those in force.
    const std::string* Recall(const std::string& DisplayFormat) const;

private:
    // What the library's own rules read of the settings in force.
    enum class Reads : std::uint8_t { Nothing, Numbers, Dates, More };
    // The settings each kind reads, listed once (NumberFields, DateFields)
    // for both taking a snapshot and comparing with one.
    using NumberSettings = std::tuple<char, char, std::uint8_t, std::uint8_t, std::uint8_t, std::string>;
    using DateSettings = std::tuple<char, char, std::string, std::string, std::string, std::string, std::string,
                                    std::string>;
    static auto NumberFields(const TFormatSettings& fs) {
        return std::tie(fs.DecimalSeparator, fs.ThousandSeparator, fs.CurrencyFormat, fs.NegCurrFormat,
                        fs.CurrencyDecimals, fs.CurrencyString);
    }
    static auto DateFields(const TFormatSettings& fs) {
        return std::tie(fs.DateSeparator, fs.TimeSeparator, fs.ShortDateFormat, fs.LongDateFormat,
                        fs.ShortTimeFormat, fs.LongTimeFormat, fs.TimeAMString, fs.TimePMString);
    }

    static Reads ReadsFor(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value);
    // Whether the settings the last text read are still those in force.
    bool SettingsUnchanged() const;
    // The last text was made for this format and type, under the settings
    // in force: only the value may differ.
    bool SameShape(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value) const;

    bool valid_ = false;
    std::string format_;
    TrpDataType dataType_ = dtNotKnown;
    TVarType varType_ = varEmpty;
    std::uint64_t bits_ = 0;   // a number's exact value or bit pattern
    std::string valueText_;    // a text value
    Reads reads_ = Reads::Nothing;
    NumberSettings numbers_;
    DateSettings dates_;
    std::string text_;
};
