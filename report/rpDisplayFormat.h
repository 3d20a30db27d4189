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
#include <string>

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
