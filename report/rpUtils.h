#pragma once
// The library's shared helpers: the text of system variables, value
// formatting through the display-format class, page lists, version
// numbers, names, files, published properties by name, and the counters and
// flags every unit shares. Nothing here keeps a window or a thread; the
// clock that system variables read can be replaced (tests move it by hand).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/gfx/Graphics.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Lists.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/Variant.h"
#include "report/rpComm.h"
#include "report/rpTypes.h"

// ---------------------------------------------------------------------------
// Clock

using TrpClock = std::function<TDateTime()>;
// The moment "now" for report texts; nullptr restores the system clock.
// Returns the clock it replaces.
TrpClock rpSetClock(TrpClock Clock);
TDateTime rpNow();

// ---------------------------------------------------------------------------
// System variables and values

// The text of a system variable. Without valid page information, page
// number and count both count as 1.
std::string rpSystemVariableText(TrpVarType VarType, int PageNo, int PageCount, TDateTime PrintDateTime,
                                 bool PageInfoValid);
std::string rpGetSystemVariableText(TrpVarType VarType, int PageNo, int PageCount, TDateTime PrintDateTime,
                                    bool PageInfoValid);
TrpVarType rpCalcTypeToVarType(TrpCalcType CalcType);
// The event number a variable listens for.
int rpVarEventToEventNumber(TrpVarEventType EventType);
// Formats through the display-format class in force (rpDisplayFormatClass).
std::string rpFormatValue(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value);
TDateTime rpStrToDateTime(const std::string& Text);
// -1, 0, 1; Null sorts first, two Nulls are equal, values that cannot be
// compared count as equal.
int rpCompareVariants(const Variant& A, const Variant& B);

using TrpGuidBytes = std::array<std::uint8_t, 16>;
// The four 32-bit words (little-endian), unsigned, first to last.
int rpCompareGuidWords(const TrpGuidBytes& A, const TrpGuidBytes& B);
// Bytes 10..15, unsigned.
int rpCompareGuidNodes(const TrpGuidBytes& A, const TrpGuidBytes& B);

// ---------------------------------------------------------------------------
// Texts, files and names

// Width characters: cut, or padded by Alignment (0 blanks after, 1 before,
// 2 half before and the rest after).
std::string rpPadText(const std::string& Text, int Width, int Alignment);
// "1,3,5-7" gives 1, 3, 5, 6, 7 as sorted "%8d" texts (leading blanks
// trimmed when TrimNumbers). A range adds at most 100,000 numbers between
// its ends; numbers above 99,999,999 are ignored.
void rpTextToPageList(const std::string& Text, TStrings* List, bool TrimNumbers);
void rpSplitCommaList(const std::string& Text, TStrings* List);
// "10.02" 10020, "4.0" 4000, "7" 70; at most INT32_MAX; 0 without digits.
int32_t rpVersionToInteger(const std::string& Text);
// Up to and including the last "/" or "\"; empty when there is none.
std::string rpExtractFolder(const std::string& Path);
std::string rpStripChar(char Char, const std::string& Text);
// Replaces the stream's content by the strings' text (no terminating zero).
void rpStringsToStream(TStrings* Strings, TMemoryStream* Stream);
// The first "." of every entry becomes the decimal separator.
void rpDecimalSeparatorInList(TStrings* List);
// The temporary folder, ending with "/".
std::string rpGetTempPath();
// A new empty file in Folder whose name starts with Prefix; "" when none
// could be made.
std::string rpGetTempFileName(const std::string& Folder, const std::string& Prefix);
bool rpSameText(const std::string& A, const std::string& B);
// "TrpDBPipeline" gives "rpDBPipeline" / "DBPipeline".
std::string rpClassNameWithoutT(const std::string& ClassName);
std::string rpClassNameWithoutPrefix(const std::string& ClassName);
// Smaller of DestWidth / SourceWidth and DestHeight / SourceHeight; 0 when
// a source side is not positive.
double rpScaleToFit(double SourceWidth, double SourceHeight, double DestWidth, double DestHeight);
TRect rpMakeRect(int Left, int Top, int Right, int Bottom);

// Looks ahead, from a property list, for PropertyName; when its value is an
// identifier, that identifier without any prefix up to its last ".". The
// reader stands where it stood in every case; "" when absent.
std::string rpPeekIdentProperty(TReader* Reader, const std::string& PropertyName);
// True while the component is being loaded or read from a stream, when
// setters only store.
bool rpIsLoading(const TComponent* Component);
// An integer property value; a stored floating-point value is truncated.
int32_t rpReadTruncatedInteger(TReader* Reader);

// Published properties by name; absent ones read 0 / "" and ignore writes.
const std::any* rpFindMethod(TObject* Object, const std::string& Name);
bool rpHasProperty(const TObject* Object, const std::string& Name);
int64_t rpGetOrdPropValue(const TObject* Object, const std::string& Name);
std::string rpGetStrPropValue(const TObject* Object, const std::string& Name);
void rpSetOrdPropValue(TObject* Object, const std::string& Name, int64_t Value);
void rpSetMethodPropValue(TObject* Object, const std::string& Name, const std::any* Handler,
                          const std::string& HandlerName = "");

// The list of the component class registry: adding and deleting end with
// the change notice.
class TrpRegList : public TStringList {
public:
    FAT_CLASS_NAME(TrpRegList)
};

// ---------------------------------------------------------------------------
// Shared counters and flags

// One report generation more / less running in a background thread; never below 0.
void rpIncrementThreadCount();
void rpDecrementThreadCount();
int rpThreadCount();
// True while a background generation runs or the caller is the main thread.
bool rpThreadSafeContext();
// Kept for the units that ask: every system this program runs on qualifies.
bool rpWindowsXPOrLater();
