#pragma once
// Plain text layout: breaks a text into the lines that fit a rectangle, the
// way the memo and text components lay theirs out, and helps draw those
// lines (full justification, tab stops).
//
// Lengths are in thousandths of a millimetre. Text is measured through a
// TCanvas (the layout canvas unless the caller passes one) and the canvas's
// pixels are converted with that canvas's own resolution, so the same text
// breaks in the same places at 96 or at 600 dpi up to pixel rounding.
//
// Text stays UTF-8. A text that does not fit the rectangle hands back, in
// StartPos, the byte offset where the rest continues; it always lies on a
// character boundary, and wrapping the rest from there gives the following
// lines without losing or repeating a word. That is what lets a stretching
// component carry its text on to the next page.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/rtl/Lists.h"
#include "report/rpTypes.h"

// The characters the layout treats specially.
struct TrpTextMarkups {
    static constexpr char Tab = 9;
    static constexpr char CR = 13;
    static constexpr char LF = 10;
    static constexpr char Null = 0;
    static constexpr char Space = 32;
    static constexpr std::string_view LineBreak = "\r\n";
    // A hard line break inside already wrapped text: "$" and the pilcrow.
    // Under full justification it ends the last line of each paragraph, so
    // that the drawing code does not stretch that line. (Only the archive
    // device writes it as code page 1252 bytes.)
    static constexpr std::string_view LineBreakMarkup = "$\xC2\xB6";
};

// Splits text into words, single blanks, single tabs and line breaks (CR,
// LF, CR LF and the markup all come back as CR LF). A NUL ends the text.
class TrpPlainTextParser {
public:
    void SetText(std::string Value);
    // P is the byte offset the next token starts at.
    void SetPosition(int P);
    // The bytes read so far (the offset the next token starts at).
    int Position() const { return position_; }
    bool Eof() const { return eof_; }
    const std::string& Text() const { return text_; }
    int Length() const { return static_cast<int>(text_.size()); }
    // "" once the text is exhausted.
    std::string NextToken();
    // The offset just past the last token's last byte (a NUL moves Position
    // to the end of the text, not this).
    int TokenEnd() const { return tokenEnd_; }

private:
    // The delimiter at position_ and its length in bytes; 0 when none.
    int DelimiterAt(int P) const;
    std::string ReadToken();
    std::string text_;
    int position_ = 0;
    int tokenEnd_ = 0;
    int wordEnd_ = 0;
    bool eof_ = false;
};

// What the text controls ask of a wrap beyond the plain layout.
struct TrpWrapOptions {
    // Lines are broken only at hard line breaks (the control will size
    // itself to MaxLineWidth).
    bool AutoSize = false;
    // Under full justification, stretch the last line of each paragraph too
    // (no markup is appended to it).
    bool JustifyLastLine = false;
    // The canvas to measure on; nullptr means the layout canvas.
    TCanvas* Canvas = nullptr;
    // When given, receives the width of the widest line.
    int32_t* MaxLineWidth = nullptr;
};

// One wrapping run; TrpPlainText::WrapText is the way in.
class TrpTextWrapper {
public:
    TrpTextAlignment Alignment = taLeftJustified;
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    bool ExtraSpace = false;
    int32_t StartPos = 0;
    bool CharWrap = false;
    bool AutoSize = false;
    bool JustifyLastLine = false;
    int32_t Leading = 0;
    std::vector<int> TabStops;  // pixels of the measuring canvas
    std::string Text;
    std::vector<std::string> Lines;
    int32_t LineHeight = 0;
    int32_t MaxLineWidth = 0;
    int32_t AvailWidth = 0;

    // Canvas carries the font; it must outlive the run.
    explicit TrpTextWrapper(TCanvas* Canvas) : canvas_(Canvas) {}
    void Run();
    // The width of a text on the canvas, in thousandths of a millimetre.
    int32_t TextWidth(const std::string& S);

private:
    bool Full() const;
    void AddLine(std::string Line, bool Markup);
    // Word does not take Token: makes a line, leaving in Token what waits
    // and in Pending the rest of a split token.
    void BreakLine(std::string& Word, std::string& Token, std::string& Pending);
    void SetContinuation(const std::string& Token);

    TCanvas* canvas_;
    TrpPlainTextParser parser_;
    bool atLineStart_ = false;
    int blanks_ = 0;
};

class TrpPlainText {
public:
    // Lays Text out in Rect from byte StartPos on; Lines receives the lines
    // that fit and StartPos where the rest continues (unchanged when no line
    // fits). TabStops are thousandths of a millimetre, as integer texts.
    static void WrapText(const std::string& Text, const TRect& Rect, TStrings* Lines, int32_t& StartPos,
                         const TObject* Printer, const TStrings* TabStops, int32_t Leading, bool CharWrap,
                         const TFont* Font, bool ExtraSpace, TrpTextAlignment Alignment,
                         const TrpWrapOptions& Options = {});
    // Prepares Canvas to draw Line stretched to the width of Rect (pixels);
    // Line comes back cut to its first-to-last non-blank part (a single word
    // spread letter by letter).
    static void JustifyLine(TCanvas* Canvas, std::string& Line, const TRect& Rect, const std::vector<int>& TabStops);
    // The width in pixels of a text with tab stops.
    static int GetTabbedTextWidth(TCanvas* Canvas, const std::string& Text, const std::vector<int>& TabStops);
    // Tab stops (integer texts, thousandths of a millimetre) as pixel offsets
    // of the printer (utPrinterPixels) or the screen (utScreenPixels).
    // Another unit gives no stops; entries that are no integer, and those
    // past the hundredth, are skipped. Returns the number of stops.
    static int CalcTabStops(TrpUnitType UnitCode, const TStrings* TabStopList, const TObject* Printer,
                            std::vector<int>& Offsets);
    // How many lines of Font with Leading fit Height; LineHeight receives a
    // line's height. Both lengths in thousandths of a millimetre.
    static int CalcLinesPerHeight(const TFont* Font, int32_t Leading, int32_t& LineHeight, const TObject* Printer,
                                  int32_t Height, TCanvas* Canvas = nullptr);
    // Text with every occurrence of Sub removed, until none is left.
    static std::string DeleteAll(std::string Text, const std::string& Sub);
    // Words are maximal runs of characters outside Delimiters (bytes).
    static int WordCount(const std::string& Text, std::string_view Delimiters = " ");
    // 1-based byte index of the N-th word's first character; 0 when none.
    static int WordPosition(int N, const std::string& Text, std::string_view Delimiters = " ");
    static std::string ExtractWord(int N, const std::string& Text, std::string_view Delimiters = " ");
};

// Pixels of Canvas to thousandths of a millimetre and back, with the
// canvas's own resolution. Axis 1 is vertical.
int32_t rpCanvasPixelsToMM(const TCanvas* Canvas, int Axis, int Pixels);
int rpMMToCanvasPixels(const TCanvas* Canvas, int Axis, int32_t Thousandths);
