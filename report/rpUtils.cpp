#include "report/rpUtils.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <set>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SyncObjs.h"
#include "report/rpDisplayFormat.h"
#include "report/rpLanguage.h"

// ---------------------------------------------------------------------------
// Clock

namespace {

std::mutex& ClockLock() {
    static std::mutex lock;
    return lock;
}

TrpClock& Clock() {
    static TrpClock clock;
    return clock;
}

std::atomic<int> threadCount{0};

}  // namespace

TrpClock rpSetClock(TrpClock NewClock) {
    std::lock_guard<std::mutex> guard(ClockLock());
    TrpClock old = std::move(Clock());
    Clock() = std::move(NewClock);
    return old;
}

TDateTime rpNow() {
    std::lock_guard<std::mutex> guard(ClockLock());
    return Clock() ? Clock()() : Now();
}

// ---------------------------------------------------------------------------
// System variables and values

std::string rpSystemVariableText(TrpVarType VarType, int PageNo, int PageCount, TDateTime PrintDateTime,
                                 bool PageInfoValid) {
    if (!PageInfoValid) {
        PageNo = 1;
        PageCount = 1;
    }
    const std::string no = IntToStr(PageNo);
    const std::string count = IntToStr(PageCount);
    switch (VarType) {
        case vtDate: return DateTimeToStr(DateOf(rpNow()));
        case vtDateTime: return DateTimeToStr(rpNow());
        case vtDocumentName: return "";
        case vtPrintDateTime: return DateTimeToStr(PageInfoValid ? PrintDateTime : rpNow());
        case vtPageCount: return count;
        case vtPageSet: return no + " " + rpLanguageText(16) + " " + count;
        case vtPageSetDesc: return rpLanguageText(18) + " " + no + " " + rpLanguageText(16) + " " + count;
        case vtPageNo: return no;
        case vtPageNoDesc: return rpLanguageText(18) + " " + no;
        case vtTime: return TimeToStr(rpNow());
    }
    return "";
}

std::string rpGetSystemVariableText(TrpVarType VarType, int PageNo, int PageCount, TDateTime PrintDateTime,
                                    bool PageInfoValid) {
    return rpSystemVariableText(VarType, PageNo, PageCount, PrintDateTime, PageInfoValid);
}

TrpVarType rpCalcTypeToVarType(TrpCalcType CalcType) {
    switch (CalcType) {
        case ctDate: return vtDate;
        case ctDateTime: return vtDateTime;
        case ctPrintDateTime: return vtPrintDateTime;
        case ctPageCount: return vtPageCount;
        case ctPageSet: return vtPageSet;
        case ctPageSetDesc: return vtPageSetDesc;
        case ctPageNo: return vtPageNo;
        case ctPageNoDesc: return vtPageNoDesc;
        case ctTime: return vtTime;
        default: return vtDate;
    }
}

int rpVarEventToEventNumber(TrpVarEventType EventType) {
    switch (EventType) {
        case veTraversal: return 35;
        case veDataPipelineTraversal: return 39;
        case vePageStart: return 21;
        case vePageEnd: return 17;
        case veColumnStart: return 19;
        case veColumnEnd: return 15;
        case veReportStart: return 13;
        case veReportEnd: return 14;
        case veGroupStart: return 28;
        case veGroupEnd: return 27;
        case veGroupBeforeHeader: return 29;
        case veGroupBeforeFooter: return 30;
    }
    return 35;
}

std::string rpFormatValue(const std::string& DisplayFormat, TrpDataType DataType, const Variant& Value) {
    return rpDisplayFormatClass()->Format(DisplayFormat, DataType, Value);
}

TDateTime rpStrToDateTime(const std::string& Text) { return StrToDateTime(Text); }

int rpCompareVariants(const Variant& A, const Variant& B) {
    if (A.IsNull() && B.IsNull()) return 0;
    if (A.IsNull()) return -1;
    if (B.IsNull()) return 1;
    try {
        switch (VarCompareValue(A, B)) {
            case vrLessThan: return -1;
            case vrGreaterThan: return 1;
            default: return 0;
        }
    } catch (const EVariantError&) {
        return 0;
    }
}

namespace {

std::uint32_t Word(const TrpGuidBytes& g, int i) {
    const std::size_t b = static_cast<std::size_t>(i) * 4;
    return static_cast<std::uint32_t>(g[b]) | static_cast<std::uint32_t>(g[b + 1]) << 8 |
           static_cast<std::uint32_t>(g[b + 2]) << 16 | static_cast<std::uint32_t>(g[b + 3]) << 24;
}

}  // namespace

int rpCompareGuidWords(const TrpGuidBytes& A, const TrpGuidBytes& B) {
    for (int i = 0; i < 4; ++i) {
        const std::uint32_t a = Word(A, i);
        const std::uint32_t b = Word(B, i);
        if (a != b) return a > b ? 1 : -1;
    }
    return 0;
}

int rpCompareGuidNodes(const TrpGuidBytes& A, const TrpGuidBytes& B) {
    for (std::size_t i = 10; i < 16; ++i)
        if (A[i] != B[i]) return A[i] > B[i] ? 1 : -1;
    return 0;
}

// ---------------------------------------------------------------------------
// Texts, files and names

std::string rpPadText(const std::string& Text, int Width, int Alignment) {
    if (Width < 0) Width = 0;
    const int length = Length(Text);
    if (length == Width) return Text;
    if (length > Width) return Copy(Text, 1, Width);
    const int missing = Width - length;
    switch (Alignment) {
        case 1: return std::string(static_cast<std::size_t>(missing), ' ') + Text;
        case 2: {
            const int before = missing / 2;
            return std::string(static_cast<std::size_t>(before), ' ') + Text +
                   std::string(static_cast<std::size_t>(missing - before), ' ');
        }
        default: return Text + std::string(static_cast<std::size_t>(missing), ' ');
    }
}

void rpTextToPageList(const std::string& Text, TStrings* List, bool TrimNumbers) {
    constexpr long long kMaxPage = 99999999;  // what "%8d" keeps in order
    constexpr long long kMaxRange = 100000;
    if (List == nullptr) return;
    List->Clear();
    std::set<long long> pages;
    long long last = -1;  // the number just read, -1 when none
    bool rangeOpen = false;
    for (std::size_t i = 0; i < Text.size();) {
        const char c = Text[i];
        if (c >= '0' && c <= '9') {
            long long n = 0;
            bool tooLarge = false;
            while (i < Text.size() && Text[i] >= '0' && Text[i] <= '9') {
                if (!tooLarge) n = n * 10 + (Text[i] - '0');
                if (n > kMaxPage) tooLarge = true;
                ++i;
            }
            if (tooLarge) {
                last = -1;
                rangeOpen = false;
                continue;
            }
            if (rangeOpen && last >= 0) {
                const long long end = std::min(n, last + 1 + kMaxRange);
                for (long long p = last + 1; p < end; ++p) pages.insert(p);
            }
            rangeOpen = false;
            pages.insert(n);
            last = n;
            continue;
        }
        if (c == '-') {
            rangeOpen = last >= 0;
        } else if (c != ' ') {
            last = -1;
            rangeOpen = false;
        }
        ++i;
    }
    List->BeginUpdate();
    for (long long p : pages) {
        // "%8d": right-aligned in eight places, so that text order is number order.
        std::string text = std::to_string(p);
        if (!TrimNumbers && text.size() < 8) text.insert(0, 8 - text.size(), ' ');
        List->Add(text);
    }
    List->EndUpdate();
}

void rpSplitCommaList(const std::string& Text, TStrings* List) {
    if (List == nullptr) return;
    List->Clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = Text.find(',', start);
        if (comma == std::string::npos) {
            if (start < Text.size()) List->Add(Text.substr(start));
            return;
        }
        List->Add(Text.substr(start, comma - start));
        start = comma + 1;
    }
}

int32_t rpVersionToInteger(const std::string& Text) {
    std::string run;
    for (char c : Text) {
        if (!((c >= '0' && c <= '9') || c == '.') || run.size() >= 19) break;
        run.push_back(c);
    }
    const std::size_t point = run.find('.');
    // The 1-based place of the point (0 without one): two more characters
    // leave three digits after it.
    const std::size_t place = point == std::string::npos ? 0 : point + 1;
    if (point != std::string::npos) run.erase(point, 1);
    // Only the digits up to any further point count ("1.2.3" is version 1.2).
    run = run.substr(0, run.find('.'));
    while (run.size() < place + 2) run.push_back('0');
    long long value = 0;
    for (char c : run) {
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

std::string rpExtractFolder(const std::string& Path) {
    const std::size_t last = Path.find_last_of("/\\");
    return last == std::string::npos ? std::string() : Path.substr(0, last + 1);
}

std::string rpStripChar(char Char, const std::string& Text) {
    std::string out;
    for (char c : Text)
        if (c != Char) out.push_back(c);
    return out;
}

void rpStringsToStream(TStrings* Strings, TMemoryStream* Stream) {
    if (Strings == nullptr || Stream == nullptr) return;
    Stream->Clear();
    const std::string text = Strings->Text();
    Stream->Write(text.data(), static_cast<int64_t>(text.size()));
}

void rpDecimalSeparatorInList(TStrings* List) {
    if (List == nullptr) return;
    for (int i = 0; i < List->Count(); ++i) {
        std::string s = List->Get(i);
        const std::size_t point = s.find('.');
        if (point == std::string::npos) continue;
        s[point] = FormatSettings.DecimalSeparator;
        List->Put(i, s);
    }
}

std::string rpGetTempPath() {
    std::error_code ec;
    std::string folder = std::filesystem::temp_directory_path(ec).string();
    if (ec || folder.empty()) folder = "/tmp";
    if (folder.back() != '/') folder.push_back('/');
    return folder;
}

std::string rpGetTempFileName(const std::string& Folder, const std::string& Prefix) {
    std::string pattern = Folder;
    if (!pattern.empty() && pattern.back() != '/') pattern.push_back('/');
    pattern += Prefix + "XXXXXX.tmp";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkstemps(buffer.data(), 4);
    if (fd < 0) return "";
    ::close(fd);
    return std::string(buffer.data());
}

bool rpSameText(const std::string& A, const std::string& B) { return AnsiSameText(A, B); }

std::string rpClassNameWithoutT(const std::string& ClassName) { return ClassName.size() > 1 ? ClassName.substr(1) : ""; }

std::string rpClassNameWithoutPrefix(const std::string& ClassName) {
    return ClassName.size() > 3 ? ClassName.substr(3) : "";
}

double rpScaleToFit(double SourceWidth, double SourceHeight, double DestWidth, double DestHeight) {
    if (!(SourceWidth > 0) || !(SourceHeight > 0)) return 0;
    return std::min(DestWidth / SourceWidth, DestHeight / SourceHeight);
}

TRect rpMakeRect(int Left, int Top, int Right, int Bottom) { return TRect{Left, Top, Right, Bottom}; }

std::string rpPeekIdentProperty(TReader* Reader, const std::string& PropertyName) {
    if (Reader == nullptr) return "";
    const std::size_t start = Reader->Position();
    std::string found;
    try {
        while (!Reader->EndOfList()) {
            const std::string name = Reader->ReadStr();
            if (!SameText(name, PropertyName)) {
                Reader->SkipValue();
                continue;
            }
            if (Reader->NextValue() == vaIdent) {
                found = Reader->ReadIdent();
                const std::size_t dot = found.rfind('.');
                if (dot != std::string::npos) found.erase(0, dot + 1);
            }
            break;
        }
    } catch (const EReadError&) {
        found.clear();
    }
    Reader->SetPosition(start);
    return found;
}

int32_t rpReadTruncatedInteger(TReader* Reader) {
    switch (Reader->NextValue()) {
        case vaExtended:
        case vaSingle:
        case vaCurrency:
        case vaDate: {
            const long double v = std::trunc(Reader->ReadFloat());
            if (!(v >= INT32_MIN && v <= INT32_MAX)) throw EReadError("Invalid property value");
            return static_cast<int32_t>(v);
        }
        default: return Reader->ReadInteger();
    }
}

const std::any* rpFindMethod(TObject* Object, const std::string& Name) {
    auto* c = dynamic_cast<TComponent*>(Object);
    return c ? c->MethodAddress(Name) : nullptr;
}

bool rpHasProperty(const TObject* Object, const std::string& Name) {
    return Object != nullptr && GetPropInfo(Object, Name) != nullptr;
}

int64_t rpGetOrdPropValue(const TObject* Object, const std::string& Name) {
    const TPropInfo* p = Object ? GetPropInfo(Object, Name) : nullptr;
    return p && p->GetOrd ? p->GetOrd(Object) : 0;
}

std::string rpGetStrPropValue(const TObject* Object, const std::string& Name) {
    const TPropInfo* p = Object ? GetPropInfo(Object, Name) : nullptr;
    return p && p->GetStr ? p->GetStr(Object) : "";
}

void rpSetOrdPropValue(TObject* Object, const std::string& Name, int64_t Value) {
    const TPropInfo* p = Object ? GetPropInfo(Object, Name) : nullptr;
    if (p && p->SetOrd) p->SetOrd(Object, Value);
}

void rpSetMethodPropValue(TObject* Object, const std::string& Name, const std::any* Handler,
                          const std::string& HandlerName) {
    const TPropInfo* p = Object ? GetPropInfo(Object, Name) : nullptr;
    if (p && p->SetMethod) p->SetMethod(Object, Handler, HandlerName);
}

// ---------------------------------------------------------------------------
// Shared counters and flags

void rpIncrementThreadCount() { ++threadCount; }

void rpDecrementThreadCount() {
    int current = threadCount.load();
    while (current > 0 && !threadCount.compare_exchange_weak(current, current - 1)) {
    }
}

int rpThreadCount() { return threadCount.load(); }

bool rpThreadSafeContext() { return threadCount.load() > 0 || TThread::IsMainThread(); }

bool rpWindowsXPOrLater() { return true; }

bool rpIsLoading(const TComponent* Component) {
    const TComponentState st = Component->ComponentState();
    return st.Contains(csReading) || st.Contains(csLoading);
}
