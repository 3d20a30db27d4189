#pragma once
// Number and date formatting and parsing with the class library's patterns,
// driven by a TFormatSettings whose defaults are the Brazilian ones.
//
// Every decimal rounding first takes the value's 15 significant decimal
// digits and then rounds half away from zero, so that amounts typed in
// decimal round as a person expects (2.675 -> "2,68"); a value that rounds to
// zero never prints a minus sign.
#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/rtl/Currency.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/SysUtils.h"

struct TFormatSettings {
    // pt-BR: "R$ 1,00" and "-R$ 1,00" (the class library's format codes 2 and 9).
    uint8_t CurrencyFormat = 2;
    uint8_t NegCurrFormat = 9;
    char ThousandSeparator = '.';
    char DecimalSeparator = ',';
    uint8_t CurrencyDecimals = 2;
    char DateSeparator = '/';
    char TimeSeparator = ':';
    char ListSeparator = ';';
    std::string CurrencyString = "R$";
    std::string ShortDateFormat = "dd/mm/yyyy";
    std::string LongDateFormat = "dddd, d' de 'mmmm' de 'yyyy";
    std::string TimeAMString = "AM";
    std::string TimePMString = "PM";
    std::string ShortTimeFormat = "hh:nn";
    std::string LongTimeFormat = "hh:nn:ss";
    std::array<std::string, 12> ShortMonthNames{"jan", "fev", "mar", "abr", "mai", "jun",
                                                "jul", "ago", "set", "out", "nov", "dez"};
    std::array<std::string, 12> LongMonthNames{"janeiro", "fevereiro", "março",    "abril",
                                               "maio",    "junho",     "julho",    "agosto",
                                               "setembro", "outubro",  "novembro", "dezembro"};
    // Sunday first.
    std::array<std::string, 7> ShortDayNames{"dom", "seg", "ter", "qua", "qui", "sex", "sáb"};
    std::array<std::string, 7> LongDayNames{"domingo",      "segunda-feira", "terça-feira",
                                            "quarta-feira", "quinta-feira",  "sexta-feira",
                                            "sábado"};
    // Two-digit years fall within this many years before now and the rest of
    // the century after (0 keeps the current century).
    uint16_t TwoDigitYearCenturyWindow = 50;
};

// The settings every routine without an explicit TFormatSettings uses.
extern TFormatSettings FormatSettings;

enum TFloatFormat { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };

// One argument of Format, as the class library's open array of constants holds it.
struct TVarRec {
    enum Kind { vtInteger, vtInt64, vtUInt64, vtExtended, vtCurrency, vtString, vtPointer, vtBoolean };
    Kind VType = vtInteger;
    int64_t VInt64 = 0;
    uint64_t VUInt64 = 0;
    double VExtended = 0;
    Currency VCurrency;
    std::string VString;
    const void* VPointer = nullptr;

    TVarRec(int v) : VType(vtInteger), VInt64(v) {}
    TVarRec(short v) : TVarRec(int(v)) {}
    TVarRec(long v) : VType(vtInt64), VInt64(v) {}
    TVarRec(long long v) : VType(vtInt64), VInt64(v) {}
    TVarRec(unsigned v) : VType(vtInt64), VInt64(v) {}
    TVarRec(unsigned short v) : TVarRec(int(v)) {}
    TVarRec(unsigned long v) : VType(vtUInt64), VUInt64(v) {}
    TVarRec(unsigned long long v) : VType(vtUInt64), VUInt64(v) {}
    TVarRec(double v) : VType(vtExtended), VExtended(v) {}
    TVarRec(float v) : VType(vtExtended), VExtended(v) {}
    TVarRec(Currency v) : VType(vtCurrency), VCurrency(v) {}
    TVarRec(char v) : VType(vtString), VString(1, v) {}
    TVarRec(const char* v) : VType(vtString), VString(v ? v : "") {}
    TVarRec(std::string v) : VType(vtString), VString(std::move(v)) {}
    TVarRec(std::string_view v) : VType(vtString), VString(v) {}
    // A boolean is no number and no text: every conversion refuses it.
    TVarRec(bool v) : VType(vtBoolean), VInt64(v) {}
    template <class T>
        requires(!std::is_same_v<std::remove_cv_t<T>, char>)
    TVarRec(T* p) : VType(vtPointer), VPointer(p) {}
    TVarRec(std::nullptr_t) : VType(vtPointer) {}
};

// Conversions: d (integer), u (unsigned), x (hex), s (text), f (fixed, 2
// decimals by default), n (fixed with thousands), m (money), e (scientific),
// g (general), p (pointer); "%[index:][-][width][.precision]type", where index,
// width and precision may be "*". Raises EConvertError "Format '%s' invalid
// or incompatible with argument" / "No argument for format '%s'". Widths and
// precisions of texts count characters.
std::string Format(std::string_view Fmt, const std::vector<TVarRec>& Args);
std::string Format(std::string_view Fmt, const std::vector<TVarRec>& Args,
                   const TFormatSettings& Settings);

template <class... A>
    requires(std::is_constructible_v<TVarRec, const A&> && ...)
std::string Format(std::string_view Fmt, const A&... Args) {
    return Format(Fmt, std::vector<TVarRec>{TVarRec(Args)...});
}

// Patterns with up to three sections (positive;negative;zero), "0", "#", ",",
// ".", "E+", "E-", "e+", "e-", quoted text in ' or ".
std::string FormatFloat(std::string_view Fmt, double Value);
std::string FormatFloat(std::string_view Fmt, double Value, const TFormatSettings& Settings);
// A FormatFloat pattern applied to a number given as plain decimal text
// ("-1234.5678"), every digit of it kept: for totals counted exactly, which
// a double may hold only to fewer digits. Empty for text that is no number.
std::string FormatDecimalText(std::string_view Fmt, std::string_view Number);
std::string FormatCurr(std::string_view Fmt, Currency Value);
std::string FormatCurr(std::string_view Fmt, Currency Value, const TFormatSettings& Settings);

// The same patterns on a whole number, exact to its last digit (a double
// would keep only 15 or 16 of a 64-bit number's 19).
std::string FormatInt64(std::string_view Fmt, int64_t Value);
std::string FormatInt64(std::string_view Fmt, int64_t Value, const TFormatSettings& Settings);

std::string FloatToStr(double Value);
std::string FloatToStr(double Value, const TFormatSettings& Settings);
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits);
std::string FloatToStrF(double Value, TFloatFormat Format, int Precision, int Digits,
                        const TFormatSettings& Settings);
// FloatToStrF's fixed, number and currency forms of a whole number, exact.
std::string Int64ToStrF(int64_t Value, TFloatFormat Format, int Digits);
std::string Int64ToStrF(int64_t Value, TFloatFormat Format, int Digits, const TFormatSettings& Settings);
std::string CurrToStr(Currency Value);
std::string CurrToStr(Currency Value, const TFormatSettings& Settings);
std::string CurrToStrF(Currency Value, TFloatFormat Format, int Digits);
std::string CurrToStrF(Currency Value, TFloatFormat Format, int Digits,
                       const TFormatSettings& Settings);

// Parsing takes the decimal separator of the settings, optional blanks around,
// a sign and an exponent; raises EConvertError "'%s' is not a valid floating
// point value".
double StrToFloat(std::string_view S);
double StrToFloat(std::string_view S, const TFormatSettings& Settings);
double StrToFloatDef(std::string_view S, double Default);
double StrToFloatDef(std::string_view S, double Default, const TFormatSettings& Settings);
bool TryStrToFloat(std::string_view S, double& Value);
bool TryStrToFloat(std::string_view S, double& Value, const TFormatSettings& Settings);
// An amount as a clerk writes it, made into the text the conversions above
// read: thousands marks in their places are dropped ("5.000,00", "1.000.000"),
// and with no decimal separator a lone point that cannot be a thousands mark
// is the decimal one ("3.5", "0.125"), as from a keypad. A text that fits
// neither reading is returned unchanged, for the conversion to refuse.
std::string AmountAsWritten(std::string_view S, const TFormatSettings& Settings);
// The separator keys of an amount being typed, as a clerk means them: a "."
// while the text has no decimal separator yet is the keypad's decimal point
// and is typed as the separator; a "." or the separator typed after that one
// shows it was a thousands mark ("5.000,00", "1.000.000"), and so does
// leaving with exactly three digits after it ("5.000"). One per place an
// amount is typed in (an edit, a grid's cell), cleared when its typing
// starts afresh.
class TAmountTyping {
public:
    // Key, about to be typed into Text at Caret (characters) over Selected
    // selected characters, may become the decimal separator; Text may have
    // its separator put back as a thousands mark (true when so, the caret
    // staying where it was).
    bool KeyPressed(char32_t& Key, std::string& Text, int Caret, int Selected, const TFormatSettings& Settings);
    // The text to give the field as the typing ends, in the form the
    // conversions read (AmountAsWritten).
    std::string Left(std::string_view Text, const TFormatSettings& Settings) const;
    void Reset() { pointAsSeparator_ = false; }

private:
    // The text's one decimal separator came from a "." key.
    bool pointAsSeparator_ = false;
};
Currency StrToCurr(std::string_view S);
Currency StrToCurr(std::string_view S, const TFormatSettings& Settings);
Currency StrToCurrDef(std::string_view S, Currency Default);
Currency StrToCurrDef(std::string_view S, Currency Default, const TFormatSettings& Settings);
bool TryStrToCurr(std::string_view S, Currency& Value);
bool TryStrToCurr(std::string_view S, Currency& Value, const TFormatSettings& Settings);

// The class library's date-time patterns: c d dd ddd dddd ddddd dddddd m mm
// mmm mmmm yy yyyy h hh n nn s ss z zzz t tt am/pm a/p ampm / : and quoted
// text; "m" right after an hour means minutes.
std::string FormatDateTime(std::string_view Fmt, TDateTime Value);
std::string FormatDateTime(std::string_view Fmt, TDateTime Value, const TFormatSettings& Settings);
std::string DateToStr(TDateTime Value);
std::string DateToStr(TDateTime Value, const TFormatSettings& Settings);
std::string TimeToStr(TDateTime Value);
std::string TimeToStr(TDateTime Value, const TFormatSettings& Settings);
std::string DateTimeToStr(TDateTime Value);
std::string DateTimeToStr(TDateTime Value, const TFormatSettings& Settings);

// Dates are read in the order of ShortDateFormat with the settings' date
// separator; two-digit years follow the century window. Raises EConvertError
// "'%s' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(std::string_view S);
TDateTime StrToDate(std::string_view S, const TFormatSettings& Settings);
TDateTime StrToTime(std::string_view S);
TDateTime StrToTime(std::string_view S, const TFormatSettings& Settings);
TDateTime StrToDateTime(std::string_view S);
TDateTime StrToDateTime(std::string_view S, const TFormatSettings& Settings);
TDateTime StrToDateDef(std::string_view S, TDateTime Default);
TDateTime StrToDateTimeDef(std::string_view S, TDateTime Default);
bool TryStrToDate(std::string_view S, TDateTime& Value);
bool TryStrToDate(std::string_view S, TDateTime& Value, const TFormatSettings& Settings);
bool TryStrToTime(std::string_view S, TDateTime& Value);
bool TryStrToTime(std::string_view S, TDateTime& Value, const TFormatSettings& Settings);
bool TryStrToDateTime(std::string_view S, TDateTime& Value);
bool TryStrToDateTime(std::string_view S, TDateTime& Value, const TFormatSettings& Settings);
