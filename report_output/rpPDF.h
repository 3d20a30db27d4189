#pragma once
// The pieces of a PDF 1.3 file as this system writes it: number formatting
// and text escaping, the numbered objects, the font and image managers and
// the object table. The device (rpPDFDevice.h) drives them page by page.
//
// Every line of the file ends in CR LF. Objects are numbered from 1 in the
// order they are added to the object table; fonts and images are numbered
// when first used and their bodies written at the end of the job. Numbers
// leave through FormatNumber (at least one decimal, at most five, "." as the
// separator whatever the locale, never "-0.0", "inf" or "nan"). Text shown
// on pages is code page 1252 (WinAnsiEncoding); document information strings
// are PDFDocEncoding, or UTF-16BE when a character is not in it.
//
// The output stream (TrpPDFOutput) buffers what is written and counts the
// offsets itself: the file is written forward only, never patched.
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/Graphics.h"
#include "platform/rtl/Streams.h"
#include "report/rpDrawCommand.h"
#include "report/rpSettings.h"
#include "report_output/rpWorkerPool.h"

struct TrpPDFUtils {
    static std::string FormatNumber(double Value);
    // FormatNumber's text appended to Out.
    static void AppendNumber(std::string& Out, double Value);
    // Thousandths of a millimetre to points.
    static double MMToPoints(double Value) { return Value * 0.0000393701 * 72; }
    static int MMToScreenPixels(double Value);
    static double PixelsToPoints(double Pixels, double PixelsPerInch) { return Pixels / PixelsPerInch * 72; }
    // "1.0 0.0 0.502".
    static std::string ColorToPDF(TColor Color);
    static void AppendColor(std::string& Out, TColor Color);
    // UTF-8 text as the bytes of a literal string in WinAnsiEncoding, with
    // "(", ")" and "\" escaped.
    static std::string EscapeText(std::string_view Text);
    static void AppendEscaped(std::string& Out, std::string_view Text);
    // A document information string, parentheses included: "(...)" in
    // PDFDocEncoding, or "<FEFF...>" in UTF-16BE.
    static std::string InfoString(std::string_view Text);
    // A name's characters after the "/": delimiters, "#", blanks and
    // bytes outside printable ASCII as "#xx".
    static std::string EscapeName(std::string_view Name);
    static std::string PenStyleToDash(int Style);
    static void WriteLine(TStream* Stream, std::string_view Text);
    static void WriteText(TStream* Stream, std::string_view Text);
    // Deflates the stream's content in place.
    static void Compress(TMemoryStream* Stream, TrpCompressionLevel Level);
    // yyyymmddhhnnss, local time.
    static std::string CreationDate();
};

// The file as written so far: appends go to a buffer that is passed to the
// target in large pieces; Position counts every byte written.
class TrpPDFOutput : public TStream {
public:
    explicit TrpPDFOutput(TStream* Target);
    ~TrpPDFOutput() override;
    int64_t Read(void* Buffer, int64_t Count) override;
    int64_t Write(const void* Buffer, int64_t Count) override;
    // Only the current position can be asked for.
    int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
    using TStream::Seek;
    void Flush();

private:
    TStream* target_;
    std::string buffer_;
    int64_t written_ = 0;
};

class TrpPDFObject {
public:
    TrpPDFObject() = default;
    virtual ~TrpPDFObject() = default;
    TrpPDFObject(const TrpPDFObject&) = delete;
    TrpPDFObject& operator=(const TrpPDFObject&) = delete;

    // Records the stream, the offset and the number; subclasses write their
    // body now or keep it for the end of the job.
    virtual void Write(TStream* Stream, int ObjectNumber);
    TStream* Stream() const { return stream_; }
    int64_t Offset() const { return offset_; }
    void SetOffset(int64_t Value) { offset_ = Value; }
    int ObjectNumber() const { return objectNumber_; }
    int ReservedNumber() const { return reserved_; }
    void SetReservedNumber(int Value) { reserved_ = Value; }

protected:
    // "N 0 obj".
    std::string ObjLine() const;

private:
    TStream* stream_ = nullptr;
    int64_t offset_ = 0;
    int objectNumber_ = 0;
    int reserved_ = 0;
};

class TrpPDFProcSet : public TrpPDFObject {
public:
    void Write(TStream* Stream, int ObjectNumber) override;
};

class TrpPDFGState : public TrpPDFObject {
public:
    void Write(TStream* Stream, int ObjectNumber) override;
};

class TrpPDFInfo : public TrpPDFObject {
public:
    void Write(TStream* Stream, int ObjectNumber) override;
    std::string Author, Keywords, Subject, Title;
};

class TrpPDFCatalog : public TrpPDFObject {
public:
    void Write(TStream* Stream, int ObjectNumber) override;
};

// Written at the end of the job, once every kid is known.
class TrpPDFPageTree : public TrpPDFObject {
public:
    void Write(TStream* Stream, int ObjectNumber) override;
    void AddKid(int ObjectNumber);
    void Finish();
    int KidCount() const { return kids_; }

private:
    TMemoryStream buffer_;
    int kids_ = 0;
};

// The buffer a page's operators are written to: appends go straight to
// the end, without first zero-filling the room they take.
class TrpPDFContentBuffer : public TMemoryStream {
public:
    int64_t Write(const void* Buffer, int64_t Count) override;
};

// A page's content stream: the operators the renderers wrote, deflated.
class TrpPDFContent : public TrpPDFObject {
public:
    TrpPDFContent(TMemoryStream* Buffer, TrpCompressionLevel Level) : buffer_(Buffer), level_(Level) {}
    // Deflates the buffer (once); touches nothing but the buffer, so a
    // worker thread may do it while the next page is drawn.
    void Compress();
    // Deflates the buffer unless Compress did, then writes the object.
    void Write(TStream* Stream, int ObjectNumber) override;

private:
    TMemoryStream* buffer_;
    TrpCompressionLevel level_;
    bool compressed_ = false;
};

class TrpPDFPage : public TrpPDFObject {
public:
    void Write(TStream* Stream, int ObjectNumber) override;
    int Parent = 0, ProcSet = 0, ExtGState = 0, Contents = 0;
    double PageHeight = 0;
    int PageWidth = 0;
    // "/Name N 0 R" lines.
    std::vector<std::string> XObjects, Fonts;
};

// What a font is measured as: the reference device's metrics and the face
// the name resolves to.
struct TrpPDFFontInfo {
    std::string PDFName;   // resource name and /BaseFont
    bool TrueType = false;
    bool FixedPitch = false;
    bool Serif = false;
    bool Symbolic = false;
    bool Italic = false;
    int FirstChar = 32, LastChar = 255;
    // Points at the font's size.
    double Ascent = 0, Descent = 0, MaxCharWidth = 0;
    // Advance per 1000 units of em for FirstChar..LastChar.
    std::vector<double> Widths;
};

// The face a font is written as: an outline face that answers to its own
// (or its metric twin's) name is a TrueType font; raster faces and faces
// that fontconfig only replaces by its fallback take a standard font.
TrpPDFFontInfo rpPDFFontInfo(const TFont& Font);
std::string rpPDFFontName(const TFont& Font, bool TrueType);

class TrpPDFFont : public TrpPDFObject {
public:
    explicit TrpPDFFont(TrpPDFFontInfo Info) : info_(std::move(Info)) {}
    void Write(TStream* Stream, int ObjectNumber) override;
    const TrpPDFFontInfo& Info() const { return info_; }
    const std::string& Body() const { return body_; }
    // The face name and weight the font was asked for under.
    std::string Key;

private:
    TrpPDFFontInfo info_;
    std::string body_;
};

class TrpPDFFontDescriptor : public TrpPDFObject {
public:
    explicit TrpPDFFontDescriptor(const TrpPDFFontInfo* Info) : info_(Info) {}
    void Write(TStream* Stream, int ObjectNumber) override;
    const std::string& Body() const { return body_; }
    // The descriptor's /Flags.
    static int Flags(const TrpPDFFontInfo& Info);

private:
    const TrpPDFFontInfo* info_;
    std::string body_;
};

class TrpPDFFontWidths : public TrpPDFObject {
public:
    explicit TrpPDFFontWidths(const TrpPDFFontInfo* Info) : info_(Info) {}
    void Write(TStream* Stream, int ObjectNumber) override;
    const std::string& Body() const { return body_; }

private:
    const TrpPDFFontInfo* info_;
    std::string body_;
};

class TrpPDFXref;

class TrpPDFFontManager {
public:
    bool Exists(const std::string& PDFName) const;
    // Adds the font (and for TrueType its descriptor and widths) to the
    // table when new; returns its resource name.
    std::string Register(TrpPDFXref* Xref, const TFont& Font);
    int Count() const { return static_cast<int>(fonts_.size()); }
    TrpPDFFont* Fonts(int Index) const { return fonts_[Index]; }
    // Bodies of every font, each followed by its descriptor and widths.
    void WriteBodies(TStream* Stream);

private:
    std::vector<TrpPDFFont*> fonts_;
    std::vector<TrpPDFFontDescriptor*> descriptors_;
    std::vector<TrpPDFFontWidths*> widths_;
};

// An image XObject: the picture's samples, deflated, rendered when added.
class TrpPDFXObject : public TrpPDFObject {
public:
    TrpPDFXObject(TrpDrawImage* Command, TrpCompressionLevel Level, bool ScaleImages)
        : command_(Command), level_(Level), scaleImages_(ScaleImages) {}
    void Write(TStream* Stream, int ObjectNumber) override;
    // Waits for the worker deflating the samples, if one is.
    const std::string& Body() const;
    // Where the samples are deflated (nullptr: at once, in Write).
    rpworkers::WorkerPool* Workers = nullptr;

    // The samples of an image as this system stores them: 1-bit rows with
    // 0 = black, or RGB rows; transparent pixels over white.
    static std::string Samples(const QImage& Image, bool OneBit);

private:
    TrpDrawImage* command_;
    TrpCompressionLevel level_;
    bool scaleImages_;
    std::string body_;
    mutable std::future<void> deflated_;
};

struct TrpPDFImage {
    bool IsNew = false;
    std::string Name;
    int PageCounter = 0;
    int ObjectNumber = 0;
};

class TrpPDFImageManager {
public:
    void Add(const TrpPDFImage& Image) { images_.push_back(Image); }
    int Count() const { return static_cast<int>(images_.size()); }
    const TrpPDFImage& Images(int Index) const { return images_[Index]; }
    bool Exists(const std::string& Name) const { return NumberOf(Name) != 0; }
    int NumberOf(const std::string& Name) const;

private:
    std::vector<TrpPDFImage> images_;
};

// The object table: every object in numbering order, with the managers of
// the shared objects. Made afresh for each job.
class TrpPDFXref {
public:
    explicit TrpPDFXref(TStream* Stream) : stream_(Stream) {}
    // Numbers the object (its position, from 1) and lets it write.
    void Add(std::unique_ptr<TrpPDFObject> Object);
    template <typename T>
    T* AddNew(std::unique_ptr<T> Object) {
        T* p = Object.get();
        Add(std::move(Object));
        return p;
    }
    // Numbers the object now and leaves its writing to the caller, who
    // calls Write(Stream(), ReservedNumber()) when its body is ready.
    template <typename T>
    T* Reserve(std::unique_ptr<T> Object) {
        T* p = Object.get();
        p->SetReservedNumber(Count() + 1);
        objects_.push_back(std::move(Object));
        return p;
    }
    int Count() const { return static_cast<int>(objects_.size()); }
    TrpPDFObject* Objects(int Index) const { return objects_[Index].get(); }
    TStream* Stream() const { return stream_; }
    TrpPDFFontManager& FontManager() { return fonts_; }
    TrpPDFImageManager& ImageManager() { return images_; }
    std::vector<TrpPDFXObject*>& XObjects() { return xobjects_; }
    int PageCounter = 0;
    // The job's deflating workers, for the images (nullptr: none).
    rpworkers::WorkerPool* Workers = nullptr;
    // "xref" table and trailer; StartXref is the current position.
    void WriteXrefAndTrailer(int InfoNumber, int RootNumber);

private:
    TStream* stream_;
    std::vector<std::unique_ptr<TrpPDFObject>> objects_;
    std::vector<TrpPDFXObject*> xobjects_;
    TrpPDFFontManager fonts_;
    TrpPDFImageManager images_;
};
