#include "report/rpPrinterList.h"

#include <atomic>

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

TrpPrinterInfo::TrpPrinterInfo(std::string PrinterName) : name_(std::move(PrinterName)) {
    caps_.PrinterName = name_;
}

TrpPrinterCapabilities* TrpPrinterInfo::GetCapabilities() { return &caps_; }

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
        auto i = std::make_unique<TrpPrinterInfo>("No Printer Installed");
        i->GetCapabilities()->AddPaper("Custom", 256, 0, 0);
        i->GetCapabilities()->AddBin("Default", 7);
        return i;
    }();
    return info.get();
}
