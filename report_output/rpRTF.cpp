#include "report_output/rpRTF.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include <QBrush>
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>
#include <QUrl>
#include <QVariant>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

namespace rtf {
namespace {

// Limits that keep hostile input from costing more than a sane document.
constexpr int kMaxDepth = 256;
constexpr int64_t kMaxParam = 1000000000;
constexpr int kMaxTwips = 31680;  // 22 inches
constexpr int kMaxTabs = 64;
constexpr size_t kMaxPicture = 64u << 20;

struct CharState {
    int Font = -1;  // -1: the default font
    int HalfPoints = 24;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    bool Hidden = false;  // \v: kept in the document, never drawn
    int Fore = 0;  // colour table index; 0 is "auto"
    int Back = 0;
    bool operator==(const CharState&) const = default;
};

struct TabStop {
    int Twips = 0;
    QTextOption::TabType Type = QTextOption::LeftTab;  // left, right or decimal (DelimiterTab)
};

struct ParaState {
    Qt::Alignment Align = Qt::AlignLeft;
    int Left = 0, Right = 0, First = 0, Before = 0, After = 0;  // twips
    std::vector<TabStop> Tabs;
    // The kind \tqr or \tqdec gave the stop the next \tx places.
    QTextOption::TabType NextTab = QTextOption::LeftTab;
};

enum class Dest { Text, FontTable, ColorTable, Picture, Skip };

struct Group {
    CharState Chr;
    ParaState Para;
    int Uc = 1;
    Dest D = Dest::Text;
};

struct Color {
    int R = -1, G = -1, B = -1;
};

class Reader {
public:
    Reader(std::string_view Data, QTextDocument& Doc) : in_(Data), doc_(Doc), cursor_(&Doc) {}

    void Run() {
        doc_.clear();
        // One edit for the whole read: outside an edit block every insertion
        // lays its paragraph out again to place the cursor, which made
        // reading a paragraph of many format runs quadratic. A read is
        // nothing to undo.
        const bool undo = doc_.isUndoRedoEnabled();
        doc_.setUndoRedoEnabled(false);
        cursor_ = QTextCursor(&doc_);
        cursor_.beginEditBlock();
        std::vector<Group> stack;
        int overflow = 0;  // groups opened beyond the depth limit
        bool started = false;
        while (pos_ < in_.size()) {
            char c = in_[pos_++];
            if (c == '{') {
                if (!started) {
                    started = true;
                    stack.push_back(Group{});
                    continue;
                }
                if (stack.empty()) break;
                if (static_cast<int>(stack.size()) >= kMaxDepth) {
                    ++overflow;
                    continue;
                }
                stack.push_back(stack.back());
                skip_ = 0;
                destPending_ = true;
                ignorable_ = false;
                continue;
            }
            if (c == '}') {
                if (overflow > 0) {
                    --overflow;
                    continue;
                }
                if (stack.empty()) break;
                Group closed = stack.back();
                stack.pop_back();
                skip_ = 0;
                if (closed.D == Dest::Picture && (stack.empty() || stack.back().D != Dest::Picture)) EndPicture();
                if (closed.D == Dest::FontTable && !fontName_.empty()) EndFontEntry();
                if (stack.empty()) {
                    // The document's own group closed: its last paragraph
                    // takes the properties in force there.
                    finalPara_ = closed.Para;
                    break;
                }
                continue;
            }
            if (stack.empty()) {
                if (!started) continue;
                break;
            }
            Group& g = stack.back();
            if (c == '\\') {
                ControlWord(stack, overflow);
                continue;
            }
            destPending_ = false;
            if (c == '\r' || c == '\n') continue;
            if (g.D == Dest::Picture) {
                PictureHex(c);
                continue;
            }
            if (skip_ > 0) {
                --skip_;
                continue;
            }
            Byte(g, static_cast<unsigned char>(c));
        }
        Flush();
        if (!stack.empty()) cursor_.setBlockFormat(BlockFormat(stack.back().Para));
        else if (finalPara_) cursor_.setBlockFormat(BlockFormat(*finalPara_));
        else cursor_.setBlockFormat(BlockFormat(lastPara_));
        // A document that ends with a paragraph mark has no empty paragraph after it.
        if (endedWithPar_ && doc_.blockCount() > 1) {
            QTextCursor c(&doc_);
            c.movePosition(QTextCursor::End);
            if (c.block().length() == 1) {
                c.deletePreviousChar();
            }
        }
        cursor_.endEditBlock();
        doc_.setUndoRedoEnabled(undo);
    }

private:
    // --- Lexing ---
    void ControlWord(std::vector<Group>& stack, int overflow) {
        if (pos_ >= in_.size()) return;
        Group& g = stack.back();
        char c = in_[pos_];
        if (!IsAlpha(c)) {
            ++pos_;
            ControlSymbol(g, c);
            return;
        }
        std::string word;
        while (pos_ < in_.size() && IsAlpha(in_[pos_]) && word.size() < 32) word += in_[pos_++];
        while (pos_ < in_.size() && IsAlpha(in_[pos_])) ++pos_;  // an absurdly long word
        bool hasParam = false;
        int64_t param = 0;
        bool negative = false;
        if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && IsDigit(in_[pos_ + 1])) {
            negative = true;
            ++pos_;
        }
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            hasParam = true;
            if (param < kMaxParam) param = param * 10 + (in_[pos_] - '0');
            ++pos_;
        }
        param = std::min(param, kMaxParam);
        if (negative) param = -param;
        if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;
        bool firstInGroup = destPending_;
        destPending_ = false;
        if (overflow > 0) return;
        Word(stack, g, word, hasParam, static_cast<int>(param), firstInGroup);
    }

    void ControlSymbol(Group& g, char c) {
        bool firstInGroup = destPending_;
        destPending_ = false;
        switch (c) {
        case '*':
            if (firstInGroup) {
                ignorable_ = true;
                destPending_ = true;  // the destination's word follows
            }
            return;
        case '\'': {
            int value = 0, digits = 0;
            while (digits < 2 && pos_ < in_.size() && IsHex(in_[pos_])) value = value * 16 + HexValue(in_[pos_++]), ++digits;
            if (digits < 2) return;  // a truncated escape adds nothing
            if (g.D == Dest::Picture) return;
            if (skip_ > 0) {
                --skip_;
                return;
            }
            Byte(g, static_cast<unsigned char>(value));
            return;
        }
        case '\\':
        case '{':
        case '}':
            if (skip_ > 0) {
                --skip_;
                return;
            }
            Byte(g, static_cast<unsigned char>(c));
            return;
        case '~': Emit(g, U'\u00A0'); return;
        case '_': Emit(g, U'-'); return;
        case '\r':
        case '\n': Paragraph(g); return;
        default: return;  // \- and the other symbols add nothing here
        }
    }

    void Word(std::vector<Group>& stack, Group& g, const std::string& w, bool hasParam, int p, bool firstInGroup) {
        const bool ignorable = ignorable_;
        ignorable_ = false;
        if (g.D == Dest::Picture) {
            Picture(w, hasParam, p);
            return;
        }
        if (g.D == Dest::Skip) return;
        // Destinations.
        if (firstInGroup) {
            static const std::set<std::string> kSkipped = {
                "stylesheet", "info", "header", "footer", "headerl", "headerr", "headerf", "footerl", "footerr",
                "footerf", "footnote", "object", "xe", "tc", "txe", "rxe", "listtable", "listoverridetable",
                "revtbl", "filetbl", "fldinst", "nonshppict", "pntext", "themedata", "colorschememapping",
                "latentstyles", "datastore", "rsidtbl", "generator", "xmlnstbl", "mmathPr", "template",
                "bkmkstart", "bkmkend", "atnid", "atnauthor", "annotation", "comment"};
            if (w == "fonttbl") {
                g.D = Dest::FontTable;
                return;
            }
            if (w == "colortbl") {
                g.D = Dest::ColorTable;
                colour_ = Color{};
                return;
            }
            if (w == "pict") {
                g.D = Dest::Picture;
                picture_ = {};
                return;
            }
            if (w == "shppict" || w == "fldrslt") return;  // their content is the document's
            if (kSkipped.count(w) || ignorable) {
                g.D = Dest::Skip;
                return;
            }
        }
        if (g.D == Dest::FontTable) {
            if (w == "f" && hasParam) {
                if (!fontName_.empty()) EndFontEntry();
                fontNumber_ = p;
            }
            return;
        }
        if (g.D == Dest::ColorTable) {
            int v = std::clamp(p, 0, 255);
            if (w == "red") colour_.R = v;
            else if (w == "green") colour_.G = v;
            else if (w == "blue") colour_.B = v;
            return;
        }
        if (skip_ > 0) {
            --skip_;
            return;
        }
        CharState& ch = g.Chr;
        ParaState& pa = g.Para;
        const bool on = !hasParam || p != 0;
        auto twips = [&](int v) { return std::clamp(v, -kMaxTwips, kMaxTwips); };
        if (w == "par" || w == "sect" || w == "page") Paragraph(g);
        // A table prints as tabbed lines: cells apart, each row a line of its own.
        else if (w == "cell" || w == "nestcell") Emit(g, U'\t');
        else if (w == "row" || w == "nestrow") {
            // The cells' right edges are the row's tab stops, so columns line up.
            const std::vector<TabStop> own = pa.Tabs;
            pa.Tabs.clear();
            for (int edge : rowTabs_) pa.Tabs.push_back({edge, QTextOption::LeftTab});
            Paragraph(g);
            pa.Tabs = own;
        } else if (w == "trowd") rowTabs_.clear();
        else if (w == "cellx") {
            if (static_cast<int>(rowTabs_.size()) < kMaxTabs) rowTabs_.push_back(std::clamp(p, 0, kMaxTwips));
        }
        else if (w == "v") ch.Hidden = on;
        else if (w == "line") Emit(g, U'\u2028');
        else if (w == "tab") Emit(g, U'\t');
        else if (w == "emdash") Emit(g, U'\u2014');
        else if (w == "endash") Emit(g, U'\u2013');
        else if (w == "bullet") Emit(g, U'\u2022');
        else if (w == "lquote") Emit(g, U'\u2018');
        else if (w == "rquote") Emit(g, U'\u2019');
        else if (w == "ldblquote") Emit(g, U'\u201C');
        else if (w == "rdblquote") Emit(g, U'\u201D');
        else if (w == "u" && hasParam) Unicode(g, p);
        else if (w == "uc") g.Uc = std::clamp(hasParam ? p : 1, 0, 10);
        else if (w == "deff") defaultFont_ = p;
        else if (w == "ansicpg") {
            // Every code page is read as 1252; the Latin text reports hold is the same there.
        } else if (w == "plain") ch = CharState{};
        else if (w == "pard") pa = ParaState{};
        else if (w == "b") ch.Bold = on;
        else if (w == "i") ch.Italic = on;
        else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth") ch.Underline = on;
        else if (w == "ulnone") ch.Underline = false;
        else if (w == "strike") ch.Strike = on;
        else if (w == "fs") ch.HalfPoints = std::clamp(hasParam ? p : 24, 2, 3276);
        else if (w == "f") ch.Font = hasParam ? p : -1;
        else if (w == "cf") ch.Fore = std::max(p, 0);
        else if (w == "cb" || w == "highlight" || w == "chcbpat") ch.Back = std::max(p, 0);
        else if (w == "ql") pa.Align = Qt::AlignLeft;
        else if (w == "qr") pa.Align = Qt::AlignRight;
        else if (w == "qc") pa.Align = Qt::AlignHCenter;
        else if (w == "qj") pa.Align = Qt::AlignJustify;
        else if (w == "li") pa.Left = twips(p);
        else if (w == "ri") pa.Right = twips(p);
        else if (w == "fi") pa.First = twips(p);
        else if (w == "sb") pa.Before = std::clamp(p, 0, kMaxTwips);
        else if (w == "sa") pa.After = std::clamp(p, 0, kMaxTwips);
        else if (w == "tqr") pa.NextTab = QTextOption::RightTab;
        else if (w == "tqdec") pa.NextTab = QTextOption::DelimiterTab;
        else if (w == "tx") {
            if (static_cast<int>(pa.Tabs.size()) < kMaxTabs) pa.Tabs.push_back({std::clamp(p, 0, kMaxTwips), pa.NextTab});
            pa.NextTab = QTextOption::LeftTab;
        } else if (w == "bin" && hasParam) {
            // Raw bytes belong to a destination we skip; step over them.
            pos_ = std::min(in_.size(), pos_ + static_cast<size_t>(std::max(p, 0)));
        }
        (void)stack;
    }

    // --- Text ---
    void Byte(Group& g, unsigned char b) {
        if (g.D == Dest::FontTable) {
            if (b == ';') EndFontEntry();
            else fontName_ += static_cast<char>(b);
            return;
        }
        if (g.D == Dest::ColorTable) {
            if (b == ';') {
                colours_.push_back(colour_);
                colour_ = Color{};
            }
            return;
        }
        if (g.D != Dest::Text) return;
        Append(g, utf8::Encode(utf8::Cp1252Char(b)));
    }

    void Emit(Group& g, char32_t c) {
        if (g.D != Dest::Text) return;
        Append(g, utf8::Encode(c));
    }

    void Unicode(Group& g, int value) {
        if (value < 0) value += 65536;
        value = std::clamp(value, 0, 0xFFFF);
        skip_ = g.Uc;
        if (value >= 0xD800 && value <= 0xDBFF) {
            highSurrogate_ = value;
            return;
        }
        char32_t c = static_cast<char32_t>(value);
        if (value >= 0xDC00 && value <= 0xDFFF) {
            if (highSurrogate_ == 0) return;
            c = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (value - 0xDC00);
        }
        highSurrogate_ = 0;
        if (c == 0) return;
        Emit(g, c);
    }

    void Append(Group& g, const std::string& utf8) {
        if (!pending_.empty() && !(pendingFormat_ == g.Chr)) Flush();
        pendingFormat_ = g.Chr;
        pending_ += utf8;
        endedWithPar_ = false;
    }

    void Flush() {
        if (pending_.empty()) return;
        cursor_.insertText(QString::fromStdString(pending_), CharFormat(pendingFormat_));
        pending_.clear();
    }

    void Paragraph(Group& g) {
        if (g.D != Dest::Text) return;
        Flush();
        cursor_.setBlockFormat(BlockFormat(g.Para));
        cursor_.insertBlock(BlockFormat(g.Para), CharFormat(g.Chr));
        lastPara_ = g.Para;
        endedWithPar_ = true;
    }

    void EndFontEntry() {
        std::string name = fontName_;
        fontName_.clear();
        while (!name.empty() && (name.back() == ' ' || name.back() == ';')) name.pop_back();
        while (!name.empty() && name.front() == ' ') name.erase(name.begin());
        if (!name.empty()) fonts_[fontNumber_] = Cp1252ToUtf8(name);
    }

    // --- Pictures ---
    struct PictureData {
        std::string Bytes;
        int Nibble = -1;
        bool Supported = false;
        int Width = 0, Height = 0;          // pixels
        int GoalWidth = 0, GoalHeight = 0;  // twips
        int ScaleX = 100, ScaleY = 100;
    };

    void Picture(const std::string& w, bool hasParam, int p) {
        if (w == "pngblip" || w == "jpegblip") picture_.Supported = true;
        else if (w == "picw") picture_.Width = std::max(p, 0);
        else if (w == "pich") picture_.Height = std::max(p, 0);
        else if (w == "picwgoal") picture_.GoalWidth = std::clamp(p, 0, kMaxTwips * 10);
        else if (w == "pichgoal") picture_.GoalHeight = std::clamp(p, 0, kMaxTwips * 10);
        else if (w == "picscalex") picture_.ScaleX = std::clamp(p, 1, 1000);
        else if (w == "picscaley") picture_.ScaleY = std::clamp(p, 1, 1000);
        else if (w == "bin" && hasParam) {
            size_t n = std::min(in_.size() - pos_, static_cast<size_t>(std::max(p, 0)));
            if (picture_.Bytes.size() + n <= kMaxPicture) picture_.Bytes.append(in_.substr(pos_, n));
            pos_ += n;
        }
    }

    void PictureHex(char c) {
        if (!IsHex(c) || picture_.Bytes.size() >= kMaxPicture) return;
        if (picture_.Nibble < 0) {
            picture_.Nibble = HexValue(c);
        } else {
            picture_.Bytes += static_cast<char>(picture_.Nibble * 16 + HexValue(c));
            picture_.Nibble = -1;
        }
    }

    void EndPicture() {
        PictureData pic = std::move(picture_);
        picture_ = {};
        if (!pic.Supported || pic.Bytes.empty()) return;
        QImage image;
        if (!image.loadFromData(reinterpret_cast<const uchar*>(pic.Bytes.data()), static_cast<int>(pic.Bytes.size())))
            return;
        // Sizes in points: the goal size when given, else the pixels at 96 per inch.
        double w = pic.GoalWidth > 0 ? pic.GoalWidth / 20.0 : image.width() * 72.0 / 96.0;
        double h = pic.GoalHeight > 0 ? pic.GoalHeight / 20.0 : image.height() * 72.0 / 96.0;
        w = w * pic.ScaleX / 100.0;
        h = h * pic.ScaleY / 100.0;
        QString name = QStringLiteral("rtfimage%1").arg(++images_);
        doc_.addResource(QTextDocument::ImageResource, QUrl(name), QVariant(image));
        Flush();
        QTextImageFormat f;
        f.setName(name);
        f.setWidth(w);
        f.setHeight(h);
        cursor_.insertImage(f);
        endedWithPar_ = false;
    }

    // --- Formats ---
    QTextCharFormat CharFormat(const CharState& s) const {
        QTextCharFormat f;
        int number = s.Font >= 0 ? s.Font : defaultFont_;
        auto it = fonts_.find(number);
        if (it == fonts_.end()) it = fonts_.find(defaultFont_);
        f.setFontFamilies(QStringList{QString::fromStdString(it != fonts_.end() ? it->second : "Arial")});
        f.setFontPointSize(s.HalfPoints / 2.0);
        f.setFontWeight(s.Bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(s.Italic);
        f.setFontUnderline(s.Underline);
        f.setFontStrikeOut(s.Strike);
        if (auto c = TableColour(s.Fore)) f.setForeground(QBrush(*c));
        if (auto c = TableColour(s.Back)) f.setBackground(QBrush(*c));
        if (s.Hidden) f.setProperty(kHidden, true);
        return f;
    }

    std::optional<QColor> TableColour(int index) const {
        if (index <= 0 || index >= static_cast<int>(colours_.size())) return std::nullopt;
        const Color& c = colours_[index];
        if (c.R < 0 && c.G < 0 && c.B < 0) return std::nullopt;
        return QColor(std::max(c.R, 0), std::max(c.G, 0), std::max(c.B, 0));
    }

    static QTextBlockFormat BlockFormat(const ParaState& p) {
        QTextBlockFormat f;
        f.setAlignment(p.Align);
        f.setLeftMargin(p.Left / 20.0);
        f.setRightMargin(p.Right / 20.0);
        f.setTextIndent(p.First / 20.0);
        f.setTopMargin(p.Before / 20.0);
        f.setBottomMargin(p.After / 20.0);
        QList<QTextOption::Tab> tabs;
        for (const TabStop& t : p.Tabs) {
            // A decimal stop lines numbers up on the decimal separator they
            // are written with here.
            const QChar delimiter = t.Type == QTextOption::DelimiterTab ? QChar(FormatSettings.DecimalSeparator) : QChar();
            tabs.append(QTextOption::Tab(t.Twips / 20.0, t.Type, delimiter));
        }
        f.setTabPositions(tabs);
        return f;
    }

    static bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
    static int HexValue(char c) {
        if (IsDigit(c)) return c - '0';
        return (c | 0x20) - 'a' + 10;
    }

    std::string_view in_;
    size_t pos_ = 0;
    QTextDocument& doc_;
    QTextCursor cursor_;
    std::string pending_;
    CharState pendingFormat_;
    ParaState lastPara_;
    std::vector<int> rowTabs_;  // twips: the right edges of the current table row's cells
    std::optional<ParaState> finalPara_;
    bool endedWithPar_ = false;
    bool destPending_ = false;
    bool ignorable_ = false;
    int skip_ = 0;
    int highSurrogate_ = 0;
    int defaultFont_ = 0;
    std::map<int, std::string> fonts_;
    int fontNumber_ = 0;
    std::string fontName_;
    std::vector<Color> colours_;
    Color colour_;
    PictureData picture_;
    int images_ = 0;
};

// --- Writing ---

class Writer {
public:
    explicit Writer(const QTextDocument& Doc) : doc_(Doc) {}

    std::string Run() {
        std::string body;
        bool firstBlock = true;
        for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next()) {
            // A paragraph's mark carries the format the next block opens
            // with: a hidden mark joins the two paragraphs on the page.
            if (!firstBlock && IsHidden(b.charFormat()) != hidden_) {
                last_.reset();
                body += Format(b.charFormat());
            }
            if (!firstBlock) body += "\\par\n";
            firstBlock = false;
            body += Paragraph(b.blockFormat());
            last_.reset();
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                QTextFragment frag = it.fragment();
                if (!frag.isValid()) continue;
                QTextCharFormat cf = frag.charFormat();
                if (cf.isImageFormat()) {
                    body += Picture(cf.toImageFormat());
                    continue;
                }
                body += Format(cf);
                body += Text(frag.text().toStdU32String());
            }
        }
        std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
        for (size_t i = 0; i < fonts_.size(); ++i)
            out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset0 " + Escape(fonts_[i]) + ";}";
        if (fonts_.empty()) out += "{\\f0\\fnil\\fcharset0 Arial;}";
        out += "}\n{\\colortbl ;";
        for (const QColor& c : colours_)
            out += "\\red" + std::to_string(c.red()) + "\\green" + std::to_string(c.green()) + "\\blue" +
                   std::to_string(c.blue()) + ";";
        out += "}\n";
        out += body;
        out += "}\n";
        return out;
    }

private:
    static std::string Twips(const char* word, double points) {
        long v = std::lround(points * 20);
        return v == 0 ? std::string() : std::string("\\") + word + std::to_string(v);
    }

    std::string Paragraph(const QTextBlockFormat& f) {
        std::string s = "\\pard";
        Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
        if (a & Qt::AlignRight) s += "\\qr";
        else if (a & Qt::AlignHCenter) s += "\\qc";
        else if (a & Qt::AlignJustify) s += "\\qj";
        else s += "\\ql";
        s += Twips("li", f.leftMargin()) + Twips("ri", f.rightMargin()) + Twips("fi", f.textIndent()) +
             Twips("sb", f.topMargin()) + Twips("sa", f.bottomMargin());
        for (const QTextOption::Tab& t : f.tabPositions()) {
            if (t.type == QTextOption::RightTab) s += "\\tqr";
            else if (t.type == QTextOption::DelimiterTab) s += "\\tqdec";
            s += "\\tx" + std::to_string(std::lround(t.position * 20));
        }
        return s + " ";
    }

    int FontIndex(const QTextCharFormat& cf) {
        QStringList families = cf.fontFamilies().toStringList();
        std::string name = families.isEmpty() ? std::string("Arial") : families.first().toStdString();
        auto it = std::find(fonts_.begin(), fonts_.end(), name);
        if (it != fonts_.end()) return static_cast<int>(it - fonts_.begin());
        fonts_.push_back(name);
        return static_cast<int>(fonts_.size()) - 1;
    }

    int ColourIndex(const QColor& c) {
        QColor rgb = QColor(c.red(), c.green(), c.blue());
        auto it = std::find(colours_.begin(), colours_.end(), rgb);
        if (it != colours_.end()) return static_cast<int>(it - colours_.begin()) + 1;
        colours_.push_back(rgb);
        return static_cast<int>(colours_.size());
    }

    std::string Format(const QTextCharFormat& cf) {
        std::string s = "\\plain\\f" + std::to_string(FontIndex(cf));
        double pts = cf.fontPointSize() > 0 ? cf.fontPointSize() : 12.0;
        s += "\\fs" + std::to_string(std::lround(pts * 2));
        if (cf.fontWeight() >= QFont::DemiBold) s += "\\b";
        if (cf.fontItalic()) s += "\\i";
        if (cf.fontUnderline()) s += "\\ul";
        if (cf.fontStrikeOut()) s += "\\strike";
        if (IsHidden(cf)) s += "\\v";
        hidden_ = IsHidden(cf);
        if (cf.hasProperty(QTextFormat::ForegroundBrush) && cf.foreground().style() != Qt::NoBrush)
            s += "\\cf" + std::to_string(ColourIndex(cf.foreground().color()));
        if (cf.hasProperty(QTextFormat::BackgroundBrush) && cf.background().style() != Qt::NoBrush)
            s += "\\cb" + std::to_string(ColourIndex(cf.background().color()));
        s += " ";
        if (last_ && *last_ == s) return std::string();
        last_ = s;
        return s;
    }

    std::string Picture(const QTextImageFormat& f) {
        QVariant v = doc_.resource(QTextDocument::ImageResource, QUrl(f.name()));
        QImage image = v.value<QImage>();
        if (image.isNull()) return std::string();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        static const char* kHex = "0123456789abcdef";
        std::string s = "{\\pict\\pngblip\\picw" + std::to_string(image.width()) + "\\pich" +
                        std::to_string(image.height());
        if (f.width() > 0) s += "\\picwgoal" + std::to_string(std::lround(f.width() * 20));
        if (f.height() > 0) s += "\\pichgoal" + std::to_string(std::lround(f.height() * 20));
        s += "\n";
        for (int i = 0; i < png.size(); ++i) {
            unsigned char b = static_cast<unsigned char>(png[i]);
            s += kHex[b >> 4];
            s += kHex[b & 15];
            if (i % 64 == 63) s += '\n';
        }
        return s + "}";
    }

    static std::string Escape(const std::string& utf8) { return Text(QString::fromStdString(utf8).toStdU32String()); }

    static std::string Text(const std::u32string& text) {
        std::string s;
        for (char32_t c : text) {
            if (c == U'\\' || c == U'{' || c == U'}') {
                s += '\\';
                s += static_cast<char>(c);
            } else if (c == U'\t') {
                s += "\\tab ";
            } else if (c == 0x2028 || c == 0x2029) {
                s += "\\line ";
            } else if (c == 0xFFFC) {
                // an object without an image has nothing to write
            } else if (c >= 0x20 && c < 0x80) {
                s += static_cast<char>(c);
            } else if (c < 0x20) {
                // control characters have no place in the text
            } else {
                std::string bytes = Utf8ToCp1252(utf8::Encode(c));
                if (bytes != "?") {
                    static const char* kHex = "0123456789abcdef";
                    unsigned char b = static_cast<unsigned char>(bytes[0]);
                    s += "\\'";
                    s += kHex[b >> 4];
                    s += kHex[b & 15];
                } else if (c > 0xFFFF) {
                    char32_t v = c - 0x10000;
                    s += "\\u" + std::to_string(static_cast<int16_t>(0xD800 + (v >> 10))) + "?";
                    s += "\\u" + std::to_string(static_cast<int16_t>(0xDC00 + (v & 0x3FF))) + "?";
                } else {
                    s += "\\u" + std::to_string(static_cast<int16_t>(c)) + "?";
                }
            }
        }
        return s;
    }

    const QTextDocument& doc_;
    std::vector<std::string> fonts_;
    std::vector<QColor> colours_;
    std::optional<std::string> last_;
    bool hidden_ = false;  // whether the text written so far stands under \v
};

}  // namespace

bool IsRTF(std::string_view Data) {
    size_t i = 0;
    while (i < Data.size() && (Data[i] == ' ' || Data[i] == '\r' || Data[i] == '\n' || Data[i] == '\t')) ++i;
    return Data.substr(i, 5) == "{\\rtf";
}

void Read(std::string_view Data, QTextDocument& Doc) {
    if (!IsRTF(Data)) {
        std::string text = utf8::IsValid(Data) ? std::string(Data) : Cp1252ToUtf8(Data);
        std::string unified;
        unified.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') {
                unified += '\n';
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            } else if (text[i] != '\0') {
                unified += text[i];
            }
        }
        Doc.setPlainText(QString::fromStdString(unified));
        return;
    }
    Reader(Data, Doc).Run();
}

std::string Write(const QTextDocument& Doc) { return Writer(Doc).Run(); }

std::string PlainText(const QTextDocument& Doc) {
    std::string out;
    bool first = true;
    for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
        if (!first) out += "\r\n";
        first = false;
        for (char32_t c : b.text().toStdU32String()) {
            if (c == 0x2028 || c == 0x2029) out += "\r\n";
            else if (c != 0xFFFC) out += utf8::Encode(c);
        }
    }
    return out;
}

}  // namespace rtf
