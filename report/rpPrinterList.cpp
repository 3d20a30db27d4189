#include "report/rpPrinterList.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <map>

#include "platform/rtl/Strings.h"
#include "report/rpUnits.h"

namespace {

constexpr int kHorizontal = 0;
constexpr int kVertical = 1;
constexpr int kDefaultBin = 7;

int ListInt(const TStrings& List, int Index) {
    if (Index < 0 || Index >= List.Count()) return 0;
    return std::atoi(List[Index].c_str());
}

// Hundredths of a millimetre (the spooler's) to tenths, to nearest.
int ToTenths(int Hundredths) { return (Hundredths + 5) / 10; }

}  // namespace

// ---------------------------------------------------------------------------
// Paper tables

std::string PaperNameTable(int Code) {
    static const std::map<int, const char*> names = {
        {1, "Letter 8 1/2 x 11 in"},
        {2, "Letter 8 1/2 x 11 in"},
        {3, "Tabloid 11 x 17 in"},
        {4, "Ledger 17 x 11 in"},
        {5, "Legal 8 12 x 14 in"},
        {6, "Statement 5 1/2 x 8 12 in"},
        {7, "Executive 7 14 x 10 1/2 in"},
        {8, "A3 297 x 420 mm"},
        {9, "A4 210 x 297 mm"},
        {10, "A4 Small 210 x 297 mm"},
        {11, "A5 148 x 210 mm"},
        {12, "B4 (JIS) 250 x 354"},
        {13, "B5 (JIS) 182 x 257 mm"},
        {14, "Folio 8 1/2 x 13 in"},
        {15, "Quarto 215 x 275 mm"},
        {16, "10 x 14 in"},
        {17, "11 x 17 in"},
        {18, "Note 8 1/2 x 11 in"},
        {19, "Envelope #9 3 7/8 x 8 7/8"},
        {20, "Envelope #10 4 18 x 9 1/2"},
        {21, "Envelope #11 4 12 x 10 3/8"},
        {22, "Envelope #12 4 276 x 11"},
        {23, "Envelope #14 5 x 11 1/2"},
        {24, "C size sheet"},
        {25, "D size sheet"},
        {26, "E size sheet"},
        {27, "Envelope DL 110 x 220mm"},
        {28, "Envelope C5 162 x 229 mm"},
        {29, " Envelope C3  324 x 458 mm"},
        {30, "Envelope C4  229 x 324 mm"},
        {31, "Envelope C6  114 x 162 mm"},
        {32, "Envelope C65 114 x 229 mm"},
        {33, "Envelope B4  250 x 353 mm"},
        {34, "Envelope B5  176 x 250 mm"},
        {35, "Envelope B6  176 x 125 mm"},
        {36, "Envelope 110 x 230 mm"},
        {37, "Envelope Monarch 3.875 x 7.5 in"},
        {38, "6 34 Envelope 3 5/8 x 6 1/2 in"},
        {39, "US Std Fanfold 14 7/8 x 11 in"},
        {40, "German Std Fanfold 8 1/2 x 12 in"},
        {41, "German Legal Fanfold 8 1/2 x 13 in"},
        {42, "B4 (ISO) 250 x 353 mm"},
        {43, "Japanese Postcard 100 x 148 mm"},
        {44, "9 x 11 in"},
        {45, "10 x 11 in"},
        {46, "15 x 11 in"},
        {47, "Envelope Invite 220 x 220 mm"},
        {50, "Letter Extra 9 \u00bd x 12 in"},
        {51, "Legal Extra 9 \u00bd x 15 in"},
        {52, "Tabloid Extra 11.69 x 18 in"},
        {53, "A4 Extra 9.27 x 12.69 in"},
        {54, "Letter Transverse 8 \u00bd x 11 in"},
        {55, "A4 Transverse 210 x 297 mm"},
        {56, "Letter Extra Transverse 9\u00bd x 12 in"},
        {57, "SuperASuperAA4 227 x 356 mm"},
        {58, "SuperBSuperBA3 305 x 487 mm"},
        {59, "Letter Plus 8.5 x 12.69 in"},
        {60, "A4 Plus 210 x 330 mm"},
        {61, "A5 Transverse 148 x 210 mm"},
        {62, "B5 (JIS) Transverse 182 x 257 mm"},
        {63, "A3 Extra 322 x 445 mm"},
        {64, "A5 Extra 174 x 235 mm"},
        {65, "B5 (ISO) Extra 201 x 276 mm"},
        {66, "A2 420 x 594 mm"},
        {67, "A3 Transverse 297 x 420 mm"},
        {68, "A3 Extra Transverse 322 x 445 mm"},
        {118, "DMPAPER_A3_EXTRA_TRANSVERSE"},
        {256, "Custom"},
    };
    auto it = names.find(Code);
    return it == names.end() ? std::string("Unknown") : std::string(it->second);
}

void PaperSizeForCode(int Code, int& Width, int& Height) {
    // Sizes in tenths of a millimetre, or (negative) in thousandths of an
    // inch, which go through the library's own inch conversion.
    struct Size {
        int W, H;
    };
    static const std::map<int, Size> sizes = {
        {1, {-8500, -11000}},   {2, {-8500, -11000}},   {18, {-8500, -11000}}, {3, {-11000, -17000}},
        {17, {-11000, -17000}}, {4, {-17000, -11000}},  {5, {-8500, -14000}},  {6, {-5500, -8500}},
        {7, {-7250, -10500}},   {8, {2970, 4200}},      {67, {2970, 4200}},    {9, {2100, 2970}},
        {10, {2100, 2970}},     {55, {2100, 2970}},     {11, {1480, 2100}},    {61, {1480, 2100}},
        {12, {2500, 3540}},     {13, {1820, 2570}},     {62, {1820, 2570}},    {14, {-8500, -13000}},
        {41, {-8500, -13000}},  {15, {2150, 2750}},     {16, {-10000, -14000}}, {19, {-3875, -8875}},
        {20, {-4125, -9500}},   {21, {-4500, -10375}},  {22, {-4750, -11000}}, {23, {-5000, -11500}},
        {24, {-17000, -22000}}, {25, {-22000, -34000}}, {26, {-34000, -44000}}, {27, {1100, 2200}},
        {28, {1620, 2290}},     {29, {3240, 4580}},     {30, {2290, 3240}},    {31, {1140, 1620}},
        {32, {1140, 2290}},     {33, {2500, 3530}},     {42, {2500, 3530}},    {34, {1760, 2500}},
        {35, {1760, 1250}},     {36, {1100, 2300}},     {37, {-3875, -7500}},  {38, {-3625, -6500}},
        {39, {-14875, -11000}}, {40, {-8500, -12000}},  {43, {1000, 1480}},    {44, {-9000, -11000}},
        {45, {-10000, -11000}}, {46, {-15000, -11000}}, {47, {2200, 2200}},    {50, {-9275, -12000}},
        {56, {-9275, -12000}},  {51, {-9275, -15000}},  {52, {-11690, -18000}}, {53, {-9270, -12690}},
        {54, {-8275, -11000}},  {57, {2270, 3560}},     {58, {3050, 4870}},    {59, {-8500, -12690}},
        {60, {2100, 3300}},     {63, {3220, 4450}},     {68, {3220, 4450}},    {64, {1740, 2350}},
        {65, {2010, 2760}},     {66, {4200, 5940}},
    };
    if (Code >= 69) return;
    auto it = sizes.find(Code);
    if (it == sizes.end()) return;
    auto convert = [](int v, int axis) {
        if (v >= 0) return v;
        return rpToTenthsOfMM(utInches, axis, nullptr, static_cast<float>(-v) / 1000.0f);
    };
    Width = convert(it->second.W, kHorizontal);
    Height = convert(it->second.H, kVertical);
}

// ---------------------------------------------------------------------------
// Capabilities

void TrpPrinterCapabilities::AddPaper(const std::string& Name, int Code, int Width, int Height) {
    PaperNames.Add(Name);
    PaperCodes.Add(std::to_string(Code));
    PaperWidths.Add(std::to_string(Width));
    PaperHeights.Add(std::to_string(Height));
}

void TrpPrinterCapabilities::AddBin(const std::string& Name, int Code) {
    BinNames.Add(Name);
    BinCodes.Add(std::to_string(Code));
}

namespace {

void SetOrAdd(TStrings& List, int Index, const std::string& Value) {
    if (Index < List.Count())
        List.Put(Index, Value);
    else
        List.Add(Value);
}

void DeleteAt(TStrings& List, int Index) {
    if (Index >= 0 && Index < List.Count()) List.Delete(Index);
}

void MoveLast(TStrings& List, int Index) {
    if (Index >= 0 && Index < List.Count() - 1) List.Move(Index, List.Count() - 1);
}

}  // namespace

void rpNormalisePapers(TrpPrinterCapabilities& Caps) {
    TStrings& names = Caps.PaperNames;
    TStrings& codes = Caps.PaperCodes;
    TStrings& widths = Caps.PaperWidths;
    TStrings& heights = Caps.PaperHeights;
    if (names.Count() < codes.Count()) {
        for (int i = names.Count(); i < codes.Count(); ++i) {
            const int code = ListInt(codes, i);
            std::string name = PaperNameTable(code);
            if (name == "Unknown") {
                if (i < widths.Count() && i < heights.Count())
                    name = std::to_string(ListInt(widths, i) / 10) + " x " + std::to_string(ListInt(heights, i) / 10) +
                           " mm";
                else
                    name = "Unknown: " + std::to_string(code);
            }
            names.Add(name);
        }
    } else {
        while (names.Count() > codes.Count()) names.Delete(names.Count() - 1);
    }

    int custom = -1;
    for (int i = 0; i < codes.Count(); ++i)
        if (codes[i] == "256") {
            custom = i;
            break;
        }
    if (custom < 0)
        for (int i = 0; i < names.Count(); ++i) {
            const std::string upper = AnsiUpperCase(names[i]);
            if (upper.find("CUSTOM") != std::string::npos || upper.find("USER") != std::string::npos) {
                custom = i;
                break;
            }
        }
    if (custom >= 0 && custom < names.Count()) {
        names.Put(custom, "Custom");
        if (codes.Count() == custom) codes.Add("256");
    } else {
        names.Add("Custom");
        codes.Add("256");
        custom = names.Count() - 1;
    }

    for (int i = 0; i < codes.Count(); ++i) {
        if (i < widths.Count() && i < heights.Count()) continue;
        int w = ListInt(widths, i);
        int h = ListInt(heights, i);
        PaperSizeForCode(ListInt(codes, i), w, h);
        SetOrAdd(widths, i, std::to_string(w));
        SetOrAdd(heights, i, std::to_string(h));
    }

    for (int i = names.Count() - 1; i >= 0; --i) {
        if (names[i] == "Custom") continue;
        if (ListInt(widths, i) != 0 && ListInt(heights, i) != 0) continue;
        for (TStrings* l : {&names, &codes, &widths, &heights}) DeleteAt(*l, i);
        if (i < custom) --custom;
    }
    custom = names.IndexOf("Custom");
    for (TStrings* l : {&names, &codes, &widths, &heights}) MoveLast(*l, custom);
}

void rpNormaliseBins(TrpPrinterCapabilities& Caps) {
    while (Caps.BinNames.Count() > Caps.BinCodes.Count()) Caps.BinNames.Delete(Caps.BinNames.Count() - 1);
    while (Caps.BinCodes.Count() > Caps.BinNames.Count()) Caps.BinCodes.Delete(Caps.BinCodes.Count() - 1);
    if (Caps.BinNames.IndexOf("Default") < 0) {
        Caps.BinNames.Insert(0, "Default");
        Caps.BinCodes.Insert(0, std::to_string(kDefaultBin));
    }
}

// ---------------------------------------------------------------------------
// Infos

TrpPrinterInfo::TrpPrinterInfo(std::string PrinterName, std::string DeviceName, std::string PortName)
    : name_(std::move(PrinterName)), device_(std::move(DeviceName)), port_(std::move(PortName)) {
    caps_.PrinterName = name_;
}

std::string TrpPrinterInfo::DeviceOnPort() const { return !device_.empty() && !port_.empty() ? port_ : ""; }

TrpPrinterCapabilities* TrpPrinterInfo::GetCapabilities() { return &caps_; }

TrpScreenPrinterInfo::TrpScreenPrinterInfo() : TrpPrinterInfo("Screen", "Screen") {}

TrpPrinterCapabilities* TrpScreenPrinterInfo::GetCapabilities() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (!fetched_) {
        fetched_ = true;
        caps_.AddBin("Default", kDefaultBin);
        caps_.DriverCopies = false;
        for (int code : {256, 1, 5, 8, 9, 17, 39, 40, 19, 20, 21, 22, 23}) {
            int w = 0, h = 0;
            PaperSizeForCode(code, w, h);
            caps_.AddPaper(PaperNameTable(code), code, w, h);
        }
    }
    return &caps_;
}

int rpPaperCodeForMedia(const TrpBackendMedia& Media) {
    static const std::map<std::string, int> fixed = {
        {"iso_a4", 9},       {"na_letter", 1},  {"na_legal", 5}, {"iso_a3", 8},  {"iso_a5", 11}, {"na_executive", 7},
        {"jis_b5", 13},      {"na_ledger", 4},  {"na_number-10", 20}, {"env_10", 20}, {"iso_dl", 27}, {"iso_c5", 28},
    };
    // "iso_a4_210x297mm": the class and size name before the dimensions.
    const std::string& n = Media.Name;
    for (const auto& [prefix, code] : fixed)
        if (n.size() > prefix.size() && n.compare(0, prefix.size(), prefix) == 0 && n[prefix.size()] == '_')
            return code;
    const int w = ToTenths(Media.Width);
    const int h = ToTenths(Media.Length);
    for (int code = 1; code < 69; ++code) {
        int cw = 0, ch = 0;
        PaperSizeForCode(code, cw, ch);
        if (cw == 0 || ch == 0) continue;
        if (std::abs(cw - w) < 11 && std::abs(ch - h) < 11) return code;
    }
    return 0;
}

int rpBinCodeForSource(const std::string& Source, int Index) {
    if (Source == "auto") return kDefaultBin;
    if (Source == "manual") return 4;
    if (Source == "tray-1") return 1;
    if (Source == "tray-2") return 2;
    return 256 + Index;
}

namespace {

std::string DestinationName(const TrpBackendDestination& D) {
    return D.Instance.empty() ? D.Name : D.Name + "/" + D.Instance;
}

}  // namespace

TrpQueuePrinterInfo::TrpQueuePrinterInfo(TrpPrinterBackend* Backend, const TrpBackendDestination& Destination)
    : TrpPrinterInfo(DestinationName(Destination), DestinationName(Destination), Destination.DeviceUri),
      backend_(Backend) {}

void TrpQueuePrinterInfo::Fetch() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (fetched_) return;
    fetched_ = true;
    if (backend_ != nullptr && !backend_->Capabilities(name_, queue_)) queue_ = TrpBackendCapabilities{};
    int nextOwnCode = 257;
    for (const TrpBackendMedia& m : queue_.Media) {
        if (m.Width <= 0 || m.Length <= 0) continue;
        bool seen = false;
        for (const auto& e : mediaByCode_) seen = seen || e.second.Name == m.Name;
        if (seen) continue;
        int code = rpPaperCodeForMedia(m);
        for (const auto& e : mediaByCode_) seen = seen || e.first == code;
        if (seen) continue;
        std::string name;
        if (code == 0) {
            code = nextOwnCode++;
            name = std::to_string(ToTenths(m.Width) / 10) + " x " + std::to_string(ToTenths(m.Length) / 10) + " mm";
        } else {
            name = PaperNameTable(code);
        }
        mediaByCode_.emplace_back(code, m);
        caps_.AddPaper(name, code, ToTenths(m.Width), ToTenths(m.Length));
    }
    for (std::size_t i = 0; i < queue_.MediaSources.size(); ++i) {
        const std::string& s = queue_.MediaSources[i];
        const int code = rpBinCodeForSource(s, static_cast<int>(i));
        sourceByBin_.emplace_back(code, s);
        caps_.AddBin(s, code);
        if (s == queue_.DefaultMediaSource) defaultBin_ = code;
    }
    caps_.DriverCopies = queue_.CopiesMax > 2;
    rpNormalisePapers(caps_);
    rpNormaliseBins(caps_);
}

TrpPrinterCapabilities* TrpQueuePrinterInfo::GetCapabilities() {
    Fetch();
    return &caps_;
}

const TrpBackendMedia* TrpQueuePrinterInfo::MediaForCode(int Code) {
    Fetch();
    for (const auto& e : mediaByCode_)
        if (e.first == Code) return &e.second;
    return nullptr;
}

std::string TrpQueuePrinterInfo::SourceForBin(int Code) {
    Fetch();
    for (const auto& e : sourceByBin_)
        if (e.first == Code) return e.second;
    return "";
}

int TrpQueuePrinterInfo::DefaultBin() {
    Fetch();
    return defaultBin_;
}

int TrpQueuePrinterInfo::ResolutionX() {
    Fetch();
    return queue_.ResolutionX;
}

int TrpQueuePrinterInfo::ResolutionY() {
    Fetch();
    return queue_.ResolutionY;
}

bool TrpQueuePrinterInfo::SupportsColor() {
    Fetch();
    for (const std::string& m : queue_.ColorModes)
        if (m.find("color") != std::string::npos) return true;
    return false;
}

const TrpBackendCapabilities& TrpQueuePrinterInfo::QueueCapabilities() {
    Fetch();
    return queue_;
}

// ---------------------------------------------------------------------------
// The list

namespace {

std::function<std::unique_ptr<TObject>()>& SharedFactory() {
    static std::function<std::unique_ptr<TObject>()> f;
    return f;
}

}  // namespace

void rpSetSharedPrinterFactory(std::function<std::unique_ptr<TObject>()> Factory) {
    SharedFactory() = std::move(Factory);
}

TrpPrinterList::TrpPrinterList() = default;

TrpPrinterList::TrpPrinterList(TrpPrinterBackend* Backend) : backend_(Backend) { Refresh(); }

TrpPrinterList::~TrpPrinterList() = default;

void TrpPrinterList::Refresh() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    shared_.reset();
    for (auto& e : entries_) retired_.push_back(std::move(e));
    entries_.clear();
    entries_.push_back(std::make_unique<TrpScreenPrinterInfo>());
    entries_.push_back(std::make_unique<TrpPrinterInfo>("Default"));
    std::vector<TrpBackendDestination> destinations;
    if (backend_ != nullptr) destinations = backend_->Destinations();
    for (const TrpBackendDestination& d : destinations)
        entries_.push_back(std::make_unique<TrpQueuePrinterInfo>(backend_, d));
    SetDefaultFrom(destinations);
}

void TrpPrinterList::RefreshDefault() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    SetDefaultFrom(backend_ != nullptr ? backend_->Destinations() : std::vector<TrpBackendDestination>{});
}

void TrpPrinterList::SetDefaultFrom(const std::vector<TrpBackendDestination>& Destinations) {
    std::string device;
    for (const TrpBackendDestination& d : Destinations)
        if (d.IsDefault) {
            device = DestinationName(d);
            break;
        }
    defaultName_ = DeviceToListName(device);
    if (defaultName_.empty()) defaultName_ = DeviceToListName("Screen");
    if (defaultName_.empty()) defaultName_ = "Screen";
}

std::string TrpPrinterList::DeviceToListName(const std::string& Device) const {
    if (Device.empty()) return "";
    for (const auto& e : entries_)
        if (!e->DeviceName().empty() && AnsiSameText(e->DeviceName(), Device)) return e->PrinterName();
    return "";
}

int TrpPrinterList::IndexOfName(const std::string& Name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (AnsiSameText(entries_[i]->PrinterName(), Name)) return static_cast<int>(i);
    return -1;
}

TrpPrinterInfo* TrpPrinterList::GetPrinterInfo(const std::string& Name) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (entries_.empty()) return nullptr;
    std::string name = Name;
    int index = IndexOfName(AnsiSameText(name, "Default") ? defaultName_ : name);
    if (index < 0) {
        const std::size_t on = name.find(" on ");
        if (on != std::string::npos) {
            const std::string translated = DeviceToListName(name.substr(0, on));
            if (!translated.empty()) {
                name = translated;
                index = IndexOfName(name);
            }
        }
    }
    if (index < 0)
        for (std::size_t i = 0; i < entries_.size() && index < 0; ++i)
            if (entries_[i]->PrinterName() != "Default" && !entries_[i]->DeviceOnPort().empty() &&
                entries_[i]->DeviceOnPort() == Name)
                index = static_cast<int>(i);
    if (index < 0) index = IndexOfName(defaultName_);
    return index < 0 ? nullptr : entries_[static_cast<std::size_t>(index)].get();
}

std::string TrpPrinterList::DefaultPrinterName() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    return defaultName_;
}

void TrpPrinterList::GetPrinterNames(TStrings* Names) {
    std::lock_guard<std::recursive_mutex> g(lock_);
    Names->Clear();
    for (const auto& e : entries_) Names->Add(e->PrinterName());
}

TObject* TrpPrinterList::SharedPrinter() {
    std::lock_guard<std::recursive_mutex> g(lock_);
    if (shared_ == nullptr && !entries_.empty() && SharedFactory()) shared_ = SharedFactory()();
    return shared_.get();
}

// ---------------------------------------------------------------------------
// The installed list

namespace {

class TrpEmptyPrinterList : public TrpPrinterList {
public:
    TrpPrinterInfo* GetPrinterInfo(const std::string&) override { return nullptr; }
    std::string DefaultPrinterName() override { return "Screen"; }
    void GetPrinterNames(TStrings* Names) override { Names->Clear(); }
};

TrpEmptyPrinterList& EmptyList() {
    static TrpEmptyPrinterList list;
    return list;
}

std::atomic<TrpPrinterList*> installed{nullptr};

class TrpNoQueuesBackend : public TrpPrinterBackend {
public:
    std::vector<TrpBackendDestination> Destinations() override { return {}; }
    bool Capabilities(const std::string&, TrpBackendCapabilities&) override { return false; }
    int SubmitFile(const std::string& Destination, const std::string&, const TrpBackendJob&,
                   std::string& Error) override {
        Error = "A impressora \"" + Destination + "\" não existe.";
        return 0;
    }
};

std::atomic<TrpPrinterBackend*> installedBackend{nullptr};

}  // namespace

TrpPrinterList* GetPrinterList() {
    TrpPrinterList* list = installed.load();
    return list != nullptr ? list : &EmptyList();
}

TrpPrinterList* rpSetPrinterList(TrpPrinterList* List) {
    TrpPrinterList* old = installed.exchange(List);
    return old != nullptr ? old : &EmptyList();
}

TrpPrinterInfo* rpNoPrinterInfo() {
    static const std::unique_ptr<TrpPrinterInfo> info = [] {
        auto i = std::make_unique<TrpPrinterInfo>("No Printer Installed", "None");
        i->GetCapabilities()->AddPaper("Custom", 256, 0, 0);
        i->GetCapabilities()->AddBin("Default", 7);
        return i;
    }();
    return info.get();
}

namespace {

TrpPrinterBackend* NoQueues() {
    static TrpNoQueuesBackend none;
    return &none;
}

}  // namespace

TrpPrinterBackend* rpGetPrinterBackend() {
    TrpPrinterBackend* b = installedBackend.load();
    return b != nullptr ? b : NoQueues();
}

TrpPrinterBackend* rpSetPrinterBackend(TrpPrinterBackend* Backend) {
    TrpPrinterBackend* old = installedBackend.exchange(Backend);
    return old != nullptr ? old : NoQueues();
}
