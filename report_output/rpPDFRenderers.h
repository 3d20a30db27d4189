#pragma once
// Renderers turn one draw command into PDF content-stream operators. The
// device asks the renderer manager for the renderer of each command's class;
// a class without one of its own takes its ancestor's, and at the root the
// generic renderer paints the command into a bitmap and places it as an
// image, so that every kind of command reaches the file.
//
// The class registry is global and guarded by one lock; renderer instances
// belong to one device's manager and keep no state between commands except
// the generic renderer's image count (its image names are unique within one
// job).
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/gfx/Canvas.h"
#include "report/rpDrawCommand.h"
#include "report/rpSettings.h"
#include "report_output/rpPDF.h"

class TrpPDFRenderer {
public:
    TrpPDFRenderer() = default;
    virtual ~TrpPDFRenderer() = default;
    TrpPDFRenderer(const TrpPDFRenderer&) = delete;
    TrpPDFRenderer& operator=(const TrpPDFRenderer&) = delete;

    virtual void SetDrawCommand(TrpDrawCommand* Command) { command_ = Command; }
    TrpDrawCommand* DrawCommand() const { return command_; }
    virtual void Render() = 0;

    // An operator line built in place, the operands each followed by a
    // blank: Num(x).Num(y).Op("m") writes "x y m". Pages hold hundreds of
    // lines, so none of them goes through a string of its own. Public so
    // that renderer classes can chain them.
    TrpPDFRenderer& Num(double Value) {
        TrpPDFUtils::AppendNumber(line_, Value);
        line_ += ' ';
        return *this;
    }
    TrpPDFRenderer& Word(std::string_view Text) {
        line_ += Text;
        line_ += ' ';
        return *this;
    }
    TrpPDFRenderer& Rgb(TColor Color) {
        TrpPDFUtils::AppendColor(line_, Color);
        line_ += ' ';
        return *this;
    }
    // Appends the operator and writes the line.
    void Op(std::string_view Operator);
    // "(text) Tj", the text escaped in WinAnsiEncoding.
    void Tj(std::string_view Text, std::string_view Operator = "Tj");

    TMemoryStream* Content = nullptr;
    TrpPDFSettings* PDFSettings = nullptr;
    TrpPDFXref* Xref = nullptr;
    double PageHeight = 0;

protected:
    // One operator line.
    void Out(std::string_view Line);
    static std::string N(double Value) { return TrpPDFUtils::FormatNumber(Value); }
    // The command's box in points.
    double L() const;
    double R() const;
    double B() const;
    double T() const;
    void RenderBorder();
    // The same renderer settings on another renderer.
    void Configure(TrpPDFRenderer& Other) const;
    // The measuring device of layout, shared by the renderers of a thread.
    static TReferenceCanvas& Measure();
    // The font the measuring canvas holds (it is shared by the renderers
    // of a thread).
    static thread_local TFont measuredFont_;
    static thread_local gfx::FontMetricsF measuredMetrics_;
    static thread_local bool measured_;

private:
    TrpDrawCommand* command_ = nullptr;
    std::string line_;
};

struct TrpPDFRendererClass {
    std::string Name;
    TClass Serves;  // the draw command class
    std::function<std::unique_ptr<TrpPDFRenderer>()> Make;
};

// Replaces any class serving the same command class.
void RegisterRenderer(const TrpPDFRendererClass& Class);
void UnregisterRenderer(const std::string& Name);
// The class serving Command's class or its nearest ancestor; nullptr when
// none.
const TrpPDFRendererClass* FindRendererClass(TClass DrawCommandClass);

class TrpPDFRendererManager {
public:
    // nullptr when no renderer serves the command.
    TrpPDFRenderer* GetRenderer(TrpDrawCommand* Command);

private:
    std::map<std::string, std::unique_ptr<TrpPDFRenderer>> renderers_;
    // Looked up once per command class for the life of the manager (one
    // job): registering a renderer meanwhile does not change a running job.
    std::unordered_map<TClass, TrpPDFRenderer*> byClass_;
    // Runs of one class are the rule (a row of cells).
    TClass lastClass_ = nullptr;
    TrpPDFRenderer* lastRenderer_ = nullptr;
};

class TrpPDFRendererLine : public TrpPDFRenderer {
public:
    void Render() override;
};

class TrpPDFRendererShape : public TrpPDFRenderer {
public:
    void Render() override;
};

class TrpPDFRendererImage : public TrpPDFRenderer {
public:
    void Render() override;
};

// One-line and wrapped text share the start and the end.
class TrpPDFRendererCustomText : public TrpPDFRenderer {
public:
    void Render() override;

protected:
    virtual void RenderText() = 0;
    TrpDrawText* Text() const { return static_cast<TrpDrawText*>(DrawCommand()); }
    void Decorate(double X, double Y, double Width);
    std::string fontName_;
    std::string fontOperand_;  // "/" and the name
    TFont registeredFont_;
    const TrpPDFXref* registeredXref_ = nullptr;
    std::string color_;
    TColor colorOf_ = clNone;
    double size_ = 0;
    gfx::FontMetricsF metrics_;
};

class TrpPDFRendererStandardText : public TrpPDFRendererCustomText {
protected:
    void RenderText() override;
};

class TrpPDFRendererWrappedText : public TrpPDFRendererCustomText {
protected:
    void RenderText() override;
};

class TrpPDFRendererText : public TrpPDFRenderer {
public:
    void Render() override;

private:
    TrpPDFRendererStandardText standard_;
    TrpPDFRendererWrappedText wrapped_;
};

// Paints a command into a bitmap of its size (at the screen's resolution)
// on a white ground; false when it cannot. By default the screen device
// paints (rpPaintOnScreen); a caller may set another (nullptr: the default).
using TrpCommandPainter = std::function<bool(TrpDrawCommand* Command, TBitmap* Bitmap)>;
void rpSetCommandPainter(TrpCommandPainter Painter);
bool rpPaintOnScreen(TrpDrawCommand* Command, TBitmap* Bitmap);
// Paints a barcode command as the printer does, on a canvas of the bitmap's
// size at PixelsPerInch; false for any other command.
bool rpPaintBars(TrpDrawCommand* Command, TBitmap* Bitmap, int PixelsPerInch);

class TrpPDFRendererGeneric : public TrpPDFRenderer {
public:
    void Render() override;
    int ImageCount() const { return count_; }

    // Barcodes' pictures are made at this resolution (the reference
    // device's), whatever the screen's.
    static constexpr int kBarPixelsPerInch = 600;

private:
    int count_ = 0;
    TrpPDFRendererImage image_;
    TrpPDFSettings barSettings_;
    std::vector<std::unique_ptr<TrpDrawImage>> made_;
};

namespace report_output {
void RegisterPDFRenderers();
void UnregisterPDFRenderers();
}  // namespace report_output
