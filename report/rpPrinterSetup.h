#pragma once
// The print options that travel with a report and with every page it makes:
// printer, paper and tray, margins, orientation, copies, collation, duplex
// and the job's name. The geometry is kept in thousandths of a millimetre
// (TrpPageDef); the setup shows it in the unit its Units chooses. Printers
// are known only through the printer list's capability lists.
//
// A setup is "ready" while Active and its owner (if any) is neither loading
// nor reading: only then are changes checked against the printer, offered to
// OnBeforePageDefChange and announced. Every operation runs under the
// setup's own lock, so a printing thread may read a setup the interface
// thread holds; events run with the lock held.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/rtl/Component.h"
#include "platform/rtl/Lists.h"
#include "report/rpTypes.h"

class TrpPrinterInfo;

// A page's geometry, in thousandths of a millimetre; width and height as
// printed (in landscape the width is the long side).
class TrpPageDef : public TPersistent {
public:
    FAT_CLASS(TrpPageDef)
    TrpPageDef() = default;
    TrpPageDef(const TrpPageDef&) = delete;
    TrpPageDef& operator=(const TrpPageDef&) = delete;

    void Assign(TPersistent* Source) override;
    bool IsEqual(const TrpPageDef* Other) const;

    int32_t mmHeight() const { return height_; }
    void SetmmHeight(int32_t Value) { height_ = Value; }
    int32_t mmWidth() const { return width_; }
    void SetmmWidth(int32_t Value) { width_ = Value; }
    int32_t mmMarginLeft() const { return left_; }
    void SetmmMarginLeft(int32_t Value) { left_ = Value; }
    int32_t mmMarginRight() const { return right_; }
    void SetmmMarginRight(int32_t Value) { right_ = Value; }
    int32_t mmMarginTop() const { return top_; }
    void SetmmMarginTop(int32_t Value) { top_ = Value; }
    int32_t mmMarginBottom() const { return bottom_; }
    void SetmmMarginBottom(int32_t Value) { bottom_ = Value; }

    int32_t PrintableHeight() const { return height_ - (top_ + bottom_); }
    int32_t PrintableWidth() const { return width_ - (left_ + right_); }
    // Left, top, right, bottom of the area inside the margins.
    TRect GetPrintableRect() const;
    // Height and width in screen pixels.
    int spHeight() const;
    int spWidth() const;

private:
    int32_t height_ = 0;
    int32_t width_ = 0;
    int32_t left_ = 0;
    int32_t right_ = 0;
    int32_t top_ = 0;
    int32_t bottom_ = 0;
};

using TrpGetPrinterEvent = std::function<void(TObject* Sender, TObject*& Printer)>;
using TrpPageDefChangeEvent = std::function<void(TObject* Sender, TrpPageDef* NewPageDef, bool& Allow)>;

class TrpPrinterSetup : public TPersistent {
public:
    FAT_CLASS(TrpPrinterSetup)
    // Owner may be nullptr; while it loads or reads, the setup checks nothing.
    explicit TrpPrinterSetup(TComponent* AOwner = nullptr);
    ~TrpPrinterSetup() override;
    TrpPrinterSetup(const TrpPrinterSetup&) = delete;
    TrpPrinterSetup& operator=(const TrpPrinterSetup&) = delete;

    // From another setup, without events: every option, the geometry, the
    // printer (looked up again), paper, tray and units.
    void Assign(TPersistent* Source) override;
    // Assign, and the source's paper code still waiting to be resolved.
    void AssignSetup(TrpPrinterSetup* Source);
    bool IsEqual(TrpPrinterSetup* Other);
    // Same printer, orientation and stored paper name.
    bool SamePaper(TrpPrinterSetup* Other);
    // Once the owner's stream is read: the paper size read in Units goes
    // into the page definition.
    void UpdatePageSize();
    // The hook loading calls; nothing to do.
    virtual void Loaded() {}

    bool Active() const;
    void SetActive(bool Value);
    TComponent* Owner() const { return owner_; }

    std::string BinName() const;
    void SetBinName(const std::string& Value);
    bool Collation() const;
    void SetCollation(bool Value);
    int Copies() const;
    void SetCopies(int Value);
    bool DelegateCopies() const;
    void SetDelegateCopies(bool Value);
    std::string DocumentName() const;
    void SetDocumentName(const std::string& Value);
    TrpDuplexType Duplex() const;
    void SetDuplex(TrpDuplexType Value);
    std::string OutputFileName() const;
    void SetOutputFileName(const std::string& Value);
    TPrinterOrientation Orientation() const;
    void SetOrientation(TPrinterOrientation Value);
    std::string PaperName() const;
    void SetPaperName(const std::string& Value);
    std::string PrinterName() const;
    void SetPrinterName(const std::string& Value);
    TrpUnitType Units() const;
    void SetUnits(TrpUnitType Value);

    // Geometry in Units; negative values are ignored.
    float MarginBottom() const;
    void SetMarginBottom(float Value);
    float MarginLeft() const;
    void SetMarginLeft(float Value);
    float MarginRight() const;
    void SetMarginRight(float Value);
    float MarginTop() const;
    void SetMarginTop(float Value);
    float PaperHeight() const;
    void SetPaperHeight(float Value);
    float PaperWidth() const;
    void SetPaperWidth(float Value);
    float PrintableHeight() const;
    float PrintableWidth() const;

    // The committed geometry (owned).
    TrpPageDef* PageDef() const { return pageDef_.get(); }
    TrpPrinterInfo* PrinterInfo() const;
    // PrinterName, or the system default printer's name for "Default".
    std::string PrinterDescription() const;
    // Tray code of BinName; -1 without printer, for "Default" or unknown.
    int Bin() const;
    // Paper code of the page: 0 without printer, 256 for a size of its own.
    int PaperSize() const;
    void GetBinNames(TStrings* Names) const;
    void GetPaperNames(TStrings* Names) const;
    void GetPrinterNames(TStrings* Names) const;
    // The paper code read from a stream and not yet turned into a name.
    uint16_t PendingPaperCode() const;

    void DefineProperties(TFiler* Filer) override;

    TrpGetPrinterEvent OnGetPrinter;
    TrpPageDefChangeEvent OnBeforePageDefChange;
    TNotifyEvent OnPageDefChange;
    TNotifyEvent OnChange;

protected:
    TPersistent* GetOwner() const override { return owner_; }

private:
    using Guard = std::lock_guard<std::recursive_mutex>;
    bool Ready() const;
    bool OwnerReading() const;
    TObject* ConversionPrinter() const;
    float FromMM(int32_t Value, int Axis) const;
    int32_t ToMM(float Value, int Axis) const;
    // Prepares the candidate with Change, asks, and commits; false when refused.
    bool CommitPageDef(const std::function<void(TrpPageDef&)>& Change, bool Announce = true);
    bool AllowCandidate();
    void FirePageDefChange();
    void FireChange();
    TrpPrinterInfo* ListsInfo() const;
    // Paper size by name, in Units, exchanged in landscape; false when unknown.
    bool PaperSizeByName(const std::string& Name, float& Width, float& Height) const;
    // The listed paper within 1 mm of Width x Height (in Units); "Custom"
    // when none; Current when there is no printer.
    std::string PaperNameBySize(float Width, float Height, const std::string& Current) const;
    std::string ResolvePaperName() const;
    int PaperCodeUnlocked() const;
    void SetMargin(float Value, int Which);
    void SetPaperDimension(float Value, bool Height);

    mutable std::recursive_mutex lock_;
    TComponent* owner_;
    bool active_ = true;
    std::string binName_ = "Default";
    bool collation_ = true;
    int copies_ = 1;
    std::string documentName_;
    TrpDuplexType duplex_ = dpNone;
    std::string outputFileName_;
    std::unique_ptr<TrpPageDef> candidate_;
    TPrinterOrientation orientation_ = poPortrait;
    std::unique_ptr<TrpPageDef> pageDef_;
    mutable std::string paperName_ = "Custom";
    std::string printerName_ = "Default";
    TrpPrinterInfo* printerInfo_ = nullptr;
    TrpUnitType units_ = utInches;
    bool delegateCopies_ = false;
    mutable uint16_t pendingPaperCode_ = 0;
    float pendingHeight_ = 0;
    float pendingWidth_ = 0;
};

namespace report {
void RegisterPrinterSetupClasses();
void UnregisterPrinterSetupClasses();
}  // namespace report
