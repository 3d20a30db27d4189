// The stream-format frame, driven by a small line-per-record format: field
// selection, flags, hooks, events, the table's state after a failure, and
// the persistent file.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "memtable/mtMemTable.h"
#include "memtable/mtStreamFormat.h"
#include "platform/rtl/Strings.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

namespace {

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find(sep, start);
        out.push_back(s.substr(start, p - start));
        if (p == std::string::npos) return out;
        start = p + 1;
    }
}

// Header line of field names, then one line per record.
class LineFormat : public TmtCustomStreamFormat {
public:
    explicit LineFormat(TComponent* Owner) : TmtCustomStreamFormat(Owner) {}
    std::vector<std::string> events;
    int failAfterRows = -1;  // LoadData / SaveData raise after this many rows

    void SaveDef(TmtCustomMemTable* DataSet) override {
        std::string line;
        for (int i : SaveFieldMap())
            if (i >= 0) line += (line.empty() ? "" : ";") + DataSet->Fields()->Fields(i)->FieldName();
        WorkStream()->WriteBytes(line + "\n");
    }
    void SaveData(TmtCustomMemTable* DataSet) override {
        int rows = 0;
        for (DataSet->First(); !DataSet->Eof(); DataSet->Next()) {
            if (rows++ == failAfterRows) throw EMemTableError("disk full");
            std::string line;
            bool first = true;
            for (int i : SaveFieldMap()) {
                if (i < 0) continue;
                line += (first ? "" : ";") + DataSet->Fields()->Fields(i)->AsString();
                first = false;
            }
            WorkStream()->WriteBytes(line + "\n");
        }
    }
    void LoadDef(TmtCustomMemTable*) override {
        lines_ = Split(WorkStream()->ReadAllBytes(), '\n');
        header_ = lines_.empty() ? std::vector<std::string>{} : Split(lines_[0], ';');
    }
    void GetFieldNames(TmtCustomMemTable* DataSet, TStrings* List) override {
        if (header_.empty()) return TmtCustomStreamFormat::GetFieldNames(DataSet, List);
        List->Clear();
        for (const std::string& n : header_) List->Add(n);
    }
    bool DetermineLoadFieldIndex(TmtCustomMemTable* DataSet, int Position, int, int& MapEntry, int) override {
        TField* f = DataSet->FindField(LoadFieldNames()->Strings(Position));
        if (f == nullptr) return false;
        MapEntry = f->Index();
        return true;
    }
    void LoadData(TmtCustomMemTable* DataSet) override {
        for (std::size_t r = 1; r < lines_.size(); ++r) {
            if (lines_[r].empty()) continue;
            if (static_cast<int>(r) - 1 == failAfterRows) throw EMemTableError("bad row");
            const auto values = Split(lines_[r], ';');
            DataSet->Append();
            for (std::size_t c = 0; c < values.size() && c < LoadFieldMap().size(); ++c)
                if (LoadFieldMap()[c] >= 0) DataSet->Fields()->Fields(LoadFieldMap()[c])->SetAsString(values[c]);
            DataSet->Post();
        }
    }

private:
    std::vector<std::string> lines_, header_;
};

std::unique_ptr<TmtMemTable> MakeTable(bool withRows = true) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Nome", ftString, 20);
    t->FieldDefs()->Add("Nota", ftMemo);
    t->Open();
    if (withRows) {
        for (int i = 1; i <= 3; ++i) {
            t->Append();
            t->FieldByName("Id")->SetAsInteger(i);
            t->FieldByName("Nome")->SetAsString("nome " + std::to_string(i));
            t->FieldByName("Nota")->SetAsString("nota");
            t->Post();
        }
    }
    return t;
}

// Whether another thread can take the table's store now.
bool StoreFree(TmtCustomMemTable* t) {
    auto other = std::async(std::launch::async, [&] {
        t->Common()->Lock();
        t->Common()->Unlock();
    });
    return other.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

TEST(DeltaStreamFormat, BaseFormatRefusesClearly) {
    auto t = MakeTable();
    TmtCustomStreamFormat base(nullptr);
    TStringStream stream("keep me");
    try {
        t->SaveToStreamViaFormat(&stream, &base);
        FAIL() << "no error";
    } catch (const EMemTableError& e) {
        EXPECT_NE(e.Message().find("base stream format"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(stream.DataString(), "keep me");  // not emptied
    try {
        t->LoadFromStreamViaFormat(&stream, &base);
        FAIL() << "no error";
    } catch (const EMemTableError& e) {
        EXPECT_EQ(e.Message().rfind("Couldnt determine field count for load.", 0), 0u) << e.Message();
        EXPECT_NE(e.Message().find("base stream format"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(t->RecordCount(), 3);
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_THROW(t->SaveToStreamViaFormat(&stream, nullptr), EMemTableError);
}

TEST(DeltaStreamFormat, SavesEveryRecordAndLoadsThemBack) {
    auto t = MakeTable();
    t->SetFilter("Id = 2");
    t->SetFiltered(true);
    ASSERT_EQ(t->RecordCount(), 1);
    LineFormat f(nullptr);
    f.BeforeSaveData = [&](TObject*) { f.events.push_back("before save"); };
    f.AfterSaveData = [&](TObject*) { f.events.push_back("after save"); };
    t->OnProgress = [&](TDataSet*, int percent, TmtProgressCode code) {
        if (code == mtpcSave) f.events.push_back("progress " + std::to_string(percent));
    };
    TStringStream stream;
    t->SaveToStreamViaFormat(&stream, &f);
    EXPECT_EQ(stream.DataString(), "Id;Nome;Nota\n1;nome 1;nota\n2;nome 2;nota\n3;nome 3;nota\n");
    EXPECT_EQ(f.events, (std::vector<std::string>{"progress 0", "before save", "after save", "progress 100"}));
    // The filter is back on.
    EXPECT_TRUE(t->Filtered());
    EXPECT_EQ(t->RecordCount(), 1);
    EXPECT_EQ(t->CurrentActivity(), memtable::actNone);
    EXPECT_FALSE(t->ControlsDisabled());

    auto copy = MakeTable(false);
    LineFormat g(nullptr);
    g.BeforeLoadData = [&](TObject*) { g.events.push_back("before load"); };
    g.AfterLoadData = [&](TObject*) { g.events.push_back("after load"); };
    stream.Seek(0, soEnd);  // FromStart rewinds it
    copy->LoadFromStreamViaFormat(&stream, &g);
    EXPECT_EQ(g.events, (std::vector<std::string>{"before load", "after load"}));
    EXPECT_EQ(copy->RecordCount(), 3);
    copy->Last();
    EXPECT_EQ(copy->FieldByName("Nome")->AsString(), "nome 3");
    EXPECT_EQ(copy->FieldByName("Nota")->AsString(), "nota");
}

TEST(DeltaStreamFormat, FieldSelectionFollowsTheFlags) {
    auto t = MakeTable();
    t->FieldByName("Nome")->SetVisible(false);
    LineFormat f(nullptr);
    f.SetNonVisibleFieldsFlags(mtff2);  // invisible fields load but do not save
    f.SetBlobFieldsFlags(0);
    TStringStream stream;
    t->SaveToStreamViaFormat(&stream, &f);
    EXPECT_EQ(f.SaveFieldMap(), (std::vector<int>{0, -1, -1}));
    EXPECT_EQ(Split(stream.DataString(), '\n')[0], "Id");

    // Loading maps by name, keeping only what the load flags admit.
    TStringStream in("Id;Nome;Nota;Outro\n9;nove;n;x\n");
    auto copy = MakeTable(false);
    LineFormat g(nullptr);
    g.SetDataFieldsFlags(mtff2);
    g.SetBlobFieldsFlags(mtff1);  // blobs save only
    copy->LoadFromStreamViaFormat(&in, &g);
    EXPECT_EQ(g.LoadFieldMap(), (std::vector<int>{0, 1, -1, -1}));
    copy->First();
    EXPECT_EQ(copy->FieldByName("Nome")->AsString(), "nove");
    EXPECT_TRUE(copy->FieldByName("Nota")->IsNull());

    LineFormat h(nullptr);
    h.Assign(&g);
    EXPECT_EQ(h.DataFieldsFlags(), mtff2);
    EXPECT_EQ(h.BlobFieldsFlags(), mtff1);
    EXPECT_EQ(h.FromStartFlags(), mtff1);
}

TEST(DeltaStreamFormat, AppendFlags) {
    auto t = MakeTable();
    LineFormat f(nullptr);
    TStringStream stream("OLD CONTENT\n");
    f.SetAppendFlags(mtff1);
    t->SaveToStreamViaFormat(&stream, &f);
    EXPECT_EQ(stream.DataString().rfind("OLD CONTENT\nId;Nome;Nota\n", 0), 0u);

    TStringStream overwrite("0123456789012345678901234567890123456789012345678901234567890123456789XYZ");
    overwrite.Seek(0, soBeginning);
    f.SetAppendFlags(mtff2);  // not emptied: written over from the position
    t->SaveToStreamViaFormat(&overwrite, &f);
    EXPECT_EQ(overwrite.DataString().substr(overwrite.DataString().size() - 3), "XYZ");

    f.SetAppendFlags(0);
    t->SaveToStreamViaFormat(&overwrite, &f);
    EXPECT_EQ(overwrite.DataString().rfind("Id;", 0), 0u);
    EXPECT_EQ(overwrite.DataString().find("XYZ"), std::string::npos);
}

TEST(DeltaStreamFormat, CompressionHooksWrapTheBytes) {
    auto t = MakeTable();
    const auto flip = [](TDataSet*, TStream* From, TStream* To) {
        std::string b = From->ReadAllBytes();
        for (char& c : b) c = static_cast<char>(c ^ 0x33);
        To->WriteBytes(b);
    };
    LineFormat f(nullptr);
    f.OnCompress = flip;
    f.OnDecompress = flip;
    TStringStream stream;
    t->SaveToStreamViaFormat(&stream, &f);
    EXPECT_EQ(stream.DataString().find("nome"), std::string::npos);
    auto copy = MakeTable(false);
    copy->LoadFromStreamViaFormat(&stream, &f);
    EXPECT_EQ(copy->RecordCount(), 3);
}

TEST(DeltaStreamFormat, FailuresRestoreTheTable) {
    auto t = MakeTable();
    t->SetFilter("Id <> 1");
    t->SetFiltered(true);
    LineFormat f(nullptr);
    f.failAfterRows = 1;
    TStringStream stream;
    EXPECT_THROW(t->SaveToStreamViaFormat(&stream, &f), EMemTableError);
    EXPECT_TRUE(t->Filtered());
    EXPECT_EQ(t->RecordCount(), 2);
    EXPECT_FALSE(t->ControlsDisabled());
    EXPECT_FALSE(t->Common()->LockedByTable());
    EXPECT_EQ(t->CurrentActivity(), memtable::actNone);
    EXPECT_TRUE(StoreFree(t.get()));

    auto target = MakeTable(false);
    target->SetPersistent(true);
    TStringStream in("Id;Nome\n1;a\n2;b\n3;c\n");
    LineFormat g(nullptr);
    g.failAfterRows = 2;
    EXPECT_THROW(target->LoadFromStreamViaFormat(&in, &g), EMemTableError);
    EXPECT_TRUE(target->Persistent());
    EXPECT_TRUE(target->EnableIndexes());
    EXPECT_FALSE(target->IgnoreReadOnly());
    EXPECT_FALSE(target->IgnoreAutoIncPopulation());
    EXPECT_FALSE(target->ControlsDisabled());
    EXPECT_EQ(target->CurrentActivity(), memtable::actNone);
    EXPECT_TRUE(StoreFree(target.get()));
    target->SetPersistent(false);
    // What was loaded before the failure is there and indexed.
    EXPECT_EQ(target->RecordCount(), 2);
}

// The names that left a folder (removed, or renamed to another name) while
// f ran: a file among them was missing for a moment, and a crash at that
// moment would have left no file at all.
template <class F>
std::vector<std::string> NamesGoneDuring(const std::string& folder, F&& f) {
    const int fd = inotify_init1(IN_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_GE(inotify_add_watch(fd, folder.c_str(), IN_DELETE | IN_MOVED_FROM), 0);
    f();
    std::vector<std::string> names;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            if (e->len > 0) names.emplace_back(e->name);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    ::close(fd);
    return names;
}

// A table saved to and loaded from `file` through `format`.
std::unique_ptr<TmtMemTable> PersistentTable(const std::string& file, TmtCustomStreamFormat* format) {
    auto t = std::make_unique<TmtMemTable>(nullptr);
    t->FieldDefs()->Add("Id", ftInteger);
    t->FieldDefs()->Add("Nome", ftString, 20);
    t->FieldDefs()->Add("Nota", ftMemo);
    t->SetPersistentFormat(format);
    t->SetPersistentFile(file);
    t->SetPersistent(true);
    return t;
}

TEST(Persistence, SavingReplacesTheFileWithoutItEverGoingMissing) {
    testsupport::TempDir dir;
    const std::string file = dir.file("tabela.txt");
    LineFormat format(nullptr);
    {
        auto first = MakeTable();
        first->SetPersistentFormat(&format);
        first->SetPersistentFile(file);
        first->SetPersistent(true);
        first->Close();
    }
    ASSERT_EQ(testsupport::ReadAll(file), "Id;Nome;Nota\n1;nome 1;nota\n2;nome 2;nota\n3;nome 3;nota\n");

    auto t = PersistentTable(file, &format);
    t->Open();
    EXPECT_EQ(t->RecordCount(), 3);
    t->Append();
    t->FieldByName("Id")->SetAsInteger(4);
    t->FieldByName("Nome")->SetAsString("ação");
    t->Post();
    const auto gone = NamesGoneDuring(dir.path().string(), [&] { t->Close(); });
    EXPECT_EQ(std::count(gone.begin(), gone.end(), "tabela.txt"), 0);
    EXPECT_EQ(testsupport::ReadAll(file),
              "Id;Nome;Nota\n1;nome 1;nota\n2;nome 2;nota\n3;nome 3;nota\n4;ação;\n");
    // Only the file itself is left in the folder: no temporary file.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"tabela.txt"});
}

TEST(Persistence, TheBackupTakesTheOldContentWhileTheFileStaysInPlace) {
    testsupport::TempDir dir;
    const std::string file = dir.file("tabela.txt");
    const std::string old = "Id;Nome;Nota\n7;antigo;x\n";
    testsupport::WriteAll(file, old);
    testsupport::WriteAll(dir.file("tabela.bak"), "backup mais antigo");
    LineFormat format(nullptr);
    auto t = PersistentTable(file, &format);
    t->SetPersistentBackup(true);
    t->SetPersistentBackupExt(".bak");
    t->Open();
    ASSERT_EQ(t->RecordCount(), 1);
    t->Edit();
    t->FieldByName("Nome")->SetAsString("novo");
    t->Post();
    const auto gone = NamesGoneDuring(dir.path().string(), [&] { t->Close(); });
    EXPECT_EQ(std::count(gone.begin(), gone.end(), "tabela.txt"), 0);
    EXPECT_EQ(testsupport::ReadAll(file), "Id;Nome;Nota\n7;novo;x\n");
    EXPECT_EQ(testsupport::ReadAll(dir.file("tabela.bak")), old);
}

}  // namespace

// The persistent file against a full disk at each write and a kill between
// each step: the file is the old table or the new one, the backup is the
// older backup or the old file, and a save that failed leaves the table open
// with its rows, so that closing again once the disk is healthy saves them.
class PersistenceFaults : public ::testing::TestWithParam<filefaults::Fault> {
protected:
    testsupport::TempDir dir;
    const std::string file = dir.file("tabela.txt");
    const std::string backup = dir.file("tabela.bak");
    const std::string old = "Id;Nome;Nota\n7;antigo;x\n";
    LineFormat format{nullptr};
    std::unique_ptr<TmtMemTable> t;
    std::string error;
};

TEST_P(PersistenceFaults, TheFileIsTheOldTableOrTheNewOneAndAFailedSaveKeepsTheRows) {
    filefaults::FileSavePath p;
    p.Prepare = [&] {
        t.reset();
        testsupport::WriteAll(file, old);
        testsupport::WriteAll(backup, "backup mais antigo");
        t = PersistentTable(file, &format);
        t->SetPersistentBackup(true);
        t->SetPersistentBackupExt(".bak");
        t->Open();
        t->Edit();
        t->FieldByName("Nome")->SetAsString("novo");
        t->Post();
        for (int i = 8; i < 40; ++i) {
            t->Append();
            t->FieldByName("Id")->SetAsInteger(i);
            t->FieldByName("Nome")->SetAsString("ação " + std::to_string(i));
            t->Post();
        }
        error.clear();
    };
    p.Act = [&] {
        try {
            t->Close();
        } catch (const Exception& e) {
            error = e.Message();
        }
    };
    p.Files = [&] { return testsupport::ReadAll(file); };
    p.Folders = {dir.path()};
    auto backupSound = [&] {
        const std::string b = testsupport::ReadAll(backup);
        EXPECT_TRUE(b == "backup mais antigo" || b == old) << b;
    };
    p.CheckFailure = [&] {
        EXPECT_FALSE(error.empty());
        backupSound();
        ASSERT_TRUE(t->Active());
        EXPECT_EQ(t->RecordCount(), 33);
        t->Close();
        EXPECT_EQ(testsupport::ReadAll(file).substr(0, 24), "Id;Nome;Nota\n7;novo;x\n8;");
    };
    p.CheckNextRun = [&](bool Half) {
        EXPECT_FALSE(Half) << "the file is one file";
        // The next save copied what it found: the old table, or the new one the killed save had put in place.
        const std::string b = testsupport::ReadAll(backup);
        EXPECT_TRUE(b == old || b == testsupport::ReadAll(file)) << b;
    };
    filefaults::FileSweepFigures f = filefaults::Sweep(GetParam(), p, 4);
    // The header, a line per row, and the backup's copy.
    EXPECT_EQ(f.writes, 35);
    t.reset();
}

INSTANTIATE_TEST_SUITE_P(Faults, PersistenceFaults, filefaults::BothFaults(), filefaults::FaultName);
