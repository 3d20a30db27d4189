#pragma once
// The report's font and the frame of printable components and text draw
// commands. Both are values a component owns and streams with its layout;
// they keep no device state: a device reads them when it draws.
#include "platform/gfx/Graphics.h"
#include "report/rpTypes.h"

// A font stored by its point size only: Size is written to a component
// stream, Height is derived and never stored.
class TrpFont : public TFont {
public:
    FAT_CLASS(TrpFont)
    TrpFont() = default;
};

using TrpBorderPositions = TSet<TrpBorderPositionType>;

// The frame around a printable component: which sides, the pen's colour,
// style and weight in points (1/72 inch), and whether it is drawn at all.
// Every change of a value raises OnChange.
class TrpBorder : public TPersistent {
public:
    FAT_CLASS(TrpBorder)
    // Owner is the object the border belongs to (a report component).
    explicit TrpBorder(TObject* AOwner = nullptr) : owner_(AOwner) {}
    TrpBorder(const TrpBorder&) = delete;
    TrpBorder& operator=(const TrpBorder&) = delete;

    // From another border: the five published values, through their
    // writers. Anything else is refused as the persistent base refuses it.
    void Assign(TPersistent* Source) override;

    TrpBorderPositions BorderPositions() const { return positions_; }
    void SetBorderPositions(TrpBorderPositions Value);
    // The sides before the last change of BorderPositions.
    TrpBorderPositions PreviousPositions() const { return previous_; }
    TColor Color() const { return color_; }
    void SetColor(TColor Value);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle Value);
    bool Visible() const { return visible_; }
    void SetVisible(bool Value);
    float Weight() const { return weight_; }
    void SetWeight(float Value);

    // The weight in thousandths of a millimetre.
    int32_t mmWeight() const;
    // The weight in screen pixels, at least 1.
    int spWeight() const;

    TObject* Owner() const { return owner_; }
    TNotifyEvent OnChange;

protected:
    TPersistent* GetOwner() const override { return dynamic_cast<TPersistent*>(owner_); }

private:
    void Changed();

    TObject* owner_;
    TrpBorderPositions positions_;
    TrpBorderPositions previous_;
    TColor color_ = clBlack;
    TPenStyle style_ = psSolid;
    bool visible_ = false;
    float weight_ = 1.0f;
};

// The start of turned text inside a border: moved by the border's weight
// in device pixels (the printer's resolution per axis, or the screen
// weight) away from the sides the angle's quadrant faces.
TPoint rpBorderAdjustedOrigin(const TrpBorder& Border, int Angle, int X, int Y, const TObject* Printer);

namespace report {
void RegisterBorderClasses();
void UnregisterBorderClasses();
}  // namespace report
