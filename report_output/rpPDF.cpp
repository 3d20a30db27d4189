#include "report_output/rpPDF.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include <QImage>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/FontEngine.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpUnits.h"
#include "report/rpUtils.h"
#include "report_output/rpZlibStream.h"

namespace {

constexpr std::string_view CRLF = "\r\n";

void Put(std::string& Out, std::string_view Line) {
    Out += Line;
    Out += CRLF;
}

std::string Padded9(int64_t Value) {
    std::string s = std::to_string(Value);
    if (s.size() < 9) s.append(9 - s.size(), ' ');
    return s;
}

// PDFDocEncoding's bytes 0x80..0xA0 that differ from Latin-1.
constexpr char32_t kDocHigh[] = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A, 0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02, 0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, 0,      0x20AC};

// The PDFDocEncoding byte of a character; -1 when it has none.
int DocByte(char32_t C) {
    if (C >= 0x20 && C < 0x7F) return static_cast<int>(C);
    if (C == '\t' || C == '\n' || C == '\r') return static_cast<int>(C);
    if (C >= 0xA1 && C <= 0xFF && C != 0xAD) return static_cast<int>(C);
    for (int i = 0; i < 33; ++i)
        if (kDocHigh[i] != 0 && kDocHigh[i] == C) return 0x80 + i;
    return -1;
}

void EscapeInto(std::string& Out, unsigned char B) {
    if (B == '(' || B == ')' || B == '\\') Out += '\\';
    Out += static_cast<char>(B);
}

}  // namespace

// ---------------------------------------------------------------------------
// Utilities

std::string TrpPDFUtils::FormatNumber(double Value) {
    std::string s;
    AppendNumber(s, Value);
    return s;
}

void TrpPDFUtils::AppendNumber(std::string& Out, double Value) {
    if (!std::isfinite(Value)) Value = 0;
    char buf[400];
    char* end;
    // Pages put millions of numbers through here. In the usual range the
    // value in hundred-thousandths rounds to the same integer as its exact
    // decimal expansion unless it lies next to a half (the product is off
    // by far less than 0.01 there); only those few take std::to_chars.
    const double scaled = Value * 100000.0;
    const double whole = std::nearbyint(scaled);
    if (std::abs(scaled) < 1e12 && std::abs(scaled - whole) < 0.49) {
        auto n = static_cast<int64_t>(whole);
        if (n == 0) {
            Out += "0.0";
            return;
        }
        char* p = buf + sizeof buf;
        const bool negative = n < 0;
        if (negative) n = -n;
        int64_t fraction = n % 100000;
        int64_t integer = n / 100000;
        int digits = 5;
        while (digits > 1 && fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        for (int i = 0; i < digits; ++i) {
            *--p = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        *--p = '.';
        do {
            *--p = static_cast<char>('0' + integer % 10);
            integer /= 10;
        } while (integer != 0);
        if (negative) *--p = '-';
        Out.append(p, buf + sizeof buf);
        return;
    }
    end = std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed, 5).ptr;
    while (end - buf > 2 && end[-1] == '0' && end[-2] != '.') --end;
    if (std::string_view(buf, static_cast<size_t>(end - buf)) == "-0.0") Out += "0.0";
    else Out.append(buf, end);
}

int TrpPDFUtils::MMToScreenPixels(double Value) {
    return static_cast<int>(std::lround(Value * 0.0000393701 * rpScreenPixelsPerInch()));
}

std::string TrpPDFUtils::ColorToPDF(TColor Color) {
    std::string s;
    AppendColor(s, Color);
    return s;
}

void TrpPDFUtils::AppendColor(std::string& Out, TColor Color) {
    // A channel's text depends on its byte alone.
    static const std::array<std::string, 256> channels = [] {
        std::array<std::string, 256> t;
        for (unsigned v = 0; v < 256; ++v) t[v] = FormatNumber(std::round(v / 255.0 * 1000) / 1000);
        return t;
    }();
    const std::uint32_t rgb = gfx::ColorToRGB(Color);
    Out += channels[(rgb >> 16) & 0xFF];
    Out += ' ';
    Out += channels[(rgb >> 8) & 0xFF];
    Out += ' ';
    Out += channels[rgb & 0xFF];
}

std::string TrpPDFUtils::EscapeText(std::string_view Text) {
    std::string out;
    AppendEscaped(out, Text);
    return out;
}

void TrpPDFUtils::AppendEscaped(std::string& Out, std::string_view Text) {
    bool ascii = true;
    for (char c : Text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        for (char c : Text) EscapeInto(Out, static_cast<unsigned char>(c));
        return;
    }
    for (unsigned char b : Utf8ToCp1252(Text)) EscapeInto(Out, b);
}

std::string TrpPDFUtils::InfoString(std::string_view Text) {
    std::string doc;
    bool fits = true;
    for (size_t pos = 0; pos < Text.size() && fits;) {
        const int b = DocByte(utf8::Next(Text, pos));
        if (b < 0) fits = false;
        else EscapeInto(doc, static_cast<unsigned char>(b));
    }
    if (fits) return "(" + doc + ")";
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "<FEFF";
    auto unit = [&](unsigned u) {
        for (int shift = 12; shift >= 0; shift -= 4) out += hex[(u >> shift) & 0xF];
    };
    for (size_t pos = 0; pos < Text.size();) {
        char32_t c = utf8::Next(Text, pos);
        if (c >= 0x10000) {
            c -= 0x10000;
            unit(0xD800 + (c >> 10));
            unit(0xDC00 + (c & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out + ">";
}

std::string TrpPDFUtils::EscapeName(std::string_view Name) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : Name) {
        if (b < 0x21 || b > 0x7E || std::strchr("()<>[]{}/%#", b) != nullptr) {
            out += '#';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
}

std::string TrpPDFUtils::PenStyleToDash(int Style) {
    switch (Style) {
        case 0: return "[] 0 d";
        case 1: return "[ 10 4 ] 0 d";
        case 2: return "[ 2 2 ] 0 d";
        case 3: return "[ 8 3 2 3 ] 0 d";
        case 4: return "[ 8 3 2 2 2 3 ] 0 d";
        default: return "";
    }
}

void TrpPDFUtils::WriteLine(TStream* Stream, std::string_view Text) {
    std::string s(Text);
    s += CRLF;
    Stream->WriteBytes(s);
}

void TrpPDFUtils::WriteText(TStream* Stream, std::string_view Text) { Stream->WriteBytes(Text); }

void TrpPDFUtils::Compress(TMemoryStream* Stream, TrpCompressionLevel Level) {
    // Deflated aside and copied back: the deflated bytes are the fewer.
    TMemoryStream packed;
    packed.SetCapacity(Stream->Size() / 2 + 64);
    TrpCompressionStream z(Level, &packed);
    z.WriteBuffer(Stream->Memory(), Stream->Size());
    z.Finish();
    // Emptied but not shrunk: the writer reuses its page buffers.
    Stream->SetSize(0);
    Stream->WriteBuffer(packed.Memory(), packed.Size());
}

// The report library's clock, like every date a report prints: a pinned
// clock makes the same report the same file.
std::string TrpPDFUtils::CreationDate() { return FormatDateTime("yyyymmddhhnnss", rpNow()); }

// ---------------------------------------------------------------------------
// Output

TrpPDFOutput::TrpPDFOutput(TStream* Target) : target_(Target) { buffer_.reserve(1 << 20); }

TrpPDFOutput::~TrpPDFOutput() = default;

int64_t TrpPDFOutput::Read(void*, int64_t) { throw EReadError("Stream read error"); }

int64_t TrpPDFOutput::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0) return 0;
    buffer_.append(static_cast<const char*>(Buffer), static_cast<size_t>(Count));
    if (buffer_.size() >= (1u << 20)) Flush();
    return Count;
}

int64_t TrpPDFOutput::Seek(int64_t Offset, TSeekOrigin Origin) {
    const int64_t position = written_ + static_cast<int64_t>(buffer_.size());
    if (Offset == 0 && (Origin == soCurrent || Origin == soEnd)) return position;
    if (Origin == soBeginning && Offset == position) return position;
    throw EWriteError("Stream write error");
}

void TrpPDFOutput::Flush() {
    if (buffer_.empty()) return;
    target_->WriteBuffer(buffer_.data(), static_cast<int64_t>(buffer_.size()));
    written_ += static_cast<int64_t>(buffer_.size());
    buffer_.clear();
}

// ---------------------------------------------------------------------------
// Objects

void TrpPDFObject::Write(TStream* Stream, int ObjectNumber) {
    stream_ = Stream;
    offset_ = Stream->Position();
    objectNumber_ = ObjectNumber;
}

std::string TrpPDFObject::ObjLine() const { return std::to_string(objectNumber_) + " 0 obj"; }

void TrpPDFProcSet::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string s;
    Put(s, ObjLine());
    Put(s, "[/PDF /Text /ImageB /ImageC]");
    Put(s, "endobj");
    Stream->WriteBytes(s);
}

void TrpPDFGState::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string s;
    Put(s, ObjLine());
    Put(s, "<< /Type /ExtGState");
    Put(s, "/SA true");
    Put(s, ">>");
    Put(s, "endobj");
    Stream->WriteBytes(s);
}

void TrpPDFInfo::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string s;
    Put(s, ObjLine());
    Put(s, "<< /Creator (Tessary)");
    Put(s, "/CreationDate (D:" + TrpPDFUtils::CreationDate() + ")");
    Put(s, "/Title " + TrpPDFUtils::InfoString(Title));
    Put(s, "/Author " + TrpPDFUtils::InfoString(Author));
    Put(s, "/Producer (Tessary)");
    Put(s, "/Keywords " + TrpPDFUtils::InfoString(Keywords));
    Put(s, "/Subject " + TrpPDFUtils::InfoString(Subject) + " >>");
    Put(s, "endobj");
    Stream->WriteBytes(s);
}

void TrpPDFCatalog::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string s;
    Put(s, ObjLine());
    Put(s, "<< /Type /Catalog");
    Put(s, "/Pages " + std::to_string(ObjectNumber + 1) + " 0 R");
    Put(s, ">>");
    Put(s, "endobj");
    Stream->WriteBytes(s);
}

void TrpPDFPageTree::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string s;
    Put(s, ObjLine());
    Put(s, "<< /Type /Pages");
    Put(s, "/Kids[");
    buffer_.WriteBytes(s);
}

void TrpPDFPageTree::AddKid(int ObjectNumber) {
    ++kids_;
    TrpPDFUtils::WriteLine(&buffer_, std::to_string(ObjectNumber) + " 0 R");
}

void TrpPDFPageTree::Finish() {
    std::string s;
    Put(s, "]");
    Put(s, "/Count " + std::to_string(kids_));
    Put(s, ">>");
    Put(s, "endobj");
    buffer_.WriteBytes(s);
    SetOffset(Stream()->Position());
    Stream()->WriteBuffer(buffer_.Memory(), buffer_.Size());
}

int64_t TrpPDFContentBuffer::Write(const void* Buffer, int64_t Count) {
    if (Count <= 0 || position_ != Size()) return TMemoryStream::Write(Buffer, Count);
    const auto* bytes = static_cast<const uint8_t*>(Buffer);
    data_.insert(data_.end(), bytes, bytes + Count);
    position_ += Count;
    return Count;
}

void TrpPDFContent::Compress() {
    if (compressed_) return;
    TrpPDFUtils::Compress(buffer_, level_);
    compressed_ = true;
}

void TrpPDFContent::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    // Deflated before the head is written: the length is then known and
    // the file needs no patching.
    Compress();
    std::string s;
    Put(s, ObjLine());
    Put(s, "<< /Length " + Padded9(buffer_->Size()));
    Put(s, "/Filter /FlateDecode");
    Put(s, ">>");
    Put(s, "stream");
    Stream->WriteBytes(s);
    Stream->WriteBuffer(buffer_->Memory(), buffer_->Size());
    s.clear();
    Put(s, "");
    Put(s, "endstream");
    Put(s, "endobj");
    Stream->WriteBytes(s);
}

void TrpPDFPage::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string s;
    Put(s, ObjLine());
    Put(s, "<< /Type /Page");
    Put(s, "/Parent " + std::to_string(Parent) + " 0 R");
    Put(s, "/MediaBox [0 0 " + std::to_string(PageWidth) + " " + TrpPDFUtils::FormatNumber(PageHeight) + "]");
    Put(s, "/Resources <<");
    Put(s, "/XObject <<");
    for (const auto& x : XObjects) Put(s, x);
    Put(s, ">>");
    Put(s, "/Font <<");
    for (const auto& f : Fonts) Put(s, f);
    Put(s, ">>");
    Put(s, "/ProcSet " + std::to_string(ProcSet) + " 0 R");
    Put(s, "/ExtGState << /GS1 " + std::to_string(ExtGState) + " 0 R >>");
    Put(s, ">>");
    Put(s, "/Contents " + std::to_string(Contents) + " 0 R");
    Put(s, ">>");
    Put(s, "endobj");
    Stream->WriteBytes(s);
}

// ---------------------------------------------------------------------------
// Fonts

namespace {

// The screen-only faces of the original platform: raster fonts there,
// never TrueType.
bool IsRasterFace(const std::string& Name) {
    static const char* const raster[] = {"Courier", "MS Serif", "Fixedsys", "Modern", "MS Sans Serif",
                                         "Small Fonts", "System", "Terminal"};
    for (const char* r : raster)
        if (Name == r) return true;
    return false;
}

// The metric-compatible face installed for a Windows face.
std::string MetricTwin(const std::string& Name) {
    const std::string upper = AnsiUpperCase(Name);
    if (upper == "ARIAL") return "LIBERATION SANS";
    if (upper == "TIMES NEW ROMAN") return "LIBERATION SERIF";
    if (upper == "COURIER NEW") return "LIBERATION MONO";
    return upper;
}

std::string StyleSuffix(bool Bold, bool Italic, const char* Both, const char* B, const char* I) {
    if (Bold && Italic) return Both;
    if (Bold) return B;
    if (Italic) return I;
    return "";
}

}  // namespace

std::string rpPDFFontName(const TFont& Font, bool TrueType) {
    const bool bold = Font.Style().Contains(fsBold);
    const bool italic = Font.Style().Contains(fsItalic);
    const std::string upper = AnsiUpperCase(Font.Name());
    if (TrueType) {
        std::string name;
        for (char c : Font.Name())
            if (c != ' ') name += c;
        const std::string u = AnsiUpperCase(name);
        if (u == "TIMESNEWROMAN") name = "TimesNewRoman";
        if (u == "ARIAL") name = "Arial";
        return name + StyleSuffix(bold, italic, ",BoldItalic", ",Bold", ",Italic");
    }
    std::string name = "Times-Roman";
    bool matched = false;
    if (upper.find("COURIER") != std::string::npos) {
        name = "Courier" + StyleSuffix(bold, italic, "-BoldOblique", "-Bold", "-Oblique");
        matched = true;
    }
    if (upper.find("WINGDINGS") != std::string::npos) {
        name = "ZapfDingbats";
        matched = true;
    }
    if (upper.find("ARIAL") != std::string::npos) {
        name = "Helvetica" + StyleSuffix(bold, italic, "-BoldOblique", "-Bold", "-Oblique");
        matched = true;
    }
    if (upper.find("TIMES") != std::string::npos || !matched)
        name = "Times" + StyleSuffix(bold, italic, "-BoldItalic", "-Bold", "-Italic");
    if (name == "Times") name = "Times-Roman";
    return name;
}

TrpPDFFontInfo rpPDFFontInfo(const TFont& Font) {
    TrpPDFFontInfo info;
    const bool bold = Font.Style().Contains(fsBold);
    info.Italic = Font.Style().Contains(fsItalic);
    const gfx::ResolvedFace rf = gfx::ResolveFace(Font.Name(), bold, info.Italic);
    const gfx::FaceMetrics& m = rf.Face->Metrics();
    const std::string family = AnsiUpperCase(rf.Face->FamilyName());
    info.TrueType = m.TrueType && !IsRasterFace(Font.Name()) &&
                    (family == AnsiUpperCase(Font.Name()) || family == MetricTwin(Font.Name()));
    info.PDFName = TrpPDFUtils::EscapeName(rpPDFFontName(Font, info.TrueType));
    info.FixedPitch = m.FixedPitch;
    info.Serif = family.find("SERIF") != std::string::npos ? family.find("SANS") == std::string::npos
                                                           : family.find("TIMES") != std::string::npos;
    info.Symbolic = !rf.Face->HasGlyph(U'A');
    TReferenceCanvas canvas;
    canvas.SetFont(Font);
    TTextMetric tm;
    canvas.GetTextMetrics(tm);
    const gfx::FontMetricsF fm = canvas.ExactTextMetrics();
    auto pts = [](double px) { return TrpPDFUtils::PixelsToPoints(px, gfx::kReferencePixelsPerInch); };
    info.Ascent = pts(fm.Ascent);
    info.Descent = pts(fm.Descent);
    info.MaxCharWidth = pts(fm.MaxCharWidth);
    info.FirstChar = static_cast<int>(tm.tmFirstChar);
    info.LastChar = static_cast<int>(tm.tmLastChar);
    if (info.LastChar > 255) info.LastChar = 255;
    if (info.FirstChar > info.LastChar) info.FirstChar = info.LastChar;
    if (info.TrueType) {
        const double em = m.UnitsPerEm > 0 ? m.UnitsPerEm : 1000;
        for (int c = info.FirstChar; c <= info.LastChar; ++c)
            info.Widths.push_back(rf.Face->Advance(utf8::Cp1252Char(static_cast<unsigned char>(c))) * 1000.0 / em);
    }
    return info;
}

void TrpPDFFont::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string& s = body_;
    Put(s, ObjLine());
    Put(s, "<< /Type /Font");
    Put(s, info_.TrueType ? "/Subtype /TrueType" : "/Subtype /Type1");
    Put(s, "/Name /" + info_.PDFName);
    Put(s, "/BaseFont /" + info_.PDFName);
    if (info_.TrueType) {
        Put(s, "/FirstChar " + std::to_string(info_.FirstChar));
        Put(s, "/LastChar " + std::to_string(info_.LastChar));
        Put(s, "/FontDescriptor " + std::to_string(ObjectNumber + 1) + " 0 R");
        Put(s, "/Widths " + std::to_string(ObjectNumber + 2) + " 0 R");
    }
    Put(s, "/Encoding /WinAnsiEncoding");
    Put(s, ">>");
    Put(s, "endobj");
}

int TrpPDFFontDescriptor::Flags(const TrpPDFFontInfo& Info) {
    int flags = 0;
    if (Info.FixedPitch) flags += 1;
    if (Info.Serif) flags += 2;
    flags += Info.Symbolic ? 4 : 32;
    if (Info.Italic) flags += 64;
    return flags;
}

void TrpPDFFontDescriptor::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    using U = TrpPDFUtils;
    std::string& s = body_;
    const std::string ascent = U::FormatNumber(info_->Ascent);
    const std::string descent = U::FormatNumber(info_->Descent);
    Put(s, ObjLine());
    Put(s, "<< /Type /FontDescriptor");
    Put(s, "/FontName /" + info_->PDFName);
    Put(s, "/Ascent " + ascent);
    Put(s, "/CapHeight " + ascent);
    Put(s, "/Descent " + descent);
    Put(s, "/Flags " + std::to_string(Flags(*info_)));
    Put(s, "/FontBBox [ -250.0 " + descent + " " + U::FormatNumber(info_->MaxCharWidth) + " " + ascent + " ]");
    Put(s, "/ItalicAngle 0");
    Put(s, "/StemV 0");
    Put(s, ">>");
    Put(s, "endobj");
}

void TrpPDFFontWidths::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    std::string& s = body_;
    Put(s, ObjLine());
    Put(s, "[");
    std::string line;
    for (double w : info_->Widths) {
        line += TrpPDFUtils::FormatNumber(w) + " ";
        if (line.size() > 90) {
            Put(s, line);
            line.clear();
        }
    }
    if (!line.empty()) Put(s, line);
    Put(s, "]");
    Put(s, "endobj");
}

bool TrpPDFFontManager::Exists(const std::string& PDFName) const {
    for (auto* f : fonts_)
        if (f->Info().PDFName == PDFName) return true;
    return false;
}

std::string TrpPDFFontManager::Register(TrpPDFXref* Xref, const TFont& Font) {
    // Most texts repeat the font of the one before: look that up first.
    const bool bold = Font.Style().Contains(fsBold);
    const bool italic = Font.Style().Contains(fsItalic);
    for (auto* f : fonts_)
        if (f->Info().Italic == italic && f->Key == Font.Name() + (bold ? "|b" : "|r")) return f->Info().PDFName;
    TrpPDFFontInfo info = rpPDFFontInfo(Font);
    for (auto* f : fonts_)
        if (f->Info().PDFName == info.PDFName) return info.PDFName;
    const bool trueType = info.TrueType;
    auto font = std::make_unique<TrpPDFFont>(std::move(info));
    font->Key = Font.Name() + (bold ? "|b" : "|r");
    TrpPDFFont* f = Xref->AddNew(std::move(font));
    fonts_.push_back(f);
    if (trueType) {
        descriptors_.push_back(Xref->AddNew(std::make_unique<TrpPDFFontDescriptor>(&f->Info())));
        widths_.push_back(Xref->AddNew(std::make_unique<TrpPDFFontWidths>(&f->Info())));
    }
    return f->Info().PDFName;
}

void TrpPDFFontManager::WriteBodies(TStream* Stream) {
    size_t tt = 0;
    for (auto* f : fonts_) {
        f->SetOffset(Stream->Position());
        Stream->WriteBytes(f->Body());
        if (f->Info().TrueType && tt < descriptors_.size()) {
            descriptors_[tt]->SetOffset(Stream->Position());
            Stream->WriteBytes(descriptors_[tt]->Body());
            widths_[tt]->SetOffset(Stream->Position());
            Stream->WriteBytes(widths_[tt]->Body());
            ++tt;
        }
    }
}

// ---------------------------------------------------------------------------
// Images

int TrpPDFImageManager::NumberOf(const std::string& Name) const {
    for (auto it = images_.rbegin(); it != images_.rend(); ++it)
        if (it->Name == Name) return it->ObjectNumber;
    return 0;
}

std::string TrpPDFXObject::Samples(const QImage& Image, bool OneBit) {
    const QImage img = Image.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    std::string out;
    if (OneBit) {
        const int rowBytes = (w + 7) / 8;
        out.assign(static_cast<size_t>(rowBytes) * h, '\0');
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            auto* dst = reinterpret_cast<unsigned char*>(&out[static_cast<size_t>(y) * rowBytes]);
            for (int x = 0; x < w; ++x) {
                const QRgb p = row[x];
                const int a = qAlpha(p);
                const int gray = (qGray(p) * a + 255 * (255 - a)) / 255;
                if (gray >= 128) dst[x >> 3] |= static_cast<unsigned char>(0x80 >> (x & 7));
            }
        }
        return out;
    }
    out.resize(static_cast<size_t>(w) * h * 3);
    size_t k = 0;
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = row[x];
            const int a = qAlpha(p);
            if (a == 255) {
                out[k++] = static_cast<char>(qRed(p));
                out[k++] = static_cast<char>(qGreen(p));
                out[k++] = static_cast<char>(qBlue(p));
            } else {
                out[k++] = static_cast<char>((qRed(p) * a + 255 * (255 - a)) / 255);
                out[k++] = static_cast<char>((qGreen(p) * a + 255 * (255 - a)) / 255);
                out[k++] = static_cast<char>((qBlue(p) * a + 255 * (255 - a)) / 255);
            }
        }
    }
    return out;
}

void TrpPDFXObject::Write(TStream* Stream, int ObjectNumber) {
    TrpPDFObject::Write(Stream, ObjectNumber);
    TGraphic* graphic = command_->Picture()->Graphic();
    QImage image = graphic->Image();
    const auto* bitmap = dynamic_cast<const TBitmap*>(graphic);
    const bool oneBit = bitmap != nullptr && bitmap->Monochrome();
    const int boxW = TrpPDFUtils::MMToScreenPixels(command_->Width());
    const int boxH = TrpPDFUtils::MMToScreenPixels(command_->Height());
    if (scaleImages_ && command_->Stretch() && boxW > 0 && boxH > 0 && (boxW < image.width() || boxH < image.height()))
        image = image.scaled(boxW, boxH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The samples are taken here, while the command and its picture are
    // certain to live; deflating them may go to a worker.
    auto build = [this, samples = Samples(image, oneBit), width = image.width(), height = image.height(), oneBit] {
        TMemoryStream data;
        data.WriteBytes(samples);
        TrpPDFUtils::Compress(&data, level_);
        std::string& s = body_;
        Put(s, ObjLine());
        Put(s, "<< /Type /XObject");
        Put(s, "/Subtype /Image");
        Put(s, "/Width " + std::to_string(width));
        Put(s, "/Height " + std::to_string(height));
        Put(s, "/Filter /FlateDecode");
        Put(s, oneBit ? "/ColorSpace /DeviceGray" : "/ColorSpace /DeviceRGB");
        Put(s, oneBit ? "/BitsPerComponent 1" : "/BitsPerComponent 8");
        Put(s, "/Length " + Padded9(data.Size()));
        Put(s, ">>");
        Put(s, "stream");
        s.append(static_cast<const char*>(data.Memory()), static_cast<size_t>(data.Size()));
        Put(s, "");
        Put(s, "endstream");
        Put(s, "endobj");
    };
    if (Workers != nullptr) deflated_ = Workers->Run(std::move(build));
    else build();
}

const std::string& TrpPDFXObject::Body() const {
    if (deflated_.valid()) deflated_.get();
    return body_;
}

// ---------------------------------------------------------------------------
// Object table

void TrpPDFXref::Add(std::unique_ptr<TrpPDFObject> Object) {
    TrpPDFObject* o = Object.get();
    objects_.push_back(std::move(Object));
    if (auto* x = dynamic_cast<TrpPDFXObject*>(o)) xobjects_.push_back(x);
    o->Write(stream_, Count());
}

void TrpPDFXref::WriteXrefAndTrailer(int InfoNumber, int RootNumber) {
    const int64_t startXref = stream_->Position();
    std::string s;
    Put(s, "xref");
    Put(s, "0 " + std::to_string(Count() + 1));
    Put(s, "0000000000 65535 f");
    char entry[32];
    for (const auto& o : objects_) {
        std::snprintf(entry, sizeof entry, "%010lld 00000 n", static_cast<long long>(o->Offset()));
        Put(s, entry);
    }
    Put(s, "trailer");
    Put(s, "<< /Size " + std::to_string(Count() + 1));
    Put(s, "/Info " + std::to_string(InfoNumber) + " 0 R");
    Put(s, "/Root " + std::to_string(RootNumber) + " 0 R");
    Put(s, ">>");
    Put(s, "startxref");
    Put(s, std::to_string(startXref));
    Put(s, "%%EOF");
    stream_->WriteBytes(s);
}
