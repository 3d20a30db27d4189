#pragma once
// How a listing's values keep to their columns. A value wider than its box
// prints in a smaller font, an amount never below kSmallestAmountSize points
// and a text (a client's name, a description, a status) never below
// kSmallestTextSize, standing on the row's baseline (the box moves down by
// what the ascent lost). A text still too wide at that size prints up to its
// last whole character that fits. An amount still too wide
// is never cut: the first pass of the report notes the widest amount of
// each column, and the second pass lays the columns out for it, taking the
// room from the column of names or descriptions on their left (its rules,
// titles, values and totals move with them). The first pass of the next run
// starts again from the layout as built.
//
// State between passes: per fitted text its layout (font size, top, height,
// room) and the widest amount met; the bounds of every component the
// widening moved, to put them back.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "report_output/rpTextControls.h"

class TComponent;
class TrpComponent;
class TrpReport;

namespace billing::listings {

inline constexpr int kSmallestAmountSize = 6;
inline constexpr int kSmallestTextSize = 8;

// A text fitted to its box, named as the layout names it.
struct FittedText {
    std::string Name;
    double Room;  // millimetres
    bool Amount;  // widened, never cut
};

class ColumnFit {
public:
    using Finder = std::function<TComponent*(const std::string&)>;
    ColumnFit(TrpReport* Report, Finder Find);

    // Takes the layout as it stands (built or loaded) and fits Texts from now on.
    void Bind(const std::vector<FittedText>& Texts);
    void StartFirstPass();
    void StartSecondPass();

private:
    struct Fitted {
        TrpCustomText* Text = nullptr;
        bool Amount = false;
        int Size = 10;
        int32_t Top = 0, Height = 0, BaseRoom = 0, Room = 0;
        int32_t Widest = 0;                      // at the smallest size, when it did not fit
        std::size_t Cut = std::string::npos;     // bytes of the value that print
        std::vector<TrpTextWidthMeter> Meters;   // one per size met
        std::map<int, int32_t> Ascents;          // thousandths of a mm, per size
    };
    void Fit(Fitted& F);
    int32_t Width(Fitted& F, const std::string& Value);
    int32_t Ascent(Fitted& F, int Size);
    void Move(TrpComponent* C, int32_t Left, int32_t Width);
    void RestoreLayout();

    TrpReport* report_;
    Finder find_;
    std::vector<std::unique_ptr<Fitted>> fitted_;
    std::vector<std::pair<TrpComponent*, TRect>> moved_;  // bounds as built
};

// The bytes of the longest start of Value, in whole characters and without
// trailing blanks, whose width (Measure) is at most Room.
std::size_t WholeCharactersThatFit(const std::string& Value, int32_t Room,
                                   const std::function<int32_t(const std::string&)>& Measure);

}  // namespace billing::listings
