#include "billing/listings/ColumnFit.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report/rpTextLayout.h"
#include "report_output/rpGraphics.h"

namespace billing::listings {

namespace {

// A component this close to the right of a rule belongs to its column.
constexpr int32_t kRuleSlack = 500;

std::vector<int32_t> Rules(TrpBand* Detail) {
    std::vector<int32_t> rules;
    if (Detail == nullptr) return rules;
    for (int i = 0; i < Detail->ObjectCount(); ++i)
        if (auto* line = dynamic_cast<TrpLine*>(Detail->Objects(i)); line != nullptr && line->Position() == lpLeft)
            rules.push_back(line->mmLeft());
    std::sort(rules.begin(), rules.end());
    rules.erase(std::unique(rules.begin(), rules.end()), rules.end());
    return rules;
}

// The column (from 0, the one right of the first rule) that X lies in; -1
// left of the first rule.
int ColumnOf(const std::vector<int32_t>& Rules, int32_t X) {
    return static_cast<int>(std::upper_bound(Rules.begin(), Rules.end(), X + kRuleSlack) - Rules.begin()) - 1;
}

}  // namespace

std::size_t WholeCharactersThatFit(const std::string& Value, int32_t Room,
                                   const std::function<int32_t(const std::string&)>& Measure) {
    // Character boundaries, then the longest start that fits, by halving.
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < Value.size();) {
        utf8::Next(Value, i);
        ends.push_back(i);
    }
    std::size_t lo = 0, hi = ends.size();  // ends[0 .. lo) fit
    while (lo < hi) {
        const std::size_t mid = (lo + hi + 1) / 2;
        if (Measure(Value.substr(0, ends[mid - 1])) <= Room) lo = mid;
        else hi = mid - 1;
    }
    std::size_t bytes = lo == 0 ? 0 : ends[lo - 1];
    while (bytes > 0 && Value[bytes - 1] == ' ') --bytes;
    return bytes;
}

ColumnFit::ColumnFit(TrpReport* Report, Finder Find) : report_(Report), find_(std::move(Find)) {}

void ColumnFit::Bind(const std::vector<FittedText>& Texts) {
    // A loaded layout brings components of its own: what was moved is gone.
    moved_.clear();
    fitted_.clear();
    for (const FittedText& t : Texts) {
        auto* text = dynamic_cast<TrpCustomText*>(find_(t.Name));
        if (text == nullptr) continue;
        auto f = std::make_unique<Fitted>();
        f->Text = text;
        f->Amount = t.Amount;
        f->Size = text->Font()->Size();
        f->Top = text->mmTop();
        f->Height = text->mmHeight();
        f->BaseRoom = f->Room = static_cast<int32_t>(t.Room * 1000 + 0.5);
        Fitted* state = f.get();
        text->OnPrint = [this, state](TObject*) { Fit(*state); };
        if (!t.Amount) {
            text->OnGetText = [state, previous = std::move(text->OnGetText)](TObject* Sender, std::string& Text) {
                if (previous) previous(Sender, Text);
                if (state->Cut < Text.size()) Text.resize(state->Cut);
            };
        }
        fitted_.push_back(std::move(f));
    }
}

int32_t ColumnFit::Width(Fitted& F, const std::string& Value) {
    const TFont& font = *F.Text->Font();
    for (TrpTextWidthMeter& m : F.Meters)
        if (m.Font() == font) return m.Width(Value);
    return F.Meters.emplace_back(font).Width(Value);
}

int32_t ColumnFit::Ascent(Fitted& F, int Size) {
    auto it = F.Ascents.find(Size);
    if (it != F.Ascents.end()) return it->second;
    TFont font(*F.Text->Font());
    font.SetSize(Size);
    TCanvas& canvas = rpSharedMeasuringCanvas();
    canvas.SetFont(font);
    TTextMetric tm;
    canvas.GetTextMetrics(tm);
    return F.Ascents[Size] = rpCanvasPixelsToMM(&canvas, 1, tm.tmAscent);
}

void ColumnFit::Fit(Fitted& F) {
    TrpCustomText* text = F.Text;
    F.Cut = std::string::npos;
    text->Font()->SetSize(F.Size);
    const std::string value = text->GetText();
    int32_t width = Width(F, value);
    const int smallest = F.Amount ? kSmallestAmountSize : kSmallestTextSize;
    while (text->Font()->Size() > smallest && width > F.Room) {
        text->Font()->SetSize(text->Font()->Size() - 1);
        width = Width(F, value);
    }
    if (width > F.Room) {
        if (F.Amount) F.Widest = std::max(F.Widest, width);
        else F.Cut = WholeCharactersThatFit(value, F.Room, [&](const std::string& s) { return Width(F, s); });
    }
    // The smaller letters stand on the line the others stand on; the box
    // keeps its bottom.
    const int32_t drop = Ascent(F, F.Size) - Ascent(F, text->Font()->Size());
    text->SetBounds(text->mmLeft(), F.Top + drop, text->mmWidth(), F.Height - drop);
}

void ColumnFit::Move(TrpComponent* C, int32_t Left, int32_t Width) {
    const bool known = std::any_of(moved_.begin(), moved_.end(), [C](const auto& m) { return m.first == C; });
    if (!known) moved_.emplace_back(C, TRect{C->mmLeft(), 0, C->mmLeft() + C->mmWidth(), 0});
    C->SetBounds(Left, C->mmTop(), Width, C->mmHeight());
}

void ColumnFit::RestoreLayout() {
    for (const auto& [c, r] : moved_) c->SetBounds(r.Left, c->mmTop(), r.Right - r.Left, c->mmHeight());
    moved_.clear();
    for (auto& f : fitted_) f->Room = f->BaseRoom;
}

void ColumnFit::StartFirstPass() {
    RestoreLayout();
    for (auto& f : fitted_) f->Widest = 0;
}

void ColumnFit::StartSecondPass() {
    RestoreLayout();
    TrpBand* detail = report_->DetailBand();
    const std::vector<int32_t> rules = Rules(detail);
    const int columns = static_cast<int>(rules.size());
    if (columns < 2) return;
    // What each column lacks for its widest amount.
    std::vector<int32_t> need(static_cast<size_t>(columns), 0);
    int firstWide = columns;
    for (auto& f : fitted_) {
        if (!f->Amount || f->Widest <= f->Room) continue;
        const int j = ColumnOf(rules, f->Text->mmLeft());
        if (j < 0) continue;
        // A little more than the measure, for the devices' own rounding.
        need[static_cast<size_t>(j)] = std::max(need[static_cast<size_t>(j)], f->Widest - f->Room + 100);
        firstWide = std::min(firstWide, j);
    }
    if (firstWide == columns) return;
    // The room comes from the widest column of texts on their left.
    Fitted* giver = nullptr;
    int g = -1;
    for (auto& f : fitted_) {
        const int j = ColumnOf(rules, f->Text->mmLeft());
        if (!f->Amount && j >= 0 && j < firstWide && (giver == nullptr || f->BaseRoom > giver->BaseRoom)) {
            giver = f.get();
            g = j;
        }
    }
    if (giver == nullptr) return;
    // Never more than half of what the texts had.
    int32_t budget = giver->Room / 2;
    for (int j = columns - 1; j > g; --j) {
        need[static_cast<size_t>(j)] = std::min(need[static_cast<size_t>(j)], budget);
        budget -= need[static_cast<size_t>(j)];
    }
    // Each rule right of the giving column moves left by what the columns
    // from it on take.
    std::vector<int32_t> shift(static_cast<size_t>(columns) + 1, 0);
    for (int j = columns - 1; j > g; --j)
        shift[static_cast<size_t>(j)] = shift[static_cast<size_t>(j) + 1] + need[static_cast<size_t>(j)];
    const int32_t given = shift[static_cast<size_t>(g) + 1];
    const int32_t giverMiddle = (rules[static_cast<size_t>(g)] + rules[static_cast<size_t>(g) + 1]) / 2;
    auto fittedOf = [this](TrpComponent* C) -> Fitted* {
        for (auto& f : fitted_)
            if (f->Text == C) return f.get();
        return nullptr;
    };
    // The header's column titles and rules, the rows and the totals.
    TrpBand* header = report_->HeaderBand();
    int32_t titlesTop = INT32_MAX;
    if (header != nullptr)
        for (int i = 0; i < header->ObjectCount(); ++i)
            if (auto* line = dynamic_cast<TrpLine*>(header->Objects(i)); line != nullptr && line->Position() == lpLeft)
                titlesTop = std::min(titlesTop, line->mmTop() - kRuleSlack);
    for (TrpBand* band : {header, detail, static_cast<TrpBand*>(report_->SummaryBand())}) {
        if (band == nullptr) continue;
        for (int i = 0; i < band->ObjectCount(); ++i) {
            TrpComponent* c = band->Objects(i);
            if (band == header && c->mmTop() < titlesTop) continue;
            const int j = ColumnOf(rules, c->mmLeft());
            Fitted* f = fittedOf(c);
            if (j > g) {
                const int32_t grow = f != nullptr && f->Amount ? need[static_cast<size_t>(j)] : 0;
                Move(c, c->mmLeft() - shift[static_cast<size_t>(j)], c->mmWidth() + grow);
                if (f != nullptr) f->Room += grow;
            } else if (j == g && f == giver) {
                Move(c, c->mmLeft(), c->mmWidth() - given);
                f->Room -= given;
            } else if (j == g && c->mmLeft() > giverMiddle) {
                // What stands at the right of the texts' column ("TOTAIS").
                Move(c, c->mmLeft() - given, c->mmWidth());
            }
        }
    }
}

}  // namespace billing::listings
