// Long stretching memos down one, two and three columns, with groups,
// kept groups and a child subreport: every word of every memo prints once
// and in order, read back from the pages' draw commands and, for the PDF
// written from them, from pdftotext.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "report/rpBands.h"
#include "report/rpGroup.h"
#include "report/rpMainReport.h"
#include "report/rpMemo.h"
#include "report/rpSubReport.h"
#include "report_output/rpDBText.h"
#include "tests/report_output/OutputTestSupport.h"
#include "tests/report_output/PageInk.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

using namespace reporttest;

namespace {

struct MemoLayout {
    int Columns;
    int GroupSize;  // 0: no group
    bool KeepTogether;
    bool Child;  // the memo in a child subreport's detail
    std::vector<int> Words;  // per record
};

// Word W of record R: unique, so that a word printed twice or lost shows.
std::string WordOf(int R, int W) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "n%02dw%04d", R, W);
    return buffer;
}

std::string MemoOf(int R, int Words) {
    std::string text;
    for (int w = 0; w < Words; ++w) text += (w == 0 ? "" : w % 23 == 22 ? "\r\n" : " ") + WordOf(R, w);
    return text;
}

std::vector<std::string> Split(const std::string& Text) {
    std::vector<std::string> out;
    std::istringstream in(Text);
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// Records of Id, Grupo and a memo text, listed with the memo under the
// record's id, the memo directly on the detail or in a child subreport's
// detail over the same records linked by Id.
struct MemoRig {
    ReportRig Rig;
    std::unique_ptr<RowsTable> Records;
    std::unique_ptr<RowsTable> Texts;

    explicit MemoRig(const MemoLayout& L) {
        std::vector<std::vector<Variant>> rows;
        for (std::size_t r = 0; r < L.Words.size(); ++r) {
            const int id = static_cast<int>(r);
            const std::string group = "G" + std::to_string(L.GroupSize > 0 ? id / L.GroupSize : 0);
            rows.push_back({Variant(id), Variant(group), Variant(MemoOf(id, L.Words[r]))});
        }
        Records = std::make_unique<RowsTable>(std::vector<std::string>{"Id", "Grupo", "Texto"}, rows, "Notas", 16000);
        TrpBandedReport* r = Rig.Report();
        r->SetDataPipeline(Records->Pipeline());
        r->SetColumns(L.Columns);
        r->CreateDefaultBands();
        r->HeaderBand()->SetmmHeight(10000);
        r->FooterBand()->SetmmHeight(10000);
        TrpDetailBand* detail = r->DetailBand();
        detail->SetmmHeight(12000);
        auto* id = outputtest::Place<TrpDBText>(Rig, detail, "Id", 0, 0, 20000, 5000);
        id->SetDataPipeline(Records->Pipeline());
        id->SetDataField("Id");
        const int32_t width = 170000 / L.Columns;
        TrpBand* memoBand = detail;
        TrpDataPipeline* memoPipeline = Records->Pipeline();
        if (L.Child) {
            Texts = std::make_unique<RowsTable>(std::vector<std::string>{"Id", "Grupo", "Texto"}, rows, "Textos", 16000);
            Records->Pipeline()->Open();
            Texts->Pipeline()->Open();
            Texts->Pipeline()->AddLink(Records->Pipeline(), "Id", "Id");
            auto* sub = outputtest::Place<TrpSubReport>(Rig, detail, "Sub", 0, 6000, width, 2000);
            sub->SetParentWidth(false);
            sub->SetPrintBehavior(pbChild);
            TrpChildReport* child = sub->Report();
            child->SetDataPipeline(Texts->Pipeline());
            child->CreateDefaultBands();
            child->DetailBand()->SetmmHeight(6000);
            memoBand = child->DetailBand();
            memoPipeline = Texts->Pipeline();
        }
        auto* memo = outputtest::Place<TrpDBMemo>(Rig, memoBand, "Memo", 0, L.Child ? 0 : 6000, width, 5000);
        memo->SetDataPipeline(memoPipeline);
        memo->SetDataField("Texto");
        memo->Font()->SetName("Arial");
        memo->Font()->SetSize(10);
        memo->SetStretch(true);
        if (L.GroupSize > 0) {
            auto* group = new TrpGroup(Rig.Owner());
            group->SetName("Grupo");
            group->SetReport(r);
            group->SetDataPipeline(Records->Pipeline());
            group->SetBreakName("Grupo");
            group->SetKeepTogether(L.KeepTogether);
            group->HeaderBand()->SetmmHeight(8000);
            // Tall enough that a memo ending low on a page leaves it no room.
            group->FooterBand()->SetmmHeight(16000);
            auto* name = outputtest::Place<TrpDBText>(Rig, group->HeaderBand(), "NomeGrupo", 0, 0, 20000, 5000);
            name->SetDataPipeline(Records->Pipeline());
            name->SetDataField("Grupo");
        }
        Rig.Print();
    }

    // The memo's words as its commands drew them, in the order they print.
    std::vector<std::string> PrintedWords() const {
        std::vector<std::string> out;
        for (const CapturedPage* p : Rig.Device()->FinalPages())
            for (int i = 0; i < p->Page->DrawCommandCount(); ++i)
                if (p->Makers[static_cast<std::size_t>(i)].second == "Memo")
                    if (auto* t = dynamic_cast<const TrpDrawText*>(p->Page->DrawCommands(i))) {
                        TStrings* lines = t->WrappedText();
                        const std::string text = lines != nullptr && lines->Count() > 0 ? lines->Text() : t->Text();
                        for (const std::string& w : Split(text)) out.push_back(w);
                    }
        return out;
    }
};

std::vector<std::string> ExpectedWords(const MemoLayout& L) {
    std::vector<std::string> out;
    for (std::size_t r = 0; r < L.Words.size(); ++r)
        for (int w = 0; w < L.Words[r]; ++w) out.push_back(WordOf(static_cast<int>(r), w));
    return out;
}

// Where two word lists part first, for the failure message.
std::string FirstDifference(const std::vector<std::string>& Got, const std::vector<std::string>& Want) {
    std::size_t i = 0;
    while (i < Got.size() && i < Want.size() && Got[i] == Want[i]) ++i;
    if (i == Got.size() && i == Want.size()) return "iguais";
    return "palavra " + std::to_string(i) + ": " + (i < Got.size() ? Got[i] : "(fim)") + " em vez de " +
           (i < Want.size() ? Want[i] : "(fim)") + " (" + std::to_string(Got.size()) + " de " +
           std::to_string(Want.size()) + " palavras)";
}

TEST(MemoColumns, EveryWordOfEveryMemoPrintsOnceInOrderInEveryColumnLayout) {
    // Lengths as the issue met them (up to 1,500 words, some empty), short
    // ones, every memo long, and a seeded mix.
    std::vector<std::vector<int>> lengths{{1500, 40, 900, 5, 1200, 300, 1500, 0, 700, 60, 1100, 10, 1400, 250},
                                          {120, 3, 260, 45, 180, 1, 90, 330, 15, 240, 70, 150, 8, 200},
                                          std::vector<int>(14, 1500)};
    std::mt19937 random(2026);
    lengths.emplace_back();
    for (int r = 0; r < 14; ++r) lengths.back().push_back(static_cast<int>(random() % 1501));
    struct Grouping {
        int Size;
        bool Keep, Child;
    };
    const Grouping groupings[] = {{0, false, false}, {7, false, false}, {7, true, false}, {7, false, true}, {3, true, true}};
    std::vector<MemoLayout> layouts;
    for (int columns : {1, 2, 3})
        for (const Grouping& g : groupings)
            for (const auto& words : lengths) layouts.push_back({columns, g.Size, g.Keep, g.Child, words});
    testsupport::TempDir dir;
    int index = 0;
    for (const MemoLayout& L : layouts) {
        const std::string name = std::to_string(L.Columns) + " coluna(s), " +
                                 (L.GroupSize > 0 ? "grupos de " + std::to_string(L.GroupSize) : "sem grupos") +
                                 (L.KeepTogether ? " mantidos juntos" : "") + (L.Child ? ", sub-relatório" : "") +
                                 ", " + std::to_string(L.Words[0]) + "/" + std::to_string(L.Words[1]) + " palavras";
        SCOPED_TRACE(name);
        std::unique_ptr<MemoRig> mp;
        try { mp = std::make_unique<MemoRig>(L); } catch (const std::exception& e) { ADD_FAILURE() << e.what(); continue; }
        MemoRig& m = *mp;
        const auto want = ExpectedWords(L);
        const auto got = m.PrintedWords();
        EXPECT_EQ(got == want, true) << FirstDifference(got, want);
        // The records themselves, once each and in order.
        std::vector<std::string> ids, wantIds;
        for (const auto& placed : outputtest::CommandsOf(m.Rig.Device()->FinalPages(), "Id"))
            ids.push_back(static_cast<const TrpDrawText*>(placed.Command)->Text());
        for (std::size_t r = 0; r < L.Words.size(); ++r) wantIds.push_back(std::to_string(r));
        EXPECT_EQ(ids, wantIds);
        // What a reader copies from the PDF: every word once.
        if (index++ % 7 == 1) {
            std::vector<TrpPage*> pages;
            for (const auto* p : m.Rig.Device()->FinalPages()) pages.push_back(p->Page.get());
            const std::string file = pageink::WritePdf(pages, dir.file("memo" + std::to_string(index) + ".pdf"));
            std::vector<std::string> copied;
            for (const std::string& w : Split(pageink::PdfText(file, "-raw")))
                if (w.size() == 8 && w[0] == 'n' && w[3] == 'w') copied.push_back(w);
            EXPECT_EQ(copied == want, true) << "pdftotext: " << FirstDifference(copied, want);
            for (int n = 1; n <= 2 && n <= static_cast<int>(pages.size()); ++n)
                pageink::Keep(pageink::PdfPicture(file, n, 72),
                              "memo-columns-" + std::to_string(index) + "-p" + std::to_string(n) + ".png");
        }
    }
}

}  // namespace
