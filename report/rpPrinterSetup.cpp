#include "report/rpPrinterSetup.h"

#include <cmath>
#include <cstdlib>

#include "platform/gfx/Graphics.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpPrinterList.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"

namespace {

constexpr int kHorizontal = 0;
constexpr int kVertical = 1;
constexpr int kCustomPaperCode = 256;

int ListInt(const TStrings& List, int Index) {
    if (Index < 0 || Index >= List.Count()) return 0;
    return std::atoi(List[Index].c_str());
}

}  // namespace

// ---------------------------------------------------------------------------
// TrpPageDef

TClass TrpPageDef::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TrpPageDef>("TrpPageDef", TPersistent::StaticClassType())
                                       .Integer("mmHeight", &TrpPageDef::mmHeight, &TrpPageDef::SetmmHeight)
                                       .Integer("mmWidth", &TrpPageDef::mmWidth, &TrpPageDef::SetmmWidth)
                                       .Integer("mmMarginLeft", &TrpPageDef::mmMarginLeft, &TrpPageDef::SetmmMarginLeft)
                                       .Integer("mmMarginRight", &TrpPageDef::mmMarginRight,
                                                &TrpPageDef::SetmmMarginRight)
                                       .Integer("mmMarginTop", &TrpPageDef::mmMarginTop, &TrpPageDef::SetmmMarginTop)
                                       .Integer("mmMarginBottom", &TrpPageDef::mmMarginBottom,
                                                &TrpPageDef::SetmmMarginBottom)
                                       .Build();
    return &info;
}

void TrpPageDef::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpPageDef*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    height_ = other->height_;
    width_ = other->width_;
    left_ = other->left_;
    right_ = other->right_;
    top_ = other->top_;
    bottom_ = other->bottom_;
}

bool TrpPageDef::IsEqual(const TrpPageDef* Other) const {
    return Other != nullptr && height_ == Other->height_ && width_ == Other->width_ && left_ == Other->left_ &&
           right_ == Other->right_ && top_ == Other->top_ && bottom_ == Other->bottom_;
}

TRect TrpPageDef::GetPrintableRect() const { return TRect{left_, top_, width_ - right_, height_ - bottom_}; }

int TrpPageDef::spHeight() const {
    return rpToScreenPixels(utMMThousandths, kVertical, nullptr, static_cast<float>(height_));
}

int TrpPageDef::spWidth() const {
    return rpToScreenPixels(utMMThousandths, kHorizontal, nullptr, static_cast<float>(width_));
}

// ---------------------------------------------------------------------------
// TrpPrinterSetup

TClass TrpPrinterSetup::StaticClassType() {
    using S = TrpPrinterSetup;
    static const TClassInfo info =
        TClassBuilder<S>("TrpPrinterSetup", TPersistent::StaticClassType())
            .String("BinName", &S::BinName, &S::SetBinName)
            .Boolean("Collation", &S::Collation, &S::SetCollation, 1)
            .Integer("Copies", &S::Copies, &S::SetCopies, 1)
            .String("DocumentName", &S::DocumentName, &S::SetDocumentName)
            .Enum("Duplex", rpTypeInfo<TrpDuplexType>(), &S::Duplex, &S::SetDuplex, dpNone)
            .Float("MarginBottom", &S::MarginBottom, &S::SetMarginBottom, TypeInfoSingle())
            .NotStored()
            .Float("MarginLeft", &S::MarginLeft, &S::SetMarginLeft, TypeInfoSingle())
            .NotStored()
            .Float("MarginRight", &S::MarginRight, &S::SetMarginRight, TypeInfoSingle())
            .NotStored()
            .Float("MarginTop", &S::MarginTop, &S::SetMarginTop, TypeInfoSingle())
            .NotStored()
            .Enum("Orientation", rpTypeInfo<TPrinterOrientation>(), &S::Orientation, &S::SetOrientation, poPortrait)
            .Float("PaperHeight", &S::PaperHeight, &S::SetPaperHeight, TypeInfoSingle())
            .NotStored()
            .String("PaperName", &S::PaperName, &S::SetPaperName)
            .Float("PaperWidth", &S::PaperWidth, &S::SetPaperWidth, TypeInfoSingle())
            .NotStored()
            .String("PrinterName", &S::PrinterName, &S::SetPrinterName)
            .Build();
    return &info;
}

TrpPrinterSetup::TrpPrinterSetup(TComponent* AOwner)
    : owner_(AOwner), candidate_(std::make_unique<TrpPageDef>()), pageDef_(std::make_unique<TrpPageDef>()) {
    // The paper follows the user's habits: where numbers are written with a
    // decimal point the paper is Letter, elsewhere A4.
    if (FormatSettings.DecimalSeparator != '.') {
        pageDef_->SetmmWidth(210000);
        pageDef_->SetmmHeight(297000);
    } else {
        pageDef_->SetmmWidth(215900);
        pageDef_->SetmmHeight(279401);
    }
    pageDef_->SetmmMarginLeft(6350);
    pageDef_->SetmmMarginRight(6350);
    pageDef_->SetmmMarginTop(6350);
    pageDef_->SetmmMarginBottom(6350);
    printerInfo_ = GetPrinterList()->GetPrinterInfo(printerName_);
}

TrpPrinterSetup::~TrpPrinterSetup() = default;

bool TrpPrinterSetup::OwnerReading() const {
    if (owner_ == nullptr) return false;
    const TComponentState st = owner_->ComponentState();
    return st.Contains(csReading);
}

bool TrpPrinterSetup::Ready() const {
    if (!active_) return false;
    if (owner_ == nullptr) return true;
    const TComponentState st = owner_->ComponentState();
    return !st.Contains(csLoading) && !st.Contains(csReading);
}

bool TrpPrinterSetup::Active() const {
    Guard g(lock_);
    return active_;
}

void TrpPrinterSetup::SetActive(bool Value) {
    Guard g(lock_);
    active_ = Value;
}

TObject* TrpPrinterSetup::ConversionPrinter() const {
    if (units_ != utPrinterPixels) return nullptr;
    TObject* printer = nullptr;
    if (OnGetPrinter) OnGetPrinter(const_cast<TrpPrinterSetup*>(this), printer);
    if (printer == nullptr) printer = GetPrinterList()->SharedPrinter();
    return printer;
}

float TrpPrinterSetup::FromMM(int32_t Value, int Axis) const {
    return rpFromMMThousandths(Value, units_, Axis, ConversionPrinter());
}

int32_t TrpPrinterSetup::ToMM(float Value, int Axis) const {
    return rpToMMThousandths(units_, Axis, ConversionPrinter(), Value);
}

void TrpPrinterSetup::FirePageDefChange() {
    if (Ready() && OnPageDefChange) OnPageDefChange(this);
}

void TrpPrinterSetup::FireChange() {
    if (Ready() && OnChange) OnChange(this);
}

bool TrpPrinterSetup::AllowCandidate() {
    bool allow = true;
    if (Ready() && OnBeforePageDefChange) OnBeforePageDefChange(this, candidate_.get(), allow);
    return allow;
}

bool TrpPrinterSetup::CommitPageDef(const std::function<void(TrpPageDef&)>& Change, bool Announce) {
    candidate_->Assign(pageDef_.get());
    Change(*candidate_);
    if (!AllowCandidate()) return false;
    pageDef_->Assign(candidate_.get());
    if (Announce) FirePageDefChange();
    return true;
}

void TrpPrinterSetup::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpPrinterSetup*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    if (other == this) return;
    // Both locks at once, so that two setups assigned into each other from
    // two threads cannot wait on each other.
    std::scoped_lock both(lock_, other->lock_);
    collation_ = other->collation_;
    copies_ = other->copies_;
    delegateCopies_ = other->delegateCopies_;
    documentName_ = other->documentName_;
    outputFileName_ = other->outputFileName_;
    printerName_ = other->printerName_;
    duplex_ = other->duplex_;
    orientation_ = other->orientation_;
    pageDef_->Assign(other->pageDef_.get());
    printerInfo_ = GetPrinterList()->GetPrinterInfo(printerName_);
    paperName_ = other->paperName_;
    pendingPaperCode_ = 0;
    binName_ = other->binName_;
    units_ = other->units_;
}

void TrpPrinterSetup::AssignSetup(TrpPrinterSetup* Source) {
    Assign(Source);
    if (Source == nullptr || Source == this) return;
    std::scoped_lock both(lock_, Source->lock_);
    pendingPaperCode_ = Source->pendingPaperCode_;
}

bool TrpPrinterSetup::IsEqual(TrpPrinterSetup* Other) {
    if (Other == nullptr) return false;
    if (Other == this) return true;
    std::scoped_lock both(lock_, Other->lock_);
    return PrinterDescription() == Other->PrinterDescription() && binName_ == Other->binName_ &&
           collation_ == Other->collation_ && copies_ == Other->copies_ &&
           delegateCopies_ == Other->delegateCopies_ && documentName_ == Other->documentName_ &&
           outputFileName_ == Other->outputFileName_ && duplex_ == Other->duplex_ &&
           orientation_ == Other->orientation_ && pageDef_->IsEqual(Other->pageDef_.get());
}

bool TrpPrinterSetup::SamePaper(TrpPrinterSetup* Other) {
    if (Other == nullptr) return false;
    if (Other == this) return true;
    std::scoped_lock both(lock_, Other->lock_);
    return PrinterDescription() == Other->PrinterDescription() && orientation_ == Other->orientation_ &&
           paperName_ == Other->paperName_;
}

void TrpPrinterSetup::UpdatePageSize() {
    Guard g(lock_);
    if (pendingHeight_ != 0) pageDef_->SetmmHeight(ToMM(pendingHeight_, kVertical));
    if (pendingWidth_ != 0) pageDef_->SetmmWidth(ToMM(pendingWidth_, kHorizontal));
    pendingHeight_ = 0;
    pendingWidth_ = 0;
}

// --- plain options ---------------------------------------------------------

std::string TrpPrinterSetup::BinName() const {
    Guard g(lock_);
    return binName_;
}

void TrpPrinterSetup::SetBinName(const std::string& Value) {
    Guard g(lock_);
    const std::string v = Value == "Current" ? std::string("Default") : Value;
    if (v == binName_) return;
    binName_ = v;
    FireChange();
}

bool TrpPrinterSetup::Collation() const {
    Guard g(lock_);
    return collation_;
}

void TrpPrinterSetup::SetCollation(bool Value) {
    Guard g(lock_);
    if (Value == collation_) return;
    collation_ = Value;
    FireChange();
}

int TrpPrinterSetup::Copies() const {
    Guard g(lock_);
    return copies_;
}

void TrpPrinterSetup::SetCopies(int Value) {
    Guard g(lock_);
    if (Value < 1 || Value == copies_) return;
    copies_ = Value;
    FireChange();
}

bool TrpPrinterSetup::DelegateCopies() const {
    Guard g(lock_);
    return delegateCopies_;
}

void TrpPrinterSetup::SetDelegateCopies(bool Value) {
    Guard g(lock_);
    delegateCopies_ = Value;
}

std::string TrpPrinterSetup::DocumentName() const {
    Guard g(lock_);
    return documentName_;
}

void TrpPrinterSetup::SetDocumentName(const std::string& Value) {
    Guard g(lock_);
    if (Value == documentName_) return;
    documentName_ = Value;
    FireChange();
}

TrpDuplexType TrpPrinterSetup::Duplex() const {
    Guard g(lock_);
    return duplex_;
}

void TrpPrinterSetup::SetDuplex(TrpDuplexType Value) {
    Guard g(lock_);
    if (Value == duplex_) return;
    duplex_ = Value;
    FireChange();
}

std::string TrpPrinterSetup::OutputFileName() const {
    Guard g(lock_);
    return outputFileName_;
}

void TrpPrinterSetup::SetOutputFileName(const std::string& Value) {
    Guard g(lock_);
    outputFileName_ = Value;
}

uint16_t TrpPrinterSetup::PendingPaperCode() const {
    Guard g(lock_);
    return pendingPaperCode_;
}

// --- printer lists -----------------------------------------------------------

TrpPrinterInfo* TrpPrinterSetup::PrinterInfo() const {
    Guard g(lock_);
    return printerInfo_;
}

TrpPrinterInfo* TrpPrinterSetup::ListsInfo() const { return printerInfo_ != nullptr ? printerInfo_ : rpNoPrinterInfo(); }

std::string TrpPrinterSetup::PrinterDescription() const {
    Guard g(lock_);
    if (printerName_ == "Default") return GetPrinterList()->DefaultPrinterName();
    return printerName_;
}

int TrpPrinterSetup::Bin() const {
    Guard g(lock_);
    if (printerInfo_ == nullptr || binName_ == "Default") return -1;
    TrpPrinterCapabilities* caps = printerInfo_->GetCapabilities();
    const int i = caps->BinNames.IndexOf(binName_);
    if (i < 0 || i >= caps->BinCodes.Count()) return -1;
    return ListInt(caps->BinCodes, i);
}

void TrpPrinterSetup::GetBinNames(TStrings* Names) const {
    Guard g(lock_);
    Names->Assign(ListsInfo()->GetCapabilities()->BinNames);
}

void TrpPrinterSetup::GetPaperNames(TStrings* Names) const {
    Guard g(lock_);
    Names->Assign(ListsInfo()->GetCapabilities()->PaperNames);
}

void TrpPrinterSetup::GetPrinterNames(TStrings* Names) const { GetPrinterList()->GetPrinterNames(Names); }

bool TrpPrinterSetup::PaperSizeByName(const std::string& Name, float& Width, float& Height) const {
    if (printerInfo_ == nullptr) return false;
    TrpPrinterCapabilities* caps = printerInfo_->GetCapabilities();
    const int i = caps->PaperNames.IndexOf(Name);
    if (i < 0 || i >= caps->PaperWidths.Count()) return false;
    TObject* printer = ConversionPrinter();
    Width = rpFromTenthsOfMM(ListInt(caps->PaperWidths, i), units_, kHorizontal, printer);
    Height = rpFromTenthsOfMM(ListInt(caps->PaperHeights, i), units_, kVertical, printer);
    if (orientation_ == poLandscape) std::swap(Width, Height);
    return true;
}

std::string TrpPrinterSetup::PaperNameBySize(float Width, float Height, const std::string& Current) const {
    if (printerInfo_ == nullptr) return Current;
    TObject* printer = ConversionPrinter();
    int w = rpToTenthsOfMM(units_, kHorizontal, printer, Width);
    int h = rpToTenthsOfMM(units_, kVertical, printer, Height);
    if (orientation_ == poLandscape) std::swap(w, h);
    TrpPrinterCapabilities* caps = printerInfo_->GetCapabilities();
    for (int i = 0; i < caps->PaperNames.Count(); ++i) {
        if (i >= caps->PaperWidths.Count() || i >= caps->PaperHeights.Count()) break;
        if (std::abs(ListInt(caps->PaperHeights, i) - h) < 11 && std::abs(ListInt(caps->PaperWidths, i) - w) < 11)
            return caps->PaperNames[i];
    }
    return "Custom";
}

std::string TrpPrinterSetup::ResolvePaperName() const {
    if (pendingPaperCode_ != 0 && printerInfo_ != nullptr) {
        TrpPrinterCapabilities* caps = printerInfo_->GetCapabilities();
        const int i = caps->PaperCodes.IndexOf(std::to_string(pendingPaperCode_));
        if (i >= 0 && i < caps->PaperNames.Count()) paperName_ = caps->PaperNames[i];
        pendingPaperCode_ = 0;
    }
    if (paperName_ == "Custom")
        paperName_ = PaperNameBySize(FromMM(pageDef_->mmWidth(), kHorizontal), FromMM(pageDef_->mmHeight(), kVertical),
                                     paperName_);
    return paperName_;
}

std::string TrpPrinterSetup::PaperName() const {
    Guard g(lock_);
    return ResolvePaperName();
}

int TrpPrinterSetup::PaperCodeUnlocked() const {
    if (printerInfo_ == nullptr) return 0;
    TrpPrinterCapabilities* caps = printerInfo_->GetCapabilities();
    int i = caps->PaperNames.IndexOf(ResolvePaperName());
    if (i <= 0)
        i = caps->PaperNames.IndexOf(PaperNameBySize(FromMM(pageDef_->mmWidth(), kHorizontal),
                                                     FromMM(pageDef_->mmHeight(), kVertical), paperName_));
    if (i >= 0 && i < caps->PaperCodes.Count()) return ListInt(caps->PaperCodes, i);
    return kCustomPaperCode;
}

int TrpPrinterSetup::PaperSize() const {
    Guard g(lock_);
    return PaperCodeUnlocked();
}

void TrpPrinterSetup::SetPaperName(const std::string& Value) {
    Guard g(lock_);
    if (!Ready() || Value == "Custom") {
        paperName_ = Value;
        return;
    }
    ResolvePaperName();
    // Envelopes feed sideways; the size below is then read for landscape.
    if (Value.find("Envelope") != std::string::npos) orientation_ = poLandscape;
    float width = FromMM(pageDef_->mmWidth(), kHorizontal);
    float height = FromMM(pageDef_->mmHeight(), kVertical);
    PaperSizeByName(Value, width, height);
    const int32_t w = ToMM(width, kHorizontal);
    const int32_t h = ToMM(height, kVertical);
    const bool committed = CommitPageDef(
        [&](TrpPageDef& d) {
            d.SetmmWidth(w);
            d.SetmmHeight(h);
        },
        false);
    if (!committed) return;
    paperName_ = Value;
    FirePageDefChange();
}

std::string TrpPrinterSetup::PrinterName() const {
    Guard g(lock_);
    return printerName_;
}

void TrpPrinterSetup::SetPrinterName(const std::string& Value) {
    Guard g(lock_);
    const std::string name = Value == "Current" ? std::string("Default") : Value;
    const bool ready = Ready();
    const int code = ready ? PaperCodeUnlocked() : 0;
    TrpPrinterInfo* info = GetPrinterList()->GetPrinterInfo(name);
    if (info == nullptr) return;
    printerName_ = name == "Default" ? name : info->PrinterName();
    printerInfo_ = info;
    if (ready) {
        std::string paper;
        if (code != 0 && code != kCustomPaperCode) {
            TrpPrinterCapabilities* caps = info->GetCapabilities();
            const int i = caps->PaperCodes.IndexOf(std::to_string(code));
            if (i >= 0 && i < caps->PaperNames.Count()) paper = caps->PaperNames[i];
        }
        if (paper.empty())
            paper = PaperNameBySize(FromMM(pageDef_->mmWidth(), kHorizontal), FromMM(pageDef_->mmHeight(), kVertical),
                                    paperName_);
        paperName_ = paper;
    }
    FireChange();
}

TrpUnitType TrpPrinterSetup::Units() const {
    Guard g(lock_);
    return units_;
}

void TrpPrinterSetup::SetUnits(TrpUnitType Value) {
    Guard g(lock_);
    if (Value == units_) return;
    units_ = Value;
    if (!Ready()) return;
    float width = FromMM(pageDef_->mmWidth(), kHorizontal);
    float height = FromMM(pageDef_->mmHeight(), kVertical);
    if (paperName_ != "Custom") PaperSizeByName(paperName_, width, height);
    pageDef_->SetmmWidth(ToMM(width, kHorizontal));
    pageDef_->SetmmHeight(ToMM(height, kVertical));
    FirePageDefChange();
}

TPrinterOrientation TrpPrinterSetup::Orientation() const {
    Guard g(lock_);
    return orientation_;
}

void TrpPrinterSetup::SetOrientation(TPrinterOrientation Value) {
    Guard g(lock_);
    if (Value == orientation_) return;
    candidate_->Assign(pageDef_.get());
    candidate_->SetmmWidth(pageDef_->mmHeight());
    candidate_->SetmmHeight(pageDef_->mmWidth());
    if (!AllowCandidate()) return;
    orientation_ = Value;
    const int32_t w = pageDef_->mmWidth();
    pageDef_->SetmmWidth(pageDef_->mmHeight());
    pageDef_->SetmmHeight(w);
    FirePageDefChange();
}

// --- geometry in units --------------------------------------------------------

float TrpPrinterSetup::MarginBottom() const {
    Guard g(lock_);
    return FromMM(pageDef_->mmMarginBottom(), kVertical);
}
float TrpPrinterSetup::MarginLeft() const {
    Guard g(lock_);
    return FromMM(pageDef_->mmMarginLeft(), kHorizontal);
}
float TrpPrinterSetup::MarginRight() const {
    Guard g(lock_);
    return FromMM(pageDef_->mmMarginRight(), kHorizontal);
}
float TrpPrinterSetup::MarginTop() const {
    Guard g(lock_);
    return FromMM(pageDef_->mmMarginTop(), kVertical);
}
float TrpPrinterSetup::PaperHeight() const {
    Guard g(lock_);
    return FromMM(pageDef_->mmHeight(), kVertical);
}
float TrpPrinterSetup::PaperWidth() const {
    Guard g(lock_);
    return FromMM(pageDef_->mmWidth(), kHorizontal);
}
float TrpPrinterSetup::PrintableHeight() const {
    Guard g(lock_);
    return FromMM(pageDef_->PrintableHeight(), kVertical);
}
float TrpPrinterSetup::PrintableWidth() const {
    Guard g(lock_);
    return FromMM(pageDef_->PrintableWidth(), kHorizontal);
}

void TrpPrinterSetup::SetMargin(float Value, int Which) {
    Guard g(lock_);
    if (Value < 0) return;
    const int axis = (Which == 0 || Which == 2) ? kHorizontal : kVertical;
    const int32_t mm = ToMM(Value, axis);
    CommitPageDef([&](TrpPageDef& d) {
        switch (Which) {
            case 0: d.SetmmMarginLeft(mm); break;
            case 1: d.SetmmMarginTop(mm); break;
            case 2: d.SetmmMarginRight(mm); break;
            default: d.SetmmMarginBottom(mm); break;
        }
    });
}

void TrpPrinterSetup::SetMarginLeft(float Value) { SetMargin(Value, 0); }
void TrpPrinterSetup::SetMarginTop(float Value) { SetMargin(Value, 1); }
void TrpPrinterSetup::SetMarginRight(float Value) { SetMargin(Value, 2); }
void TrpPrinterSetup::SetMarginBottom(float Value) { SetMargin(Value, 3); }

void TrpPrinterSetup::SetPaperDimension(float Value, bool Height) {
    Guard g(lock_);
    if (Value < 0) return;
    if (OwnerReading()) {
        (Height ? pendingHeight_ : pendingWidth_) = Value;
        return;
    }
    const int32_t mm = ToMM(Value, Height ? kVertical : kHorizontal);
    const bool committed = CommitPageDef(
        [&](TrpPageDef& d) {
            if (Height)
                d.SetmmHeight(mm);
            else
                d.SetmmWidth(mm);
        },
        false);
    if (!committed) return;
    if (Ready())
        paperName_ = PaperNameBySize(FromMM(pageDef_->mmWidth(), kHorizontal), FromMM(pageDef_->mmHeight(), kVertical),
                                     paperName_);
    FirePageDefChange();
}

void TrpPrinterSetup::SetPaperHeight(float Value) { SetPaperDimension(Value, true); }
void TrpPrinterSetup::SetPaperWidth(float Value) { SetPaperDimension(Value, false); }

// --- stream form ------------------------------------------------------------

namespace {
constexpr int32_t kLongestLength = 100000000;
}  // namespace

void TrpPrinterSetup::DefineProperties(TFiler* Filer) {
    TPersistent::DefineProperties(Filer);
    // The geometry is stored exactly, in thousandths of a millimetre; the
    // unit-dependent published values are not stored at all.
    struct Field {
        const char* Name;
        int32_t (TrpPageDef::*Get)() const;
        void (TrpPageDef::*Set)(int32_t);
    };
    static const Field fields[] = {
        {"mmMarginBottom", &TrpPageDef::mmMarginBottom, &TrpPageDef::SetmmMarginBottom},
        {"mmMarginLeft", &TrpPageDef::mmMarginLeft, &TrpPageDef::SetmmMarginLeft},
        {"mmMarginRight", &TrpPageDef::mmMarginRight, &TrpPageDef::SetmmMarginRight},
        {"mmMarginTop", &TrpPageDef::mmMarginTop, &TrpPageDef::SetmmMarginTop},
        {"mmPaperHeight", &TrpPageDef::mmHeight, &TrpPageDef::SetmmHeight},
        {"mmPaperWidth", &TrpPageDef::mmWidth, &TrpPageDef::SetmmWidth},
    };
    for (const Field& f : fields) {
        Filer->DefineProperty(
            f.Name,
            [this, f](TReader* Reader) {
                const int32_t v = rpReadTruncatedInteger(Reader);
                // Any paper is well inside a hundred metres; beyond that a
                // stream is damaged, and sums of these lengths would overflow.
                if (v < -kLongestLength || v > kLongestLength) throw EReadError("Invalid property value");
                Guard g(lock_);
                (pageDef_.get()->*f.Set)(v);
            },
            [this, f](TWriter* Writer) {
                Guard g(lock_);
                Writer->WriteInteger((pageDef_.get()->*f.Get)());
            },
            true);
    }
    Filer->DefineProperty(
        "PaperSize",
        [this](TReader* Reader) {
            const int32_t v = rpReadTruncatedInteger(Reader);
            Guard g(lock_);
            pendingPaperCode_ = static_cast<uint16_t>(v);
        },
        [this](TWriter* Writer) { Writer->WriteInteger(PaperSize() & 0xFFFF); }, true);
}

namespace report {

void RegisterPrinterSetupClasses() {
    RegisterClass(TrpPageDef::StaticClassType());
    RegisterClass(TrpPrinterSetup::StaticClassType());
}

void UnregisterPrinterSetupClasses() {
    UnRegisterClass(TrpPrinterSetup::StaticClassType());
    UnRegisterClass(TrpPageDef::StaticClassType());
}

}  // namespace report
