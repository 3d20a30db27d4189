#include "report/rpPageBreak.h"

#include "report/rpBands.h"
#include "report/rpUnits.h"

namespace {
constexpr int kDesignHeightPixels = 13;
}

TClass TrpPageBreak::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPageBreak>("TrpPageBreak", TrpStretchable::StaticClassType())
            .Boolean("Visible", &TrpPageBreak::Visible, &TrpPageBreak::SetVisible, 1)
            .Build();
    return &info;
}

TrpPageBreak::TrpPageBreak(TComponent* AOwner) : TrpStretchable(AOwner) {
    SetParentWidth(true);
    StoremmBounds(mmLeft(), mmTop(), mmWidth(), rpToMMThousandths(utScreenPixels, 1, nullptr, kDesignHeightPixels));
}

void TrpPageBreak::SetShiftRelativeTo(TrpStretchable* Value) {
    TrpStretchable::SetShiftRelativeTo(Value);
    SetStretch(Value != nullptr);
}

void TrpPageBreak::Generate() {
    endedPage_ = false;
    if (!Visible() && OverFlow()) SetOverFlow(false);
    // Shifted below a component that goes on to the next page, it comes
    // after all of that component: there it breaks, not on this page.
    if (Visible() && Ready() && !OverFlow() && ShiftRelativeTo() != nullptr && ShiftRelativeTo()->OverFlow()) {
        SetSpaceUsed(0);
        SetDrawComponent(false);
        SetGenerationComplete(false);
        return;
    }
    TrpStretchable::Generate();
    // Where what stands above the break filled the page, the break would
    // fall past the page's end: that end is the break. The next page goes
    // on below it instead of breaking again under its repeated headers.
    // (Not while the component it shifts below goes on itself: the break
    // comes after that.)
    if (NoRoom() && (ShiftRelativeTo() == nullptr || !ShiftRelativeTo()->OverFlow())) SetOverFlow(true);
}

void TrpPageBreak::GenerateContent() {
    SetSpaceUsed(0);
    if (OverFlow()) {
        // The break is behind us: the band goes on below it.
        SetOverFlow(false);
        return;
    }
    if (auto* band = HolderBand()) {
        band->SetOutOfSpace(true);
        band->SetGenerationComplete(true);
    }
    SetOverFlow(true);
    endedPage_ = true;
}

namespace report {

void RegisterPageBreakClasses() { RegisterClass(TrpPageBreak::StaticClassType()); }
void UnregisterPageBreakClasses() { UnRegisterClass(TrpPageBreak::StaticClassType()); }

}  // namespace report
