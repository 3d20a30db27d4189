#pragma once
// A billing session whose database goes through the fault-injecting VFS,
// and the sweep that fails one save path at each of its writes in turn.
//
// A sweep first runs the path once counting the writes, syncs and truncates
// it makes, then once per chosen operation from the same file: the file is
// put back byte for byte, the data module reopens it, the path is prepared
// (a document typed, a row located) and run with that operation failing. A
// failure that escapes the form goes to the application's handler, as the
// event loop would send it.
// After each run: a fresh connection finds the file sound, the path's tables
// hold exactly the rows from before or exactly those from after, nothing is
// left beside the file, one box told the clerk what happened, and, when
// the save failed, saving again with the disk healthy gives the same rows as
// the counting run.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/SQLiteDatabase.h"
#include "platform/ui/Forms.h"
#include "tests/billing/forms/BillingFixture.h"
#include "tests/support/DbCheck.h"
#include "tests/support/FaultVfs.h"

namespace billtest {

struct SavePath {
    std::function<void()> Prepare;        // from a freshly opened database up to the last step
    std::function<void()> Act;            // the save or delete; EAbort when refused
    std::vector<std::string> Tables;      // what the path writes
    std::string FailureText;              // the box after a failed write ("" for the engine's own)
    std::string SuccessText;              // the box after a save that went through ("" for none)
    std::string Confirm = {};             // a question Act asks first, answered Yes ("" for none)
};

struct SweepFigures {
    int operations = 0;  // writes, syncs and truncates of one run
    int runs = 0;        // runs with a fault injected
    int refused = 0;     // runs the program reported as failed
};

template <typename Base>
class FaultSessionOn : public Base {
protected:
    // Frees whatever holds queries on the connection before it closes.
    virtual void ReleaseForms() {}

    // Takes the database as it is now as the starting point of every run.
    void Snapshot() {
        ReleaseForms();
        dmdb->Fechar_Banco_Dados();
        pristine_ = testsupport::ReadAll(this->database);
        dmdb->Abrir_Banco_Dados();
    }
    void Restore() {
        ReleaseForms();
        dmdb->Fechar_Banco_Dados();
        testsupport::WriteAll(this->database, pristine_);
        std::filesystem::remove(this->database + "-journal");
        dmdb->Abrir_Banco_Dados();
    }

    // The tables as the file holds them, through a connection of its own.
    std::string FileDump(const std::vector<std::string>& Tables) {
        return testsupport::DumpTables(this->database, Tables);
    }
    std::string FileIntegrity() { return testsupport::CheckDatabase(this->database, {}).integrity; }

    // Runs Act under a script that answers any box with No and returns
    // whether Act was refused; Shown gets the boxes.
    bool RunOnce(const SavePath& Path, std::vector<ui::BoxRequest>& Shown) {
        ui::ScriptedDialogs quiet([](const std::string&) {});
        if (!Path.Confirm.empty()) quiet.Expect(Path.Confirm, mrYes);
        quiet.Answer(mrNo);
        bool refused = false;
        try {
            Path.Act();
        } catch (const EAbort&) {
            refused = true;
        } catch (const std::exception& e) {
            refused = true;
            Application->HandleException(nullptr, e);
        }
        Shown = quiet.Shown();
        // The question the clerk answered is not what the path told him.
        if (!Path.Confirm.empty() && !Shown.empty() && Shown.front().text.find(Path.Confirm) != std::string::npos)
            Shown.erase(Shown.begin());
        return refused;
    }

    SweepFigures Sweep(const SavePath& Path, int Code, int Step) {
        SweepFigures figures;
        Snapshot();
        const std::string before = FileDump(Path.Tables);
        Path.Prepare();
        std::vector<ui::BoxRequest> shown;
        vfs.Count();
        EXPECT_FALSE(RunOnce(Path, shown)) << "the counting run must save";
        vfs.Off();
        figures.operations = vfs.Operations();
        const std::string after = FileDump(Path.Tables);
        EXPECT_NE(before, after);

        for (int n : testsupport::FaultPlan(figures.operations, Step)) {
            SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(figures.operations));
            Restore();
            Path.Prepare();
            vfs.Fail(n, Code);
            bool refused = RunOnce(Path, shown);
            vfs.Off();
            ++figures.runs;
            EXPECT_TRUE(vfs.Faulted());
            // Before any reader could tidy up: the failed write left nothing.
            EXPECT_EQ(testsupport::FilesBeside(this->database), std::vector<std::string>{});
            testsupport::DbCheck check = testsupport::CheckDatabase(this->database, Path.Tables);
            EXPECT_TRUE(check.opens);
            EXPECT_EQ(check.integrity, "ok");
            const std::string& now = check.dump;
            if (refused) {
                EXPECT_EQ(shown.size(), 1u) << vfs.FaultedOperation();
                ++figures.refused;
                EXPECT_EQ(now, before) << vfs.FaultedOperation();
                if (!shown.empty()) {
                    std::string expected = Path.FailureText.empty() ? EngineText(Code) : Path.FailureText;
                    EXPECT_NE(shown[0].text.find(expected), std::string::npos) << shown[0].text;
                    EXPECT_EQ(shown[0].caption, "Erro");
                }
                // The clerk tries again once the disk is healthy.
                EXPECT_FALSE(RunOnce(Path, shown)) << "the retry must save";
                EXPECT_EQ(FileDump(Path.Tables), after);
            } else {
                EXPECT_EQ(now, after) << vfs.FaultedOperation();
                EXPECT_EQ(shown.size(), Path.SuccessText.empty() ? 0u : 1u) << vfs.FaultedOperation();
                if (!shown.empty()) {
                    EXPECT_NE(shown[0].text.find(Path.SuccessText), std::string::npos) << shown[0].text;
                }
            }
        }
        return figures;
    }

    // The same path in a forked child killed right after each chosen
    // operation: the next open (a fresh connection) finds a sound file with
    // the rows from before or from after. Returns the kills and, in Mixed,
    // whether some run left neither (what a save without its transaction
    // must show).
    int KillSweep(const SavePath& Path, int Step, bool* Mixed = nullptr) {
        Snapshot();
        const std::string before = FileDump(Path.Tables);
        Path.Prepare();
        std::vector<ui::BoxRequest> shown;
        vfs.Count();
        RunOnce(Path, shown);
        vfs.Off();
        const int total = vfs.Operations();
        const std::string after = FileDump(Path.Tables);
        int kills = 0;
        if (Mixed) *Mixed = false;
        for (int n : testsupport::FaultPlan(total, Step)) {
            SCOPED_TRACE("killed after operation " + std::to_string(n) + " of " + std::to_string(total));
            Restore();
            Path.Prepare();
            kills += testsupport::RunKilled(vfs, n, [&] { RunOnce(Path, shown); });
            // The program that died held the connection: ours goes too.
            ReleaseForms();
            dmdb->Fechar_Banco_Dados();
            // The next start's open rolls a hot journal back and removes one
            // the kill left before its header was complete (which the engine
            // alone would leave until its next write): nothing stays beside
            // the file.
            { sqlite::Database next(this->database); }
            EXPECT_EQ(testsupport::FilesBeside(this->database), std::vector<std::string>{});
            EXPECT_EQ(FileIntegrity(), "ok");
            const std::string now = FileDump(Path.Tables);
            if (now != before && now != after) {
                if (Mixed) *Mixed = true;
                else ADD_FAILURE() << "neither the old rows nor the new ones:\n" << now;
            }
        }
        return kills;
    }

    // How the database layer opens its message for an injected code.
    static std::string EngineText(int Code) {
        return (Code & 0xff) == 13 ? "Não há espaço em disco para gravar no banco de dados"
                                   : "Erro de leitura ou gravação no arquivo do banco de dados";
    }

    testsupport::FaultVfs vfs;

private:
    std::string pristine_;
};

}  // namespace billtest
