#pragma once
// TrpPageBreak: ends the page at its place in the band; what lies below it
// in the band prints at the top of the next page. An invisible one breaks
// nothing. It has no colour, no font, and never sits in a region.
//
// Whether it already broke the page is its overflow flag, which goes into
// its page record with the rest of the stretchable's state: a page
// generated again alone knows whether the break is behind it.
#include "report/rpStretchable.h"

class TrpPageBreak : public TrpStretchable {
public:
    explicit TrpPageBreak(TComponent* AOwner);
    FAT_CLASS(TrpPageBreak)

    bool HasColor() const override { return false; }
    bool HasFont() const override { return false; }
    void SetRegion(TrpCustomRegion*) override {}
    void SetShiftRelativeTo(TrpStretchable* Value) override;
    void Generate() override;
    bool EndedPage() const override { return endedPage_; }

protected:
    void GenerateContent() override;

private:
    bool endedPage_ = false;
};

namespace report {
void RegisterPageBreakClasses();
void UnregisterPageBreakClasses();
}  // namespace report
