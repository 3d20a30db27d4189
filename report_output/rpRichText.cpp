#include "report_output/rpRichText.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <list>
#include <sstream>
#include <unordered_map>
#include <vector>

#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <QVariant>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "platform/rtl/SysUtils.h"
#include "report/rpBand.h"
#include "report/rpDisplayFormat.h"
#include "report/rpMemo.h"
#include "report/rpPipeline.h"
#include "report/rpPublish.h"
#include "report/rpRTTI.h"
#include "report/rpReport.h"
#include "report_output/rpRTF.h"

namespace {

// --- Layout on the reference device ---------------------------------------
//
// Everything below is measured in reference pixels (the measuring canvas's
// resolution); a canvas that draws scales positions to its own pixels.

constexpr double kTwipsPerInch = 1440.0;
constexpr double kDefaultTab = 720.0;  // twips, half an inch

struct Piece {
    int Pos = 0;     // first character
    int Len = 0;     // characters (UTF-16 units, as document positions count)
    std::string Text;
    QTextCharFormat Format;
    double X = 0;
    double Width = 0;
    double Ascent = 0;
    double Descent = 0;
    bool Space = false;
    bool Tab = false;
    bool Image = false;
    // A blank that only hidden text parts from the blank before it: the
    // two show as the one blank they are on the page.
    bool Merged = false;
};

struct Line {
    int First = 0;
    int Last = -1;  // last character, the paragraph end included when it is in range
    double Top = 0;
    double Height = 0;
    double Ascent = 0;
    std::vector<Piece> Pieces;
};

double PointsToPixels(double points, double ppi) { return points * ppi / 72.0; }

// Scale enlarges the font for a canvas drawn at a zoom (its pixels stand
// for more than its own resolution says).
void ApplyFormat(TCanvas& canvas, const QTextCharFormat& f, double Scale = 1.0) {
    TFont font;
    QStringList families = f.fontFamilies().toStringList();
    font.SetName(families.isEmpty() ? std::string("Arial") : families.first().toStdString());
    font.SetSizeInPoints((f.fontPointSize() > 0 ? f.fontPointSize() : 12.0) * Scale);
    TFontStyles style;
    if (f.fontWeight() >= QFont::DemiBold) style.Include(fsBold);
    if (f.fontItalic()) style.Include(fsItalic);
    if (f.fontUnderline()) style.Include(fsUnderline);
    if (f.fontStrikeOut()) style.Include(fsStrikeOut);
    font.SetStyle(style);
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
        QColor c = f.foreground().color();
        font.SetColor(static_cast<TColor>(c.red() | (c.green() << 8) | (c.blue() << 16)));
    } else {
        font.SetColor(clBlack);
    }
    canvas.SetFont(font);
}

class Layout {
public:
    Layout(TCanvas& Measure, QTextDocument& Doc) : m_(Measure), doc_(Doc), ppi_(Measure.PixelsPerInchX()) {}

    // Lays out First..Last into a box Width wide; stops once the lines
    // exceed MaxHeight (the first line that does not fit is kept, to know
    // where the text breaks).
    void Run(int First, int Last, double Width, double MaxHeight) {
        lines_.clear();
        double y = 0;
        // A paragraph whose mark is hidden runs on into the next one: its
        // text joins the next paragraph's lines, in that paragraph's format.
        std::vector<Piece> joined;
        int joinedFirst = -1;
        bool joinedStarts = false;
        for (QTextBlock b = doc_.findBlock(std::max(First, 0)); b.isValid(); b = b.next()) {
            const int blockStart = b.position();
            const int blockEnd = blockStart + b.length() - 1;  // the paragraph end
            if (blockStart > Last) break;
            if (blockEnd < First) continue;
            std::vector<Piece> own = Pieces(b, std::max(First, blockStart), std::min(Last, blockEnd - 1));
            const QTextBlock next = b.next();
            if (next.isValid() && next.position() <= Last && rtf::IsHidden(next.charFormat())) {
                if (joinedFirst < 0) {
                    joinedFirst = std::max(First, blockStart);
                    joinedStarts = First <= blockStart;
                }
                joined.insert(joined.end(), own.begin(), own.end());
                continue;
            }
            std::vector<Piece> pieces = std::move(joined);
            pieces.insert(pieces.end(), own.begin(), own.end());
            joined.clear();
            const int first = joinedFirst >= 0 ? joinedFirst : std::max(First, blockStart);
            const bool startsHere = joinedFirst >= 0 ? joinedStarts : First <= blockStart;
            joinedFirst = -1;
            MergeBlanks(pieces);
            const QTextBlockFormat bf = b.blockFormat();
            const double left = PointsToPixels(bf.leftMargin(), ppi_);
            const double right = Width - PointsToPixels(bf.rightMargin(), ppi_);
            const double indent = PointsToPixels(bf.textIndent(), ppi_);
            if (startsHere) y += PointsToPixels(bf.topMargin(), ppi_);
            std::vector<Line> lines = BreakLines(b, pieces, startsHere ? left + indent : left, left, right);
            if (lines.empty()) {
                // An empty paragraph still takes a line of its font.
                Line l;
                l.First = first;
                l.Last = l.First - 1;
                ApplyFormat(m_, b.charFormat());
                gfx::FontMetricsF fm = m_.ExactTextMetrics();
                l.Ascent = fm.Ascent;
                l.Height = fm.Ascent + fm.Descent;
                lines.push_back(l);
            }
            if (blockEnd <= Last) lines.back().Last = blockEnd;
            for (Line& l : lines) {
                l.Top = y;
                y += l.Height;
                lines_.push_back(std::move(l));
                if (y > MaxHeight) return;
            }
            if (blockEnd <= Last) y += PointsToPixels(bf.bottomMargin(), ppi_);
        }
    }

    const std::vector<Line>& Lines() const { return lines_; }

private:
    // Hidden text between two blanks leaves them side by side; the second
    // takes no room and no share of a justified line's spread.
    static void MergeBlanks(std::vector<Piece>& pieces) {
        for (std::size_t i = 1; i < pieces.size(); ++i) {
            const Piece& before = pieces[i - 1];
            Piece& p = pieces[i];
            if (p.Space && before.Space && p.Pos != before.Pos + before.Len) {
                p.Merged = true;
                p.Width = 0;
            }
        }
    }

    std::vector<Piece> Pieces(const QTextBlock& b, int from, int to) {
        std::vector<Piece> out;
        if (to < from) return out;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment frag = it.fragment();
            if (!frag.isValid()) continue;
            const int fStart = frag.position();
            const int fEnd = fStart + frag.length() - 1;
            if (fEnd < from || fStart > to) continue;
            const QTextCharFormat cf = frag.charFormat();
            // Hidden text keeps its place in the document and takes no room.
            if (rtf::IsHidden(cf)) continue;
            ApplyFormat(m_, cf);
            gfx::FontMetricsF fm = m_.ExactTextMetrics();
            const QString text = frag.text();
            int i = std::max(from, fStart) - fStart;
            const int end = std::min(to, fEnd) - fStart;  // inclusive
            while (i <= end) {
                Piece p;
                p.Pos = fStart + i;
                p.Format = cf;
                p.Ascent = fm.Ascent;
                p.Descent = fm.Descent;
                const QChar c = text[i];
                if (c == QChar(0xFFFC) && cf.isImageFormat()) {
                    QTextImageFormat img = cf.toImageFormat();
                    p.Image = true;
                    p.Len = 1;
                    p.Width = PointsToPixels(img.width(), ppi_);
                    p.Ascent = PointsToPixels(img.height(), ppi_);
                    p.Descent = 0;
                    ++i;
                } else if (c == QChar(0x2028) || c == QChar(0x2029)) {
                    p.Text = "\n";
                    p.Len = 1;
                    ++i;
                } else if (c == QChar('\t')) {
                    p.Tab = true;
                    p.Len = 1;
                    ++i;
                } else if (c == QChar(' ')) {
                    p.Space = true;
                    p.Text = " ";
                    p.Len = 1;
                    p.Width = m_.TextWidthF(" ");
                    ++i;
                } else {
                    int j = i;
                    while (j <= end && text[j] != QChar(' ') && text[j] != QChar('\t') && text[j] != QChar(0x2028) &&
                           text[j] != QChar(0x2029) && text[j] != QChar(0xFFFC))
                        ++j;
                    if (j == i) ++j;  // an object replacement without an image
                    p.Len = j - i;
                    p.Text = text.mid(i, j - i).toStdString();
                    p.Width = m_.TextWidthF(p.Text);
                    i = j;
                }
                out.push_back(std::move(p));
            }
        }
        return out;
    }

    // Splits a word too wide for an empty line at the last character that fits.
    std::pair<Piece, Piece> SplitWord(const Piece& p, double room) {
        ApplyFormat(m_, p.Format);
        QString text = QString::fromStdString(p.Text);
        int n = 1;
        while (n < text.size() && m_.TextWidthF(text.left(n + 1).toStdString()) <= room) ++n;
        if (n < text.size() && text[n - 1].isHighSurrogate()) ++n;
        Piece a = p, b = p;
        a.Text = text.left(n).toStdString();
        a.Len = n;
        a.Width = m_.TextWidthF(a.Text);
        b.Text = text.mid(n).toStdString();
        b.Pos = p.Pos + n;
        b.Len = p.Len - n;
        b.Width = m_.TextWidthF(b.Text);
        return {a, b};
    }

    // The first stop past x; past the last stop set, the default ones.
    QTextOption::Tab NextTab(const QTextBlock& b, double x, double left) const {
        for (const QTextOption::Tab& t : b.blockFormat().tabPositions()) {
            double stop = PointsToPixels(t.position, ppi_);
            if (stop > x + 0.01) return QTextOption::Tab(stop, t.type, t.delimiter);
        }
        double step = kDefaultTab * ppi_ / kTwipsPerInch;
        double rel = x - left;
        return QTextOption::Tab(left + (std::floor(rel / step + 1e-9) + 1) * step, QTextOption::LeftTab);
    }

    // The room a tab at x takes. At a left stop the text after it starts at
    // the stop; at a right stop it ends there, and at a decimal stop its
    // decimal separator stands there (a text without one ends there). The
    // text after a tab runs to the next tab or line break.
    double TabWidth(const QTextBlock& b, double x, double left, const std::list<Piece>& after) {
        const QTextOption::Tab stop = NextTab(b, x, left);
        if (stop.type != QTextOption::RightTab && stop.type != QTextOption::DelimiterTab)
            return std::max(0.0, stop.position - x);
        const QChar separator = !stop.delimiter.isNull() ? stop.delimiter : QChar(FormatSettings.DecimalSeparator);
        double before = 0;
        for (const Piece& p : after) {
            if (p.Tab || p.Text == "\n") break;
            if (stop.type == QTextOption::DelimiterTab && !p.Space && !p.Image) {
                const QString text = QString::fromStdString(p.Text);
                const qsizetype at = text.indexOf(separator);
                if (at >= 0) {
                    ApplyFormat(m_, p.Format);
                    before += m_.TextWidthF(text.left(at).toStdString());
                    break;
                }
            }
            before += p.Width;
        }
        return std::max(0.0, stop.position - before - x);
    }

    std::vector<Line> BreakLines(const QTextBlock& b, std::vector<Piece>& pieces, double firstLeft, double left,
                                 double right) {
        std::vector<Line> lines;
        Line cur;
        double x = firstLeft;
        double lineLeft = firstLeft;
        bool forced = false;  // the line ended at a line break
        auto finish = [&](bool lastOfParagraph) {
            if (cur.Pieces.empty() && !forced && !lastOfParagraph) return;
            Align(b, cur, lineLeft, right, lastOfParagraph || forced);
            lines.push_back(std::move(cur));
            cur = Line{};
            x = left;
            lineLeft = left;
        };
        std::list<Piece> queue(pieces.begin(), pieces.end());
        while (!queue.empty()) {
            Piece p = std::move(queue.front());
            queue.pop_front();
            if (cur.Pieces.empty()) cur.First = p.Pos;
            forced = false;
            if (p.Text == "\n") {
                cur.Last = p.Pos;
                Grow(cur, p);
                forced = true;
                finish(false);
                forced = false;
                continue;
            }
            if (p.Tab) p.Width = TabWidth(b, x, left, queue);
            const bool fits = x + p.Width <= right + 1e-6;
            if (!fits && !p.Space && !HasInk(cur)) {
                if (!p.Tab && !p.Image && p.Len > 1) {
                    auto [a, rest] = SplitWord(p, right - x);
                    if (a.Len < p.Len) {
                        queue.push_front(rest);
                        p = a;
                    }
                }
            } else if (!fits && !p.Space) {
                finish(false);
                cur.First = p.Pos;
                if (p.Tab) p.Width = TabWidth(b, x, left, queue);
                queue.push_front(p);
                continue;
            }
            p.X = x;
            x += p.Width;
            cur.Last = p.Pos + p.Len - 1;
            Grow(cur, p);
            cur.Pieces.push_back(std::move(p));
        }
        if (!cur.Pieces.empty()) finish(true);
        else if (!lines.empty()) Align(b, lines.back(), left, right, true);
        return lines;
    }

    static bool HasInk(const Line& l) {
        return std::any_of(l.Pieces.begin(), l.Pieces.end(), [](const Piece& p) { return !p.Space; });
    }

    static void Grow(Line& l, const Piece& p) {
        double descent = l.Height - l.Ascent;
        l.Ascent = std::max(l.Ascent, p.Ascent);
        l.Height = l.Ascent + std::max(descent, p.Descent);
    }

    // Alignment: right and centre move the line; full justification spreads
    // the room over the blanks, except on a paragraph's last line and a
    // line ended by a line break.
    static void Align(const QTextBlock& b, Line& l, double left, double right, bool last) {
        if (l.Pieces.empty()) return;
        int end = static_cast<int>(l.Pieces.size());
        while (end > 0 && l.Pieces[end - 1].Space) --end;
        if (end == 0) return;
        const double used = l.Pieces[end - 1].X + l.Pieces[end - 1].Width;
        const double room = right - used;
        if (room <= 0) return;
        Qt::Alignment a = b.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
        double shift = 0;
        if (a & Qt::AlignRight) shift = room;
        else if (a & Qt::AlignHCenter) shift = room / 2;
        if (shift > 0) {
            for (Piece& p : l.Pieces) p.X += shift;
            return;
        }
        if (!(a & Qt::AlignJustify) || last) return;
        int blanks = 0;
        bool seenInk = false;
        for (int i = 0; i < end; ++i) {
            if (!l.Pieces[i].Space) seenInk = true;
            else if (seenInk && !l.Pieces[i].Merged) ++blanks;
        }
        if (blanks == 0) return;
        const double extra = room / blanks;
        double add = 0;
        seenInk = false;
        for (int i = 0; i < end; ++i) {
            l.Pieces[i].X += add;
            if (!l.Pieces[i].Space) seenInk = true;
            else if (seenInk && !l.Pieces[i].Merged) add += extra;
        }
        (void)left;
    }

    TCanvas& m_;
    QTextDocument& doc_;
    double ppi_;
    std::vector<Line> lines_;
};

// The rectangle in twips, as the layout takes it: the left edge moves in
// by 45 twips.
struct TwipsRect {
    long Left, Top, Right, Bottom;
};

TwipsRect ToTwips(const TRect& r, int ppiX, int ppiY) {
    return TwipsRect{static_cast<long>(r.Left) * 1440 / ppiX + 45, static_cast<long>(r.Top) * 1440 / ppiY,
                     static_cast<long>(r.Right) * 1440 / ppiX, static_cast<long>(r.Bottom) * 1440 / ppiY};
}

// The box of a component or draw command, from its size in thousandths of
// a millimetre: the same twips on every device, so every device breaks the
// lines where generation broke them.
TwipsRect BoxTwips(int32_t mmWidth, int32_t mmHeight) {
    return TwipsRect{45, 0, static_cast<long>(static_cast<int64_t>(mmWidth) * 1440 / 25400),
                     static_cast<long>(static_cast<int64_t>(mmHeight) * 1440 / 25400)};
}

struct Placed {
    std::vector<Line> Lines;  // the lines that fit
    int FirstNotFitting = 0;
    double UsedHeight = 0;  // reference pixels
    double RefPpi = 600;
};

// SlackTwips: room a line may overrun the box by. Drawing gives one twip:
// the box comes back from thousandths of a millimetre cut to whole twips,
// and the last line measured at generation must still be placed.
Placed Place(QTextDocument& doc, const TwipsRect& tw, TrpCharRange range, double SlackTwips = 0) {
    Placed out;
    const int length = TrpRTFEngine::TextLength(doc);
    int last = range.Last < 0 ? length - 1 : std::min(range.Last, length - 1);
    int first = std::max(range.First, 0);
    out.FirstNotFitting = first;
    std::unique_ptr<TCanvas> measure = rpNewMeasuringCanvas();
    out.RefPpi = measure->PixelsPerInchX();
    if (first > last) {
        out.FirstNotFitting = last + 1;
        return out;
    }
    const double width = (tw.Right - tw.Left) * out.RefPpi / kTwipsPerInch;
    const double height = (tw.Bottom - tw.Top) * out.RefPpi / kTwipsPerInch;
    Layout layout(*measure, doc);
    layout.Run(first, last, std::max(width, 0.0), height);
    for (const Line& l : layout.Lines()) {
        if (l.Top + l.Height > height + SlackTwips * out.RefPpi / kTwipsPerInch + 1e-6) break;
        out.Lines.push_back(l);
        out.UsedHeight = l.Top + l.Height;
    }
    out.FirstNotFitting = out.Lines.empty() ? first : std::min(out.Lines.back().Last + 1, last + 1);
    if (out.Lines.size() == layout.Lines().size()) out.FirstNotFitting = last + 1;
    return out;
}

bool IsParagraphEnd(QChar c) {
    return c == QChar('\r') || c == QChar('\n') || c == QChar(0x2029) || c == QChar(0) || c == QChar(0x2028);
}

// The measure of a range: the last character that fits and the height
// used in reference pixels (the whole box when not everything fits).
void Measure(QTextDocument& doc, const TwipsRect& tw, TrpCharRange range, int& lastChar, double& height,
             double& refPpi) {
    const int length = TrpRTFEngine::TextLength(doc);
    const int last = range.Last < 0 ? length - 1 : std::min(range.Last, length - 1);
    // Trailing paragraph ends take no room of their own.
    const QString text = doc.toPlainText();
    int content = last;
    while (content >= range.First && content < text.size() && IsParagraphEnd(text[content])) --content;
    lastChar = last;
    height = 0;
    if (content < range.First) return;
    Placed placed = Place(doc, tw, {range.First, content});
    refPpi = placed.RefPpi;
    if (placed.FirstNotFitting <= content) {
        lastChar = placed.FirstNotFitting - 1;
        height = (tw.Bottom - tw.Top) * placed.RefPpi / kTwipsPerInch;
        return;
    }
    height = placed.UsedHeight;
}

// Draws the placed lines with the box's top-left corner at (originX, originY)
// device pixels, clipped to Clip.
// ppiX and ppiY: the pixels per inch the drawing stands for (the canvas's
// own, times the zoom on a screen).
void Render(TCanvas& canvas, QTextDocument& doc, const TwipsRect& tw, double boxLeft, double boxTop,
            const TRect& clip, const Placed& placed, double ppiX, double ppiY) {
    if (!canvas.CanDraw() || ppiX <= 0 || ppiY <= 0) return;
    const double fontScale = ppiY / canvas.PixelsPerInchY();
    const double originX = boxLeft + tw.Left * ppiX / kTwipsPerInch;
    const double originY = boxTop + tw.Top * ppiY / kTwipsPerInch;
    const double sx = ppiX / placed.RefPpi, sy = ppiY / placed.RefPpi;
    const TRect rect = clip;
    const std::optional<TRect> oldClip = canvas.ClipRect();
    canvas.IntersectClipRect(rect);
    const unsigned oldAlign = canvas.TextAlign();
    canvas.SetTextAlign(TA_LEFT | TA_BASELINE);
    for (const Line& l : placed.Lines) {
        const double baseline = originY + (l.Top + l.Ascent) * sy;
        for (const Piece& p : l.Pieces) {
            const int x = static_cast<int>(std::lround(originX + p.X * sx));
            if (p.Format.hasProperty(QTextFormat::BackgroundBrush) && p.Format.background().style() != Qt::NoBrush) {
                QColor c = p.Format.background().color();
                canvas.Brush()->SetColor(static_cast<TColor>(c.red() | (c.green() << 8) | (c.blue() << 16)));
                canvas.Brush()->SetStyle(bsSolid);
                canvas.FillRect(TRect{x, static_cast<int>(std::lround(originY + l.Top * sy)),
                                      static_cast<int>(std::lround(originX + (p.X + p.Width) * sx)),
                                      static_cast<int>(std::lround(originY + (l.Top + l.Height) * sy))});
            }
            if (p.Image) {
                QImage image =
                    doc.resource(QTextDocument::ImageResource, QUrl(p.Format.toImageFormat().name())).value<QImage>();
                if (image.isNull()) continue;
                const int top = static_cast<int>(std::lround(baseline - p.Ascent * sy));
                canvas.DrawImage(TRect{x, top, static_cast<int>(std::lround(originX + (p.X + p.Width) * sx)),
                                       static_cast<int>(std::lround(baseline))},
                                 image, SRCCOPY);
                continue;
            }
            if (p.Space || p.Tab || p.Text.empty() || p.Text == "\n") continue;
            ApplyFormat(canvas, p.Format, fontScale);
            canvas.Brush()->SetStyle(bsClear);
            canvas.TextOut(x, static_cast<int>(std::lround(baseline)), p.Text);
        }
    }
    canvas.SetTextAlign(oldAlign);
    canvas.SetClipRect(oldClip);
}

}  // namespace

// ---------------------------------------------------------------------------
// Engine

std::recursive_mutex& TrpRTFEngine::Lock() {
    static std::recursive_mutex lock;
    return lock;
}

int TrpRTFEngine::TextLength(const QTextDocument& Doc) { return std::max(Doc.characterCount() - 1, 0); }

int TrpRTFEngine::FormatRange(TCanvas* Canvas, QTextDocument& Doc, const TRect& Rect, TrpCharRange Range,
                              bool Render) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    if (Canvas == nullptr || Canvas->PixelsPerInchX() <= 0 || Canvas->PixelsPerInchY() <= 0) return Range.First;
    const TwipsRect tw = ToTwips(Rect, Canvas->PixelsPerInchX(), Canvas->PixelsPerInchY());
    Placed placed = Place(Doc, tw, Range);
    if (Render)
        ::Render(*Canvas, Doc, tw, 0, 0, Rect, placed, Canvas->PixelsPerInchX(), Canvas->PixelsPerInchY());
    return placed.FirstNotFitting;
}

void TrpRTFEngine::MeasureRange(TCanvas* Canvas, QTextDocument& Doc, const TRect& Rect, TrpCharRange Range,
                                int& LastChar, int& Height) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    LastChar = Range.Last;
    Height = 0;
    if (Canvas == nullptr || Canvas->PixelsPerInchX() <= 0 || Canvas->PixelsPerInchY() <= 0) return;
    double used = 0, refPpi = 600;
    Measure(Doc, ToTwips(Rect, Canvas->PixelsPerInchX(), Canvas->PixelsPerInchY()), Range, LastChar, used, refPpi);
    Height = static_cast<int>(std::ceil(used * Canvas->PixelsPerInchY() / refPpi - 1e-6));
}

namespace {

TColor ToColor(const QColor& c) { return static_cast<TColor>(c.red() | (c.green() << 8) | (c.blue() << 16)); }

QColor ToQColor(TColor c) {
    const uint32_t rgb = gfx::ColorToRGB(c);  // 0x00RRGGBB
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The format of the character at Pos (QTextCursor gives the one before it).
QTextCharFormat CharFormatAt(QTextDocument& doc, int pos) {
    QTextCursor c(&doc);
    c.setPosition(std::clamp(pos + 1, 0, TrpRTFEngine::TextLength(doc)));
    return c.charFormat();
}

}  // namespace

TColor TrpRTFEngine::SetSelectionBackColor(QTextDocument& Doc, TrpCharRange Selection, TColor Color) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    const int length = TextLength(Doc);
    const int first = std::clamp(Selection.First, 0, length);
    const int last = Selection.Last < 0 ? length - 1 : std::min(Selection.Last, length - 1);
    const QTextCharFormat before = CharFormatAt(Doc, first);
    const TColor previous = before.hasProperty(QTextFormat::BackgroundBrush) && before.background().style() != Qt::NoBrush
                                ? ToColor(before.background().color())
                                : clNone;
    if (last < first) return previous;
    QTextCursor c(&Doc);
    c.setPosition(first);
    c.setPosition(last + 1, QTextCursor::KeepAnchor);
    QTextCharFormat f;
    f.setBackground(Color == clNone ? QBrush(Qt::NoBrush) : QBrush(ToQColor(Color)));
    c.mergeCharFormat(f);
    return previous;
}

bool TrpRTFEngine::StreamsEqual(TStream* A, TStream* B) {
    if (A == nullptr || B == nullptr) return A == B;
    if (A->Size() != B->Size()) return false;
    auto read = [](TStream* s) {
        std::string bytes(static_cast<size_t>(s->Size()), '\0');
        int64_t old = s->Position();
        s->SetPosition(0);
        if (!bytes.empty()) s->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
        s->SetPosition(old);
        return bytes;
    };
    auto lines = [](const std::string& s) {
        std::vector<std::string> out;
        std::string cur;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\r' || s[i] == '\n') {
                out.push_back(cur);
                cur.clear();
                if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
            } else {
                cur += s[i];
            }
        }
        if (!cur.empty()) out.push_back(cur);
        return out;
    };
    return lines(read(A)) == lines(read(B));
}

std::shared_ptr<QTextDocument> TrpRTFEngine::Parse(const std::string& RTF) {
    std::lock_guard<std::recursive_mutex> guard(Lock());
    // A few documents are drawn over and over (one per page); keep the last ones.
    struct Entry {
        std::string Text;
        std::shared_ptr<QTextDocument> Doc;
    };
    static std::list<Entry> cache;
    constexpr size_t kEntries = 16;
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->Text.size() == RTF.size() && it->Text == RTF) {
            cache.splice(cache.begin(), cache, it);
            return cache.front().Doc;
        }
    }
    auto doc = std::make_shared<QTextDocument>();
    rtf::Read(RTF, *doc);
    cache.push_front(Entry{RTF, doc});
    if (cache.size() > kEntries) cache.pop_back();
    return doc;
}

// ---------------------------------------------------------------------------
// Draw command

namespace {

std::string StreamBytes(TStream* s) {
    std::string bytes(static_cast<size_t>(s->Size()), '\0');
    int64_t old = s->Position();
    s->SetPosition(0);
    if (!bytes.empty()) s->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s->SetPosition(old);
    return bytes;
}

void SetStreamBytes(TMemoryStream* s, const std::string& bytes) {
    s->Clear();
    if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s->SetPosition(0);
}

}  // namespace

TClass TrpDrawRichText::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDrawRichText>("TrpDrawRichText", TrpDrawCommand::StaticClassType())
            .Enum("DataType", rpTypeInfo<TrpDataType>(), &TrpDrawRichText::DataType, &TrpDrawRichText::SetDataType,
                  dtBLOB)
            .Ordinal("Color", TypeInfoColor(), &TrpDrawRichText::Color, &TrpDrawRichText::SetColor, clWhite)
            .Integer("EndCharPos", &TrpDrawRichText::EndCharPos, &TrpDrawRichText::SetEndCharPos)
            // Streamed as RTFStream, with its length first.
            .Object("RichTextStream", TMemoryStream::StaticClassType(), &TrpDrawRichText::RichTextStream, nullptr)
            .NotStored()
            .Integer("StartCharPos", &TrpDrawRichText::StartCharPos, &TrpDrawRichText::SetStartCharPos)
            .Boolean("Transparent", &TrpDrawRichText::Transparent, &TrpDrawRichText::SetTransparent, 0)
            .Build();
    return &info;
}

TrpDrawRichText::TrpDrawRichText(TComponent* AOwner)
    : TrpDrawCommand(AOwner), stream_(std::make_unique<TMemoryStream>()) {}

TrpDrawRichText::~TrpDrawRichText() = default;

void TrpDrawRichText::Assign(TPersistent* Source) {
    TrpDrawCommand::Assign(Source);
    auto* other = dynamic_cast<TrpDrawRichText*>(Source);
    if (other == nullptr) return;
    dataType_ = other->dataType_;
    color_ = other->color_;
    startCharPos_ = other->startCharPos_;
    endCharPos_ = other->endCharPos_;
    transparent_ = other->transparent_;
    SetStreamBytes(stream_.get(), StreamBytes(other->stream_.get()));
}

bool TrpDrawRichText::IsEqual(TrpDrawCommand* Other) {
    auto* other = dynamic_cast<TrpDrawRichText*>(Other);
    return other != nullptr && TrpDrawCommand::IsEqual(Other) && color_ == other->color_ &&
           startCharPos_ == other->startCharPos_ && endCharPos_ == other->endCharPos_ &&
           transparent_ == other->transparent_ && TrpRTFEngine::StreamsEqual(stream_.get(), other->stream_.get());
}

void TrpDrawRichText::DefineProperties(TFiler* Filer) {
    TrpDrawCommand::DefineProperties(Filer);
    Filer->DefineBinaryProperty(
        "RTFStream",
        [this](TStream* s) {
            int32_t length = 0;
            s->ReadBuffer(&length, 4);
            if (length < 0 || length > s->Size() - s->Position())
                throw EReadError("Fluxo de texto formatado inválido: tamanho " + std::to_string(length) + ".");
            std::string bytes(static_cast<size_t>(length), '\0');
            if (length > 0) s->ReadBuffer(bytes.data(), length);
            SetStreamBytes(stream_.get(), bytes);
        },
        [this](TStream* s) {
            std::string bytes = StreamBytes(stream_.get());
            int32_t length = static_cast<int32_t>(bytes.size());
            s->WriteBuffer(&length, 4);
            if (length > 0) s->WriteBuffer(bytes.data(), length);
        },
        true);
}

void TrpDrawRichText::DrawOn(TCanvas* Canvas, const TRect& DeviceRect) {
    if (Canvas == nullptr || !Canvas->CanDraw()) return;
    if (!transparent_) {
        Canvas->Brush()->SetColor(color_);
        Canvas->Brush()->SetStyle(bsSolid);
        Canvas->FillRect(DeviceRect);
    }
    if (startCharPos_ < 0 && endCharPos_ < 0) return;
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    std::shared_ptr<QTextDocument> doc = TrpRTFEngine::Parse(StreamBytes(stream_.get()));
    // Laid out in the command's own box, so the lines break as they did
    // when the page was made, whatever the device's resolution.
    const TwipsRect box = BoxTwips(Width(), Height());
    const Placed placed = Place(*doc, box, {std::max(startCharPos_, 0), endCharPos_}, 1);
    // The device rectangle is the box at the device's scale (a zoom included).
    const double ppiX = box.Right > 0 ? (DeviceRect.Right - DeviceRect.Left) * kTwipsPerInch / box.Right
                                      : Canvas->PixelsPerInchX();
    const double ppiY = box.Bottom > 0 ? (DeviceRect.Bottom - DeviceRect.Top) * kTwipsPerInch / box.Bottom
                                       : Canvas->PixelsPerInchY();
    Render(*Canvas, *doc, box, DeviceRect.Left, DeviceRect.Top, DeviceRect, placed, ppiX, ppiY);
}

// ---------------------------------------------------------------------------
// Components

TClass TrpCustomRichText::StaticClassType() {
    using C = TrpCustomRichText;
    static const TClassInfo info = [] {
        TClassBuilder<C> builder("TrpCustomRichText", TrpStretchable::StaticClassType());
        rpPublishAnchors(builder)
            .Object("Border", TrpBorder::StaticClassType(), &C::Border, &C::SetBorder)
            .Ordinal("Color", TypeInfoColor(), &C::Color, &C::SetColor, clWhite)
            .Boolean("ReprintOnOverFlow", &C::ReprintOnOverFlow, &C::SetReprintOnOverFlow, 0)
            .Boolean("Transparent", &C::Transparent, &C::SetTransparent, 0)
            .Boolean("Visible", &C::Visible, &C::SetVisible, 1);
        rpPublishDrawCommandEvents(builder);
        rpPublishOffsets(builder);
        rpPublishLengths(builder);
        return builder.Build();
    }();
    return &info;
}

TClass TrpRichText::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpRichText>("TrpRichText", TrpCustomRichText::StaticClassType())
            .String("Caption", &TrpRichText::Caption, &TrpRichText::SetCaption)
            .Boolean("MailMerge", &TrpCustomRichText::MailMerge, &TrpCustomRichText::SetMailMerge, 0)
            .String("RichText", &TrpRichText::RichText,
                    static_cast<void (TrpRichText::*)(const std::string&)>(&TrpRichText::SetRichText))
            .Build();
    return &info;
}

namespace {

const TTypeInfo* GetRichTextEventTypeInfo() {
    static const TTypeInfo* t = typinfo::Intern(std::make_shared<TTypeInfo>(MakeMethodTypeInfo("TrpGetTextEvent")));
    return t;
}

}  // namespace

TClass TrpDBRichText::StaticClassType() {
    static const TClassInfo info =
        rpPublishDataPipeline(TClassBuilder<TrpDBRichText>("TrpDBRichText", TrpCustomRichText::StaticClassType())
            .Boolean("AutoDisplay", &TrpDBRichText::AutoDisplay, &TrpDBRichText::SetAutoDisplay, 1)
            .String("DataField", &TrpDBRichText::DataField, &TrpDBRichText::SetDataField)
            .Event("OnGetRichText", &TrpDBRichText::OnGetRichText, GetRichTextEventTypeInfo())
            .Boolean("ParentDataPipeline", &TrpDBRichText::ParentDataPipeline, &TrpDBRichText::SetParentDataPipeline,
                     1))
            .Build();
    return &info;
}

TrpCustomRichText::TrpCustomRichText(TComponent* AOwner)
    : TrpStretchable(AOwner),
      stream_(std::make_unique<TMemoryStream>()),
      document_(std::make_unique<QTextDocument>()) {
    SetCacheRecordSize(kRichTextRecordSize);
    SetDrawCommandClass(TrpDrawRichText::StaticClassType());
    SetColor(clWhite);
    selAttributes_ = std::make_unique<TrpTextAttributes>(this);
    paragraph_ = std::make_unique<TrpParaAttributes>(this);
}

TrpCustomRichText::~TrpCustomRichText() {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    document_.reset();
}

std::string TrpCustomRichText::GetRichText() { return StreamBytes(stream_.get()); }

void TrpCustomRichText::SetRichText(const std::string& Value) {
    SetStreamBytes(stream_.get(), Value);
    RichTextChanged();
}

TMemoryStream* TrpCustomRichText::GetRTFStream() { return stream_.get(); }

void TrpCustomRichText::UpdateRichEdit() {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    rtf::Read(StreamBytes(stream_.get()), *document_);
}

void TrpCustomRichText::RichTextChanged() {
    if (IsReading()) return;
    UpdateRichEdit();
}

std::string TrpCustomRichText::PlainText() const {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    return rtf::PlainText(*document_);
}

int TrpCustomRichText::TextLength() const {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    return TrpRTFEngine::TextLength(*document_);
}

void TrpCustomRichText::LoadFromFile(const std::string& FileName) {
    SetRichText(fileio::ReadFileBytes(FileName));
}

void TrpCustomRichText::SaveToFile(const std::string& FileName) {
    TFileStream out(FileName, fmCreate);
    SaveToRTFStream(&out);
}

void TrpCustomRichText::LoadFromRTFStream(TStream* Stream) {
    if (Stream == nullptr) return;
    std::string bytes(static_cast<size_t>(std::max<int64_t>(Stream->Size() - Stream->Position(), 0)), '\0');
    if (!bytes.empty()) Stream->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    SetRichText(bytes);
}

void TrpCustomRichText::SaveToRTFStream(TStream* Stream) {
    if (Stream == nullptr) return;
    std::string bytes;
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        bytes = rtf::Write(*document_);
    }
    if (!bytes.empty()) Stream->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

int TrpCustomRichText::FindText(const std::string& Text, int StartPos, int Length, bool WholeWord,
                                bool MatchCase) const {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    const QString text = document_->toPlainText();
    const QString what = QString::fromStdString(Text);
    if (what.isEmpty() || StartPos < 0) return -1;
    const int end = Length < 0 ? text.size() : std::min<int>(text.size(), StartPos + Length);
    const Qt::CaseSensitivity cs = MatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    for (int at = text.indexOf(what, StartPos, cs); at >= 0 && at + what.size() <= end;
         at = text.indexOf(what, at + 1, cs)) {
        if (!WholeWord) return at;
        const bool before = at == 0 || !text[at - 1].isLetterOrNumber();
        const bool after = at + what.size() >= text.size() || !text[at + what.size()].isLetterOrNumber();
        if (before && after) return at;
    }
    return -1;
}

void TrpCustomRichText::SetSelStart(int Value) {
    selStart_ = std::clamp(Value, 0, TextLength());
    selLength_ = std::min(selLength_, TextLength() - selStart_);
}

void TrpCustomRichText::SetSelLength(int Value) { selLength_ = std::clamp(Value, 0, TextLength() - selStart_); }

std::string TrpCustomRichText::SelText() const {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    return document_->toPlainText().mid(selStart_, selLength_).toStdString();
}

void TrpCustomRichText::SetSelText(const std::string& Value) {
    std::string rtfText;
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        const int length = TrpRTFEngine::TextLength(*document_);
        const int start = std::clamp(selStart_, 0, length);
        const int count = std::clamp(selLength_, 0, length - start);
        QTextCursor c(document_.get());
        c.setPosition(start);
        c.setPosition(start + count, QTextCursor::KeepAnchor);
        QTextCursor first(document_.get());
        first.setPosition(std::min(start + 1, length));
        c.insertText(QString::fromStdString(Value), first.charFormat());
        rtfText = rtf::Write(*document_);
    }
    SetRichText(rtfText);
    selLength_ = 0;
}

std::pair<int, int> TrpCustomRichText::Selection() const {
    const int length = TrpRTFEngine::TextLength(*document_);
    const int start = std::clamp(selStart_, 0, length);
    return {start, std::clamp(selLength_, 0, length - start)};
}

void TrpCustomRichText::DocumentEdited() {
    std::string rtfText;
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        rtfText = rtf::Write(*document_);
    }
    SetRichText(rtfText);
}

QTextCharFormat TrpCustomRichText::SelCharFormat() const {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    return CharFormatAt(*document_, Selection().first);
}

void TrpCustomRichText::MergeSelCharFormat(const QTextCharFormat& Format) {
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        const auto [start, count] = Selection();
        if (count == 0) return;
        QTextCursor c(document_.get());
        c.setPosition(start);
        c.setPosition(start + count, QTextCursor::KeepAnchor);
        c.mergeCharFormat(Format);
    }
    DocumentEdited();
}

QTextBlockFormat TrpCustomRichText::SelBlockFormat() const {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    return document_->findBlock(Selection().first).blockFormat();
}

void TrpCustomRichText::MergeSelBlockFormat(const QTextBlockFormat& Format) {
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        const auto [start, count] = Selection();
        // Every paragraph the selection touches, the caret's one at least.
        QTextCursor c(document_.get());
        c.setPosition(start);
        c.setPosition(start + count, QTextCursor::KeepAnchor);
        c.mergeBlockFormat(Format);
    }
    DocumentEdited();
}

TColor TrpCustomRichText::SetSelectionBackColor(TColor Color) {
    TColor previous;
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        const auto [start, count] = Selection();
        previous = TrpRTFEngine::SetSelectionBackColor(*document_, {start, start + count - 1}, Color);
        if (count == 0) return previous;
    }
    DocumentEdited();
    return previous;
}

TStrings* TrpCustomRichText::RichTextStrings() {
    if (!richTextStrings_) richTextStrings_ = std::make_unique<TStringList>();
    richTextStrings_->SetText(GetRichText());
    return richTextStrings_.get();
}

// --- Selection attributes ---

// Made without a rich text (a script may construct one), the attributes
// read as defaults and change nothing.
QTextCharFormat TrpTextAttributes::Look() const {
    return owner_ != nullptr ? owner_->SelCharFormat() : QTextCharFormat();
}

void TrpTextAttributes::Change(const QTextCharFormat& Format) {
    if (owner_ != nullptr) owner_->MergeSelCharFormat(Format);
}

QTextBlockFormat TrpParaAttributes::Look() const {
    return owner_ != nullptr ? owner_->SelBlockFormat() : QTextBlockFormat();
}

void TrpParaAttributes::Change(const QTextBlockFormat& Format) {
    if (owner_ != nullptr) owner_->MergeSelBlockFormat(Format);
}

TClass TrpTextAttributes::StaticClassType() {
    using A = TrpTextAttributes;
    static const TClassInfo info = TClassBuilder<A>("TrpTextAttributes", TPersistent::StaticClassType())
                                       .Ordinal("Color", TypeInfoColor(), &A::Color, &A::SetColor)
                                       .String("Name", &A::Name, &A::SetName)
                                       .Integer("Size", &A::Size, &A::SetSize)
                                       .Set("Style", TypeInfoFontStyles(), &A::Style, &A::SetStyle)
                                       .Build();
    return &info;
}

std::string TrpTextAttributes::Name() const {
    const QStringList families = Look().fontFamilies().toStringList();
    return families.isEmpty() ? std::string("Arial") : families.first().toStdString();
}

void TrpTextAttributes::SetName(const std::string& Value) {
    QTextCharFormat f;
    f.setFontFamilies(QStringList{QString::fromStdString(Value)});
    Change(f);
}

int TrpTextAttributes::Size() const {
    const double points = Look().fontPointSize();
    return static_cast<int>(std::lround(points > 0 ? points : 12.0));
}

void TrpTextAttributes::SetSize(int Value) {
    if (Value <= 0) return;
    QTextCharFormat f;
    f.setFontPointSize(Value);
    Change(f);
}

TFontStyles TrpTextAttributes::Style() const {
    const QTextCharFormat f = Look();
    TFontStyles style;
    if (f.fontWeight() >= QFont::DemiBold) style.Include(fsBold);
    if (f.fontItalic()) style.Include(fsItalic);
    if (f.fontUnderline()) style.Include(fsUnderline);
    if (f.fontStrikeOut()) style.Include(fsStrikeOut);
    return style;
}

void TrpTextAttributes::SetStyle(TFontStyles Value) {
    QTextCharFormat f;
    f.setFontWeight(Value.Contains(fsBold) ? QFont::Bold : QFont::Normal);
    f.setFontItalic(Value.Contains(fsItalic));
    f.setFontUnderline(Value.Contains(fsUnderline));
    f.setFontStrikeOut(Value.Contains(fsStrikeOut));
    Change(f);
}

TColor TrpTextAttributes::Color() const {
    const QTextCharFormat f = Look();
    return f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush
               ? ToColor(f.foreground().color())
               : clBlack;
}

void TrpTextAttributes::SetColor(TColor Value) {
    QTextCharFormat f;
    f.setForeground(QBrush(ToQColor(Value)));
    Change(f);
}

void TrpTextAttributes::Assign(TPersistent* Source) {
    QTextCharFormat f;
    if (auto* font = dynamic_cast<TFont*>(Source)) {
        f.setFontFamilies(QStringList{QString::fromStdString(font->Name())});
        f.setFontPointSize(font->SizeInPoints() > 0 ? font->SizeInPoints() : 12.0);
        f.setFontWeight(font->Style().Contains(fsBold) ? QFont::Bold : QFont::Normal);
        f.setFontItalic(font->Style().Contains(fsItalic));
        f.setFontUnderline(font->Style().Contains(fsUnderline));
        f.setFontStrikeOut(font->Style().Contains(fsStrikeOut));
        f.setForeground(QBrush(ToQColor(font->Color())));
    } else if (auto* other = dynamic_cast<TrpTextAttributes*>(Source)) {
        const QTextCharFormat from = other->Look();
        f.setFontFamilies(QStringList{QString::fromStdString(other->Name())});
        f.setFontPointSize(other->Size());
        f.setFontWeight(from.fontWeight() >= QFont::DemiBold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(from.fontItalic());
        f.setFontUnderline(from.fontUnderline());
        f.setFontStrikeOut(from.fontStrikeOut());
        f.setForeground(QBrush(ToQColor(other->Color())));
    } else {
        TPersistent::Assign(Source);
        return;
    }
    Change(f);
}

TClass TrpParaAttributes::StaticClassType() {
    using A = TrpParaAttributes;
    static const TClassInfo info =
        TClassBuilder<A>("TrpParaAttributes", TPersistent::StaticClassType())
            .Enum("Alignment", rpTypeInfo<TAlignment>(), &A::Alignment, &A::SetAlignment)
            .Integer("FirstIndent", &A::FirstIndent, &A::SetFirstIndent)
            .Integer("LeftIndent", &A::LeftIndent, &A::SetLeftIndent)
            .Integer("RightIndent", &A::RightIndent, &A::SetRightIndent)
            .Integer("TabCount", &A::TabCount, nullptr)
            .Build();
    return &info;
}

TAlignment TrpParaAttributes::Alignment() const {
    const Qt::Alignment a = Look().alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignRight) return taRightJustify;
    if (a & Qt::AlignHCenter) return taCenter;
    return taLeftJustify;
}

void TrpParaAttributes::SetAlignment(TAlignment Value) {
    QTextBlockFormat f;
    f.setAlignment(Value == taRightJustify ? Qt::AlignRight : Value == taCenter ? Qt::AlignHCenter : Qt::AlignLeft);
    Change(f);
}

int TrpParaAttributes::FirstIndent() const { return static_cast<int>(std::lround(Look().textIndent())); }

void TrpParaAttributes::SetFirstIndent(int Value) {
    QTextBlockFormat f;
    f.setTextIndent(Value);
    Change(f);
}

int TrpParaAttributes::LeftIndent() const { return static_cast<int>(std::lround(Look().leftMargin())); }

void TrpParaAttributes::SetLeftIndent(int Value) {
    QTextBlockFormat f;
    f.setLeftMargin(std::max(Value, 0));
    Change(f);
}

int TrpParaAttributes::RightIndent() const {
    return static_cast<int>(std::lround(Look().rightMargin()));
}

void TrpParaAttributes::SetRightIndent(int Value) {
    QTextBlockFormat f;
    f.setRightMargin(std::max(Value, 0));
    Change(f);
}

int TrpParaAttributes::TabCount() const { return static_cast<int>(Look().tabPositions().size()); }

int TrpParaAttributes::Tab(int Index) const {
    const QList<QTextOption::Tab> tabs = Look().tabPositions();
    return Index >= 0 && Index < tabs.size() ? static_cast<int>(std::lround(tabs[Index].position)) : 0;
}

void TrpParaAttributes::SetTabs(const std::vector<int>& Stops) {
    std::vector<int> sorted = Stops;
    std::sort(sorted.begin(), sorted.end());
    QList<QTextOption::Tab> tabs;
    for (int stop : sorted)
        if (stop > 0) tabs.append(QTextOption::Tab(stop, QTextOption::LeftTab));
    QTextBlockFormat f;
    f.setTabPositions(tabs);
    Change(f);
}

void TrpParaAttributes::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TrpParaAttributes*>(Source);
    if (other == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    QTextBlockFormat f;
    const QTextBlockFormat from = other->Look();
    f.setAlignment(from.alignment());
    f.setTextIndent(from.textIndent());
    f.setLeftMargin(from.leftMargin());
    f.setRightMargin(from.rightMargin());
    f.setTabPositions(from.tabPositions());
    Change(f);
}

// --- Mail merge ---

namespace {

bool SameName(const std::string& a, const std::string& b) { return SameText(a, b); }

// The field a tag names in Pipeline: a field name, or an alias mapped to
// its field name; empty when it names neither.
std::string FieldFor(TrpDataPipeline* pipeline, const std::string& tag) {
    if (pipeline == nullptr || tag.empty()) return {};
    TStringList names;
    pipeline->GetFieldNames(&names);
    for (int i = 0; i < names.Count(); ++i)
        if (SameName(names.Strings(i), tag)) return names.Strings(i);
    const std::string byAlias = pipeline->GetFieldName(tag);
    if (!SameName(byAlias, tag)) {
        for (int i = 0; i < names.Count(); ++i)
            if (SameName(names.Strings(i), byAlias)) return names.Strings(i);
    }
    return {};
}

// The text between the next two single quotes after Keyword, from the text as written.
std::string Quoted(const QString& block, const QString& upper, const char* keyword) {
    int at = upper.indexOf(QLatin1String(keyword));
    if (at < 0) return {};
    int open = block.indexOf(QChar('\''), at);
    if (open < 0) return {};
    int close = block.indexOf(QChar('\''), open + 1);
    if (close < 0) return {};
    return block.mid(open + 1, close - open - 1).toStdString();
}

void Replace(QTextDocument& doc, int at, int length, const QString& with) {
    QTextCursor c(&doc);
    c.setPosition(at);
    c.setPosition(at + length, QTextCursor::KeepAnchor);
    // The replacement takes the format of the tag's first character.
    QTextCursor first(&doc);
    first.setPosition(at + 1);
    QTextCharFormat f = first.charFormat();
    c.insertText(with, f);
}

}  // namespace

void TrpCustomRichText::MergeFields() {
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    TrpCustomReport* report = Band() != nullptr ? Band()->Report() : nullptr;
    TrpDataPipeline* main = report != nullptr ? report->DataPipeline() : nullptr;
    // Step 1: "<field>" tags of the main pipeline. What was inserted is
    // remembered, so that step 2 never reads field values as tags.
    std::vector<std::pair<int, int>> inserted;  // start, length
    if (main != nullptr) {
        int from = 0;
        for (;;) {
            const QString text = document_->toPlainText();
            int open = text.indexOf(QChar('<'), from);
            if (open < 0) break;
            int close = text.indexOf(QChar('>'), open + 1);
            if (close < 0) break;
            const std::string tag = text.mid(open + 1, close - open - 1).toStdString();
            const std::string field = FieldFor(main, tag);
            if (field.empty()) {
                from = open + 1;
                continue;
            }
            const QString value = QString::fromStdString(main->GetFieldAsString(field));
            Replace(*document_, open, close - open + 1, value);
            inserted.emplace_back(open, value.size());
            from = open + value.size();
        }
    }
    // Step 2: "<DBTEXT ...>field</DBTEXT>" blocks.
    static const QString kTag = QStringLiteral("<DBTEXT");
    static const QString kEnd = QStringLiteral("</DBTEXT>");
    int from = 0;
    for (;;) {
        const QString text = document_->toPlainText();
        int at = text.indexOf(kTag, from);
        if (at < 0) break;
        auto inside = std::find_if(inserted.begin(), inserted.end(),
                                   [&](const auto& r) { return at >= r.first && at < r.first + r.second; });
        if (inside != inserted.end()) {
            from = inside->first + inside->second;
            continue;
        }
        int end = text.indexOf(kEnd, at);
        if (end < 0) break;  // an unterminated tag ends the merge
        const int length = end + kEnd.size() - at;
        const QString block = text.mid(at, length);
        const QString upper = block.toUpper();
        TrpMergeInfo info;
        if (upper.contains(QLatin1String("DATAPIPELINE"))) info.DataPipelineName = Quoted(block, upper, "DATAPIPELINE");
        if (upper.contains(QLatin1String("DISPLAYFORMAT"))) info.DisplayFormat = Quoted(block, upper, "DISPLAYFORMAT");
        int gt = block.indexOf(QChar('>'));
        info.FieldName = block.mid(gt + 1, block.size() - kEnd.size() - gt - 1).toStdString();
        TrpDataPipeline* pipeline = nullptr;
        if (!info.DataPipelineName.empty()) {
            TrpDataPipelineList list(report != nullptr ? static_cast<TComponent*>(report) : this);
            int index = list.IndexOf(info.DataPipelineName);
            pipeline = index >= 0 ? list.Pipelines(index) : list.FindPipeline(info.DataPipelineName);
        }
        if (pipeline == nullptr) pipeline = main;
        std::string value;
        const std::string field = FieldFor(pipeline, info.FieldName);
        if (!field.empty()) {
            Variant v = pipeline->GetFieldValue(field);
            if (info.DisplayFormat.empty())
                value = v.IsNull() ? std::string() : pipeline->GetFieldAsString(field);
            else
                value = TrpDisplayFormat::Instance()->Format(info.DisplayFormat, pipeline->GetFieldDataType(field), v);
        }
        const QString with = QString::fromStdString(value);
        Replace(*document_, at, length, with);
        const int delta = with.size() - length;
        for (auto& r : inserted)
            if (r.first > at) r.first += delta;
        from = at + with.size();
    }
}

// --- Generation ---

void TrpCustomRichText::Init() {
    TrpStretchable::Init();
    startCharPos_ = -1;
    endCharPos_ = -1;
    partRemaining_ = false;
}

void TrpCustomRichText::GenerateContent() {
    // The text as it stands now, merged when asked.
    std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
    GetRTFStream();
    UpdateRichEdit();
    if (mailMerge_) MergeFields();
    const int length = TrpRTFEngine::TextLength(*document_);
    if (!Stretch() || !Grows()) {
        startCharPos_ = 0;
        endCharPos_ = length;
        SetSpaceUsed(mmHeight());
        SetOverFlow(false);
        return;
    }
    startCharPos_ = partRemaining_ ? endCharPos_ + 1 : 0;
    endCharPos_ = length - 1;
    if (length <= 0 || startCharPos_ > endCharPos_) {
        partRemaining_ = false;
        SetOverFlow(false);
        SetKeptTogether(false);
        return;
    }
    const TRect r = PrintRect();
    int lastChar = 0;
    double height = 0, refPpi = 600;
    Measure(*document_, BoxTwips(r.Right - r.Left, r.Bottom - r.Top), {startCharPos_, endCharPos_}, lastChar, height,
            refPpi);
    const auto toMM = [refPpi](double px) { return static_cast<int32_t>(std::ceil(px * 25400.0 / refPpi - 1e-6)); };
    if (lastChar >= endCharPos_) {
        partRemaining_ = false;
        SetOverFlow(false);
        SetSpaceUsed(toMM(height));
        SetKeptTogether(false);
        return;
    }
    endCharPos_ = lastChar;
    if (endCharPos_ < startCharPos_) {
        // Not one character fits here: the text waits for the next page.
        partRemaining_ = startCharPos_ > 0;
        if (partRemaining_) endCharPos_ = startCharPos_ - 1;
        SetOverFlow(true);
        SetSpaceUsed(0);
        startCharPos_ = -1;
        endCharPos_ = partRemaining_ ? endCharPos_ : -1;
        return;
    }
    partRemaining_ = true;
    SetOverFlow(true);
    SetSpaceUsed(toMM(height));
    if (MustKeepTogether()) {
        SetSpaceUsed(0);
        SetKeptTogether(true);
        partRemaining_ = false;
        startCharPos_ = -1;
        endCharPos_ = -1;
    }
}

void TrpCustomRichText::PropertiesToDrawCommand(TrpDrawCommand* DrawCommand) {
    TrpStretchable::PropertiesToDrawCommand(DrawCommand);
    auto* command = dynamic_cast<TrpDrawRichText*>(DrawCommand);
    if (command == nullptr) return;
    const TRect r = PrintRect();
    command->SetLeft(r.Left);
    command->SetTop(r.Top);
    command->SetWidth(r.Right - r.Left);
    command->SetHeight(r.Bottom - r.Top);
    command->SetColor(Color());
    command->SetTransparent(Transparent());
    command->SetStartCharPos(startCharPos_);
    command->SetEndCharPos(endCharPos_);
    std::string bytes;
    {
        std::lock_guard<std::recursive_mutex> guard(TrpRTFEngine::Lock());
        // The merged document, so the page shows the values of its record.
        bytes = mailMerge_ ? rtf::Write(*document_) : StreamBytes(stream_.get());
    }
    SetStreamBytes(command->RichTextStream(), bytes);
}

// Page record: the stretchable's twelve bytes, the range, whether a part
// remains and whether the text was kept together.
void TrpCustomRichText::ResetCache(int Page) {
    TrpStretchable::ResetCache(Page);
    startCharPos_ = -1;
    endCharPos_ = -1;
    partRemaining_ = false;
}

void TrpCustomRichText::SaveToCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    FillStretchableRecord(record);
    record.PutInt(12, startCharPos_);
    record.PutInt(16, endCharPos_);
    record.PutBool(20, partRemaining_);
    record.PutBool(21, KeptTogether());
    WriteCacheRecord(Page, record.Data());
}

void TrpCustomRichText::RestoreFromCache(int Page) {
    TrpCacheRecord record(CacheRecordSize());
    if (!ReadCacheRecord(Page, record.Data())) return;
    ReadStretchableRecord(record);
    startCharPos_ = record.GetInt(12);
    endCharPos_ = record.GetInt(16);
    partRemaining_ = record.GetBool(20);
    SetKeptTogether(record.GetBool(21));
}

// --- TrpRichText ---

TrpRichText::TrpRichText(TComponent* AOwner) : TrpCustomRichText(AOwner) {}

void TrpRichText::SetRichText(const std::string& Value) {
    richText_ = Value;
    TrpCustomRichText::SetRichText(Value);
    if (!IsReading()) {
        UpdateBand();
        PropertyChange();
    }
}

// --- TrpDBRichText ---

TrpDBRichText::TrpDBRichText(TComponent* AOwner) : TrpCustomRichText(AOwner) {}

void TrpDBRichText::SetAutoDisplay(bool Value) {
    autoDisplay_ = Value;
    if (!Value) TrpCustomRichText::SetRichText(std::string());
}

TMemoryStream* TrpDBRichText::GetRTFStream() {
    if (OnGetRichText) {
        std::string text;
        OnGetRichText(this, text);
        SetRichText(text);
    } else {
        std::string text;
        if (HasEventNotifyList()) {
            TrsParamList params;
            params.AddParam("Text", rsString, true, false);
            params.BindParam(0, &text);
            SendEventNotify(this, rpevGetRichText, &params);
        }
        if (!text.empty()) SetRichText(text);
        else LoadRichText();
    }
    return TrpCustomRichText::GetRTFStream();
}

void TrpDBRichText::LoadRichText() {
    if (!autoDisplay_ || !DataAvailable()) return;
    SetRichText(DataPipeline()->GetFieldAsString(DataField()));
}

namespace report_output {

void RegisterRichTextClasses() {
    RegisterClass(TrpDrawRichText::StaticClassType());
    RegisterClass(TrpCustomRichText::StaticClassType());
    RegisterClass(TrpRichText::StaticClassType());
    RegisterClass(TrpDBRichText::StaticClassType());
}

void UnregisterRichTextClasses() {
    UnRegisterClass(TrpDBRichText::StaticClassType());
    UnRegisterClass(TrpRichText::StaticClassType());
    UnRegisterClass(TrpCustomRichText::StaticClassType());
    UnRegisterClass(TrpDrawRichText::StaticClassType());
}

}  // namespace report_output
