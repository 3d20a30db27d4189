#include "report_output/rpPDFRenderers.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

#include "report/rpMemo.h"
#include "report/rpRotatedText.h"
#include "report/rpTextLayout.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"
#include "report_output/rp2DBarCode.h"
#include "report_output/rpBarCode.h"
#include "report_output/rpScreenDevice.h"

namespace {

using U = TrpPDFUtils;

double Round2(double V) { return std::round(V * 100) / 100; }

std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}

std::vector<TrpPDFRendererClass>& Registry() {
    static std::vector<TrpPDFRendererClass> list;
    return list;
}

TrpCommandPainter& Painter() {
    static TrpCommandPainter painter;
    return painter;
}

std::string StripMarkup(std::string Line, bool* Had = nullptr) {
    const std::string_view markup = TrpTextMarkups::LineBreakMarkup;
    bool had = false;
    for (size_t p; (p = Line.find(markup)) != std::string::npos;) {
        Line.erase(p, markup.size());
        had = true;
    }
    if (Had != nullptr) *Had = had;
    return Line;
}

std::vector<std::string> Words(const std::string& Line) {
    std::vector<std::string> words;
    std::string w;
    for (char c : Line) {
        if (c == ' ') {
            if (!w.empty()) words.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) words.push_back(w);
    return words;
}

}  // namespace

// ---------------------------------------------------------------------------
// Registry and manager

void RegisterRenderer(const TrpPDFRendererClass& Class) {
    std::lock_guard<std::mutex> g(RegistryLock());
    auto& list = Registry();
    std::erase_if(list, [&](const TrpPDFRendererClass& c) { return c.Serves == Class.Serves || c.Name == Class.Name; });
    list.push_back(Class);
}

void UnregisterRenderer(const std::string& Name) {
    std::lock_guard<std::mutex> g(RegistryLock());
    std::erase_if(Registry(), [&](const TrpPDFRendererClass& c) { return c.Name == Name; });
}

const TrpPDFRendererClass* FindRendererClass(TClass DrawCommandClass) {
    std::lock_guard<std::mutex> g(RegistryLock());
    for (TClass c = DrawCommandClass; c != nullptr; c = c->Parent) {
        for (const auto& r : Registry())
            if (r.Serves == c) return &r;
        if (c == TrpDrawCommand::StaticClassType()) break;
    }
    return nullptr;
}

TrpPDFRenderer* TrpPDFRendererManager::GetRenderer(TrpDrawCommand* Command) {
    const TClass commandClass = Command->ClassType();
    if (commandClass == lastClass_) return lastRenderer_;
    if (const auto found = byClass_.find(commandClass); found != byClass_.end()) {
        lastClass_ = commandClass;
        lastRenderer_ = found->second;
        return found->second;
    }
    const TrpPDFRendererClass* c = FindRendererClass(commandClass);
    TrpPDFRenderer* renderer = nullptr;
    if (c != nullptr) {
        auto& r = renderers_[c->Name];
        if (r == nullptr) r = c->Make();
        renderer = r.get();
    }
    byClass_[commandClass] = renderer;
    lastClass_ = commandClass;
    lastRenderer_ = renderer;
    return renderer;
}

// ---------------------------------------------------------------------------
// Base

void TrpPDFRenderer::Out(std::string_view Line) {
    line_ += Line;
    Op("");
}

void TrpPDFRenderer::Op(std::string_view Operator) {
    line_ += Operator;
    line_ += "\r\n";
    Content->WriteBuffer(line_.data(), static_cast<int64_t>(line_.size()));
    line_.clear();
}

void TrpPDFRenderer::Tj(std::string_view Text, std::string_view Operator) {
    line_ += '(';
    TrpPDFUtils::AppendEscaped(line_, Text);
    line_ += ") ";
    Op(Operator);
}

double TrpPDFRenderer::L() const { return U::MMToPoints(command_->Left()); }
double TrpPDFRenderer::R() const { return L() + U::MMToPoints(command_->Width()); }
double TrpPDFRenderer::B() const { return PageHeight - U::MMToPoints(command_->Top() + command_->Height()); }
double TrpPDFRenderer::T() const { return B() + U::MMToPoints(command_->Height()); }

void TrpPDFRenderer::Configure(TrpPDFRenderer& Other) const {
    Other.SetDrawCommand(command_);
    Other.Content = Content;
    Other.PDFSettings = PDFSettings;
    Other.Xref = Xref;
    Other.PageHeight = PageHeight;
}

thread_local TFont TrpPDFRenderer::measuredFont_;
thread_local bool TrpPDFRenderer::measured_ = false;
thread_local gfx::FontMetricsF TrpPDFRenderer::measuredMetrics_;

TReferenceCanvas& TrpPDFRenderer::Measure() {
    thread_local TReferenceCanvas canvas;
    return canvas;
}

void TrpPDFRenderer::RenderBorder() {
    TrpBorder* border = command_->Border();
    if (border == nullptr || !border->Visible()) return;
    const TrpBorderPositions sides = border->BorderPositions();
    if (sides.Empty()) return;
    const double w = border->Weight();
    const double h = w / 2;
    const bool left = sides.Contains(bpLeft), top = sides.Contains(bpTop), right = sides.Contains(bpRight),
               bottom = sides.Contains(bpBottom);
    const int count = left + top + right + bottom;
    const bool adjacent = count >= 3 || (count == 2 && !(left && right) && !(top && bottom));
    const double i = adjacent ? h : 0;
    const double l = L(), r = R(), b = B(), t = T();
    Out("q");
    Out("/GS1 gs");
    Num(w).Op("w");
    const std::string dash = U::PenStyleToDash(border->Style());
    if (!dash.empty()) Out(dash);
    Rgb(border->Color()).Op("RG");
    if (adjacent) Out("2 J");
    auto seg = [&](double x1, double y1, double x2, double y2) {
        Num(x1).Num(y1).Op("m");
        Num(x2).Num(y2).Op("l");
    };
    if (left) seg(l + h, b + i, l + h, t - i);
    if (top) seg(l + i, t - h, r - i, t - h);
    if (right) seg(r - h, t - i, r - h, b + i);
    if (bottom) seg(r - i, b + h, l + i, b + h);
    Out("S");
    Out("Q");
}

// ---------------------------------------------------------------------------
// Lines and shapes

void TrpPDFRendererLine::Render() {
    auto* line = static_cast<TrpDrawLine*>(DrawCommand());
    const double w = line->Weight();
    const double h = w / 2;
    const double l = L(), r = R(), b = B(), t = T();
    Num(w).Op("w");
    const std::string dash = U::PenStyleToDash(line->Pen()->Style());
    if (!dash.empty()) Out(dash);
    Rgb(line->Pen()->Color()).Op("RG");
    auto seg = [&](double x1, double y1, double x2, double y2) {
        Num(x1).Num(y1).Op("m");
        Num(x2).Num(y2).Op("l");
    };
    const bool twice = line->LineStyle() == lsDouble;
    switch (line->LinePosition()) {
        case lpTop:
            seg(l, t - h, r, t - h);
            if (twice) seg(l, t - 2 * w - h, r, t - 2 * w - h);
            break;
        case lpBottom:
            seg(l, b + h, r, b + h);
            if (twice) seg(l, b + 2 * w + h, r, b + 2 * w + h);
            break;
        case lpLeft:
            seg(l + h, b, l + h, t);
            if (twice) seg(l + 2 * w + h, b, l + 2 * w + h, t);
            break;
        case lpRight:
            seg(r - h, b, r - h, t);
            if (twice) seg(r - 2 * w - h, b, r - 2 * w - h, t);
            break;
    }
    Out("S");
}

void TrpPDFRendererShape::Render() {
    auto* shape = static_cast<TrpDrawShape*>(DrawCommand());
    const bool noPen = shape->Pen()->Style() == psClear;
    const bool noBrush = shape->Brush()->Style() == bsClear;
    if (noPen && noBrush) return;
    const double l = L(), b = B(), t = T();
    const double w = R() - l, h = t - b;
    const double penWidth = noPen ? 0 : U::PixelsToPoints(shape->Pen()->Width(), rpScreenPixelsPerInch());
    std::vector<std::string> path;
    auto P = [](double x, double y) { return N(x) + " " + N(y); };
    switch (shape->ShapeType()) {
        case stRectangle:
        case stSquare:
            path.push_back(N(l) + " " + N(b) + " " + N(w) + " " + N(h) + " re");
            break;
        case stRoundRect:
        case stRoundSquare: {
            // The corner sizes are those of the ellipse that rounds a corner,
            // as the screen and the printer draw it: the radius is half.
            const double rx = std::clamp(U::MMToPoints(shape->XCornerRound()) / 2, 0.0, w / 2);
            const double ry = std::clamp(U::MMToPoints(shape->YCornerRound()) / 2, 0.0, h / 2);
            const double r = l + w;
            path.push_back(P(l + rx, b) + " m");
            path.push_back(P(r - rx, b) + " l");
            path.push_back(P(r, b) + " " + P(r, b + ry) + " v");
            path.push_back(P(r, t - ry) + " l");
            path.push_back(P(r, t) + " " + P(r - rx, t) + " v");
            path.push_back(P(l + rx, t) + " l");
            path.push_back(P(l, t) + " " + P(l, t - ry) + " v");
            path.push_back(P(l, b + ry) + " l");
            path.push_back(P(l, b) + " " + P(l + rx, b) + " v");
            break;
        }
        case stEllipse:
        case stCircle: {
            double rx = w / 2, ry = h / 2;
            if (shape->ShapeType() == stCircle) rx = ry = std::min(w, h) / 2;
            const double cx = l + w / 2, cy = t - h / 2;
            const double k = 4.0 / 3.0 * std::tan(M_PI / 8);
            const double kx = Round2(rx * k), ky = Round2(ry * k);
            path.push_back(P(cx, cy - ry) + " m");
            path.push_back(P(cx + kx, cy - ry) + " " + P(cx + rx, cy - ky) + " " + P(cx + rx, cy) + " c");
            path.push_back(P(cx + rx, cy + ky) + " " + P(cx + kx, cy + ry) + " " + P(cx, cy + ry) + " c");
            path.push_back(P(cx - kx, cy + ry) + " " + P(cx - rx, cy + ky) + " " + P(cx - rx, cy) + " c");
            path.push_back(P(cx - rx, cy - ky) + " " + P(cx - kx, cy - ry) + " " + P(cx, cy - ry) + " c");
            break;
        }
        default:
            return;
    }
    Num(penWidth).Op("w");
    const std::string dash = U::PenStyleToDash(noPen ? 0 : shape->Pen()->Style());
    if (!dash.empty()) Out(dash);
    Rgb(noPen ? shape->Brush()->Color() : shape->Pen()->Color()).Op("RG");
    Rgb(shape->Brush()->Color()).Op("rg");
    for (const auto& p : path) Out(p);
    // A clear pen draws no outline at all: the fill alone.
    Out(noPen ? "f" : noBrush ? "S" : "B");
}

// ---------------------------------------------------------------------------
// Images

void TrpPDFRendererImage::Render() {
    auto* image = static_cast<TrpDrawImage*>(DrawCommand());
    TGraphic* graphic = image->Picture() != nullptr ? image->Picture()->Graphic() : nullptr;
    if (graphic == nullptr || graphic->Empty()) return;
    const bool cache = PDFSettings == nullptr || PDFSettings->CacheImages();
    TrpPDFImageManager& images = Xref->ImageManager();
    TrpPDFImage entry;
    entry.PageCounter = Xref->PageCounter;
    const std::string name = U::EscapeName(image->ImageName());
    if (cache && !name.empty() && images.Exists(name)) {
        entry.Name = name;
        entry.ObjectNumber = images.NumberOf(name);
    } else {
        // Unnamed pictures (database images) each get their own object.
        entry.IsNew = true;
        entry.ObjectNumber = Xref->Count() + 1;
        entry.Name = cache && !name.empty() ? name : (name.empty() ? "Im" : name) + std::to_string(entry.ObjectNumber);
    }
    const int ppi = rpScreenPixelsPerInch();
    double pw = U::PixelsToPoints(graphic->Width(), ppi), ph = U::PixelsToPoints(graphic->Height(), ppi);
    const double l = L(), bw = U::MMToPoints(image->Width()), bh = U::MMToPoints(image->Height());
    const double b = Round2(PageHeight - U::MMToPoints(image->Top() + image->Height()));
    const double t = b + bh;
    double x = l, y = b, w = pw, h = ph;
    const bool larger = U::MMToScreenPixels(image->Width()) < graphic->Width() ||
                        U::MMToScreenPixels(image->Height()) < graphic->Height();
    const double fit = rpScaleToFit(pw, ph, bw, bh);
    if (!image->Center() && !image->Stretch()) {
        y = Round2(PageHeight - (U::MMToPoints(image->Top()) + ph));
    } else if (image->Center() && !image->Stretch()) {
        x = l + (bw - pw) / 2;
        y = b + (bh - ph) / 2;
    } else if (image->Stretch() && !image->MaintainAspectRatio()) {
        w = bw;
        h = bh;
    } else if (!image->Center()) {
        w = pw * fit;
        h = ph * fit;
        y = b + bh - h;
    } else {
        w = pw * fit;
        h = ph * fit;
        if (bw <= bh) y = b + (bh - h) / 2;
        else x = l + (bw - w) / 2;
    }
    Out("q");
    if (larger && !image->Stretch()) {
        const double r = l + bw;
        Out(N(l) + " " + N(t) + " m");
        Out(N(r) + " " + N(t) + " l");
        Out(N(r) + " " + N(b) + " l");
        Out(N(l) + " " + N(b) + " l");
        Out(N(l) + " " + N(t) + " l");
        Out("W");
        Out("n");
    }
    Out(N(w) + " 0 0 " + N(h) + " " + N(x) + " " + N(y) + " cm");
    Out("/" + entry.Name + " Do");
    Out("Q");
    RenderBorder();
    if (entry.IsNew) {
        const TrpCompressionLevel level =
            PDFSettings != nullptr ? PDFSettings->CompressionLevel() : TrpCompressionLevel::clDefault;
        auto object = std::make_unique<TrpPDFXObject>(image, level, PDFSettings == nullptr || PDFSettings->ScaleImages());
        object->Workers = Xref->Workers;
        Xref->Add(std::move(object));
    }
    Xref->ImageManager().Add(entry);
}

// ---------------------------------------------------------------------------
// Text

void TrpPDFRendererText::Render() {
    auto* text = static_cast<TrpDrawText*>(DrawCommand());
    TrpPDFRenderer& r = (text->WordWrap() || text->IsMemo()) ? static_cast<TrpPDFRenderer&>(wrapped_) : standard_;
    Configure(r);
    r.Render();
}

void TrpPDFRendererCustomText::Render() {
    TrpDrawText* text = Text();
    const TFont& font = *text->Font();
    // Listings repeat one font text after text: measuring a font anew
    // costs more than writing the text.
    if (!measured_ || !(font == measuredFont_)) {
        Measure().SetFont(font);
        measuredMetrics_ = Measure().ExactTextMetrics();
        measuredFont_ = font;
        measured_ = true;
    }
    metrics_ = measuredMetrics_;
    if (registeredXref_ != Xref || !(font == registeredFont_)) {
        fontName_ = Xref->FontManager().Register(Xref, font);
        fontOperand_ = "/" + fontName_;
        registeredFont_ = font;
        registeredXref_ = Xref;
    }
    size_ = std::abs(font.SizeInPoints());
    if (color_.empty() || font.Color() != colorOf_) {
        color_ = U::ColorToPDF(font.Color());
        colorOf_ = font.Color();
    }
    const double l = L(), r = R(), b = B(), t = T();
    Out("q");
    if (!text->Transparent()) {
        Out("1 w");
        Rgb(text->Color()).Op("rg");
        Num(std::round(l)).Num(std::round(b)).Num(std::round(r - l)).Num(std::round(t - b)).Op("re");
        Out("f");
    }
    if (!text->AutoSize() && !text->IsMemo()) {
        Num(l).Num(t).Op("m");
        Num(r - 0.5).Num(t).Op("l");
        Num(r - 0.5).Num(b).Op("l");
        Num(l).Num(b).Op("l");
        Num(l).Num(t).Op("l");
        Out("W");
        Out("n");
    }
    Word(color_).Op("rg");
    Out("BT");
    Word(fontOperand_).Num(size_).Op("Tf");
    RenderText();
    Out("Q");
    RenderBorder();
}

void TrpPDFRendererCustomText::Decorate(double X, double Y, double Width) {
    const TFontStyles style = Text()->Font()->Style();
    auto line = [&](double y) {
        Out("1 w");
        Word(color_).Op("RG");
        Num(X).Num(y).Op("m");
        Num(X + Width).Num(y).Op("l");
        Out("S");
    };
    if (style.Contains(fsUnderline)) line(Y - 2);
    if (style.Contains(fsStrikeOut))
        line(Y + U::PixelsToPoints(metrics_.Ascent + metrics_.Descent, gfx::kReferencePixelsPerInch) / 4);
}

namespace {

double Pts(double Pixels) { return TrpPDFUtils::PixelsToPoints(Pixels, gfx::kReferencePixelsPerInch); }

}  // namespace

void TrpPDFRendererStandardText::RenderText() {
    TrpDrawText* text = Text();
    TReferenceCanvas& canvas = Measure();
    // Measured only when something needs it: most texts in a listing are
    // left-aligned and plain, and measuring is a good share of their cost.
    const TFontStyles style = text->Font()->Style();
    const bool measure = text->Alignment() == taRightJustify || text->Alignment() == taCenter ||
                         style.Contains(fsUnderline) || style.Contains(fsStrikeOut);
    const double width =
        measure ? Pts(canvas.TextWidthF(text->Text()) + std::round(0.01 * gfx::kReferencePixelsPerInch)) : 0;
    const double fontHeight = Pts(metrics_.Ascent + metrics_.Descent);
    TrpBorder* border = text->Border();
    const bool framed = border != nullptr && border->Visible();
    const double bw = framed ? border->Weight() : 0;
    const TrpBorderPositions sides = framed ? border->BorderPositions() : TrpBorderPositions{};
    double x = L();
    double y = 0;
    const int angle = ((text->Angle() % 360) + 360) % 360;
    if (angle == 0) {
        y = Round2(PageHeight - U::MMToPoints(text->Top()) - Pts(metrics_.Ascent));
        if (sides.Contains(bpTop)) y -= bw;
        if (sides.Contains(bpLeft)) {
            if (text->Alignment() == taLeftJustify) x += bw;
            if (text->Alignment() == taRightJustify) x -= bw;
        }
        const double boxW = R() - L();
        if (text->Alignment() == taRightJustify) x += boxW - width;
        if (text->Alignment() == taCenter) x += (boxW - width) / 2;
        Num(x).Num(y).Op("Td");
    } else {
        // Turned about the text's origin, as the screen turns it. The origin
        // is an offset within the text's box, not a page position; a command
        // made without one is placed as the screen places it.
        TPoint origin{text->RotatedOriginLeft, text->RotatedOriginTop};
        if (origin.X == 0 && origin.Y == 0) {
            std::unique_ptr<TCanvas> measuring = rpNewMeasuringCanvas();
            origin = TrpRotatedText::CalcTextBounds(measuring.get(), text->Text(), text->Font(),
                                                    TRect{0, 0, text->Width(), text->Height()}, text->Border(),
                                                    text->TextAlignment(), text->WordWrap(), angle)
                         .Origin;
        }
        const double px = L() + U::MMToPoints(origin.X);
        const double py = T() - U::MMToPoints(origin.Y);
        const double a = angle * M_PI / 180;
        x = Round2(px + std::sin(a) * fontHeight);
        y = Round2(py - std::cos(a) * fontHeight);
        if (framed) {
            const int q = angle <= 90 ? 1 : angle <= 180 ? 2 : angle <= 270 ? 3 : 4;
            const bool s1 = sides.Contains(q == 1 ? bpLeft : q == 4 ? bpLeft : bpRight);
            const bool s2 = sides.Contains(q == 1 || q == 2 ? bpBottom : bpTop);
            if (s1 && !s2) { x += bw; y += (q == 1 || q == 3) ? -bw : bw; }
            if (s2 && !s1) { x += bw; y += (q == 1 || q == 3) ? bw : -bw; }
            if (!s1 || !s2) x += bw;
        }
        const double c = Round2(std::cos(a)), s = Round2(std::sin(a));
        Word("1 0 0 1").Num(x).Num(y).Op("cm");
        Num(c).Num(s).Num(-s).Num(c).Op("0 0 cm");
        Out("0 0 Td");
        x = 0;
        y = 0;
    }
    Tj(text->Text());
    Out("ET");
    Decorate(x, y, width);
}

void TrpPDFRendererWrappedText::RenderText() {
    TrpDrawText* text = Text();
    TReferenceCanvas& canvas = Measure();
    double lineHeight = Pts(metrics_.Ascent + metrics_.Descent) + Pts(metrics_.ExternalLeading);
    if (text->IsMemo()) {
        // A memo's box holds its lines at the pitch it was laid out with,
        // whole pixels of the reference device: the font's exact height
        // drifts below the box line by line.
        int32_t pitch = 0;
        TrpPlainText::CalcLinesPerHeight(text->Font(), text->Leading(), pitch, nullptr, 0, &canvas);
        lineHeight = U::MMToPoints(pitch);
    }
    double y = Round2(PageHeight - U::MMToPoints(text->Top()) - lineHeight + Pts(metrics_.Descent));
    double x = L();
    TrpBorder* border = text->Border();
    if (border != nullptr && border->Visible()) {
        if (border->BorderPositions().Contains(bpTop)) y -= border->Weight();
        if (border->BorderPositions().Contains(bpLeft)) x += border->Weight();
    }
    const double boxW = R() - L();
    const int count = text->WrappedText()->Count();
    std::vector<std::string> lines;
    std::vector<bool> paragraphEnd;
    for (int i = 0; i < count; ++i) {
        bool had = false;
        lines.push_back(StripMarkup(text->WrappedText()->Strings(i), &had));
        paragraphEnd.push_back(had);
    }
    auto width = [&](const std::string& s) { return Pts(canvas.TextWidthF(s)); };
    std::vector<std::pair<double, double>> decorations;  // line start x (absolute) and width
    const TrpTextAlignment align = text->TextAlignment();
    const double tabWidth = Pts(canvas.ExactTextMetrics().AveCharWidth * 8);
    // A line holding tabs, as pieces at the tab stops measured from the
    // line's start: the given stops first, then multiples of the default tab.
    // Writes the pieces when asked, moving the current point along; Placed
    // comes back as how far it moved. Returns the line's width.
    auto tabbed = [&](const std::string& line, bool write, double& placed) {
        double pos = 0;
        placed = 0;
        size_t start = 0;
        for (;;) {
            const size_t tab = line.find('\t', start);
            const std::string piece = line.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            if (write && !piece.empty()) {
                if (pos != placed) {
                    Out(N(pos - placed) + " 0 Td");
                    placed = pos;
                }
                Tj(piece);
            }
            pos += width(piece);
            if (tab == std::string::npos) break;
            double next = -1;
            TStrings* stops = text->TabStopPositions();
            for (int k = 0; stops != nullptr && k < stops->Count() && next < 0; ++k) {
                const double stop = U::MMToPoints(std::atof(stops->Strings(k).c_str()));
                if (stop > pos) next = stop;
            }
            if (next < 0) next = tabWidth > 0 ? (std::floor(pos / tabWidth) + 1) * tabWidth : pos;
            pos = next;
            start = tab + 1;
        }
        return pos;
    };
    auto hasTab = [](const std::string& line) { return line.find('\t') != std::string::npos; };
    double placed = 0;
    if (align == taLeftJustified) {
        Out(N(lineHeight) + " TL");
        Out(N(x) + " " + N(y) + " Td");
        for (int i = 0; i < count; ++i) {
            const std::string& line = lines[i];
            if (!hasTab(line)) {
                Tj(line, "Tj T*");
                decorations.emplace_back(x, width(line));
                continue;
            }
            decorations.emplace_back(x, tabbed(line, true, placed));
            Out(N(-placed) + " " + N(-lineHeight) + " Td");
        }
        Out("ET");
    } else if (align == taRightJustified || align == taCentered) {
        double previous = 0;
        for (int i = 0; i < count; ++i) {
            const bool tabs = hasTab(lines[i]);
            const double w = tabs ? tabbed(lines[i], false, placed) : width(lines[i]);
            double offset = boxW - w;
            if (align == taCentered) offset /= 2;
            if (i == 0) Out(N(x + offset) + " " + N(y) + " Td");
            else Out(N(offset - previous) + " " + N(-lineHeight) + " Td");
            previous = offset;
            if (tabs) {
                tabbed(lines[i], true, placed);
                // Back to the line's start, which the next line measures from.
                if (placed != 0) Out(N(-placed) + " 0 Td");
            } else {
                Tj(lines[i]);
            }
            decorations.emplace_back(x + offset, w);
        }
        Out("ET");
    } else {
        double lineStart = 0;  // the current point's distance from the left edge
        for (int i = 0; i < count; ++i) {
            const std::string& line = lines[i];
            if (i == 0) Out(N(x) + " " + N(y) + " Td");
            else Out(N(-lineStart) + " " + N(-lineHeight) + " Td");
            lineStart = 0;
            const std::vector<std::string> words = Words(line);
            // A memo marks every paragraph's last line; a line that ends a
            // page in the middle of a paragraph is spread like the others.
            const bool last = i == count - 1 && !text->ForceJustifyLastLine() && !text->IsMemo();
            if (hasTab(line)) {
                // Tabs place the pieces; the blanks keep their width.
                decorations.emplace_back(x, tabbed(line, true, placed));
                lineStart = placed;
                continue;
            }
            // A paragraph's last line and a line of one word keep their
            // natural spacing, as on the screen and the printer.
            if (words.size() < 2 || paragraphEnd[i] || last) {
                Tj(line);
                decorations.emplace_back(x, width(line));
                continue;
            }
            double inked = 0;
            for (const auto& w : words) inked += width(w);
            const double gap = Round2((boxW - inked) / static_cast<double>(words.size() - 1));
            for (size_t k = 0; k < words.size(); ++k) {
                if (k > 0) {
                    const double step = width(words[k - 1]) + gap;
                    Out(N(step) + " 0 Td");
                    lineStart += step;
                }
                Tj(words[k]);
            }
            decorations.emplace_back(x, boxW);
        }
        Out("ET");
    }
    for (size_t i = 0; i < decorations.size(); ++i)
        Decorate(decorations[i].first, y - lineHeight * static_cast<double>(i), decorations[i].second);
}

// ---------------------------------------------------------------------------
// Generic

void rpSetCommandPainter(TrpCommandPainter Painter_) { Painter() = std::move(Painter_); }

bool rpPaintOnScreen(TrpDrawCommand* Command, TBitmap* Bitmap) {
    // A page of the command's size holding a white ground and a copy of the
    // command, drawn by a screen device at 100 %.
    TClass commandClass = Command->ClassType();
    if (!commandClass->Create) return false;
    TrpScreenDevice device(nullptr);
    TrpPage* page = device.CurrentPage();
    page->PageDef()->SetmmWidth(Command->Width());
    page->PageDef()->SetmmHeight(Command->Height());
    auto* ground = new TrpDrawShape(nullptr);
    ground->SetWidth(Command->Width());
    ground->SetHeight(Command->Height());
    ground->Brush()->SetColor(clWhite);
    ground->Pen()->SetStyle(psClear);
    ground->SetPage(page);
    auto* copy = dynamic_cast<TrpDrawCommand*>(commandClass->Create(nullptr));
    if (copy == nullptr) return false;
    copy->Assign(Command);
    copy->SetLeft(0);
    copy->SetTop(0);
    copy->SetPage(page);
    device.DisplayPage();
    const QImage* image = device.PageImage();
    if (image == nullptr) return false;
    const QImage part = image->copy(device.OffsetX(), device.OffsetY(), Bitmap->Width(), Bitmap->Height());
    Bitmap->Canvas()->DrawImage(TRect{0, 0, Bitmap->Width(), Bitmap->Height()}, part, SRCCOPY);
    return true;
}

bool rpPaintBars(TrpDrawCommand* Command, TBitmap* Bitmap, int PixelsPerInch) {
    TImageCanvas canvas(Bitmap->Width(), Bitmap->Height(), PixelsPerInch);
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(TRect{0, 0, Bitmap->Width(), Bitmap->Height()});
    const TRect box{0, 0, Bitmap->Width(), Bitmap->Height()};
    if (auto* bars = dynamic_cast<TrpDrawBarCode*>(Command)) bars->DrawOnPrinter(&canvas, box);
    else if (auto* symbol = dynamic_cast<TrpDraw2DBarCode*>(Command))
        symbol->DrawOnPrinter(&canvas, box, rpScreenPixelsPerInch());
    else return false;
    Bitmap->Canvas()->DrawImage(box, canvas.Image(), SRCCOPY);
    return true;
}

void TrpPDFRendererGeneric::Render() {
    TrpDrawCommand* command = DrawCommand();
    TrpCommandPainter painter = Painter();
    // A barcode's modules are whole device pixels: painted at the screen's
    // resolution and squeezed into a box measured on the printer, a symbol
    // loses modules and no longer reads. Barcodes are painted as on paper,
    // at the reference resolution, and their picture keeps it.
    const bool bars = !painter && (dynamic_cast<TrpDrawBarCode*>(command) != nullptr ||
                                   dynamic_cast<TrpDraw2DBarCode*>(command) != nullptr);
    int w = U::MMToScreenPixels(command->Width()), h = U::MMToScreenPixels(command->Height());
    if (bars) {
        w = static_cast<int>(std::lround(command->Width() / 25400.0 * kBarPixelsPerInch));
        h = static_cast<int>(std::lround(command->Height() / 25400.0 * kBarPixelsPerInch));
        painter = [](TrpDrawCommand* C, TBitmap* B) { return rpPaintBars(C, B, kBarPixelsPerInch); };
    }
    if (!painter) painter = rpPaintOnScreen;
    if (w <= 0 || h <= 0) return;
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->SetSize(w, h);
    if (!painter(command, bitmap.get())) return;
    auto image = std::make_unique<TrpDrawImage>(nullptr);
    image->Picture()->SetGraphic(bitmap.get());
    image->SetImageName("rpGeneric" + std::to_string(count_++));
    image->SetLeft(command->Left());
    image->SetTop(command->Top());
    image->SetWidth(command->Width());
    image->SetHeight(command->Height());
    image->SetStretch(true);
    Configure(image_);
    if (bars) {
        // Brought down to the screen's resolution the bars would blur again.
        if (PDFSettings != nullptr) {
            barSettings_.Assign(PDFSettings);
            barSettings_.SetCacheImages(PDFSettings->CacheImages());
        }
        barSettings_.SetScaleImages(false);
        image_.PDFSettings = &barSettings_;
    }
    image_.SetDrawCommand(image.get());
    image_.Render();
    image_.PDFSettings = PDFSettings;
    made_.push_back(std::move(image));
}

namespace report_output {

void RegisterPDFRenderers() {
    RegisterRenderer({"TrpPDFRendererLine", TrpDrawLine::StaticClassType(),
                      [] { return std::make_unique<TrpPDFRendererLine>(); }});
    RegisterRenderer({"TrpPDFRendererShape", TrpDrawShape::StaticClassType(),
                      [] { return std::make_unique<TrpPDFRendererShape>(); }});
    RegisterRenderer({"TrpPDFRendererImage", TrpDrawImage::StaticClassType(),
                      [] { return std::make_unique<TrpPDFRendererImage>(); }});
    RegisterRenderer({"TrpPDFRendererText", TrpDrawText::StaticClassType(),
                      [] { return std::make_unique<TrpPDFRendererText>(); }});
    RegisterRenderer({"TrpPDFRendererGeneric", TrpDrawCommand::StaticClassType(),
                      [] { return std::make_unique<TrpPDFRendererGeneric>(); }});
}

void UnregisterPDFRenderers() {
    UnregisterRenderer("TrpPDFRendererGeneric");
    UnregisterRenderer("TrpPDFRendererText");
    UnregisterRenderer("TrpPDFRendererImage");
    UnregisterRenderer("TrpPDFRendererShape");
    UnregisterRenderer("TrpPDFRendererLine");
}

}  // namespace report_output
