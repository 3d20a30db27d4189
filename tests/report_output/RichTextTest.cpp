// Rich text: our RTF reader against unrtf's reading of a corpus, writer and
// reader round trips, hostile input, pagination over pages, mail merge and
// drawing at two resolutions.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

#include <QBuffer>
#include <QImage>
#include <QTextImageFormat>
#include <QUrl>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>

#include "memtable/mtMemTable.h"
#include "platform/db/DB.h"
#include "platform/gfx/Pictures.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"
#include "report/rpBands.h"
#include "report/rpDBPipeline.h"
#include "report/rpMemo.h"
#include "report_output/rpRTF.h"
#include "report_output/rpRichText.h"
#include "report_output/rpRichTextRTTI.h"
#include "report_output/rpPrinterDevice.h"
#include "report_output/rpScreenDevice.h"
#include "tests/report_output/PrinterTestSupport.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/support/Mutate.h"
#include "tests/support/report/ReportHarness.h"

namespace {

namespace fs = std::filesystem;
using reporttest::ReportRig;
using reporttest::RowsTable;

const fs::path kCorpus = fs::path(FAT_TEST_DATA_DIR) / "report_output" / "rtf";

std::string Collapse(const std::string& text) {
    std::string out;
    bool blank = false;
    for (char c : text) {
        const bool space = c == ' ' || c == '\t' || c == '\r' || c == '\n';
        if (space) {
            blank = !out.empty();
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// unrtf's text: its banner and rule left out, its picture notes dropped,
// read as code page 1252.
std::string UnrtfText(const fs::path& file) {
    std::string raw = fileio::ReadFileBytes(file.string());
    size_t rule = raw.find("-----------------\n");
    if (rule != std::string::npos) raw = raw.substr(rule + 18);
    for (size_t at; (at = raw.find("### ")) != std::string::npos;) {
        size_t end = raw.find('\n', at);
        raw.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
    }
    return Collapse(Cp1252ToUtf8(raw));
}

std::vector<fs::path> CorpusFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(kCorpus))
        if (e.path().extension() == ".rtf") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string ReadText(const std::string& rtfText) {
    QTextDocument doc;
    rtf::Read(rtfText, doc);
    return rtf::PlainText(doc);
}

// One character's look, as the writer must keep it.
std::string Look(const QTextCharFormat& f, Qt::Alignment a) {
    std::ostringstream s;
    s << (f.fontWeight() >= QFont::DemiBold) << f.fontItalic() << f.fontUnderline() << f.fontStrikeOut() << " "
      << f.fontPointSize() << " "
      << (f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name().toStdString() : "auto") << " "
      << (f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color().name().toStdString() : "none") << " "
      << static_cast<int>(a & Qt::AlignHorizontal_Mask);
    return s.str();
}

std::vector<std::string> Looks(const QTextDocument& doc) {
    std::vector<std::string> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextFragment f = it.fragment();
            for (int i = 0; i < f.length(); ++i) out.push_back(Look(f.charFormat(), b.blockFormat().alignment()));
        }
    return out;
}

TEST(RichTextCorpus, EveryDocumentReadsAsTheIndependentReaderReadsIt) {
    const auto files = CorpusFiles();
    ASSERT_GE(files.size(), 30u);
    for (const fs::path& rtfFile : files) {
        fs::path txt = rtfFile;
        txt.replace_extension(".txt");
        ASSERT_TRUE(fs::exists(txt)) << txt;
        EXPECT_EQ(Collapse(ReadText(fileio::ReadFileBytes(rtfFile.string()))), UnrtfText(txt)) << rtfFile.filename();
    }
}

TEST(RichTextCorpus, WritingAndReadingBackKeepsTextAndLooks) {
    const bool update = std::getenv("UPDATE_GOLDENS") != nullptr;
    for (const fs::path& rtfFile : CorpusFiles()) {
        if (rtfFile.filename().string().rfind("w-", 0) == 0) continue;
        QTextDocument first;
        rtf::Read(fileio::ReadFileBytes(rtfFile.string()), first);
        const std::string written = rtf::Write(first);
        QTextDocument second;
        rtf::Read(written, second);
        EXPECT_EQ(first.toPlainText().toStdString(), second.toPlainText().toStdString()) << rtfFile.filename();
        EXPECT_EQ(Looks(first), Looks(second)) << rtfFile.filename();
        // A few of the writer's own files join the corpus, for unrtf to read.
        const std::string stem = rtfFile.stem().string();
        if (update && (stem == "04-bold-italic" || stem == "06-alignment" || stem == "09-colours" ||
                       stem == "11-tabs" || stem == "29-mixed" || stem == "37-hidden"))
            std::ofstream(kCorpus / ("w-" + stem + ".rtf"), std::ios::binary) << written;
    }
}

TEST(RichTextReader, ReadsWhatTheIndependentReaderDrops) {
    const std::string head = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}";
    const struct {
        const char* Body;
        const char* Text;
    } cases[] = {
        {"\\uc2 Euro \\u8364XY fim", "Euro € fim"},
        {"\\uc1 A\\u-10179?\\u-8704?B", "A😀B"},
        {"\\ldblquote a\\rdblquote  \\lquote b\\rquote  c\\endash d\\emdash e", "“a” ‘b’ c–d—e"},
        {"Ver {\\field{\\*\\fldinst HYPERLINK x}{\\fldrslt p\\'e1gina}} aqui", "Ver página aqui"},
        {"R$\\~10 e n\\'e3o\\_quebra", "R$\u00a010 e não-quebra"},
        {"um\\par dois\\line tr\\'eas", "um\r\ndois\r\ntrês"},
        {"texto {\\*\\desconhecido oculto} fim {\\desconhecido vis\\'edvel}", "texto  fim visível"},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadText(head + c.Body + "}"), c.Text) << c.Body;
}

TEST(RichTextReader, HiddenTextStaysInTheDocumentThroughAReadAndASave) {
    // Which characters are hidden, as the document after a read and after a
    // save read back has them; the text itself is unrtf's (corpus test).
    auto hidden = [](const QTextDocument& Doc) {
        std::string marks;
        for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
            for (auto it = b.begin(); !it.atEnd(); ++it)
                marks += std::string(static_cast<size_t>(it.fragment().length()), rtf::IsHidden(it.fragment().charFormat()) ? 'v' : '.');
            marks += '|';
        }
        return marks;
    };
    const std::string source = fileio::ReadFileBytes((kCorpus / "37-hidden.rtf").string());
    QTextDocument read;
    rtf::Read(source, read);
    // Transcribed from the source: "Antes " shown, "oculto " hidden, ...
    const std::string expected = std::string(6, '.') + std::string(7, 'v') + std::string(9, '.') +
                                 std::string(15, 'v') + "...|" + std::string(21, 'v') + "|" +
                                 std::string(13, 'v') + std::string(8, '.') + "|";
    EXPECT_EQ(hidden(read), expected);
    QTextDocument saved;
    rtf::Read(rtf::Write(read), saved);
    EXPECT_EQ(saved.toPlainText(), read.toPlainText());
    EXPECT_EQ(hidden(saved), expected);
}

TEST(RichTextReader, TakesPicturesAndPlainText) {
    QImage image(4, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const std::string doc = "{\\rtf1{\\pict\\pngblip\\picwgoal120\\pichgoal60 " + png.toHex().toStdString() + "}}";
    QTextDocument d;
    rtf::Read(doc, d);
    QTextImageFormat f = d.begin().begin().fragment().charFormat().toImageFormat();
    ASSERT_TRUE(f.isValid());
    EXPECT_DOUBLE_EQ(f.width(), 6.0);  // 120 twips
    EXPECT_DOUBLE_EQ(f.height(), 3.0);
    EXPECT_EQ(d.resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>().size(), QSize(4, 2));
    // The picture survives the writer.
    QTextDocument again;
    rtf::Read(rtf::Write(d), again);
    EXPECT_TRUE(again.begin().begin().fragment().charFormat().isImageFormat());

    EXPECT_EQ(ReadText("linha 1\r\nlinha 2"), "linha 1\r\nlinha 2");
    EXPECT_EQ(ReadText(std::string("caf\xe9", 4)), "café");  // not UTF-8: code page 1252
}

TEST(RichTextReader, HostileInputEndsInADocument) {
    const std::string deep = "{\\rtf1 " + std::string(200000, '{') + "x" + std::string(10, '}');
    const std::string cases[] = {
        "{\\rtf1 sem fim {\\b aberto",          "{\\rtf1 a}}}}} b}",
        "{\\rtf1 truncado \\'",                 "{\\rtf1 truncado \\'4",
        "{\\rtf1\\fs99999999999999999999 x}",   "{\\rtf1\\li-99999999999 x\\par}",
        "{\\rtf1\\bin999999999 x}",             "{\\rtf1{\\pict\\pngblip 0123456789abcdef}}",
        "{\\rtf1\\u99999999999? x}",            "{\\rtf1\\uc99999 \\u65 abc}",
        deep,                                   "{\\rtf1 " + std::string(5000, '\\'),
    };
    for (const std::string& c : cases) {
        QTextDocument d;
        rtf::Read(c, d);
        EXPECT_GE(d.characterCount(), 1) << c.substr(0, 40);
    }
    QTextDocument d;
    rtf::Read(deep, d);
    EXPECT_EQ(rtf::PlainText(d), "x");
}

TEST(RichTextReader, HundredThousandMutatedDocumentsEachEndInADocument) {
    std::vector<std::string> seeds;
    for (const fs::path& f : CorpusFiles()) seeds.push_back(fileio::ReadFileBytes(f.string()));
    std::mt19937 rng(20261207);
    // Broken pictures make the image reader complain; not this test's business.
    QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    int documents = 0;
    QTextDocument d;
    for (int i = 0; i < 100000; ++i) {
        std::string input = testsupport::MutateBytes(seeds[static_cast<size_t>(i) % seeds.size()], rng);
        rtf::Read(input, d);
        documents += d.characterCount() >= 1;
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(documents, 100000);
}

TEST(RichTextReader, ReadingLaysTheDocumentOutOnceWhateverItsFormatRuns) {
    // Documents of many runs of alternating looks in one paragraph, as a
    // pasted listing has them. Every change notice of the document lays its
    // paragraph out again, so a reader that notifies once per run does work
    // in the square of the runs; one that reads as a single edit notifies a
    // bounded number of times, however many runs there are.
    const struct {
        int Runs;
        int MaxNotices;
    } cases[] = {{5000, 4}, {20000, 4}};
    auto document = [](int Runs) {
        std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}{\\colortbl ;\\red255\\green0\\blue0;}\\fs20 ";
        for (int r = 0; r < Runs; ++r) rtf += r % 2 ? "\\cf1\\b run" + std::to_string(r) + " " : "\\cf0\\b0 run ";
        return rtf + "\\par}";
    };
    for (const auto& c : cases) {
        QTextDocument doc;
        int notices = 0;
        QObject::connect(&doc, &QTextDocument::contentsChanged, [&notices] { ++notices; });
        rtf::Read(document(c.Runs), doc);
        EXPECT_EQ(doc.begin().text().count(QStringLiteral("run")), c.Runs);
        EXPECT_LE(notices, c.MaxNotices) << c.Runs << " runs";
        EXPECT_GE(notices, 1) << c.Runs << " runs";
    }
}

// --- Reports -------------------------------------------------------------------

std::string LongRtf(int Paragraphs) {
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\fs20 ";
    for (int p = 0; p < Paragraphs; ++p) {
        rtf += "\\pard Par\\'e1grafo " + std::to_string(p) + ": ";
        for (int w = 0; w < 40; ++w) rtf += "{\\b palavra}" + std::to_string(w) + " ";
        rtf += "\\par ";
    }
    return rtf + "}";
}

struct RichRig {
    ReportRig Rig;
    std::unique_ptr<RowsTable> Data;
    TrpRichText* Rich = nullptr;

    explicit RichRig(const std::string& Text, int Rows = 1, int32_t Top = 0) {
        std::vector<std::vector<Variant>> rows;
        for (int i = 1; i <= Rows; ++i) rows.push_back({Variant("Maria " + std::to_string(i))});
        Data = std::make_unique<RowsTable>(std::vector<std::string>{"Nome"}, rows);
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Data->Pipeline());
        r->CreateDefaultBands();
        r->DetailBand()->SetmmHeight(Top + 20000);
        Rich = outputtest::Place<TrpRichText>(Rig, r->DetailBand(), "Rich", 5000, Top, 120000, 20000);
        Rich->SetRichText(Text);
        Rich->SetStretch(true);
    }

    std::vector<TrpDrawRichText*> Commands() {
        Rig.Print();
        std::vector<TrpDrawRichText*> out;
        for (const auto& p : outputtest::CommandsOf(Rig.Device()->FinalPages(), "Rich"))
            if (auto* c = dynamic_cast<TrpDrawRichText*>(p.Command)) out.push_back(c);
        return out;
    }
};

TEST(RichTextReport, ALongTextSplitsIntoContiguousRangesOverThreePages) {
    RichRig s(LongRtf(24));
    const int length = s.Rich->TextLength();
    const auto commands = s.Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0]->StartCharPos(), 0);
    int sum = 0;
    for (size_t i = 0; i < commands.size(); ++i) {
        if (i > 0) EXPECT_EQ(commands[i]->StartCharPos(), commands[i - 1]->EndCharPos() + 1) << "page " << i + 1;
        sum += commands[i]->EndCharPos() - commands[i]->StartCharPos() + 1;
    }
    EXPECT_EQ(commands.back()->EndCharPos(), length - 1);
    EXPECT_EQ(sum, length);
    // A page breaks between words, never inside one.
    QTextDocument doc;
    rtf::Read(s.Rich->GetRichText(), doc);
    const QString text = doc.toPlainText();
    for (size_t i = 1; i < commands.size(); ++i) {
        const QChar before = text[commands[i]->StartCharPos() - 1];
        EXPECT_TRUE(before.isSpace() || before == QChar(0x2029)) << "page " << i + 1;
    }
    // Each page made again alone shows the same range.
    std::vector<std::pair<int, int>> ranges;
    for (auto* c : commands) ranges.emplace_back(c->StartCharPos(), c->EndCharPos());
    for (int k = 3; k >= 1; --k) {
        s.Rig.PrintPage(k);
        const auto& sent = s.Rig.Device()->Pages().back();
        auto placed = outputtest::CommandsOf({&sent}, "Rich");
        ASSERT_EQ(placed.size(), 1u) << "page " << k;
        auto* c = dynamic_cast<TrpDrawRichText*>(placed[0].Command);
        EXPECT_EQ(std::make_pair(c->StartCharPos(), c->EndCharPos()), ranges[static_cast<size_t>(k - 1)]) << k;
    }
}

TEST(RichTextReport, ShortEmptyAndParagraphEndTextsPrintOnOnePage) {
    for (const std::string text : {std::string("{\\rtf1 uma linha}"), std::string("{\\rtf1 }"),
                                   std::string("{\\rtf1 fim de par\\'e1grafo\\par}")}) {
        RichRig s(text);
        const int length = s.Rich->TextLength();
        const auto commands = s.Commands();
        // An empty text takes no room and draws nothing.
        ASSERT_EQ(commands.size(), length == 0 ? 0u : 1u) << text;
        if (length == 0) continue;
        EXPECT_EQ(commands[0]->StartCharPos(), 0) << text;
        EXPECT_EQ(commands[0]->EndCharPos(), length - 1) << text;
    }
}

TEST(RichTextReport, KeepTogetherMovesTheWholeTextToTheNextPage) {
    // The second record's text does not fit below the first: kept together,
    // it leaves nothing on the first page and starts the next at 0.
    RichRig s(LongRtf(6), 2);
    s.Rich->SetKeepTogether(true);
    s.Rig.Print();
    const auto placed = outputtest::CommandsOf(s.Rig.Device()->FinalPages(), "Rich");
    ASSERT_GE(placed.size(), 2u);
    int secondStart = -2;
    for (const auto& p : placed) {
        auto* c = dynamic_cast<TrpDrawRichText*>(p.Command);
        if (p.Page == 1 && c->StartCharPos() < 0) EXPECT_EQ(c->EndCharPos(), -1);
        if (p.Page == 2) secondStart = c->StartCharPos();
    }
    EXPECT_EQ(secondStart, 0);
    EXPECT_EQ(placed.back().Page, 2);
}

TEST(RichTextMerge, FieldTagsAndDbTextBlocks) {
    RichRig s("{\\rtf1 x}");
    // A pipeline named Orders with a Total of 1234.5, owned with the report.
    TmtMemTable orders(nullptr);
    orders.FieldDefs()->Add("Total", ftFloat, 0);
    orders.Open();
    orders.AppendRecord({Variant(1234.5)});
    TDataSource source(nullptr);
    source.SetDataSet(&orders);
    auto* pipeline = new TrpDBPipeline(s.Rig.Owner());
    pipeline->SetName("Orders");
    pipeline->SetUserName("Orders");
    pipeline->SetDataSource(&source);
    pipeline->Open();
    s.Data->Pipeline()->Open();
    const struct {
        const char* Body;
        const char* Text;
    } cases[] = {
        {"Cara {\\b <Nome>}, <Desconhecido> fica", "Cara Maria 1, <Desconhecido> fica"},
        {"Total: <DBTEXT DATAPIPELINE='Orders' DISPLAYFORMAT='#,0.00'>Total</DBTEXT>!", "Total: 1.234,50!"},
        {"Sem: <DBTEXT DATAPIPELINE='Nenhum'>Total</DBTEXT>.", "Sem: ."},
        // An unterminated tag ends the merge; the rest stays as written.
        {"<Nome> <DBTEXT DATAPIPELINE='Orders'>Total", "Maria 1 <DBTEXT DATAPIPELINE='Orders'>Total"},
    };
    for (const auto& c : cases) {
        s.Rich->SetRichText(std::string("{\\rtf1 ") + c.Body + "}");
        s.Rich->MergeFields();
        EXPECT_EQ(s.Rich->PlainText(), c.Text) << c.Body;
    }
    // The field's own formatting is kept.
    s.Rich->SetRichText("{\\rtf1 {\\b <Nome>}}");
    s.Rich->MergeFields();
    EXPECT_EQ(s.Rich->Document()->begin().begin().fragment().charFormat().fontWeight(), QFont::Bold);
    pipeline->Close();
    delete pipeline;
}

TEST(RichTextMerge, AValueHoldingATagIsNotMergedAgain) {
    RowsTable data({"Nome"}, {{Variant("<DBTEXT>Nome</DBTEXT>")}});
    RichRig s("{\\rtf1 x}");
    s.Rig.Report()->SetDataPipeline(data.Pipeline());
    data.Pipeline()->Open();
    s.Rich->SetRichText("{\\rtf1 Valor: <Nome>}");
    s.Rich->MergeFields();
    EXPECT_EQ(s.Rich->PlainText(), "Valor: <DBTEXT>Nome</DBTEXT>");
}

TEST(RichTextMerge, WithoutThePipelineOrAMainOneTheBlockIsEmpty) {
    ReportRig rig;
    rig.Report()->CreateDefaultBands();
    auto* rich = outputtest::Place<TrpRichText>(rig, rig.Report()->DetailBand(), "Rich", 0, 0, 50000, 10000);
    rich->SetRichText("{\\rtf1 [<DBTEXT DATAPIPELINE='Orders'>Total</DBTEXT>]}");
    rich->MergeFields();
    EXPECT_EQ(rich->PlainText(), "[]");
}

// --- Drawing ---------------------------------------------------------------------

// Rows of the image holding ink, as bands of consecutive rows.
std::vector<std::pair<int, int>> InkBands(const QImage& image) {
    std::vector<std::pair<int, int>> bands;
    bool in = false;
    for (int y = 0; y < image.height(); ++y) {
        bool ink = false;
        for (int x = 0; x < image.width() && !ink; ++x) ink = qGray(image.pixel(x, y)) < 128;
        if (ink && !in) bands.emplace_back(y, y);
        if (ink) bands.back().second = y;
        in = ink;
    }
    return bands;
}

QImage Draw(TrpDrawRichText& command, int ppi) {
    const int w = static_cast<int>(command.Width() * static_cast<int64_t>(ppi) / 25400);
    const int h = static_cast<int>(command.Height() * static_cast<int64_t>(ppi) / 25400);
    TImageCanvas canvas(w + 20, h + 20, ppi);
    canvas.Brush()->SetColor(clWhite);
    canvas.FillRect(TRect{0, 0, w + 20, h + 20});
    command.DrawOn(&canvas, TRect{10, 10, 10 + w, 10 + h});
    return *canvas.Device()->Image();
}

TEST(RichTextDrawing, ScreenAndPrinterResolutionsDrawTheSameLinesAndAnArchivedCommandToo) {
    // Words without ascenders above caps or descenders, so lines stand apart.
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\fs24 ";
    for (int w = 0; w < 60; ++w) rtf += (w % 5 == 0 ? "{\\b NOTA} " : "valor ");
    rtf += "}";
    TrpDrawRichText command(nullptr);
    command.SetWidth(60000);
    command.SetHeight(40000);
    command.SetStartCharPos(0);
    command.SetEndCharPos(-1);
    command.RichTextStream()->WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
    const auto screen = InkBands(Draw(command, 96));
    const auto printer = InkBands(Draw(command, 600));
    ASSERT_GE(screen.size(), 5u);
    ASSERT_EQ(screen.size(), printer.size());
    for (size_t i = 0; i < screen.size(); ++i)
        EXPECT_NEAR(screen[i].first, (printer[i].first - 10) * 96.0 / 600 + 10, 2.0) << "line " << i;

    // Through the archive's component stream and back: the same pixels.
    TMemoryStream stream;
    WriteComponent(stream, &command);
    stream.Seek(0, soBeginning);
    TrpDrawRichText copy(nullptr);
    ReadComponent(stream, &copy);
    EXPECT_EQ(copy.EndCharPos(), -1);
    EXPECT_TRUE(copy.IsEqual(&command));
    EXPECT_EQ(Draw(copy, 96), Draw(command, 96));
}

// The ink columns of each line of a drawing: per band of rows, the columns
// holding ink, in order.
std::vector<std::vector<int>> InkColumns(const QImage& image) {
    std::vector<std::vector<int>> lines;
    for (const auto& [top, bottom] : InkBands(image)) {
        std::vector<int> columns;
        for (int x = 0; x < image.width(); ++x)
            for (int y = top; y <= bottom; ++y)
                if (qGray(image.pixel(x, y)) < 128) {
                    columns.push_back(x);
                    break;
                }
        lines.push_back(columns);
    }
    return lines;
}

std::vector<int> Before(const std::vector<int>& Columns, int X) {
    std::vector<int> out;
    for (int c : Columns)
        if (c < X) out.push_back(c);
    return out;
}

// Columns of quantities and amounts: at a right stop each number ends at
// the stop, at a decimal stop its decimal comma stands there. Drawn at 600
// dpi, the stop found from a number at a left stop; written back and read
// again, the stops keep their kinds.
TEST(RichTextDrawing, RightAndDecimalTabStopsLineNumbersUpOnTheirEndAndOnTheirComma) {
    const std::vector<std::string> integers = {"7", "1234", "56", "908070"};
    const std::vector<std::string> decimals = {"5", "125", "25", "0"};
    auto draw = [](const std::string& Stop, const std::vector<std::string>& Lines) {
        std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard" + Stop + "\\tx4320\\fs24 ";
        for (std::size_t i = 0; i < Lines.size(); ++i) rtf += (i > 0 ? "\\par " : "") + std::string("\\tab ") + Lines[i];
        rtf += "}";
        TrpDrawRichText command(nullptr);
        command.SetWidth(150000);
        command.SetHeight(60000);
        command.SetStartCharPos(0);
        command.SetEndCharPos(-1);
        command.RichTextStream()->WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
        return InkColumns(Draw(command, 600));
    };
    // Where a left stop puts a text: its first ink, less a digit's bearing.
    const auto left = draw("", {"8"});
    ASSERT_EQ(left.size(), 1u);
    const int stop = left[0].front();
    const auto right = draw("\\tqr", integers);
    ASSERT_EQ(right.size(), integers.size());
    for (std::size_t i = 0; i < integers.size(); ++i) {
        SCOPED_TRACE(integers[i]);
        EXPECT_LE(right[i].back(), stop + 2);
        EXPECT_GE(right[i].back(), stop - 16);
        // The wider the number, the further left it starts.
        EXPECT_LT(right[i].front(), stop - 40 * static_cast<int>(integers[i].size() - 1));
    }
    std::vector<std::string> amounts;
    for (std::size_t i = 0; i < integers.size(); ++i) amounts.push_back(integers[i] + "," + decimals[i]);
    const auto decimal = draw("\\tqdec", amounts);
    ASSERT_EQ(decimal.size(), amounts.size());
    for (std::size_t i = 0; i < amounts.size(); ++i) {
        SCOPED_TRACE(amounts[i]);
        // Left of the stop, the whole part exactly as the right stop draws it
        // alone; the comma and the decimals after it.
        ASSERT_FALSE(Before(right[i], stop).empty());
        EXPECT_EQ(Before(decimal[i], stop), Before(right[i], stop));
        EXPECT_GT(decimal[i].back(), stop + 25 * static_cast<int>(decimals[i].size()));
    }

    const std::string source = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\pard\\tx720\\tqr\\tx2880\\tqdec\\tx5760\\tx7200 "
                               "Qtd\\tab 12\\tab 1.750,50\\tab fim\\par}";
    QTextDocument doc;
    rtf::Read(source, doc);
    const std::string written = rtf::Write(doc);
    EXPECT_NE(written.find("\\tx720\\tqr\\tx2880\\tqdec\\tx5760\\tx7200"), std::string::npos) << written;
    QTextDocument back;
    rtf::Read(written, back);
    for (const QTextDocument* d : {&doc, &back}) {
        const QList<QTextOption::Tab> tabs = d->begin().blockFormat().tabPositions();
        ASSERT_EQ(tabs.size(), 4);
        const QTextOption::TabType kinds[] = {QTextOption::LeftTab, QTextOption::RightTab, QTextOption::DelimiterTab,
                                              QTextOption::LeftTab};
        const int twips[] = {720, 2880, 5760, 7200};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(tabs[i].type, kinds[i]) << i;
            EXPECT_EQ(std::lround(tabs[i].position * 20), twips[i]) << i;
        }
    }
}

TEST(RichTextDrawing, AStreamWithABadLengthIsRefused) {
    TrpDrawRichText command(nullptr);
    command.RichTextStream()->WriteBuffer("{\\rtf1 a}", 9);
    TMemoryStream stream;
    WriteComponent(stream, &command);
    stream.Seek(0, soBeginning);
    std::string bytes = stream.ReadAllBytes();
    const size_t at = bytes.find("RTFStream");
    ASSERT_NE(at, std::string::npos);
    // The 4-byte length inside the binary value (after the type byte and its own size).
    const size_t lengthAt = at + 9 + 1 + 4;
    bytes[lengthAt] = '\x7f';
    TMemoryStream bad;
    bad.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    bad.Seek(0, soBeginning);
    TrpDrawRichText copy(nullptr);
    EXPECT_THROW(ReadComponent(bad, &copy), EReadError);
}

}  // namespace

namespace {

TEST(RichTextScripting, ScriptsReadSelectReplaceFindAndStreamTheText) {
    ASSERT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TrpRichText::StaticClassType()),
              TrsTrpCustomRichTextRTTI::Instance());
    ASSERT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TrpDBRichText::StaticClassType()), TrsTrpDBRichTextRTTI::Instance());
    ASSERT_EQ(TrsRTTIClassRegistry::GetRTTIClass(TrpDrawRichText::StaticClassType()),
              TrsTrpDrawRichTextRTTI::Instance());
    const TrsRTTI* a = TrsTrpCustomRichTextRTTI::Instance();
    TrpRichText rich(nullptr);
    ASSERT_TRUE(a->SetPropValue(&rich, "richtext", std::string("{\\rtf1 Nota {\\b fiscal} emitida}")));
    TrsValue v;
    ASSERT_TRUE(a->GetPropValue(&rich, "PlainText", v));
    EXPECT_EQ(std::get<std::string>(v), "Nota fiscal emitida");

    // Select "fiscal" and replace it: the bold look stays with the new word.
    ASSERT_TRUE(a->SetPropValue(&rich, "SelStart", int32_t{5}));
    ASSERT_TRUE(a->SetPropValue(&rich, "SelLength", int32_t{6}));
    ASSERT_TRUE(a->GetPropValue(&rich, "SelText", v));
    EXPECT_EQ(std::get<std::string>(v), "fiscal");
    ASSERT_TRUE(a->SetPropValue(&rich, "SelText", std::string("eletrônica")));
    EXPECT_EQ(rich.PlainText(), "Nota eletrônica emitida");
    EXPECT_NE(rich.GetRichText().find("\\b "), std::string::npos);
    // A selection beyond the text is cut to it.
    ASSERT_TRUE(a->SetPropValue(&rich, "SelStart", int32_t{1000}));
    EXPECT_EQ(rich.SelStart(), rich.TextLength());

    auto find = a->GetParams("FindText");
    std::string what = "EMITIDA";
    int32_t start = 0, length = -1, result = 0;
    bool whole = true, match = false;
    find->BindConstParam(0, &what);
    find->BindConstParam(1, &start);
    find->BindConstParam(2, &length);
    find->BindConstParam(3, &whole);
    find->BindConstParam(4, &match);
    find->BindParam(5, &result);
    ASSERT_TRUE(a->CallMethod(&rich, "FindText", false, find.get()));
    EXPECT_EQ(result, 16);
    match = true;
    ASSERT_TRUE(a->CallMethod(&rich, "FindText", false, find.get()));
    EXPECT_EQ(result, -1);

    // Saved to a stream and loaded into another: the same text.
    TMemoryStream stream;
    auto save = a->GetParams("SaveToRTFStream");
    TObject* streamObject = &stream;
    save->BindConstParam(0, &streamObject);
    ASSERT_TRUE(a->CallMethod(&rich, "SaveToRTFStream", false, save.get()));
    stream.Seek(0, soBeginning);
    TrpRichText other(nullptr);
    ASSERT_TRUE(a->CallMethod(&other, "LoadFromRTFStream", false, save.get()));
    EXPECT_EQ(other.PlainText(), "Nota eletrônica emitida");

    TrpDBRichText db(nullptr);
    ASSERT_TRUE(TrsTrpDBRichTextRTTI::Instance()->SetPropValue(&db, "AutoDisplay", false));
    EXPECT_FALSE(db.AutoDisplay());
}

}  // namespace

namespace {

// Ink bands relative to the first one, in screen pixels.
std::vector<int> RelativeBands(const QImage& Image, double Scale) {
    std::vector<int> out;
    const auto bands = InkBands(Image);
    for (const auto& b : bands) out.push_back(static_cast<int>(std::lround((b.first - bands[0].first) * Scale)));
    return out;
}

TEST(RichTextDevices, TheScreenAtFullSizeAndThePrinterAt600DpiBreakTheSameLines) {
    std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\fs16 ";
    for (int w = 0; w < 24; ++w) rtf += (w % 4 == 0 ? "{\\b NOTA} " : "valor ");
    rtf += "}";
    auto command = [&](TComponent* Owner) {
        auto* c = new TrpDrawRichText(Owner);
        c->SetLeft(2000);
        c->SetTop(2000);
        c->SetWidth(34000);
        c->SetHeight(24000);
        c->RichTextStream()->WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
        return c;
    };

    TrpScreenDevice screen(nullptr);
    screen.CurrentPage()->PageDef()->SetmmWidth(40000);
    screen.CurrentPage()->PageDef()->SetmmHeight(30000);
    command(nullptr)->SetPage(screen.CurrentPage());
    screen.DisplayPage();

    printertest::FakeBackend backend;
    printertest::AddStandardQueues(backend);
    printertest::InstalledList installed(&backend);
    TrpPrinterDevice printer(nullptr);
    printertest::ImageSink sink;
    printer.Printer()->PageSinkFactory = [&sink] {
        auto s = std::make_unique<printertest::ImageSink>();
        s->Pages = sink.Pages;
        return s;
    };
    TrpPageRequest all;
    all.SetPageSetting(psAll);
    printer.SetPageRequest(&all);
    TrpPage page(nullptr);
    page.PrinterSetup()->SetPrinterName("Etiquetas");
    page.PrinterSetup()->SetPaperName("Custom");
    page.PrinterSetup()->PageDef()->SetmmWidth(40000);
    page.PrinterSetup()->PageDef()->SetmmHeight(30000);
    page.SetFinal(true);
    page.SetAbsolutePageNo(1);
    page.SetPageNo(1);
    command(nullptr)->SetPage(&page);
    printer.StartJob();
    printer.ReceivePage(&page);
    printer.EndJob();
    ASSERT_EQ(sink.Pages->size(), 1u);
    const QImage& paper = *sink.Pages->front().Image;

    const auto onScreen = RelativeBands(*screen.PageImage(), 1.0);
    const auto onPaper = RelativeBands(paper, 96.0 / sink.Pages->front().Format.PixelsPerInchY);
    ASSERT_GE(onScreen.size(), 3u);
    ASSERT_EQ(onScreen.size(), onPaper.size());
    for (size_t i = 0; i < onScreen.size(); ++i) EXPECT_NEAR(onScreen[i], onPaper[i], 2) << "line " << i;
}

}  // namespace

namespace {

// The look of each character of an RTF text read afresh: what the stored text keeps.
std::vector<QTextCharFormat> Looks(const std::string& Rtf) {
    QTextDocument doc;
    rtf::Read(Rtf, doc);
    std::vector<QTextCharFormat> out;
    for (int i = 0; i < TrpRTFEngine::TextLength(doc); ++i) {
        QTextCursor c(&doc);
        c.setPosition(i + 1);
        out.push_back(c.charFormat());
    }
    return out;
}

// A member object of the rich text as a script reaches it, and a property of it set by name.
TObject* ScriptObject(TrpCustomRichText& Rich, const char* Name) {
    TrsValue v;
    EXPECT_TRUE(TrsTrpCustomRichTextRTTI::Instance()->GetPropValue(&Rich, Name, v)) << Name;
    return std::holds_alternative<TObject*>(v) ? std::get<TObject*>(v) : nullptr;
}

void ScriptSet(TrpCustomRichText& Rich, const char* Object, const char* Name, const TrsValue& Value) {
    TObject* o = ScriptObject(Rich, Object);
    ASSERT_NE(o, nullptr);
    EXPECT_TRUE(TrsRTTIClassRegistry::GetRTTIClass(o->ClassType())->SetPropValue(o, Name, Value)) << Name;
}

TEST(RichTextSelection, TextAttributesChangeOnlyTheSelectedCharactersAndStayInTheText) {
    using Look = std::function<bool(const QTextCharFormat&)>;
    struct Case {
        const char* Name;
        std::function<void(TrpRichText&)> Apply;
        Look Has;
        bool KeepsBold;
    };
    const Case cases[] = {
        {"Size", [](TrpRichText& r) { ScriptSet(r, "SelAttributes", "size", int32_t{18}); },
         [](const QTextCharFormat& f) { return std::lround(f.fontPointSize()) == 18; }, true},
        {"Name", [](TrpRichText& r) { ScriptSet(r, "selattributes", "Name", std::string("Courier New")); },
         [](const QTextCharFormat& f) { return f.fontFamilies().toStringList().value(0) == "Courier New"; }, true},
        {"Color", [](TrpRichText& r) { ScriptSet(r, "SelAttributes", "Color", int32_t{clRed}); },
         [](const QTextCharFormat& f) { return f.foreground().color() == QColor(255, 0, 0); }, true},
        {"Style", [](TrpRichText& r) { r.SelAttributes()->SetStyle(TFontStyles{fsItalic, fsUnderline}); },
         [](const QTextCharFormat& f) { return f.fontItalic() && f.fontUnderline() && f.fontWeight() < QFont::DemiBold; },
         false},
        {"Assign(TFont)",
         [](TrpRichText& r) {
             TFont font;
             font.SetName("Times New Roman");
             font.SetSize(9);
             font.SetColor(clBlue);
             r.SelAttributes()->Assign(&font);
         },
         [](const QTextCharFormat& f) {
             return std::lround(f.fontPointSize()) == 9 && f.foreground().color() == QColor(0, 0, 255) &&
                    f.fontFamilies().toStringList().value(0) == "Times New Roman" && f.fontWeight() < QFont::DemiBold;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TrpRichText rich(nullptr);
        rich.SetRichText("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Nota {\\b fiscal} emitida}");
        rich.SetSelStart(5);
        rich.SetSelLength(6);
        c.Apply(rich);
        // The stored text (what the template keeps and generation reads) has the change.
        const auto looks = Looks(rich.RichText());
        ASSERT_EQ(looks.size(), 19u);
        for (int i = 0; i < 19; ++i) {
            const bool selected = i >= 5 && i < 11;
            EXPECT_EQ(c.Has(looks[i]), selected) << "character " << i;
            if (selected && c.KeepsBold) EXPECT_GE(looks[i].fontWeight(), QFont::DemiBold) << "character " << i;
        }
        EXPECT_TRUE(c.Has(rich.SelCharFormat()));
        // With nothing selected a change has nothing to apply to.
        const std::string before = rich.RichText();
        rich.SetSelLength(0);
        rich.SelAttributes()->SetSize(30);
        EXPECT_EQ(rich.RichText(), before);
    }
    TrpRichText rich(nullptr);
    rich.SetRichText("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Nota {\\b\\i fiscal}}");
    rich.SetSelStart(5);
    EXPECT_EQ(rich.SelAttributes()->Size(), 10);
    EXPECT_EQ(rich.SelAttributes()->Name(), "Arial");
    EXPECT_TRUE(rich.SelAttributes()->Style() == (TFontStyles{fsBold, fsItalic}));
    // Scripts read both objects and cannot replace them; one made alone changes nothing.
    for (auto [name, cls] : {std::pair{"selattributes", TrpTextAttributes::StaticClassType()},
                             std::pair{"PARAGRAPH", TrpParaAttributes::StaticClassType()}}) {
        TrsMemberDescriptor rec;
        ASSERT_TRUE(TrsTrpCustomRichTextRTTI::Instance()->GetPropRec(TrpRichText::StaticClassType(), name, rec));
        EXPECT_EQ(rec.ClassType, cls);
        EXPECT_TRUE(rec.ReadOnly);
        EXPECT_FALSE(TrsTrpCustomRichTextRTTI::Instance()->SetPropValue(&rich, name, TrsValue(ScriptObject(rich, name))));
    }
    TrpTextAttributes alone(nullptr);
    alone.SetSize(20);
    EXPECT_EQ(alone.Size(), 12);
}

TEST(RichTextSelection, ParagraphAttributesChangeEveryParagraphTheSelectionTouches) {
    struct Case {
        const char* Name;
        std::function<void(TrpRichText&)> Apply;
        std::function<bool(const QTextBlockFormat&)> Has;
        std::function<bool(TrpParaAttributes&)> ReadsBack;
    };
    const Case cases[] = {
        {"Alignment", [](TrpRichText& r) { ScriptSet(r, "Paragraph", "Alignment", int32_t{taCenter}); },
         [](const QTextBlockFormat& f) { return (f.alignment() & Qt::AlignHorizontal_Mask) == Qt::AlignHCenter; },
         [](TrpParaAttributes& p) { return p.Alignment() == taCenter; }},
        {"LeftIndent", [](TrpRichText& r) { ScriptSet(r, "paragraph", "LeftIndent", int32_t{36}); },
         [](const QTextBlockFormat& f) { return std::lround(f.leftMargin()) == 36; },
         [](TrpParaAttributes& p) { return p.LeftIndent() == 36; }},
        {"FirstIndent", [](TrpRichText& r) { ScriptSet(r, "Paragraph", "FirstIndent", int32_t{-18}); },
         [](const QTextBlockFormat& f) { return std::lround(f.textIndent()) == -18; },
         [](TrpParaAttributes& p) { return p.FirstIndent() == -18; }},
        {"RightIndent", [](TrpRichText& r) { r.Paragraph()->SetRightIndent(24); },
         [](const QTextBlockFormat& f) { return std::lround(f.rightMargin()) == 24; },
         [](TrpParaAttributes& p) { return p.RightIndent() == 24; }},
        {"Tabs", [](TrpRichText& r) { r.Paragraph()->SetTabs({72, 36}); },
         [](const QTextBlockFormat& f) {
             return f.tabPositions().size() == 2 && std::lround(f.tabPositions()[0].position) == 36;
         },
         [](TrpParaAttributes& p) { return p.TabCount() == 2 && p.Tab(0) == 36 && p.Tab(1) == 72; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TrpRichText rich(nullptr);
        rich.SetRichText("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Um\\par Dois\\par Tres\\par Quatro}");
        // "ois" and the "T" of the next paragraph: the second and third paragraphs.
        rich.SetSelStart(4);
        rich.SetSelLength(5);
        c.Apply(rich);
        QTextDocument doc;
        rtf::Read(rich.RichText(), doc);
        ASSERT_EQ(doc.blockCount(), 4);
        for (int b = 0; b < 4; ++b)
            EXPECT_EQ(c.Has(doc.findBlockByNumber(b).blockFormat()), b == 1 || b == 2) << "paragraph " << b;
        EXPECT_TRUE(c.ReadsBack(*rich.Paragraph()));
    }
}

// Pixels of one colour in an image.
int PixelsOf(const QImage& Image, QRgb Colour) {
    int n = 0;
    for (int y = 0; y < Image.height(); ++y)
        for (int x = 0; x < Image.width(); ++x) n += (Image.pixel(x, y) & 0xFFFFFF) == (Colour & 0xFFFFFF);
    return n;
}

TEST(RichTextSelection, ABackColourHighlightsTheSelectionAndTheOneItReturnsUndoesIt) {
    TrpRichText rich(nullptr);
    rich.SetRichText("{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 Total da nota fiscal}");
    auto drawn = [&rich] {
        TrpDrawRichText command(nullptr);
        command.SetWidth(80000);
        command.SetHeight(10000);
        const std::string rtf = rich.RichText();
        command.RichTextStream()->WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
        return Draw(command, 96);
    };
    // "nota": the highlight covers that word only, in the stored text and on the page.
    rich.SetSelStart(9);
    rich.SetSelLength(4);
    EXPECT_EQ(rich.SetSelectionBackColor(clYellow), clNone);
    const auto looks = Looks(rich.RichText());
    for (int i = 0; i < static_cast<int>(looks.size()); ++i)
        EXPECT_EQ(looks[i].background().style() != Qt::NoBrush, i >= 9 && i < 13) << "character " << i;
    const QImage highlighted = drawn();
    const int yellow = PixelsOf(highlighted, qRgb(255, 255, 0));
    EXPECT_GT(yellow, 100);
    // The word alone is yellow: a line of 20 characters would paint far more.
    EXPECT_LT(yellow, PixelsOf(highlighted, qRgb(255, 255, 255)) / 3);
    // Setting back what it returned takes the highlight away.
    EXPECT_EQ(rich.SetSelectionBackColor(clNone), clYellow);
    EXPECT_EQ(PixelsOf(drawn(), qRgb(255, 255, 0)), 0);
    EXPECT_EQ(rtf::PlainText(*TrpRTFEngine::Parse(rich.RichText())), "Total da nota fiscal");
    EXPECT_EQ(rich.RichText().find("\\cb"), std::string::npos);
}

}  // namespace

namespace {

// Lines a text takes in a box wide enough for each of its paragraphs: the
// height used over the height of one line of the same font.
double LinesTaken(const std::string& Rtf) {
    auto canvas = rpNewMeasuringCanvas();
    const TRect box{0, 0, canvas->PixelsPerInchX() * 6, canvas->PixelsPerInchY() * 6};
    auto height = [&](const std::string& Text) {
        QTextDocument doc;
        rtf::Read(Text, doc);
        int last = 0, used = 0;
        TrpRTFEngine::MeasureRange(canvas.get(), doc, box, {0, -1}, last, used);
        return used;
    };
    const int one = height("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 linha\\par}");
    return static_cast<double>(height(Rtf)) / one;
}

}  // namespace

TEST(RichTextHidden, AParagraphHiddenWithItsMarkTakesNoLine) {
    const std::string head = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24 ";
    // Lines counted by hand: a hidden mark joins its paragraph to the next
    // one; a visible mark under hidden text still ends a (blank) line.
    const struct {
        const char* Body;
        int Lines;
    } cases[] = {
        {"{\\v oculto\\par}vis\\'edvel\\par}", 1},
        {"um\\par{\\v oculto\\par}dois\\par}", 2},
        {"{\\v um\\par dois\\par}tr\\'eas\\par}", 1},
        {"um\\par{\\v oculto\\par}{\\v outro\\par}dois\\par}", 2},
        {"come\\'e7o {\\v oculto\\par}fim\\par}", 1},
        {"{\\v oculto}\\par vis\\'edvel\\par}", 2},
        {"um\\par\\par dois\\par}", 3},
    };
    for (const auto& c : cases) {
        const std::string text = head + c.Body;
        SCOPED_TRACE(text);
        EXPECT_NEAR(LinesTaken(text), c.Lines, 0.02);
        // The text a draw command carries is written back: its marks stay hidden.
        QTextDocument doc;
        rtf::Read(text, doc);
        EXPECT_NEAR(LinesTaken(rtf::Write(doc)), c.Lines, 0.02);
    }
}

TEST(RichTextHidden, HiddenTextBetweenTwoBlanksLeavesOneGapOfAJustifiedLine) {
    // One-letter words, so that the only white between inks is the gaps;
    // hidden text after the second word (between its blanks) or with no
    // blank of its own. Every gap of a justified line is the same.
    for (const char* hidden : {"o {\\v oculto} o", "o{\\v oculto} o", "o {\\v oculto}o", "o {\\v a} {\\v b} o"}) {
        SCOPED_TRACE(hidden);
        std::string rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs24\\qj o ";
        rtf += hidden;
        for (int w = 0; w < 40; ++w) rtf += " o";
        rtf += "\\par}";
        QTextDocument doc;
        rtf::Read(rtf, doc);
        TBitmap bitmap;
        bitmap.SetSize(300, 120);
        TCanvas* canvas = bitmap.Canvas();
        canvas->Brush()->SetColor(clWhite);
        canvas->Brush()->SetStyle(bsSolid);
        canvas->FillRect(TRect{0, 0, 300, 120});
        TrpRTFEngine::FormatRange(canvas, doc, TRect{0, 0, 300, 120}, {0, -1}, true);
        const QImage image = bitmap.Image();
        // The first line's rows: from the first inked row to the first blank
        // row under it.
        auto inked = [&](int x, int y) { return qGray(image.pixel(x, y)) < 160; };
        auto rowInk = [&](int y) {
            for (int x = 0; x < image.width(); ++x)
                if (inked(x, y)) return true;
            return false;
        };
        int top = 0;
        while (top < image.height() && !rowInk(top)) ++top;
        int bottom = top;
        while (bottom < image.height() && rowInk(bottom)) ++bottom;
        ASSERT_LT(top, bottom);
        std::vector<int> gaps;
        int lastInk = -1;
        for (int x = 0; x < image.width(); ++x) {
            bool ink = false;
            for (int y = top; y < bottom && !ink; ++y) ink = inked(x, y);
            if (!ink) continue;
            if (lastInk >= 0 && x - lastInk > 1) gaps.push_back(x - lastInk - 1);
            lastInk = x;
        }
        ASSERT_GE(gaps.size(), 6u);
        const auto [least, most] = std::minmax_element(gaps.begin(), gaps.end());
        EXPECT_LE(*most - *least, 1) << "gaps from " << *least << " to " << *most;
        // The line spreads to the box's right edge, less the letter's own side.
        EXPECT_GT(lastInk, 300 - 6);
    }
}
