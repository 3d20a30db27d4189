// The text, report-text and archive devices: golden files, Python's csv
// reader and Free Pascal's reading of the component stream as oracles.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include <filesystem>
#include <memory>

#include "report/rpDevice.h"
#include "report/rpExcept.h"
#include "platform/rtl/SafeFile.h"
#include "report_output/rpPDFDevice.h"
#include "tests/report_output/PdfTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using filetest::AddText;
using filetest::NewPage;
using filetest::Shell;

std::string Golden(const std::string& Name) {
    return testsupport::ReadAll(std::string(FAT_TEST_DATA_DIR) + "/report_output/" + Name);
}

TrpDrawText* Saved(TrpPage* Page, const std::string& Text, int Band, int Component, int Length = 0,
                   TAlignment Alignment = taLeftJustify) {
    TrpDrawText* t = AddText(Page, Text, Component * 1000, Band * 1000);
    t->SetBandSave(true);
    t->SetComponentSave(true);
    t->SetBandSaveNo(Band);
    t->SetComponentSaveNo(Component);
    t->SetSaveLength(Length);
    t->SetAlignment(Alignment);
    return t;
}

// Runs one job over the pages on Device, writing File.
void Job(TrpFileDevice& Device, const std::string& File, const std::vector<TrpPage*>& Pages) {
    Device.SetFileName(File);
    Device.StartJob();
    for (TrpPage* p : Pages) Device.ReceivePage(p);
    Device.EndJob();
}

using Pages = std::vector<std::unique_ptr<TrpPage>>;
std::vector<TrpPage*> Raw(const Pages& P) {
    std::vector<TrpPage*> out;
    for (const auto& p : P) out.push_back(p.get());
    return out;
}

}  // namespace

TEST(TextFileDevice, EachFileTypeWritesItsGoldenFile) {
    testsupport::TempDir dir;
    {
        Pages pages;
        pages.emplace_back(NewPage(1, false));
        pages.emplace_back(NewPage(2, true));
        // Given out of order: the device sorts by band, then component.
        Saved(pages[0].get(), "ab", 1, 3);
        Saved(pages[0].get(), "a b", 1, 1);
        Saved(pages[0].get(), "a,b", 1, 2);
        Saved(pages[0].get(), "", 1, 4);
        Saved(pages[0].get(), "a\"b,c", 2, 1);
        Saved(pages[0].get(), "linha1\nlinha2", 2, 2);
        Saved(pages[0].get(), "   ", 3, 1)->SetBandSave(false);  // not saved
        Saved(pages[1].get(), "Müller", 1, 1);
        Saved(pages[1].get(), "y", 1, 2);
        TrpTextFileDevice device(nullptr);
        Job(device, dir.file("comma.txt"), Raw(pages));
        EXPECT_EQ(testsupport::ReadAll(dir.file("comma.txt")), Golden("comma.txt"));
        EXPECT_EQ(Shell("cmp " + dir.file("comma.txt") + " " + std::string(FAT_TEST_DATA_DIR) +
                      "/report_output/comma.txt")
                      .Status,
                  0);
        const auto csv = Shell("/usr/bin/python3 -c \"import csv,sys;print(list(csv.reader(open(sys.argv[1],newline='',"
                             "encoding='cp1252'))))\" " + dir.file("comma.txt"));
        EXPECT_EQ(csv.Output, "[['a b', 'a,b', 'ab', ''], ['a\"b,c', 'linha1\\nlinha2'], ['Müller', 'y']]\n");
    }
    {
        Pages pages;
        pages.emplace_back(NewPage(1, true));
        for (int i = 1; i <= 6; ++i) Saved(pages[0].get(), std::to_string(i), (i - 1) / 3 + 1, i);
        TrpTextFileDevice device(nullptr);
        device.SetTextFileType(ftTab);
        Job(device, dir.file("tab.txt"), Raw(pages));
        EXPECT_EQ(testsupport::ReadAll(dir.file("tab.txt")), Golden("tab.txt"));
    }
    {
        Pages pages;
        pages.emplace_back(NewPage(1, true));
        Saved(pages[0].get(), "abcdefg", 1, 1, 5);
        Saved(pages[0].get(), "ab", 1, 2, 5, taRightJustify);
        Saved(pages[0].get(), "a", 1, 3, 5, taCenter);
        Saved(pages[0].get(), "ab", 1, 4, 5, taCenter);
        TrpTextFileDevice device(nullptr);
        device.SetTextFileType(ftFixedLength);
        Job(device, dir.file("fixed.txt"), Raw(pages));
        EXPECT_EQ(testsupport::ReadAll(dir.file("fixed.txt")), Golden("fixed.txt"));
    }
    {
        Pages pages;
        pages.emplace_back(NewPage(1, true));
        Saved(pages[0].get(), "A", 1, 1);
        Saved(pages[0].get(), "B", 1, 2);
        Saved(pages[0].get(), "C", 2, 1);
        TrpTextFileDevice device(nullptr);
        device.SetTextFileType(ftCustom);
        device.OnSaveText = [](TObject*, std::string& Text) { Text += "|"; };
        Job(device, dir.file("custom.txt"), Raw(pages));
        EXPECT_EQ(testsupport::ReadAll(dir.file("custom.txt")), Golden("custom.txt"));
        EXPECT_EQ(device.LineNo(), 0) << "state is cleared when the job ends";
    }
}

TEST(TextFileDevice, EmptyBandsWriteNothingAndQuotedValuesStayAsTheyWere) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, false));
    pages.emplace_back(NewPage(2, true));
    Saved(pages[0].get(), "", 1, 1);
    Saved(pages[0].get(), "\"já, entre aspas\"", 2, 1);
    Saved(pages[1].get(), "fim", 1, 1);
    TrpTextFileDevice device(nullptr);
    Job(device, dir.file("t.txt"), Raw(pages));
    EXPECT_EQ(testsupport::ReadAll(dir.file("t.txt")), "\"j\xE1, entre aspas\"\r\nfim");
    EXPECT_FALSE(device.Busy());
    // A cancelled job keeps what was written and frees the device; so does
    // a file that cannot be made.
    device.StartJob();
    device.CancelJob();
    EXPECT_FALSE(device.Busy());
    device.SetFileName(dir.file("no/such/folder/t.txt"));
    EXPECT_THROW(device.StartJob(), Exception);
    EXPECT_FALSE(device.Busy());
}

TEST(ReportTextFileDevice, PlacesTextsOnTheCharacterGrid) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, true));
    AddText(pages[0].get(), "Total", 0, 0, 20000);
    AddText(pages[0].get(), "abc", 5250, 9000, 5000);
    TrpReportTextFileDevice device(nullptr);
    device.SetCalcGridFromFont(false);
    Job(device, dir.file("r.txt"), Raw(pages));
    EXPECT_EQ(testsupport::ReadAll(dir.file("r.txt")), Golden("reporttext.txt"));

    // Texts left of or above the paper land in the first column and row; a
    // page without texts writes nothing; the grid from the font gives as
    // many lines as it says.
    Pages more;
    more.emplace_back(NewPage(1, false));
    more.emplace_back(NewPage(2, true));
    AddText(more[0].get(), "neg", -3000, -2000, 5000);
    TrpReportTextFileDevice fromFont(nullptr);
    Job(fromFont, dir.file("f.txt"), Raw(more));
    const std::string text = testsupport::ReadAll(dir.file("f.txt"));
    EXPECT_EQ(text.substr(0, 5), "neg\r\n");
    size_t lines = 0;
    for (size_t p = 0; (p = text.find("\r\n", p)) != std::string::npos; p += 2) ++lines;
    EXPECT_EQ(static_cast<int>(lines), fromFont.LinesPerPage());
    EXPECT_GT(fromFont.LinesPerPage(), 40);
}

namespace {

// The archive's little-endian integer at Offset.
int32_t At(const std::string& Bytes, size_t Offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(Bytes[Offset + i]);
    return static_cast<int32_t>(v);
}

// One of each file device, named by the file it writes.
struct DeviceCase {
    std::string name;
    std::unique_ptr<TrpFileDevice> device;
};
std::vector<DeviceCase> EveryFileDevice() {
    std::vector<DeviceCase> cases;
    cases.push_back({"Report.pdf", std::make_unique<TrpPDFDevice>(nullptr)});
    cases.push_back({"Report.txt", std::make_unique<TrpTextFileDevice>(nullptr)});
    cases.push_back({"Relatorio.txt", std::make_unique<TrpReportTextFileDevice>(nullptr)});
    cases.push_back({"Report.rpa", std::make_unique<TrpArchiveDevice>(nullptr)});
    return cases;
}

}  // namespace

TEST(ArchiveDevice, IndexesThePagesAndStoresThemAsComponentStreams) {
    testsupport::TempDir dir;
    {
        TrpArchiveDevice device(nullptr);
        Job(device, dir.file("empty.raf"), {});
        EXPECT_EQ(testsupport::ReadAll(dir.file("empty.raf")), std::string("\x04\0\0\0", 4));
    }
    Pages pages;
    pages.emplace_back(NewPage(5, false));
    pages.emplace_back(NewPage(3, true));
    AddText(pages[0].get(), "Relatório", 1000, 1000);
    AddText(pages[1].get(), "Total", 1000, 1000);
    TrpArchiveDevice device(nullptr);
    Job(device, dir.file("two.raf"), Raw(pages));
    const std::string raf = testsupport::ReadAll(dir.file("two.raf"));
    ASSERT_GT(raf.size(), 20u);
    EXPECT_EQ(At(raf, 0), 20);
    EXPECT_EQ(At(raf, 4), 0);
    EXPECT_EQ(At(raf, 8), 5);
    const int32_t a = At(raf, 12);
    EXPECT_EQ(At(raf, 16), 3);
    ASSERT_GT(a, 0);
    EXPECT_EQ(raf.substr(20, 4), "TPF0");
    EXPECT_EQ(raf.substr(20 + a, 4), "TPF0");
    EXPECT_TRUE(device.TempFileName().empty());

    // Free Pascal's reader takes every body for a component stream.
    const std::string pas = dir.file("objtxt.pas");
    testsupport::WriteAll(pas,
                          "program objtxt;\nuses Classes;\nvar i, o: TFileStream;\nbegin\n"
                          "  i := TFileStream.Create(ParamStr(1), fmOpenRead);\n"
                          "  o := TFileStream.Create(ParamStr(2), fmCreate);\n"
                          "  ObjectBinaryToText(i, o);\n  o.Free; i.Free;\nend.\n");
    const auto built = Shell("cd " + dir.path().string() + " && fpc -v0 objtxt.pas");
    ASSERT_EQ(built.Status, 0) << built.Output;
    const std::string bodies[] = {raf.substr(20, static_cast<size_t>(a)), raf.substr(20 + static_cast<size_t>(a))};
    const char* texts[] = {"AbsolutePageNo = 5", "AbsolutePageNo = 3"};
    for (int i = 0; i < 2; ++i) {
        testsupport::WriteAll(dir.file("body"), bodies[i]);
        const auto r = Shell(dir.file("objtxt") + " " + dir.file("body") + " " + dir.file("body.txt"));
        ASSERT_EQ(r.Status, 0) << r.Output;
        const std::string text = testsupport::ReadAll(dir.file("body.txt"));
        EXPECT_EQ(text.rfind("object ", 0), 0u) << text;
        EXPECT_NE(text.find(texts[i]), std::string::npos) << text;
        EXPECT_NE(text.find("TrpDrawText"), std::string::npos) << text;
    }
}

TEST(ArchiveDevice, ACancelledJobLeavesNeitherTheArchiveNorItsTemporaryFile) {
    testsupport::TempDir dir;
    Pages pages;
    pages.emplace_back(NewPage(1, false));
    AddText(pages[0].get(), "x", 0, 0);
    TrpArchiveDevice device(nullptr);
    device.SetFileName(dir.file("c.raf"));
    device.StartJob();
    const std::string temp = device.TempFileName();
    EXPECT_EQ(std::filesystem::path(temp).filename().string().rfind("arc", 0), 0u) << temp;
    device.ReceivePage(pages[0].get());
    device.CancelJob();
    EXPECT_FALSE(device.Busy());
    EXPECT_FALSE(std::filesystem::exists(temp));
    EXPECT_FALSE(std::filesystem::exists(dir.file("c.raf")));
}

// A report written to a shared temporary folder where another user left a
// link at its name, pointing at a file of the clerk's (the database): the
// link is replaced by the report and the clerk's file stays as it was, for
// every file device.
TEST(FileDevices, ALinkAtTheReportsNameIsReplacedAndWhatItPointsAtIsUntouched) {
    testsupport::TempDir dir;
    const std::string victim = dir.file("faturamento.db");
    testsupport::WriteAll(victim, "SQLite format 3");
    std::unique_ptr<TrpPage> page(NewPage(1, true));
    Saved(page.get(), "Nota 101", 1, 1);
    for (DeviceCase& c : EveryFileDevice()) {
        const std::string link = dir.file(c.name);
        std::filesystem::create_symlink(victim, link);
        Job(*c.device, link, {page.get()});
        EXPECT_FALSE(std::filesystem::is_symlink(link)) << c.name;
        EXPECT_GT(std::filesystem::file_size(link), 0u) << c.name;
    }
    EXPECT_EQ(testsupport::ReadAll(victim), "SQLite format 3");
}

// Another program swaps a plain file and a pipe at the report's name, over
// and over, while reports are saved there: each save either leaves a file or
// is refused, and no reader of any of those pipes ever receives a byte.
TEST(FileDevices, APipeSwappedInAtTheNameWhileSavingNeverReceivesTheReport) {
    testsupport::TempDir dir;
    std::unique_ptr<TrpPage> page(NewPage(1, true));
    Saved(page.get(), "Nota 101", 1, 1);
    const std::string name = dir.file("listagem.txt");
    // A writer left holding a pipe whose reader is gone must fail, not die.
    auto* previous = std::signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop{false};
    std::atomic<long> received{0};
    std::atomic<long> swaps{0};
    std::thread swapper([&] {
        const std::string fifo = dir.file("cano"), file = dir.file("arquivo");
        std::vector<int> readers;  // kept open a while: a late writer still finds its reader
        char buffer[4096];
        auto drain = [&](int fd) {
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) received += n;
        };
        while (!stop) {
            if (::mkfifo(fifo.c_str(), 0600) != 0) break;
            readers.push_back(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK));
            ::rename(fifo.c_str(), name.c_str());
            const int f = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            ::close(f);
            ::rename(file.c_str(), name.c_str());
            for (int fd : readers) drain(fd);
            if (readers.size() > 32) {
                ::close(readers.front());
                readers.erase(readers.begin());
            }
            ++swaps;
        }
        for (int fd : readers) {
            drain(fd);
            ::close(fd);
        }
    });
    int saved = 0, refused = 0;
    for (int i = 0; i < 3000 && received == 0; ++i) {
        TrpTextFileDevice device(nullptr);
        try {
            Job(device, name, {page.get()});
            ++saved;
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find("não foi gravado: com esse nome existe um pipe (FIFO)"), std::string::npos)
                << e.Message();
            ++refused;
        }
    }
    stop = true;
    swapper.join();
    std::signal(SIGPIPE, previous);
    EXPECT_EQ(received, 0) << "a pipe received the report (" << saved << " saved, " << refused << " refused)";
    EXPECT_GT(swaps, 0);
    EXPECT_GT(saved, 0);
}

// The archive's page file is nameless once open: programs killed in the
// middle of a job, at each page, leave no "arc*.tmp" in the temporary folder.
TEST(ArchiveDevice, JobsKilledMidwayLeaveNoPageFileBehind) {
    testsupport::TempDir dir;
    const std::string temp = dir.file("tmp");
    std::filesystem::create_directory(temp);
    Pages pages;
    for (int i = 1; i <= 3; ++i) {
        pages.emplace_back(NewPage(i, i == 3));
        AddText(pages.back().get(), "Página " + std::to_string(i), 1000, 1000);
    }
    for (int killedAfter = 0; killedAfter <= 3; ++killedAfter) {
        EXPECT_TRUE(testsupport::KilledInChild([&] {
            ::setenv("TMPDIR", temp.c_str(), 1);
            TrpArchiveDevice device(nullptr);
            device.SetFileName(dir.file("r.raf"));
            device.StartJob();
            for (int i = 0; i < killedAfter; ++i) device.ReceivePage(pages[static_cast<size_t>(i)].get());
            ::raise(SIGKILL);
        }));
    }
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(temp)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{});
}

// A report saved to a name where a pipe, or a link to a pipe, already stands
// is refused with a message naming it, for every file device, and the pipe
// is never opened for writing: its reader finds nothing in it.
TEST(FileDevices, APipeAtTheReportsNameIsRefusedAndNeverWritten) {
    testsupport::TempDir dir;
    std::unique_ptr<TrpPage> page(NewPage(1, true));
    Saved(page.get(), "Nota 101", 1, 1);
    const std::string fifo = dir.file("listagem");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink(fifo, dir.file("atalho"));
    // Another user's reader, which takes whatever comes (so that a fault
    // shows as bytes read, not as a job stalled on a full pipe).
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::atomic<bool> stop{false};
    std::atomic<long> received{0};
    std::thread drain([&] {
        char buffer[4096];
        while (!stop) {
            ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0) received += n;
            else std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (DeviceCase& c : EveryFileDevice()) {
        for (const std::string& name : {fifo, dir.file("atalho")}) {
            SCOPED_TRACE(c.name + " " + name);
            try {
                Job(*c.device, name, {page.get()});
                ADD_FAILURE() << "written";
            } catch (const Exception& e) {
                EXPECT_NE(e.Message().find("\"" + name + "\" não foi gravado: com esse nome existe um pipe (FIFO)"),
                          std::string::npos)
                    << e.Message();
            }
            EXPECT_FALSE(c.device->Busy());
        }
    }
    stop = true;
    drain.join();
    char rest[4096];
    for (ssize_t n; (n = ::read(reader, rest, sizeof rest)) > 0;) received += n;
    EXPECT_EQ(received, 0) << "the pipe was written";
    ::close(reader);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

namespace {

// Makes every write of a file being saved fail as a full disk does: the
// descriptor is pointed at /dev/full just before the write.
struct FullDisk {
    FullDisk() {
        fileio::SetWriteStepHook([](fileio::WriteStep Step, int Fd, const std::string&) {
            if (Step != fileio::WriteStep::BeforeWrite || Fd < 0) return;
            const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
            if (full >= 0) {
                ::dup2(full, Fd);
                ::close(full);
            }
        });
    }
    ~FullDisk() { fileio::SetWriteStepHook(nullptr); }
};

}  // namespace

// A report saved over an older file on a full disk, or into a read-only
// folder: the clerk reads in Portuguese which file was not saved and why,
// and the older file stays as it was, for every file device. The read-only
// folder is a read-only bind of it in a mount namespace of a child (root
// passes over permission bits), or its permission bits for another user.
TEST(FileDevices, ASaveThatFailsNamesTheFileInPortugueseAndKeepsTheOldOne) {
    testsupport::TempDir dir, outside;
    std::unique_ptr<TrpPage> page(NewPage(1, true));
    Saved(page.get(), "Nota 101", 1, 1);
    AddText(page.get(), "Nota 101", 1000, 1000);
    for (DeviceCase& c : EveryFileDevice()) {
        SCOPED_TRACE(c.name);
        const std::string name = dir.file(c.name);
        testsupport::WriteAll(name, "o relatório de ontem");
        std::string said;
        {
            FullDisk full;
            try {
                Job(*c.device, name, {page.get()});
                ADD_FAILURE() << "saved on a full disk";
            } catch (const Exception& e) {
                said = e.Message();
            }
        }
        EXPECT_EQ(said.rfind("Não foi possível gravar o arquivo \"" + name + "\": não há espaço livre no disco.", 0), 0u)
            << said;
        EXPECT_EQ(testsupport::ReadAll(name), "o relatório de ontem");
    }

    // The read-only folder.
    const std::string told = outside.file("said.txt");
    std::string reason;
    if (::geteuid() != 0) {
        ::chmod(dir.path().c_str(), 0555);
        reason = "permissão negada";
    } else {
        reason = "o disco ou a pasta é somente leitura";
    }
    for (const char* device : {"Report.pdf", "Report.txt", "Relatorio.txt", "Report.rpa"}) {
        SCOPED_TRACE(device);
        const std::string name = dir.file(device);
        std::filesystem::remove(told);
        bool killed = testsupport::KilledInChild([&] {
            if (::geteuid() == 0) {
                if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                    ::mount(dir.path().c_str(), dir.path().c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                    ::mount(nullptr, dir.path().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
                    testsupport::WriteAll(told, "<no mount namespace>");
                    return;
                }
            }
            for (DeviceCase& c : EveryFileDevice()) {
                if (c.name != device) continue;
                try {
                    Job(*c.device, name, {page.get()});
                    testsupport::WriteAll(told, "<saved>");
                } catch (const Exception& e) {
                    testsupport::WriteAll(told, e.Message());
                }
            }
        });
        ASSERT_FALSE(killed);
        const std::string said = testsupport::ReadAll(told);
        if (said == "<no mount namespace>") GTEST_SKIP() << "no read-only folder can be made here";
        EXPECT_EQ(said.rfind("Não foi possível criar o arquivo \"" + name + "\": " + reason + ".", 0), 0u) << said;
        EXPECT_EQ(testsupport::ReadAll(name), "o relatório de ontem");
    }
    ::chmod(dir.path().c_str(), 0755);
}
