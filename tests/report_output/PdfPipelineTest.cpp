// The PDF writer deflates pages on worker threads while later pages render:
// the file must come out the same byte for byte whatever the number of
// workers, and a failed or cancelled job must still leave nothing behind.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <zlib.h>

#include <csignal>

#include <charconv>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <regex>

#include "report/rpTextLayout.h"
#include "report_output/rpPDFDevice.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using filetest::AddText;
using filetest::NewPage;
using Pages = std::vector<std::unique_ptr<TrpPage>>;

void Box(TrpDrawCommand* C, int L, int T, int W, int H) {
    C->SetLeft(L);
    C->SetTop(T);
    C->SetWidth(W);
    C->SetHeight(H);
}

TrpDrawText* Text(TrpPage* P, const std::string& S, int L, int T, int Size, TFontStyles Style = {}) {
    auto* t = AddText(P, S, L, T, 23000, 3800);
    TFont f;
    f.SetName(Style.Contains(fsItalic) ? "Times New Roman" : "Arial");
    f.SetSize(Size);
    f.SetStyle(Style);
    t->SetFont(&f);
    return t;
}

// A listing page with a little of everything the renderers write: a logo,
// zebra rows, rules, cells, a coloured box, a frame, turned and wrapped text.
TrpPage* ListingPage(int No, int Count) {
    TrpPage* p = NewPage(No, No == Count);
    auto* logo = new TrpDrawImage(nullptr);
    logo->Picture()->LoadFromFile(testsupport::DataPath("gfx/pictures/jpeg_base.jpg"));
    logo->SetImageName("logo");
    logo->SetStretch(true);
    Box(logo, 10000, 8000, 30000, 12000);
    p->AddDrawCommand(logo);
    Text(p, "Relatório de Notas – (ção) € \\ Müller", 50000, 10000, 10, {fsBold});
    for (int r = 0; r < 12; ++r) {
        const int top = 30000 + r * 4000;
        if (r % 2 == 0) {
            auto* zebra = new TrpDrawShape(nullptr);
            Box(zebra, 10000, top, 190000, 4000);
            zebra->Pen()->SetStyle(psClear);
            zebra->Brush()->SetColor(static_cast<TColor>(0xEEEEEE));
            p->AddDrawCommand(zebra);
        }
        for (int c = 0; c < 4; ++c)
            Text(p, c == 0 ? std::to_string(No * 100 + r) : "Valor " + std::to_string((No * 31 + r * 7 + c) % 997) + ",05",
                 10000 + c * 24000, top, 8, r == 3 && c == 1 ? TFontStyles{fsItalic, fsUnderline} : TFontStyles{});
        auto* rule = new TrpDrawLine(nullptr);
        Box(rule, 10000, top + 3900, 190000, 100);
        rule->SetLinePosition(lpBottom);
        rule->SetWeight(0.5f);
        p->AddDrawCommand(rule);
    }
    auto* boxed = Text(p, "Total", 110000, 90000, 9);
    boxed->SetTransparent(false);
    boxed->SetColor(static_cast<TColor>(0x80FFFF));
    boxed->SetAlignment(taRightJustify);
    boxed->Border()->SetVisible(true);
    boxed->Border()->SetBorderPositions({bpLeft, bpTop, bpBottom});
    Text(p, "Turned", 150000, 100000, 8)->SetAngle(270);
    auto* memo = Text(p, "", 10000, 100000, 9);
    memo->SetWordWrap(true);
    memo->SetTextAlignment(taFullJustified);
    memo->WrappedText()->Add("um dois tres quatro");
    memo->WrappedText()->Add("cinco\tseis");
    Text(p, "Página " + std::to_string(No) + " de " + std::to_string(Count), 150000, 280000, 8);
    return p;
}

Pages Listing(int Count) {
    Pages pages;
    for (int i = 1; i <= Count; ++i) pages.emplace_back(ListingPage(i, Count));
    return pages;
}

// The file with its creation date (the one thing that differs between runs)
// blanked out.
std::string WithoutDate(std::string Pdf) {
    return std::regex_replace(Pdf, std::regex("/CreationDate \\(D:[0-9]+\\)"), "/CreationDate (D:)");
}

std::string Job(TrpPDFDevice& Device, const std::string& File, const Pages& P) {
    Device.SetFileName(File);
    Device.StartJob();
    for (const auto& p : P) Device.ReceivePage(p.get());
    Device.EndJob();
    return WithoutDate(testsupport::ReadAll(File));
}

std::string Write(const std::string& File, const Pages& P, int Workers, TrpCompressionLevel Level) {
    TrpPDFDevice device(nullptr);
    device.SetCompressionThreads(Workers);
    device.PDFSettings()->SetCompressionLevel(Level);
    return Job(device, File, P);
}

// Every deflated content stream inflated in place; lengths and the cross-reference
// offsets, which follow from the deflated sizes, blanked.
std::string Expanded(const std::string& Pdf) {
    std::string out;
    size_t pos = 0;
    for (size_t s; (s = Pdf.find("stream\r\n", pos)) != std::string::npos;) {
        if (s > 0 && Pdf[s - 1] == 'd') {  // "endstream"
            out.append(Pdf, pos, s + 8 - pos);
            pos = s + 8;
            continue;
        }
        const size_t data = s + 8;
        const size_t end = Pdf.find("\r\nendstream", data);
        out.append(Pdf, pos, data - pos);
        // Pictures' samples come from the image decoder, not from us.
        const size_t image = Pdf.rfind("/Subtype /Image", s);
        if (image != std::string::npos && image > Pdf.rfind(" 0 obj", s)) {
            out += "samples";
            pos = end;
            continue;
        }
        std::string plain(1 << 20, '\0');
        uLongf size = plain.size();
        if (uncompress(reinterpret_cast<Bytef*>(plain.data()), &size, reinterpret_cast<const Bytef*>(Pdf.data() + data),
                       end - data) != Z_OK)
            return "stream at " + std::to_string(data) + " does not inflate";
        out.append(plain, 0, size);
        pos = end;
    }
    out.append(Pdf, pos, std::string::npos);
    out = std::regex_replace(out, std::regex("/Length [0-9]+ *"), "/Length");
    return std::regex_replace(out, std::regex("[0-9]{10} 00000 n|startxref\r\n[0-9]+"), "#");
}

}  // namespace

// Numbers take a short cut past std::to_chars; the text must not change,
// halves (which round to even) and values next to them included.
TEST(PdfPipeline, NumbersAreWrittenAsToCharsWritesThem) {
    auto reference = [](double v) {
        if (!std::isfinite(v)) return std::string("0.0");
        char buf[400];
        std::string s(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 5).ptr);
        while (s.size() > 2 && s.back() == '0' && s[s.size() - 2] != '.') s.pop_back();
        return s == "-0.0" ? std::string("0.0") : s;
    };
    std::vector<double> values = {0.0, -0.0, 1e-6, -4e-6, 5e-6, 0.015625, -0.015625, 2.000005, 0.000015,
                                  1.5e-5, 841.8902184, 1e7 + 0.000005, 9999999.999995, 1e12, -3e15, 1e300,
                                  std::nextafter(0.125e-4, 1.0), std::nextafter(0.125e-4, 0.0)};
    std::mt19937_64 random(31);
    std::uniform_real_distribution<double> page(-1000, 1000);
    std::uniform_int_distribution<int64_t> steps(-(int64_t{1} << 40), int64_t{1} << 40);
    for (int i = 0; i < 20000; ++i) {
        values.push_back(page(random));
        values.push_back(std::round(page(random) * 100) / 100);
        // Binary fractions: exact halves in the sixth decimal and beyond.
        values.push_back(static_cast<double>(steps(random)) / 1048576.0);
        // Next to decimal halves: x.xxxxx5.
        const double d = static_cast<double>(steps(random) % 10000000000) / 100000.0 + 0.000005;
        values.push_back(std::nextafter(d, 0.0));
        values.push_back(std::nextafter(d, 1e9));
    }
    int wrong = 0;
    for (double v : values)
        if (TrpPDFUtils::FormatNumber(v) != reference(v) && ++wrong < 10)
            ADD_FAILURE() << std::hexfloat << v << ": " << TrpPDFUtils::FormatNumber(v) << " vs " << reference(v);
    EXPECT_EQ(wrong, 0);
}

TEST(PdfPipeline, TheFileIsTheSameWithAnyNumberOfCompressionWorkers) {
    testsupport::TempDir dir;
    const Pages pages = Listing(14);
    for (auto level : {TrpCompressionLevel::clDefault, TrpCompressionLevel::clNone}) {
        const std::string alone = Write(dir.file("alone.pdf"), pages, 0, level);
        EXPECT_EQ(filetest::Shell("qpdf --check " + dir.file("alone.pdf")).Status, 0);
        for (int workers : {1, 3, 8}) {
            const std::string shared = Write(dir.file("shared.pdf"), pages, workers, level);
            EXPECT_TRUE(shared == alone) << workers << " workers, level " << static_cast<int>(level);
        }
    }
}

// The page's operators as they were written before the pipeline and the
// faster number and line writing: the Parts fix these bytes.
TEST(PdfPipeline, ContentStreamsKeepTheirBytes) {
    testsupport::TempDir dir;
    const std::string expanded = Expanded(Write(dir.file("two.pdf"), Listing(2), 2, TrpCompressionLevel::clDefault));
    const std::string golden = testsupport::ReadAll(testsupport::DataPath("report_output/pdf_listing.txt"));
    const std::string kept = (std::filesystem::temp_directory_path() / "pdf_listing.actual.txt").string();
    if (expanded != golden) testsupport::WriteAll(kept, expanded);
    EXPECT_TRUE(expanded == golden) << "differs from tests/data/report_output/pdf_listing.txt, see " << kept;
}

namespace {

// A file system that lets no file grow past a size (a full disk, as the
// writer sees it) while the object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t Bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = Bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }

private:
    rlimit old_{};
    void (*handler_)(int) = nullptr;
};

}  // namespace

TEST(PdfPipeline, FailedAndCancelledJobsStopTheWorkersAndLeaveNoFile) {
    testsupport::TempDir dir;
    const Pages pages = Listing(100);
    {
        // Undeflated, a hundred pages fill the writer's 1 MiB buffer before
        // the end: the disk is full while later pages are being deflated.
        FileSizeLimit full(40000);
        TrpPDFDevice device(nullptr);
        device.SetCompressionThreads(4);
        device.PDFSettings()->SetCompressionLevel(TrpCompressionLevel::clNone);
        device.SetFileName(dir.file("full.pdf"));
        device.StartJob();
        EXPECT_THROW(
            {
                for (const auto& p : pages) device.ReceivePage(p.get());
                device.EndJob();
            },
            EWriteError);
        EXPECT_FALSE(device.Busy());
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("full.pdf")));

    TrpPDFDevice device(nullptr);
    device.SetCompressionThreads(4);
    device.SetFileName(dir.file("cancel.pdf"));
    device.StartJob();
    for (int i = 0; i < 10; ++i) device.ReceivePage(pages[i].get());
    device.CancelJob();
    EXPECT_FALSE(device.Busy());
    EXPECT_FALSE(std::filesystem::exists(dir.file("cancel.pdf")));
    // The device takes the next job as usual.
    Job(device, dir.file("after.pdf"), Listing(3));
    EXPECT_EQ(filetest::Shell("qpdf --check " + dir.file("after.pdf")).Status, 0);
}
