// A report template saved to a file and to a row of an SQLite table, with a
// write failed and the process killed at each step: the file or the row is
// the old layout whole or the new one whole, a failure is told, and the next
// save writes the new layout.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "platform/db/SQLQuery.h"
#include "platform/db/SQLiteDatabase.h"
#include "report/rpDBPipeline.h"
#include "report/rpMainReport.h"
#include "report/rpTemplate.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/DbCheck.h"
#include "tests/support/FaultVfs.h"
#include "tests/support/TestSupport.h"
#include "tests/support/report/ReportHarness.h"

namespace {

namespace fs = std::filesystem;
using filefaults::Fault;

class TemplateSaveFaults : public ::testing::TestWithParam<Fault> {
protected:
    void SetUp() override {
        rig_.Report()->CreateDefaultBands();
        rig_.Report()->SetPageLimit(3);
        for (int i = 0; i < 60; ++i)
            rig_.AddText(rig_.Report()->DetailBand(), "Texto" + std::to_string(i), 0, i * 1000, 50000, 900,
                         "Linha de item número " + std::to_string(i));
        rig_.Report()->Template()->SetFormat(ftBinary);
        oldLayout_ = Layout();
        rig_.Report()->SetPageLimit(9);
    }
    std::string Layout() {
        TMemoryStream s;
        rig_.Report()->Template()->SaveToStream(&s);
        return s.DataBytes();
    }
    void Save() {
        error_.clear();
        try {
            rig_.Report()->Template()->Save();
        } catch (const Exception& e) {
            error_ = e.Message();
        }
    }

    reporttest::ReportRig rig_;
    testsupport::TempDir dir_;
    std::string oldLayout_;
    std::string error_;
};

}  // namespace

TEST_P(TemplateSaveFaults, ATemplateFileIsTheOldLayoutOrTheNewOneWhole) {
    const std::string file = dir_.file("notas.rtm");
    TrpReportTemplate* t = rig_.Report()->Template();
    t->SetSaveTo(stFile);
    t->SetFileName(file);
    filefaults::FileSavePath p;
    p.Prepare = [&] { testsupport::WriteAll(file, oldLayout_); };
    p.Act = [&] { Save(); };
    p.Files = [&] { return testsupport::ReadAll(file); };
    p.Folders = {dir_.path()};
    p.CheckFailure = [&] { EXPECT_FALSE(error_.empty()) << "a failed save passed for a saved one"; };
    const filefaults::FileSweepFigures f = filefaults::Sweep(GetParam(), p);
    RecordProperty("writes", f.writes);
    RecordProperty("points", f.stops);
}

// The row of a table of templates, through the report's database pipeline:
// the engine's own operations (writes, syncs, truncations of the file and
// its journal) are failed or end the process one by one.
TEST_P(TemplateSaveFaults, ATemplateRowIsTheOldLayoutOrTheNewOneWhole) {
    const std::string path = dir_.file("matrizes.db");
    auto prepare = [&] {
        for (const char* suffix : {"", "-journal"}) fs::remove(path + suffix);
        sqlite::OpenOptions o;
        o.create = true;
        sqlite::Database db(path, o);
        db.Exec("CREATE TABLE matriz (Nome text(40) PRIMARY KEY, Matriz blob)");
        db.Execute("INSERT INTO matriz (Nome, Matriz) VALUES (:n, :m)", {"n", "m"},
                   {sqlite::Value(std::string("Notas")), sqlite::Value(sqlite::Blob{oldLayout_})});
        db.Execute("INSERT INTO matriz (Nome, Matriz) VALUES ('Outra', x'00')");
    };
    auto act = [&] {
        error_.clear();
        try {
            TSQLConnection conn;
            conn.SetConnectionString("Data Source=" + path);
            conn.SetLoginPrompt(false);
            conn.Open();
            TSQLQuery query;
            query.SetConnection(&conn);
            query.SetSQL("SELECT Nome, Matriz FROM matriz");
            TDataSource source(nullptr);
            source.SetDataSet(&query);
            TrpDBPipeline pipe(nullptr);
            pipe.SetDataSource(&source);
            TrpReportTemplate* t = rig_.Report()->Template();
            t->SetSaveTo(stDatabase);
            t->DatabaseSettings()->SetDataPipeline(&pipe);
            t->DatabaseSettings()->SetNameField("Nome");
            t->DatabaseSettings()->SetTemplateField("Matriz");
            t->DatabaseSettings()->SetName("Notas");
            Save();
            t->DatabaseSettings()->SetDataPipeline(nullptr);
        } catch (const Exception& e) {
            error_ = e.Message();
        }
    };
    auto files = [&] {
        const testsupport::DbCheck c = testsupport::CheckDatabase(path, {"matriz"});
        EXPECT_EQ(c.integrity, "ok");
        return c.dump;
    };
    testsupport::FaultVfs vfs;
    vfs.Off();
    prepare();
    const std::string before = files();
    vfs.Count();
    act();
    vfs.Off();
    ASSERT_TRUE(error_.empty()) << error_;
    const int operations = vfs.Operations();
    const std::string after = files();
    ASSERT_NE(before, after);
    ASSERT_GT(operations, 0);
    int runs = 0;
    for (int n : testsupport::FaultPlan(operations, 1)) {
        SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(operations));
        vfs.Off();
        prepare();
        if (GetParam() == Fault::FailedWrite) {
            vfs.Fail(n, SQLITE_FULL);
            act();
            vfs.Off();
            ASSERT_TRUE(vfs.Faulted());
            const std::string now = files();
            EXPECT_TRUE(now == before || now == after) << now;
            if (now == before) {
                EXPECT_FALSE(error_.empty()) << "a failed save passed for a saved one";
            }
        } else {
            EXPECT_TRUE(testsupport::RunKilled(vfs, n, act));
            vfs.Off();
            const std::string now = files();
            EXPECT_TRUE(now == before || now == after) << now;
            act();
            EXPECT_TRUE(error_.empty()) << error_;
            EXPECT_EQ(files(), after) << "the next save";
        }
        ++runs;
    }
    RecordProperty("operations", operations);
    RecordProperty("runs", runs);
}

INSTANTIATE_TEST_SUITE_P(Faults, TemplateSaveFaults, filefaults::BothFaults(), filefaults::FaultName);
