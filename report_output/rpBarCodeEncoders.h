#pragma once
// The one-dimensional symbologies: each turns the data of a barcode into its
// column buffer, one character per device pixel column ('1' bar, '0' space,
// and for Postnet '2' a tall bar, '1' a short one).
//
// The encoders work on code page 1252 bytes: the Code 128 function
// characters (201-242) are bytes of that code page, so the UTF-8 data is
// converted once, on the way in, and the data they hand back (with an
// appended check digit or the automatic Code 128 characters) is converted
// back to UTF-8 on the way out.
//
// The buffers grow as the symbol needs them; a symbol wider than
// kMaxBarCodeColumns is refused with a message instead of being cut.
#include <string>

#include "report/rpTypes.h"

namespace barcode {

constexpr int kMaxBarCodeColumns = 65535;

// Code 128 function characters as they stand in the data (value + 105).
enum : unsigned char {
    kFNC3 = 201,
    kFNC2 = 202,
    kShift = 203,
    kCodeC = 204,
    kCodeB = 205,
    kCodeA = 206,
    kFNC1 = 207,
    kStartA = 208,
    kStartB = 209,
    kStartC = 210,
};

struct EncodeRequest {
    TrpBarCodeType Type = bcCode39;
    std::string Data;   // UTF-8
    std::string AddOn;  // UPC/EAN supplement, 2 or 5 digits, or empty
    bool CalcCheckDigit = true;
    bool AutoEncode = false;
    int Narrow = 1;  // device pixel columns of a module / narrow element
    int Wide = 3;    // of a wide element
};

struct EncodeResult {
    bool Valid = true;
    std::string Message;  // why the data was refused (Valid false)
    std::string Data;     // UTF-8, as the encoder rewrote it
    std::string Columns;
    std::string AddOnColumns;
};

// The encoder of Request.Type; an empty (trimmed) data gives no columns.
EncodeResult Encode(const EncodeRequest& Request);

// The check rules a control applies when its data changes: the message of
// the first rule that fails, empty when the data is acceptable.
std::string ValidateData(TrpBarCodeType Type, const std::string& Data, bool CalcCheckDigit);

// The data a control shows when its type is chosen (UTF-8).
std::string SampleData(TrpBarCodeType Type, bool CalcCheckDigit, bool DataAware);

// Code 128 data (code page 1252 bytes) rewritten with start, code and shift
// characters chosen automatically.
std::string AutoEncodeCode128(const std::string& Bytes);

// Check digits. Digits only, as given (no check digit in Digits).
int UpcEanCheckDigit(const std::string& Digits);
int MsiCheckDigit(const std::string& Digits);
int PostnetCheckDigit(const std::string& Digits);
// The UPC-A number (11 digits) behind the six digits of a UPC-E symbol.
std::string ExpandUpcE(const std::string& SixDigits);

bool IsUpcEan(TrpBarCodeType Type);

}  // namespace barcode
