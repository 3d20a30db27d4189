#include "report/rpTextLayout.h"

#include <algorithm>
#include <limits>

#include "platform/rtl/Strings.h"
#include "report/rpUnits.h"

namespace {

// Lets the unit conversions read a canvas's resolution as a printer's.
class CanvasResolution : public TObject, public TrpDeviceResolution {
public:
    explicit CanvasResolution(const TCanvas* Canvas) : canvas_(Canvas) {}
    int PixelsPerInch(int Axis) const override {
        return Axis == 1 ? canvas_->PixelsPerInchY() : canvas_->PixelsPerInchX();
    }

private:
    const TCanvas* canvas_;
};

bool IsBlank(const std::string& S) { return S.size() == 1 && S[0] == TrpTextMarkups::Space; }

std::size_t NextCharEnd(const std::string& S, std::size_t Pos) {
    utf8::Next(S, Pos);
    return Pos;
}

bool AfterHardBreak(const std::string& S, int P) {
    if (P <= 0 || P > static_cast<int>(S.size())) return false;
    const char c = S[P - 1];
    if (c == TrpTextMarkups::CR || c == TrpTextMarkups::LF) return true;
    const auto n = static_cast<int>(TrpTextMarkups::LineBreakMarkup.size());
    return P >= n && std::string_view(S).substr(P - n, n) == TrpTextMarkups::LineBreakMarkup;
}

void TrimTrailingBlanks(std::string& S) {
    while (!S.empty() && S.back() == TrpTextMarkups::Space) S.pop_back();
}

}  // namespace

int32_t rpCanvasPixelsToMM(const TCanvas* Canvas, int Axis, int Pixels) {
    CanvasResolution res(Canvas);
    return rpToMMThousandths(utPrinterPixels, Axis, &res, static_cast<float>(Pixels));
}

int rpMMToCanvasPixels(const TCanvas* Canvas, int Axis, int32_t Thousandths) {
    CanvasResolution res(Canvas);
    return static_cast<int>(rpFromMMThousandths(Thousandths, utPrinterPixels, Axis, &res));
}

// --- tokenizer ---------------------------------------------------------------

void TrpPlainTextParser::SetText(std::string Value) {
    text_ = std::move(Value);
    position_ = 0;
    tokenEnd_ = 0;
    wordEnd_ = 0;
    eof_ = false;
}

void TrpPlainTextParser::SetPosition(int P) {
    // A position inside a character moves on to the next boundary, so that
    // a stale offset never yields half a character.
    P = std::max(P, 0);
    while (P < Length() && (static_cast<unsigned char>(text_[P]) & 0xC0) == 0x80) ++P;
    position_ = std::min(P, Length());
    tokenEnd_ = wordEnd_ = position_;
    eof_ = P > Length();
}

int TrpPlainTextParser::DelimiterAt(int P) const {
    const char c = text_[P];
    if (c == TrpTextMarkups::Space || c == TrpTextMarkups::Tab || c == TrpTextMarkups::LF) return 1;
    if (c == TrpTextMarkups::CR) return P + 1 < Length() && text_[P + 1] == TrpTextMarkups::LF ? 2 : 1;
    if (std::string_view(text_).substr(P, TrpTextMarkups::LineBreakMarkup.size()) == TrpTextMarkups::LineBreakMarkup)
        return static_cast<int>(TrpTextMarkups::LineBreakMarkup.size());
    return 0;
}

std::string TrpPlainTextParser::NextToken() {
    std::string word = ReadToken();
    if (!word.empty()) tokenEnd_ = wordEnd_;
    return word;
}

std::string TrpPlainTextParser::ReadToken() {
    std::string word;
    while (!eof_) {
        if (position_ >= Length() || text_[position_] == TrpTextMarkups::Null) {
            // What follows a NUL is never part of the text: the position
            // goes to the end so a continuation finds nothing left.
            position_ = Length();
            eof_ = true;
            break;
        }
        if (const int d = DelimiterAt(position_)) {
            if (!word.empty()) break;  // the delimiter is read again next time
            const char c = text_[position_];
            position_ += d;
            wordEnd_ = position_;
            if (c == TrpTextMarkups::Space || c == TrpTextMarkups::Tab) return std::string(1, c);
            return std::string(TrpTextMarkups::LineBreak);
        }
        const auto end = static_cast<int>(NextCharEnd(text_, static_cast<std::size_t>(position_)));
        word.append(text_, position_, end - position_);
        position_ = end;
        wordEnd_ = end;
    }
    return word;
}

// --- wrapping ----------------------------------------------------------------

int32_t TrpTextWrapper::TextWidth(const std::string& S) {
    const int pixels = S.find(TrpTextMarkups::Tab) != std::string::npos
                           ? TrpPlainText::GetTabbedTextWidth(canvas_, S, TabStops)
                           : canvas_->TextWidth(S);
    return rpCanvasPixelsToMM(canvas_, 0, pixels);
}

bool TrpTextWrapper::Full() const {
    return (static_cast<int64_t>(Lines.size()) + 1) * LineHeight + Top > Bottom;
}

void TrpTextWrapper::AddLine(std::string Line, bool Markup) {
    TrimTrailingBlanks(Line);
    MaxLineWidth = std::max(MaxLineWidth, TextWidth(Line));
    if (Markup && Alignment == taFullJustified && !JustifyLastLine) Line += TrpTextMarkups::LineBreakMarkup;
    Lines.push_back(std::move(Line));
    atLineStart_ = true;
    blanks_ = 0;
}

void TrpTextWrapper::SetContinuation(const std::string& Token) {
    // The next run reads the waiting token again. A blank before it belongs
    // to the line just made: re-reading it would repeat it when the line
    // followed a paragraph's end.
    StartPos = parser_.TokenEnd() - static_cast<int>(Token.size());
}

void TrpTextWrapper::BreakLine(std::string& Word, std::string& Token, std::string& Pending) {
    if (!CharWrap && !Word.empty() && TextWidth(Token) <= AvailWidth) {
        AddLine(Word, false);
        StartPos = parser_.Position();
        return;
    }
    std::size_t taken = 0;
    while (taken < Token.size()) {
        const std::size_t next = NextCharEnd(Token, taken);
        if (TextWidth(Word + Token.substr(0, next)) > AvailWidth) break;
        taken = next;
    }
    if (taken == 0) {
        if (!Word.empty()) {  // the whole token waits for the next line
            AddLine(Word, false);
            StartPos = parser_.Position();
            return;
        }
        if (IsBlank(Token)) {  // a blank that fits no line is where the line breaks
            Token.clear();
            return;
        }
        taken = NextCharEnd(Token, 0);  // every line takes at least one character
    }
    Pending = Token.substr(taken);
    StartPos = parser_.TokenEnd() - static_cast<int>(Pending.size());
    AddLine(Word + Token.substr(0, taken), false);
    Token.clear();
}

void TrpTextWrapper::Run() {
    Lines.clear();
    MaxLineWidth = 0;
    LineHeight = rpCanvasPixelsToMM(canvas_, 1, canvas_->TextHeight("W")) + Leading;
    AvailWidth = Right - Left;
    if (ExtraSpace)
        AvailWidth += rpRoundHalfEven(static_cast<long double>(rpCanvasPixelsToMM(canvas_, 0, canvas_->TextWidth(" "))) * 0.3L);
    if (AutoSize) AvailWidth = std::numeric_limits<int32_t>::max();
    if (static_cast<int64_t>(Top) + LineHeight >= Bottom) return;

    parser_.SetText(Text);
    parser_.SetPosition(StartPos);
    const int startedAt = StartPos;
    // A continuation starts like a line after a soft break, unless the text
    // before it ends a paragraph: then the blanks are the paragraph's own,
    // as they are when the text is laid out in one piece.
    atLineStart_ = StartPos > 0 && !AfterHardBreak(Text, parser_.Position());
    blanks_ = 0;

    std::string word, token, pending;
    if (!Full()) token = parser_.NextToken();
    while (!token.empty() && !Full()) {
        const std::size_t linesBefore = Lines.size();
        if (token == TrpTextMarkups::LineBreak) {
            AddLine(word, true);
            StartPos = parser_.Position();
            word.clear();
            token.clear();
            atLineStart_ = false;
        } else {
            if (atLineStart_) {
                if (IsBlank(token)) {
                    if (++blanks_ >= 3) atLineStart_ = false;  // an indentation survives
                } else {
                    std::size_t lead = 0;
                    while (lead < word.size() && lead < static_cast<std::size_t>(blanks_) && word[lead] == ' ') ++lead;
                    word.erase(0, lead);
                    atLineStart_ = false;
                }
            }
            if (TextWidth(word + token) > AvailWidth) {
                BreakLine(word, token, pending);
                word.clear();
            } else {
                word += token;
                token.clear();
            }
        }
        if (Lines.size() != linesBefore && Full() && !token.empty()) SetContinuation(token);
        if (!Full()) {
            if (!pending.empty()) {
                token = std::move(pending);
                pending.clear();
            } else if (token.empty()) {
                token = parser_.NextToken();
            }
            if (token.empty()) {
                if (!word.empty()) AddLine(word, true);
                StartPos = parser_.Position();
            }
        }
    }
    // A continuing text that laid out no line keeps its position: starting
    // over would print it twice.
    if (Lines.empty()) StartPos = startedAt > 0 ? startedAt : parser_.Position();
}

// --- class operations ----------------------------------------------------------

void TrpPlainText::WrapText(const std::string& Text, const TRect& Rect, TStrings* Lines, int32_t& StartPos,
                            const TObject* Printer, const TStrings* TabStops, int32_t Leading, bool CharWrap,
                            const TFont* Font, bool ExtraSpace, TrpTextAlignment Alignment,
                            const TrpWrapOptions& Options) {
    (void)Printer;  // layout is measured on one device whatever prints it
    if (Lines) Lines->Clear();
    std::unique_ptr<TCanvas> own;
    TCanvas* canvas = Options.Canvas;
    if (!canvas) {
        own = gfx::NewLayoutCanvas();
        canvas = own.get();
    }
    if (Font) canvas->SetFont(*Font);
    TrpTextWrapper w(canvas);
    w.Alignment = Alignment;
    w.Left = Rect.Left;
    w.Top = Rect.Top;
    w.Right = Rect.Right;
    w.Bottom = Rect.Bottom;
    w.ExtraSpace = ExtraSpace;
    w.StartPos = StartPos;
    w.CharWrap = CharWrap;
    w.AutoSize = Options.AutoSize;
    w.JustifyLastLine = Options.JustifyLastLine;
    w.Leading = Leading;
    w.Text = Text;
    if (TabStops && TabStops->Count() > 0) {
        CanvasResolution res(canvas);
        CalcTabStops(utPrinterPixels, TabStops, &res, w.TabStops);
    }
    w.Run();
    if (Lines)
        for (const auto& line : w.Lines) Lines->Add(line);
    StartPos = w.StartPos;
    if (Options.MaxLineWidth) *Options.MaxLineWidth = w.MaxLineWidth;
}

void TrpPlainText::JustifyLine(TCanvas* Canvas, std::string& Line, const TRect& Rect,
                               const std::vector<int>& TabStops) {
    Canvas->SetTextJustification(0, 0);
    const auto first = Line.find_first_not_of(' ');
    if (first == std::string::npos) return;
    const auto last = Line.find_last_not_of(' ');
    std::string core = Line.substr(first, last - first + 1);
    int breaks = static_cast<int>(std::count(core.begin(), core.end(), ' '));
    if (breaks == 0) {
        std::string spread;
        for (std::size_t p = 0; p < core.size();) {
            const std::size_t next = NextCharEnd(core, p);
            spread.append(core, p, next - p);
            if (next < core.size()) spread += ' ';
            p = next;
        }
        core = std::move(spread);
        breaks = static_cast<int>(std::count(core.begin(), core.end(), ' '));
    }
    Line = std::move(core);
    if (breaks == 0) return;  // a single character has nothing to spread
    const int width = GetTabbedTextWidth(Canvas, Line, TabStops);
    Canvas->SetTextJustification(Rect.Width() - width, breaks);
}

int TrpPlainText::GetTabbedTextWidth(TCanvas* Canvas, const std::string& Text, const std::vector<int>& TabStops) {
    return Canvas->TabbedTextExtent(Text, TabStops).cx;
}

int TrpPlainText::CalcTabStops(TrpUnitType UnitCode, const TStrings* TabStopList, const TObject* Printer,
                               std::vector<int>& Offsets) {
    Offsets.clear();
    if (UnitCode != utPrinterPixels && UnitCode != utScreenPixels) return 0;
    if (!TabStopList) return 0;
    constexpr int kMaxStops = 100;
    for (int i = 0; i < TabStopList->Count() && static_cast<int>(Offsets.size()) < kMaxStops; ++i) {
        int value = 0;
        if (!TryStrToInt(Trim(TabStopList->Get(i)), value)) continue;
        Offsets.push_back(static_cast<int>(rpFromMMThousandths(value, UnitCode, 0, Printer)));
    }
    return static_cast<int>(Offsets.size());
}

int TrpPlainText::CalcLinesPerHeight(const TFont* Font, int32_t Leading, int32_t& LineHeight,
                                     const TObject* Printer, int32_t Height, TCanvas* Canvas) {
    (void)Printer;
    std::unique_ptr<TCanvas> own;
    if (!Canvas) {
        own = gfx::NewLayoutCanvas();
        Canvas = own.get();
    }
    if (Font) Canvas->SetFont(*Font);
    TTextMetric tm;
    Canvas->GetTextMetrics(tm);
    const int linePixels = tm.tmHeight + rpMMToCanvasPixels(Canvas, 1, Leading);
    LineHeight = rpCanvasPixelsToMM(Canvas, 1, linePixels);
    if (linePixels <= 0) return 0;
    return rpMMToCanvasPixels(Canvas, 1, Height) / linePixels;
}

std::string TrpPlainText::DeleteAll(std::string Text, const std::string& Sub) {
    if (Sub.empty()) return Text;
    for (auto p = Text.find(Sub); p != std::string::npos; p = Text.find(Sub)) Text.erase(p, Sub.size());
    return Text;
}

namespace {
// Byte ranges of the words.
std::vector<std::pair<std::size_t, std::size_t>> Words(const std::string& Text, std::string_view Delimiters) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::size_t p = 0;
    while (p < Text.size()) {
        p = Text.find_first_not_of(Delimiters, p);
        if (p == std::string::npos) break;
        std::size_t e = Text.find_first_of(Delimiters, p);
        if (e == std::string::npos) e = Text.size();
        out.emplace_back(p, e);
        p = e;
    }
    return out;
}
}  // namespace

int TrpPlainText::WordCount(const std::string& Text, std::string_view Delimiters) {
    return static_cast<int>(Words(Text, Delimiters).size());
}

int TrpPlainText::WordPosition(int N, const std::string& Text, std::string_view Delimiters) {
    const auto w = Words(Text, Delimiters);
    if (N < 1 || N > static_cast<int>(w.size())) return 0;
    return static_cast<int>(w[N - 1].first) + 1;
}

std::string TrpPlainText::ExtractWord(int N, const std::string& Text, std::string_view Delimiters) {
    const auto w = Words(Text, Delimiters);
    if (N < 1 || N > static_cast<int>(w.size())) return {};
    return Text.substr(w[N - 1].first, w[N - 1].second - w[N - 1].first);
}
