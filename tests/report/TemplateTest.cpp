// Report templates: the layout saved to and loaded from streams, files and
// database rows, binary and text, and what a bad stream leaves behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

#include "memtable/mtMemTable.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "report/rpDBPipeline.h"
#include "report/rpDialogRegistry.h"
#include "report/rpExcept.h"
#include "report/rpLanguage.h"
#include "report/rpMainReport.h"
#include "report/rpPageBreak.h"
#include "report/rpParameters.h"
#include "report/rpPrinterSetup.h"
#include "report/rpPipelineFields.h"
#include "report/rpRegion.h"
#include "report/rpSubReport.h"
#include "report/rpTemplate.h"
#include "tests/report/ModelTestSupport.h"
#include "tests/support/Mutate.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace reporttest {
namespace {

// Answers the template error dialog as told, and counts what it was shown.
class TFakeTemplateErrorDialog : public TrpCustomTemplateErrorDialog {
public:
    explicit TFakeTemplateErrorDialog(TComponent* AOwner) : TrpCustomTemplateErrorDialog(AOwner) {}
    FAT_CLASS(TFakeTemplateErrorDialog)
    bool ShowModal() override {
        shown.push_back(ErrorMessage());
        SetAnswer(answer);
        return answer != taCancel;
    }
    static inline TAnswer answer = taIgnore;
    static inline std::vector<std::string> shown;
};

}  // namespace
}  // namespace reporttest

TClass reporttest::TFakeTemplateErrorDialog::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TFakeTemplateErrorDialog>(
                                       "TFakeTemplateErrorDialog", TrpCustomTemplateErrorDialog::StaticClassType())
                                       .Build();
    return &info;
}

namespace reporttest {
namespace {

std::string Bytes(TMemoryStream& S) { return S.DataBytes(); }
std::string DataFile(const std::string& Name);

class TemplateTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterClass(TrpTestLabel::StaticClassType());
        form = std::make_unique<TComponent>(nullptr);
        report = new TrpReport(form.get());
        BuildLayout(report, form.get());
        dir = std::filesystem::temp_directory_path() /
              ("rpTemplate-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        UnregisterFormClass(TrpCustomTemplateErrorDialog::StaticClassType());
        TFakeTemplateErrorDialog::shown.clear();
        form.reset();
        UnRegisterClass(TrpTestLabel::StaticClassType());
        std::error_code ec;
        std::filesystem::permissions(dir / "t.rtm", std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir, ec);
    }

    // Bands, a group with its bands, texts, a region holding a text, a page
    // break shifting below the region, settings and two parameters.
    static void BuildLayout(TrpReport* R, TComponent* Owner) {
        R->SetName("rptNotas");
        R->SetPageLimit(3);
        R->SetPassSetting(psTwoPass);
        R->PrinterSetup()->SetOrientation(poLandscape);
        R->PrinterSetup()->SetDocumentName("Notas");
        R->CreateDefaultBands();
        auto* group = new TrpGroup(Owner);
        group->SetName("grpCliente");
        group->SetReport(R);
        group->SetBreakName("Cliente");
        R->CreateDefaultBands();
        R->GetBand(btDetail)->SetHeight(0.75f);
        auto* title = new TrpTestLabel(Owner);
        title->SetName("lblTitulo");
        title->SetCaption("Notas emitidas — São Paulo");
        title->SetBand(R->GetBand(btHeader));
        auto* region = new TrpRegion(Owner);
        region->SetName("rgnItens");
        region->SetBand(R->GetBand(btDetail));
        auto* held = new TrpTestLabel(Owner);
        held->SetName("lblItem");
        held->SetBand(R->GetBand(btDetail));
        region->AddObject(held);
        auto* brk = new TrpPageBreak(Owner);
        brk->SetName("pbQuebra");
        brk->SetBand(R->GetBand(btDetail));
        brk->SetShiftRelativeTo(region);
        R->Parameters()->Add("Cliente", dtString, Variant(std::string("Ação")));
        R->Parameters()->Add("Total", dtDouble, Variant(1.5));
    }

    std::string Saved(TrpFormatType Format, TrpCustomReport* R = nullptr) {
        R = R ? R : report;
        const TrpFormatType old = R->Template()->Format();
        R->Template()->SetFormat(Format);
        TMemoryStream s;
        R->Template()->SaveToStream(&s);
        R->Template()->SetFormat(old);
        return Bytes(s);
    }
    void Load(const std::string& Data, TrpCustomReport* R = nullptr) {
        TMemoryStream s;
        s.WriteBytes(Data);
        s.Seek(0, soBeginning);
        (R ? R : report)->Template()->LoadFromStream(&s);
    }
    std::string FilePath() const { return (dir / "t.rtm").string(); }

    std::unique_ptr<TComponent> form;
    TrpReport* report = nullptr;
    std::filesystem::path dir;
};

TEST_F(TemplateTest, BinaryAndTextTemplatesBringTheWholeLayoutBack) {
    const std::string text = Saved(ftASCII);
    ASSERT_EQ(text.rfind("object rptNotas: TrpReport", 0), 0u) << text;
    const int components = form->ComponentCount();
    for (TrpFormatType format : {ftBinary, ftASCII}) {
        const std::string stored = Saved(format);
        report->Template()->New();
        EXPECT_EQ(report->GroupCount(), 0);
        report->PrinterSetup()->SetOrientation(poPortrait);
        report->PrinterSetup()->SetDocumentName("Outro");
        Load(stored);
        // The print settings are part of the layout.
        EXPECT_EQ(report->PrinterSetup()->Orientation(), poLandscape);
        EXPECT_EQ(report->PrinterSetup()->DocumentName(), "Notas");
        EXPECT_EQ(Saved(ftASCII), text) << "format " << format;
        EXPECT_EQ(form->ComponentCount(), components);
        EXPECT_EQ(report->PageLimit(), 3);
        ASSERT_EQ(report->GroupCount(), 1);
        ASSERT_NE(report->Groups(0)->HeaderBand(), nullptr);
        auto* region = dynamic_cast<TrpRegion*>(form->FindComponent("rgnItens"));
        auto* held = dynamic_cast<TrpComponent*>(form->FindComponent("lblItem"));
        auto* brk = dynamic_cast<TrpPageBreak*>(form->FindComponent("pbQuebra"));
        ASSERT_TRUE(region && held && brk);
        EXPECT_EQ(held->ParentRegion(), region);
        EXPECT_EQ(held->Band(), report->GetBand(btDetail));
        EXPECT_EQ(brk->ShiftRelativeTo(), region);
        ASSERT_TRUE(report->HasParameters());
        EXPECT_EQ(report->Parameters()->FindItem("Cliente")->Value().AsString(), "Ação");
        EXPECT_EQ(report->Parameters()->FindItem("Total")->Value().AsDouble(), 1.5);
        // The load keeps the template's own settings.
        EXPECT_EQ(report->Template()->Format(), ftBinary);
        EXPECT_EQ(report->Template()->Offset(), 0);
    }
    // Binary and text stand for the same stream (but for the format the
    // template was told to write).
    TMemoryStream in, out;
    const std::string binary = Saved(ftBinary);
    in.WriteBytes(binary);
    in.Seek(0, soBeginning);
    ObjectBinaryToText(in, out);
    std::string expected = text;
    expected.erase(expected.find("  Template.Format = ftASCII\n"), 28);
    EXPECT_EQ(Bytes(out), expected);
}

TEST_F(TemplateTest, TheStartIsFoundAtTheOffsetAtZeroOrThroughTheIntegerAtZero) {
    const std::string bin = Saved(ftBinary);
    auto le32 = [](std::int32_t n) {
        std::string s(4, '\0');
        for (int i = 0; i < 4; ++i) s[static_cast<std::size_t>(i)] = static_cast<char>((n >> (8 * i)) & 0xFF);
        return s;
    };
    struct Case {
        const char* what;
        std::string data;
        std::int32_t offset;
        int wantOffset;  // -1: EInvalidTemplateError
        TrpFormatType wantFormat;
    };
    const std::vector<Case> cases = {
        {"binary at 0", bin, 0, 0, ftBinary},
        {"text at 0", "object X: TrpReport\nend\n", 0, 0, ftASCII},
        {"at Offset", std::string(10, 'x') + bin, 10, 10, ftBinary},
        {"Offset wrong, stream at 0", bin, 7, 0, ftBinary},
        {"through the integer at 0", le32(16) + std::string(12, 'x') + bin, 0, 16, ftBinary},
        {"integer pointing past the end", le32(1 << 20) + bin.substr(4), 0, -1, ftBinary},
        {"negative integer", le32(-8) + bin, 0, -1, ftBinary},
        {"wrong signature", "TPF1" + bin.substr(4), 0, -1, ftBinary},
        {"cut inside the signature", "TPF", 0, -1, ftBinary},
        {"empty", "", 0, -1, ftBinary},
        {"Offset past the end", bin, 1 << 30, 0, ftBinary},
    };
    for (const Case& c : cases) {
        TrpTemplate t(nullptr);
        t.SetOffset(c.offset);
        TMemoryStream s;
        s.WriteBytes(c.data);
        s.Seek(0, soBeginning);
        if (c.wantOffset < 0) {
            try {
                t.FindStart(&s);
                ADD_FAILURE() << c.what;
            } catch (const EInvalidTemplateError& e) {
                EXPECT_EQ(e.Message(), "Formato de matriz inválido") << c.what;
            }
        } else {
            t.FindStart(&s);
            EXPECT_EQ(t.Offset(), c.wantOffset) << c.what;
            EXPECT_EQ(t.Format(), c.wantFormat) << c.what;
        }
        EXPECT_EQ(s.Position(), 0) << c.what;
    }
}

TEST_F(TemplateTest, FilesSaveWithOffsetRefuseReadOnlyTargetsAndKeepTheOldFileWhenASaveFails) {
    TrpReportTemplate* t = report->Template();
    t->SetFileName(FilePath());
    t->SetOffset(100);
    t->SaveToFile();
    const std::string saved = fileio::ReadFileBytes(FilePath());
    ASSERT_GT(saved.size(), 104u);
    EXPECT_EQ(saved.substr(0, 100), std::string(100, '\0'));
    EXPECT_EQ(saved.substr(100, 4), "TPF0");
    const std::string layout = Saved(ftASCII);
    t->New();
    t->LoadFromFile();
    EXPECT_EQ(Saved(ftASCII), layout);

    // A save stopped before the rename leaves the old file as it was.
    report->SetPageLimit(9);
    fileio::SetWriteStepHook([](fileio::WriteStep Step, int, const std::string&) {
        if (Step == fileio::WriteStep::BeforeRename) throw EWriteError("parada no meio da gravação");
    });
    EXPECT_THROW(t->SaveToFile(), Exception);
    fileio::SetWriteStepHook(nullptr);
    EXPECT_EQ(fileio::ReadFileBytes(FilePath()), saved);

    ::chmod(FilePath().c_str(), 0444);
    EXPECT_TRUE(t->ReadOnly());
    try {
        t->SaveToFile();
        ADD_FAILURE() << "a read-only file was written";
    } catch (const ETemplateSaveError& e) {
        EXPECT_EQ(e.Message(), "O arquivo é somente para leitura.");
    }
    EXPECT_EQ(fileio::ReadFileBytes(FilePath()), saved);
    EXPECT_EQ((report->State() & rpstTemplateSaving), 0);

    t->SetFileName((dir / "nenhum.rtm").string());
    try {
        t->Load();
        ADD_FAILURE();
    } catch (const ETemplateLoadError& e) {
        EXPECT_EQ(e.Message(), "Arquivo não encontrado: " + (dir / "nenhum.rtm").string());
    }
}

// Another process saving a large layout is killed at each moment of its
// save; the file on disk is then the old one (or, once renamed, the whole
// new one), byte for byte, and it loads.
TEST_F(TemplateTest, AProcessKilledMidSaveLeavesTheOldFile) {
    TrpReportTemplate* t = report->Template();
    t->SetFileName(FilePath());
    t->SaveToFile();
    const std::string old = fileio::ReadFileBytes(FilePath());
    const std::string oldLayout = Saved(ftASCII);
    for (int i = 0; i < 1500; ++i) {
        auto* l = new TrpTestLabel(form.get());
        l->SetName("lblLinha" + std::to_string(i));
        l->SetCaption("Linha de item número " + std::to_string(i));
        l->SetBand(report->GetBand(btDetail));
    }
    const std::string big = Saved(ftBinary);
    ASSERT_GT(big.size(), 100000u);
    struct Stop {
        fileio::WriteStep step;
        bool renamed;
    };
    for (Stop stop : {Stop{fileio::WriteStep::BeforeWrite, false}, Stop{fileio::WriteStep::AfterWrite, false},
                      Stop{fileio::WriteStep::BeforeRename, false}, Stop{fileio::WriteStep::AfterRename, true}}) {
        SCOPED_TRACE(static_cast<int>(stop.step));
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            fileio::SetWriteStepHook([&](fileio::WriteStep Step, int, const std::string&) {
                if (Step != stop.step) return;
                const char c = 'm';
                (void)!::write(ready[1], &c, 1);
                for (;;) ::pause();
            });
            try {
                t->SaveToFile();
            } catch (...) {
            }
            ::_exit(3);
        }
        ::close(ready[1]);
        char c = 0;
        const bool midSave = ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
        // The temporary file stands beside the target while the save runs.
        int files = 0;
        for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(midSave);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(files, stop.renamed ? 1 : 2);
        // A day later: what the killed writer left is provably abandoned
        // (fileio::ClaimAbandoned) and goes with the next save.
        testsupport::AgeFolder(dir);
        const std::string now = fileio::ReadFileBytes(FilePath());
        EXPECT_TRUE(now == (stop.renamed ? big : old)) << now.size() << " bytes";
        TComponent other(nullptr);
        auto* fresh = new TrpReport(&other);
        fresh->SetName("rptNotas");
        fresh->Template()->SetFileName(FilePath());
        fresh->Template()->LoadFromFile();
        EXPECT_EQ(Saved(ftBinary, fresh), stop.renamed ? big : old);
        if (!stop.renamed) {
            EXPECT_EQ(Saved(ftASCII, fresh), oldLayout);
        }
        fileio::WriteFileAtomic(FilePath(), old);
    }
    // What the killed writers left beside the file goes with the next save.
    t->SaveToFile();
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);
}

TEST_F(TemplateTest, DecimalNumbersOfATextTemplateLoadAlikeWhateverTheDecimalSeparator) {
    // A height stored as a decimal number, as older templates kept it.
    std::string text = Saved(ftASCII);
    const auto at = text.find("    mmHeight = 19050\n");
    ASSERT_NE(at, std::string::npos) << text;
    text.replace(at, 21, "    Height = 19050.6\n");
    const char old = FormatSettings.DecimalSeparator;
    std::vector<std::string> loaded;
    for (char sep : {',', '.'}) {
        FormatSettings.DecimalSeparator = sep;
        report->Template()->New();
        Load(text);
        EXPECT_EQ(report->GetBand(btDetail)->mmHeight(), 19051) << sep;
        loaded.push_back(Saved(ftASCII));
        EXPECT_EQ(FormatSettings.DecimalSeparator, sep);
    }
    FormatSettings.DecimalSeparator = old;
    EXPECT_EQ(loaded[0], loaded[1]);
}

TEST_F(TemplateTest, LoadedNamesThatClashWithTheFormsAreRenamedAndReferencesFollow) {
    const std::string stored = Saved(ftBinary);
    TComponent other(nullptr);
    auto* clash = new TComponent(&other);
    clash->SetName("rgnItens");
    auto* target = new TrpReport(&other);
    target->SetName("rptOutro");
    Load(stored, target);
    EXPECT_EQ(other.FindComponent("rgnItens"), clash);
    TrpPageBreak* brk = dynamic_cast<TrpPageBreak*>(other.FindComponent("pbQuebra"));
    ASSERT_NE(brk, nullptr);
    ASSERT_NE(brk->ShiftRelativeTo(), nullptr);
    EXPECT_NE(brk->ShiftRelativeTo()->Name(), "rgnItens");
    EXPECT_EQ(other.FindComponent(brk->ShiftRelativeTo()->Name()), brk->ShiftRelativeTo());
    EXPECT_EQ(brk->ShiftRelativeTo()->Band(), target->GetBand(btDetail));
    EXPECT_EQ(target->Name(), "rptOutro");
}

// Many objects of one name in a stream: the first keeps it, the others take
// the class's next free numbers in stream order, and each name given looks
// at the names once (not once per number tried).
TEST_F(TemplateTest, ManyClashingNamesReadWithNamesGivenOnceEach) {
    constexpr int kCount = 300;
    for (int i = 0; i < kCount; ++i) {
        auto* l = new TrpTestLabel(form.get());
        l->SetName("lblDup" + std::to_string(i));
        l->SetCaption("c" + std::to_string(i));
        l->SetBand(report->GetBand(btDetail));
    }
    std::string text = Saved(ftASCII);
    for (int i = kCount - 1; i >= 0; --i) {
        const std::string from = "object lblDup" + std::to_string(i) + ":";
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), "object lblDup:");
    }
    TComponent other(nullptr);
    auto* target = new TrpReport(&other);
    target->SetName("rptNotas");
    const long long before = report::NamesLookedAt();
    Load(text, target);
    const long long looked = report::NamesLookedAt() - before;
    const int owned = other.ComponentCount();
    // The old search looked at every name for every number it tried: about
    // kCount^3 / 2 looks here; once per name given is at most owned^2 for
    // the component names and as many again for the user names.
    EXPECT_LE(looked, 2LL * owned * owned) << owned << " components";
    std::vector<std::string> captions;
    for (int i = 0; i < kCount; ++i) {
        const std::string name = i == 0 ? "lblDup" : "rpTestLabel" + std::to_string(i);
        auto* l = dynamic_cast<TrpTestLabel*>(other.FindComponent(name));
        ASSERT_NE(l, nullptr) << name;
        EXPECT_EQ(l->Caption(), "c" + std::to_string(i)) << name;
    }
}

// A stream that repeats one name, user name and all, 20,000 times: the
// first keeps it, the others take their class's next free numbers in
// stream order, each with its own values, and naming them looks at a
// number of names proportional to the stream (the bound, per component, is
// in the test data; naming that looked at every taken name for each new
// one needs thousands per component here). A few hundred copies first, so
// that naming that grows faster fails before the big stream is read.
TEST_F(TemplateTest, TwentyThousandClashingNamesReadInLooksProportionalToTheStream) {
    auto* probe = new TrpTestLabel(form.get());
    probe->SetName("lblDup");
    probe->SetUserName("Dup");
    probe->SetCaption("c#");
    probe->SetBand(report->GetBand(btDetail));
    const std::string text = Saved(ftASCII);
    const auto at = text.find("    object lblDup: TrpTestLabel\n");
    ASSERT_NE(at, std::string::npos) << text;
    const auto end = text.find("\n    end\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string block = text.substr(at, end + 9 - at);
    const auto mark = block.find("'c#'");
    ASSERT_NE(mark, std::string::npos) << block;
    ASSERT_NE(block.find("UserName = 'Dup'"), std::string::npos) << block;

    const std::string budgetText = DataFile("naming-budget.txt");
    const auto key = budgetText.find("looks-per-component ");
    ASSERT_NE(key, std::string::npos);
    const long long perComponent = std::stoll(budgetText.substr(key + 20));

    for (const int count : {300, 20000}) {
        SCOPED_TRACE(count);
        std::string many = text.substr(0, at);
        many.reserve(text.size() + static_cast<std::size_t>(count) * (block.size() + 8));
        for (int i = 0; i < count; ++i)
            many += block.substr(0, mark) + "'c" + std::to_string(i) + "'" + block.substr(mark + 4);
        many += text.substr(end + 9);

        TComponent other(nullptr);
        auto* target = new TrpReport(&other);
        target->SetName("rptNotas");
        const long long before = report::NamesLookedAt();
        Load(many, target);
        const long long looked = report::NamesLookedAt() - before;
        const int owned = other.ComponentCount();
        ASSERT_GE(owned, count);
        ASSERT_LE(looked, perComponent * owned) << owned << " components";
        for (int i : {0, 1, 2, count / 2, count - 1}) {
            const std::string name = i == 0 ? "lblDup" : "rpTestLabel" + std::to_string(i);
            auto* l = dynamic_cast<TrpTestLabel*>(other.FindComponent(name));
            ASSERT_NE(l, nullptr) << name;
            EXPECT_EQ(l->Caption(), "c" + std::to_string(i)) << name;
            EXPECT_EQ(l->UserName(), i == 0 ? std::string("Dup") : "Dup" + std::to_string(i)) << name;
            EXPECT_EQ(l->Band(), target->GetBand(btDetail)) << name;
        }
        EXPECT_EQ(other.FindComponent("rpTestLabel" + std::to_string(count)), nullptr);
    }
}

TEST_F(TemplateTest, ReadErrorsAskTheRegisteredDialogAndAreFatalWithoutOne) {
    std::string text = Saved(ftASCII);
    const std::string layout = text;
    // Two properties no class has.
    const auto at = text.find("  object lblTitulo");
    ASSERT_NE(at, std::string::npos);
    text.insert(text.find('\n', at) + 1, "    Desconhecida = 1\n    OutraDesconhecida = 'x'\n");

    const int components = form->ComponentCount();
    EXPECT_THROW(Load(text), ETemplateLoadError);
    EXPECT_EQ(Saved(ftASCII), layout);
    EXPECT_EQ(form->ComponentCount(), components);

    RegisterFormClass(TrpCustomTemplateErrorDialog::StaticClassType(),
                      TFakeTemplateErrorDialog::StaticClassType());
    TFakeTemplateErrorDialog::answer = TrpCustomTemplateErrorDialog::taCancel;
    EXPECT_THROW(Load(text), ETemplateLoadError);
    EXPECT_EQ(Saved(ftASCII), layout);
    ASSERT_EQ(TFakeTemplateErrorDialog::shown.size(), 1u);
    EXPECT_NE(TFakeTemplateErrorDialog::shown[0].find("Desconhecida"), std::string::npos);
    EXPECT_NE(TFakeTemplateErrorDialog::shown[0].find("\r\nIgnora o erro e continua?"), std::string::npos);

    struct Answer {
        TrpCustomTemplateErrorDialog::TAnswer answer;
        std::size_t asked;
    };
    for (Answer a : {Answer{TrpCustomTemplateErrorDialog::taIgnore, 2}, Answer{TrpCustomTemplateErrorDialog::taIgnoreAll, 1}}) {
        TFakeTemplateErrorDialog::shown.clear();
        TFakeTemplateErrorDialog::answer = a.answer;
        report->Template()->New();
        Load(text);
        EXPECT_EQ(TFakeTemplateErrorDialog::shown.size(), a.asked);
        EXPECT_EQ(Saved(ftASCII), layout);
    }
}

// A stream holding `count` unnamed summary bands and as many unnamed
// objects in the detail band, as some old layouts were saved, and the
// bound of work per component from the test data.
struct UnnamedStream {
    std::string text;
    long long perComponent = 0;
};

UnnamedStream ManyUnnamed(const std::string& Layout, int Count) {
    UnnamedStream out;
    const std::string budget = DataFile("naming-budget.txt");
    const auto key = budget.find("work-per-component ");
    if (key != std::string::npos) out.perComponent = std::stoll(budget.substr(key + 19));
    auto detail = Layout.find("  object TrpDetailBand\n");
    if (detail == std::string::npos) detail = Layout.find(": TrpDetailBand\n");
    const auto bandEnd = detail == std::string::npos ? std::string::npos : Layout.find("\n  end\n", detail);
    const auto reportEnd = Layout.rfind("\nend");
    if (bandEnd == std::string::npos || reportEnd == std::string::npos) return out;
    std::string objects, bands;
    for (int i = 0; i < Count; ++i) {
        objects += "    object TrpTestLabel\n      Caption = 'r" + std::to_string(i) + "'\n    end\n";
        bands += "  object TrpSummaryBand\n  end\n";
    }
    out.text = Layout.substr(0, bandEnd + 1) + objects + Layout.substr(bandEnd + 1, reportEnd + 1 - (bandEnd + 1)) +
               bands + Layout.substr(reportEnd + 1);
    return out;
}

long long WorkSoFar() { return report::NamesLookedAt() + TComponent::ListVisits(); }

// Thousands of unnamed summary bands and objects in a stream: each band
// takes its place among the bands in rank order and each object a user
// name of its own, with work bounded per component (the bound is in the
// test data), and freeing them all is bounded alike. Naming that
// walks every user name for each new one, or sorting every band again for
// each band read, needs thousands per component at the larger size; the
// smaller one first, so that such growth fails before the big stream.
TEST_F(TemplateTest, UnnamedBandsAndObjectsReadAndFreeInWorkProportionalToTheStream) {
    const std::string layout = Saved(ftASCII);
    for (const int count : {300, 6000}) {
        SCOPED_TRACE(count);
        const UnnamedStream stream = ManyUnnamed(layout, count);
        ASSERT_FALSE(stream.text.empty()) << layout;
        ASSERT_GT(stream.perComponent, 0);
        auto other = std::make_unique<TComponent>(nullptr);
        auto* target = new TrpReport(other.get());
        target->SetName("rptNotas");
        const long long before = WorkSoFar();
        Load(stream.text, target);
        const long long work = WorkSoFar() - before;
        const int owned = other->ComponentCount();
        ASSERT_GE(owned, 2 * count);
        ASSERT_LE(work, stream.perComponent * owned) << owned << " components";

        std::set<std::string> userNames;
        int summaries = 0;
        for (int i = 0; i < target->BandCount(); ++i) {
            TrpBand* b = target->Bands(i);
            if (i > 0) EXPECT_LE(AnsiCompareText(target->Bands(i - 1)->GetRank(), b->GetRank()), 0) << i;
            if (dynamic_cast<TrpSummaryBand*>(b) == nullptr) continue;
            ++summaries;
        }
        EXPECT_EQ(summaries, count);
        int labels = 0;
        TrpBand* detail = target->GetBand(btDetail);
        ASSERT_NE(detail, nullptr);
        for (int i = 0; i < detail->ObjectCount(); ++i) {
            auto* l = dynamic_cast<TrpTestLabel*>(detail->Objects(i));
            if (l == nullptr || l->Caption().rfind("r", 0) != 0) continue;
            EXPECT_EQ(l->Caption(), "r" + std::to_string(labels));
            ++labels;
            EXPECT_FALSE(l->UserName().empty());
            EXPECT_TRUE(userNames.insert(UpperCase(l->UserName())).second) << l->UserName();
        }
        EXPECT_EQ(labels, count);

        // Freeing it all (the owner frees its thousands of bands and
        // objects, last first) looks at list entries in proportion too.
        const long long beforeFree = WorkSoFar();
        other.reset();
        const long long freeing = WorkSoFar() - beforeFree;
        ASSERT_LE(freeing, stream.perComponent * owned) << owned << " components freed";
    }
}

// A stream that holds the report's parameter list twice (found by the
// mutation run): the second replaces the first, which the reader still
// has to finish; the load ends with one list holding the parameters, and
// nothing read is touched after it was freed (the sanitizer build watches).
TEST_F(TemplateTest, ASecondParameterListInTheStreamReplacesTheFirstWhileBothAreRead) {
    const std::string layout = Saved(ftASCII);
    const auto at = layout.find("  object rpParameterList1: TrpParameterList\n");
    ASSERT_NE(at, std::string::npos) << layout;
    const auto end = layout.find("\n  end\n", at);
    ASSERT_NE(end, std::string::npos);
    const std::string second = layout.substr(at, end + 7 - at);
    const std::string twice = layout.substr(0, end + 7) + second + layout.substr(end + 7);
    Load(twice);
    ASSERT_NE(report->Parameters(), nullptr);
    EXPECT_EQ(report->Parameters()->Count(), 2);
    int lists = 0;
    for (int i = 0; i < form->ComponentCount(); ++i)
        if (dynamic_cast<TrpParameterList*>(form->Components(i)) != nullptr) ++lists;
    EXPECT_EQ(lists, 1);
}

// Inputs of the mutation test: cuts of both forms, then mutations until the
// count is reached. The default keeps the test well under a minute on one
// core of the sanitized build, with cuts spread over both forms and half the
// inputs left to mutations; FAT_TEMPLATE_FUZZ_ROUNDS=100000 is the full run
// (every cut, then mutations: over four minutes).
int TemplateFuzzRounds() {
    const char* env = std::getenv("FAT_TEMPLATE_FUZZ_ROUNDS");
    const long n = env != nullptr ? std::strtol(env, nullptr, 10) : 0;
    return n > 0 ? static_cast<int>(n) : 12000;
}

TEST_F(TemplateTest, MutatedAndTruncatedTemplatesLoadOrFailLeavingTheLayoutAsItWas) {
    const std::string layout = Saved(ftASCII);
    const std::string binary = Saved(ftBinary);
    const int components = form->ComponentCount();
    const int rounds = TemplateFuzzRounds();
    std::mt19937 rng(20261207);
    int loaded = 0;
    int refused = 0;
    // Every component the form holds is one the report streams.
    auto reachable = [&] {
        std::vector<TComponent*> seen;
        std::function<void(TComponent*)> walk = [&](TComponent* c) {
            if (std::find(seen.begin(), seen.end(), c) != seen.end()) return;
            seen.push_back(c);
            c->GetChildren(walk, form.get());
        };
        walk(report);
        if (report->HasParameters()) walk(report->Parameters());  // kept even when empty
        return static_cast<int>(std::count_if(seen.begin(), seen.end(),
                                               [&](TComponent* c) { return c->Owner() == form.get(); }));
    };
    ASSERT_EQ(reachable(), components);
    // The binary form stands for the whole layout (the text form is its
    // conversion, and costs more to make).
    auto attempt = [&](const std::string& data) {
        try {
            Load(data);
            ++loaded;
            ASSERT_EQ(reachable(), form->ComponentCount());
        } catch (const ETemplateLoadError&) {
            ++refused;
            ASSERT_EQ(Saved(ftBinary), binary);
            ASSERT_EQ(form->ComponentCount(), components);
        } catch (const EInvalidTemplateError&) {
            ++refused;
            ASSERT_EQ(Saved(ftBinary), binary);
        }
        ASSERT_EQ(report->State() & rpstTemplateLoading, 0);
        // Whatever got in, the original layout goes back for the next round.
        if (Saved(ftBinary) != binary) {
            Load(binary);
            ASSERT_EQ(form->ComponentCount(), components);
        }
    };
    int done = 0;
    // Every cut when the count leaves room for them all and for as many
    // mutations, else cuts at an even step over both forms.
    const std::size_t cuts = binary.size() + layout.size();
    const std::size_t step = std::max<std::size_t>(1, (2 * cuts + static_cast<std::size_t>(rounds) - 1) /
                                                          static_cast<std::size_t>(rounds));
    for (const std::string* whole : {&binary, &layout})
        for (std::size_t cut = 0; cut < whole->size() && done < rounds; cut += step, ++done) {
            attempt(whole->substr(0, cut));
            if (HasFatalFailure()) return;
        }
    for (; done < rounds; ++done) {
        attempt(testsupport::MutateBytes(done % 4 == 0 ? layout : binary, rng));
        if (HasFatalFailure()) return;
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
    EXPECT_EQ(Saved(ftASCII), layout);
    RecordProperty("inputs", done);
}

// Streams as older versions wrote them, kept by hand in tests/data: what
// each held by a name of its day loads as today's value, and positions and
// heights in the units of that day load as mm values.
TEST_F(TemplateTest, OldStreamsLoadTheirLegacyPropertiesAsTodaysValues) {
    auto label = [&](const char* Name) { return dynamic_cast<TrpComponent*>(form->FindComponent(Name)); };
    auto bounds = [&](const char* Name) {
        TrpComponent* c = label(Name);
        return c == nullptr ? std::string("none")
                            : std::to_string(c->mmLeft()) + " " + std::to_string(c->mmTop()) + " " +
                                  std::to_string(c->mmWidth()) + " " + std::to_string(c->mmHeight());
    };
    struct Case {
        const char* file;
        std::function<void()> check;
    };
    const std::vector<Case> cases = {
        {"alignment-tacenter.txt",
         [&] {
             ASSERT_NE(label("lblTitulo"), nullptr);
             EXPECT_EQ(label("lblTitulo")->TextAlignment(), taCentered);
             EXPECT_EQ(label("lblData")->TextAlignment(), taRightJustified);
         }},
        {"ruler-units.txt", [&] { EXPECT_EQ(report->Units(), utMillimeters); }},
        {"no-data-pages.txt", [&] { EXPECT_EQ(report->PageLimit(), 3); }},
        // 96 and 48 screen pixels: an inch and half of one.
        {"band-pixels-2000.txt",
         [&] {
             EXPECT_EQ(report->GetBand(btHeader)->mmHeight(), 25400);
             EXPECT_EQ(report->GetBand(btDetail)->mmHeight(), 12700);
         }},
        {"band-height-2100.txt",
         [&] {
             EXPECT_EQ(report->GetBand(btHeader)->mmHeight(), 96);
             EXPECT_EQ(report->GetBand(btDetail)->mmHeight(), 48);
         }},
        {"landscape-1200.txt", [&] { EXPECT_EQ(report->PrinterSetup()->Orientation(), poLandscape); }},
        {"landscape-1300.txt", [&] { EXPECT_EQ(report->PrinterSetup()->Orientation(), poPortrait); }},
        {"left-inches-2900.txt", [&] { EXPECT_EQ(bounds("lblValor"), "31750 6350 50800 12700"); }},
        {"left-millimeters-2900.txt", [&] { EXPECT_EQ(bounds("lblValor"), "31750 0 50800 4498"); }},
    };
    const std::string layout = Saved(ftASCII);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string text = DataFile(std::string("legacy/") + c.file);
        ASSERT_FALSE(text.empty());
        report->Template()->New();
        report->PrinterSetup()->SetOrientation(poPortrait);
        Load(text);
        c.check();
        // Nothing of the old names is written again.
        const std::string saved = Saved(ftASCII);
        for (const char* old : {" RulerUnits =", " NoDataPages =", " Orientation =", " Alignment =", " Left ="})
            EXPECT_EQ(saved.find(old), std::string::npos) << old;
        Load(layout);
    }
}

// Lengths no paper has (sums of them would overflow) come only from a
// damaged stream: refused, the layout as it was.
TEST_F(TemplateTest, APageGeometryNoPaperHasIsRefused) {
    const std::string layout = Saved(ftASCII);
    for (const char* value : {"2147483647", "-2147483648", "100000001"}) {
        std::string text = layout;
        const auto at = text.find("PrinterSetup.mmMarginTop = 6350");
        ASSERT_NE(at, std::string::npos) << text;
        text.replace(at, 31, std::string("PrinterSetup.mmMarginTop = ") + value);
        EXPECT_THROW(Load(text), ETemplateLoadError) << value;
        EXPECT_EQ(Saved(ftASCII), layout) << value;
    }
}

// A table of templates: a name column and a BLOB column (or a text one).
struct TemplateTable {
    explicit TemplateTable(TFieldType Kind) : table(std::make_unique<TmtMemTable>(nullptr)) {
        table->FieldDefs()->Add("Nome", ftString, 40);
        table->FieldDefs()->Add("Matriz", Kind, Kind == ftString ? 200 : 0);
        table->Open();
        source.SetDataSet(table.get());
    }
    std::unique_ptr<TmtMemTable> table;
    TDataSource source{nullptr};
};

TEST_F(TemplateTest, DatabaseTemplatesAppendNewNamesEditKnownOnesAndRefuseTextFields) {
    TemplateTable rows(ftBlob);
    auto* pipe = new TrpDBPipeline(form.get());
    pipe->SetName("plMatrizes");
    pipe->SetDataSource(&rows.source);
    TrpReportTemplate* t = report->Template();
    t->SetSaveTo(stDatabase);
    t->DatabaseSettings()->SetDataPipeline(pipe);
    t->DatabaseSettings()->SetNameField("Nome");
    t->DatabaseSettings()->SetTemplateField("Matriz");
    t->SetDescription("Notas");
    EXPECT_EQ(t->GetDescription(), "Notas");
    const std::string withLimit3 = Saved(ftASCII);
    t->Save();
    report->SetPageLimit(5);
    t->DatabaseSettings()->SetName("Outra");
    t->Save();
    report->SetPageLimit(7);
    t->Save();
    EXPECT_EQ(rows.table->RecordCount(), 2);

    t->DatabaseSettings()->SetName("Notas");
    t->Load();
    EXPECT_EQ(Saved(ftASCII), withLimit3);
    t->DatabaseSettings()->SetName("Outra");
    t->Load();
    EXPECT_EQ(report->PageLimit(), 7);

    t->DatabaseSettings()->SetName("Nenhuma");
    try {
        t->Load();
        ADD_FAILURE();
    } catch (const ETemplateLoadError& e) {
        EXPECT_EQ(e.Message(), "Registro não encontrado: Nenhuma");
    }
    EXPECT_EQ(report->PageLimit(), 7);

    TemplateTable texts(ftString);
    pipe->SetDataSource(&texts.source);
    for (bool save : {true, false}) {
        try {
            save ? t->Save() : t->Load();
            ADD_FAILURE() << save;
        } catch (const ETemplateSaveError& e) {
            EXPECT_EQ(e.Message(), "Não é possível gravar a matriz em um campo deste tipo.");
        }
    }
    EXPECT_EQ(texts.table->RecordCount(), 0);
    // Freeing the pipeline clears the reference the settings held.
    delete pipe;
    EXPECT_EQ(t->DatabaseSettings()->DataPipeline(), nullptr);
}

TEST_F(TemplateTest, AModuleTemplateKeepsTheModuleWhenALoadFails) {
    TrpParameterList* module = report->Parameters();
    TrpReportModuleTemplate t(module);
    TMemoryStream good;
    t.SaveToStream(&good);
    const std::string stored = Bytes(good);
    module->Clear();
    module->Add("Novo", dtInteger, Variant(4));
    for (std::size_t cut : {stored.size() / 2, std::size_t{5}}) {
        TMemoryStream bad;
        bad.WriteBytes(stored.substr(0, cut));
        bad.Seek(0, soBeginning);
        EXPECT_ANY_THROW(t.LoadFromStream(&bad));
        ASSERT_EQ(module->Count(), 1);
        EXPECT_EQ(module->Items(0)->Name(), "Novo");
        EXPECT_EQ(module->Parent(), report);
    }
    good.Seek(0, soBeginning);
    t.LoadFromStream(&good);
    ASSERT_EQ(module->Count(), 2);
    EXPECT_EQ(module->FindItem("Total")->Value().AsDouble(), 1.5);
    EXPECT_EQ(module->Parent(), report);
}

// A layout with a value of every kind the stream has: integers of each
// width, a 64-bit one, floats, currency, a date, texts plain and beyond
// ASCII, identifiers, a set, Booleans, a reference, nested objects.
void BuildStandIn(TrpReport* R, TComponent* Owner) {
    R->SetName("rptTodos");
    R->SetPageLimit(300);
    R->SetNoDataBehaviors(TrpNoDataBehaviors{ndBlankReport, ndMessageOnPage});
    R->CreateDefaultBands();
    auto* title = new TrpTestLabel(Owner);
    title->SetName("lblTitulo");
    title->SetCaption("Relatório de Notas");
    title->SetBand(R->GetBand(btHeader));
    auto* region = new TrpRegion(Owner);
    region->SetName("rgnItens");
    region->SetBand(R->GetBand(btDetail));
    auto* held = new TrpTestLabel(Owner);
    held->SetName("lblItem");
    held->SetCaption("Item");
    held->SetBand(R->GetBand(btDetail));
    region->AddObject(held);
    auto* brk = new TrpPageBreak(Owner);
    brk->SetName("pbQuebra");
    brk->SetBand(R->GetBand(btDetail));
    brk->SetShiftRelativeTo(region);
    TrpParameterList* p = R->Parameters();
    p->Add("Pequeno", dtInteger, Variant(7));
    p->Add("Medio", dtInteger, Variant(30000));
    p->Add("Grande", dtInteger, Variant(70000));
    p->Add("Enorme", dtLargeInt, Variant(std::int64_t{50000000000}));
    p->Add("Taxa", dtDouble, Variant(2.5));
    p->Add("Ativo", dtBoolean, Variant(true));
    p->Add("Nome", dtString, Variant(std::string("abc")));
    p->Add("Cidade", dtString, Variant(std::string("São Paulo")));
}

std::string DataFile(const std::string& Name) {
    const auto path = std::filesystem::path(FAT_SOURCE_DIR) / "tests/data/report/templates" / Name;
    return std::filesystem::exists(path) ? fileio::ReadFileBytes(path.string()) : std::string();
}

TEST_F(TemplateTest, StreamsOfAnotherImplementationLoadAndOursMatchThemByteForByte) {
    TComponent owner(nullptr);
    auto* mine = new TrpReport(&owner);
    BuildStandIn(mine, &owner);
    const std::string ours = Saved(ftASCII, mine);
    const std::string bin = DataFile("standin.bin");
    const std::string txt = DataFile("standin.txt");
    if (bin.empty() || txt.empty()) GTEST_FAIL() << "missing reference streams; ours:\n" << ours;
    EXPECT_EQ(Saved(ftBinary, mine), bin);
    // Theirs loaded into an empty report, binary and text, write the same bytes.
    for (const std::string* theirs : {&bin, &txt}) {
        TComponent other(nullptr);
        auto* fresh = new TrpReport(&other);
        fresh->SetName("rptTodos");
        Load(*theirs, fresh);
        EXPECT_EQ(Saved(ftBinary, fresh), bin);
        EXPECT_EQ(Saved(ftASCII, fresh), ours);
        ASSERT_TRUE(fresh->HasParameters());
        EXPECT_EQ(fresh->Parameters()->FindItem("Enorme")->Value().AsInt64(), 50000000000);
        EXPECT_EQ(fresh->Parameters()->FindItem("Cidade")->Value().AsString(), "São Paulo");
        auto* brk = dynamic_cast<TrpPageBreak*>(other.FindComponent("pbQuebra"));
        ASSERT_NE(brk, nullptr);
        EXPECT_EQ(brk->ShiftRelativeTo(), other.FindComponent("rgnItens"));
    }
}

TEST(TemplatePages, AReportSavedAndLoadedAgainPrintsTheSamePages) {
    RegisterClass(TrpTestLabel::StaticClassType());
    ReportRig rig;
    std::vector<std::vector<Variant>> rows;
    for (int i = 1; i <= 40; ++i)
        rows.push_back({Variant("K" + std::to_string(i)), Variant(i <= 25 ? "Campinas" : "Santos")});
    RowsTable data({"Key", "City"}, rows);
    rig.Owner()->InsertComponent(data.Pipeline());
    data.Pipeline()->SetName("plVendas");
    TrpBandedReport* r = rig.Report();
    r->SetDataPipeline(data.Pipeline());
    r->CreateDefaultBands();
    auto* group = new TrpGroup(rig.Owner());
    group->SetName("grpCidade");
    group->SetReport(r);
    group->SetDataPipeline(data.Pipeline());
    group->SetBreakName("City");
    group->SetNewPage(true);
    r->CreateDefaultBands();
    auto text = [&](TrpBand* Band, const std::string& Name, int32_t Left, const std::string& Caption) {
        auto* t = new TrpTestLabel(rig.Owner());
        t->SetName(Name);
        t->SetCaption(Caption);
        t->SetBand(Band);
        t->SetmmLeft(Left);
        return t;
    };
    r->HeaderBand()->SetmmHeight(12000);
    text(r->HeaderBand(), "lblTitulo", 0, "Vendas por cidade");
    r->DetailBand()->SetmmHeight(9000);
    auto* region = new TrpRegion(rig.Owner());
    region->SetName("rgnLinha");
    region->SetBand(r->DetailBand());
    region->SetmmHeight(8000);
    region->AddObject(text(r->DetailBand(), "lblLinha", 2000, "Linha"));
    group->HeaderBand()->SetmmHeight(7000);
    text(group->HeaderBand(), "lblCidade", 0, "Cidade");
    group->FooterBand()->SetmmHeight(6000);
    text(group->FooterBand(), "lblFim", 40000, "Fim da cidade");
    r->FooterBand()->SetmmHeight(10000);
    text(r->FooterBand(), "lblRodape", 0, "Rodapé");

    rig.Print();
    const std::vector<const CapturedPage*> first = rig.Device()->FinalPages();
    ASSERT_GE(first.size(), 2u);
    const std::string before = DumpPages(first);
    ASSERT_NE(before.find("Fim da cidade"), std::string::npos) << before;
    ASSERT_NE(before.find("Linha"), std::string::npos) << before;

    TMemoryStream stored;
    r->Template()->SaveToStream(&stored);
    r->Template()->New();
    stored.Seek(0, soBeginning);
    r->Template()->LoadFromStream(&stored);
    EXPECT_EQ(r->DataPipeline(), data.Pipeline());
    rig.Print();
    std::vector<const CapturedPage*> all = rig.Device()->FinalPages();
    ASSERT_EQ(all.size(), 2 * first.size());
    EXPECT_EQ(DumpPages({all.begin() + static_cast<std::ptrdiff_t>(first.size()), all.end()}), before);
    UnRegisterClass(TrpTestLabel::StaticClassType());
}

TEST(TemplatePipelines, APipelineStreamsItsFieldsAndLinksInsideIt) {
    TComponent form(nullptr);
    auto* master = new TrpCustomDataPipeline(&form);
    master->SetName("plNotas");
    master->SetAutoCreateFields(false);
    master->CreateField("Id", dtInteger, 0);
    auto* detail = new TrpCustomDataPipeline(&form);
    detail->SetName("plItens");
    detail->SetAutoCreateFields(false);
    detail->CreateField("NotaId", dtInteger, 0);
    detail->CreateField("Descricao", dtString, 40);
    detail->AddLink(master, "Id", "NotaId");
    TrpReportModuleTemplate t(detail);
    t.SetFormat(ftASCII);
    TMemoryStream stored;
    t.SaveToStream(&stored);
    const std::string text = stored.DataBytes();
    EXPECT_LT(text.find("object plItensrpField2: TrpField"), text.find("object plItensrpMasterFieldLink1"));
    detail->FreeLinks();
    detail->FreeFields();
    ASSERT_EQ(detail->FieldCount(), 0);
    stored.Seek(0, soBeginning);
    t.LoadFromStream(&stored);
    ASSERT_EQ(detail->FieldCount(), 2);
    EXPECT_EQ(detail->Fields(1)->FieldName(), "Descricao");
    EXPECT_EQ(detail->Fields(1)->FieldLength(), 40);
    EXPECT_EQ(detail->Fields(1)->Owner(), &form);
    ASSERT_EQ(detail->LinkCount(), 1);
    EXPECT_EQ(detail->Links(0)->DetailFieldName(), "NotaId");
    EXPECT_EQ(detail->MasterDataPipeline(), master);
    EXPECT_EQ(form.ComponentCount(), 6);  // two pipelines, three fields, a link
}

TEST_F(TemplateTest, ScriptsReachTheTemplateAndItsDatabaseSettingsByName) {
    TrpReportTemplate* t = report->Template();
    TrsRTTIClass adapter = TrsRTTIClassRegistry::GetRTTIClass(t->ClassType());
    ASSERT_EQ(adapter, TrsTrpReportTemplateRTTI::Instance());
    TrsValue v;
    ASSERT_TRUE(adapter->GetPropValue(t, "fileextension", v));
    EXPECT_EQ(std::get<std::string>(v), "rtm");
    ASSERT_TRUE(adapter->GetPropValue(t, "Report", v));
    EXPECT_EQ(std::get<TObject*>(v), report);
    EXPECT_TRUE(adapter->SetPropValue(t, "Format", TrsValue(int32_t{ftASCII})));
    EXPECT_EQ(t->Format(), ftASCII);
    EXPECT_FALSE(adapter->SetPropValue(t, "Format", TrsValue(int32_t{7})));
    EXPECT_FALSE(adapter->SetPropValue(t, "ReadOnly", TrsValue(true)));
    EXPECT_TRUE(adapter->SetPropValue(t, "SaveTo", TrsValue(int32_t{stDatabase})));
    TrsMemberDescriptor rec;
    ASSERT_TRUE(adapter->GetPropRec(t->ClassType(), "SaveTo", rec));
    EXPECT_EQ(rec.DataType, rsEnum);
    EXPECT_EQ(rec.EnumTypeName, "TrpSaveToType");
    ASSERT_TRUE(adapter->GetPropValue(t, "DatabaseSettings", v));
    TObject* settings = std::get<TObject*>(v);
    TrsRTTIClass settingsAdapter = TrsRTTIClassRegistry::GetRTTIClass(settings->ClassType());
    EXPECT_TRUE(settingsAdapter->SetPropValue(settings, "Name", TrsValue(std::string("Notas"))));
    ASSERT_TRUE(adapter->GetPropValue(t, "Description", v));
    EXPECT_EQ(std::get<std::string>(v), "Notas");
    EXPECT_TRUE(adapter->CallMethod(t, "New", false, nullptr));
    EXPECT_EQ(report->GroupCount(), 0);
}

TEST_F(TemplateTest, AReportKeptAsATemplateTakesItsLayoutFromItWhenRead) {
    report->Template()->SetFileName(FilePath());
    report->Template()->SaveToFile();
    const std::string layout = Saved(ftASCII);
    std::unique_ptr<TComponent> read(ReadStoredText("object rptNotas: TrpReport\n"
                                                    "  SaveAsTemplate = True\n"
                                                    "  Template.FileName = '" +
                                                        FilePath() + "'\n"
                                                                     "end\n",
                                                    nullptr));
    auto* loaded = dynamic_cast<TrpReport*>(read.get());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->PageLimit(), 3);
    ASSERT_EQ(loaded->GroupCount(), 1);
    EXPECT_EQ(loaded->Template()->FileName(), FilePath());
    EXPECT_EQ(loaded->State() & rpstTemplateLoading, 0);
}

TEST_F(TemplateTest, ASubreportCarriesItsChildReportInsideTheTemplate) {
    auto* sub = new TrpSubReport(form.get());
    sub->SetName("srItens");
    sub->SetBand(report->GetBand(btDetail));
    TrpChildReport* child = sub->Report();
    ASSERT_NE(child, nullptr);
    child->CreateDefaultBands();
    auto* inner = new TrpTestLabel(form.get());
    inner->SetName("lblFilho");
    inner->SetCaption("Item do filho");
    inner->SetBand(child->GetBand(btDetail));
    const std::string layout = Saved(ftASCII);
    const int components = form->ComponentCount();
    const std::string stored = Saved(ftBinary);
    report->Template()->New();
    Load(stored);
    EXPECT_EQ(Saved(ftASCII), layout);
    EXPECT_EQ(form->ComponentCount(), components);
    auto* loaded = dynamic_cast<TrpSubReport*>(form->FindComponent("srItens"));
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(loaded->ChildReport(), nullptr);
    auto* label = dynamic_cast<TrpComponent*>(form->FindComponent("lblFilho"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Band()->Report(), loaded->ChildReport());
}

}  // namespace
}  // namespace reporttest

namespace reporttest {
namespace {

// A parameter whose stored value its type cannot take is read as it is,
// but the report takes its parameters by copy: the load is refused whole
// rather than failing half way through with the layout half taken.
TEST_F(TemplateTest, AParameterValueItsTypeCannotTakeRefusesTheLoadAndKeepsTheLayout) {
    const std::string layout = Saved(ftASCII);
    const std::string stored = "Value =  1.50000000000000000000E+0000";
    const auto at = layout.find(stored);
    ASSERT_NE(at, std::string::npos) << layout;
    std::string text = layout;
    text.replace(at, stored.size(), "Value = 'muito'");
    EXPECT_THROW(Load(text), ETemplateLoadError);
    EXPECT_EQ(Saved(ftASCII), layout);
    EXPECT_EQ(report->State() & rpstTemplateLoading, 0);
}

}  // namespace
}  // namespace reporttest
