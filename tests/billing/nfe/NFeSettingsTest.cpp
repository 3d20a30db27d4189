// The NF-e configuration the program runs with: folders and environment from
// the variable store, the monitor's and the DANFE printer's programs from the
// INI file, where a new user finds the defaults to change.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "billing/data/Messages.h"
#include "billing/data/dmdbu.h"
#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/NFeSettings.h"
#include "platform/db/SQLConnection.h"
#include "platform/os/Process.h"
#include "platform/rtl/IniFiles.h"
#include "tests/platform/rtl/FileFaultSupport.h"
#include "tests/support/TestSupport.h"

using namespace billing::nfe;
using billing::data::DefaultMessages;
using billing::data::MessageIcon;

namespace {

class NFeSettings : public ::testing::Test {
protected:
    void SetUp() override {
        DefaultMessages().Clear();
        dm = std::make_unique<Tdmdb>(nullptr);
        ini = dir.file("faturamento.ini");
        dm->Set_Var("nome_arquivo_ini", ini);
        dm->Set_Var("pasta_nfe_envio", "/srv/nfe/envio");
        dm->Set_Var("pasta_nfe_retorno", "/srv/nfe/retorno");
        dm->Set_Var("pasta_nfe_arquivamento", "/srv/nfe/arquivo");
        dm->Set_Var("pasta_nfe_erro", "/srv/nfe/erro");
        dm->Set_Var("ambiente", "2 - Homologação");
        // The monitor and the DANFE printer installed on PATH, as a package would.
        std::filesystem::create_directory(dir.path() / "bin");
        for (const char* program : {"uninfe", "unidanfe"}) {
            testsupport::WriteAll(dir.file(std::string("bin/") + program), "#!/bin/sh\n");
            std::filesystem::permissions(dir.path() / "bin" / program, std::filesystem::perms::owner_all);
        }
        const char* path = getenv("PATH");
        savedPath = path ? path : "";
        setenv("PATH", (dir.file("bin") + ":" + savedPath).c_str(), 1);
        // A fresh INI file, as the start-up writes it.
        TIniFile(ini).WriteString("Database", "Database", dir.file("faturamento.db"));
    }
    void TearDown() override {
        setenv("PATH", savedPath.c_str(), 1);
        DefaultMessages().Clear();
    }

    testsupport::TempDir dir;
    std::unique_ptr<Tdmdb> dm;
    std::string ini;
    std::string savedPath;
};

}  // namespace

TEST_F(NFeSettings, FoldersFromTheVariablesAndProgramsFromTheIniWithItsDefaultsWritten) {
    NFeConfig c = Config_NFe(*dm);
    EXPECT_EQ(c.pasta_nfe_envio, "/srv/nfe/envio");
    EXPECT_EQ(c.pasta_nfe_retorno, "/srv/nfe/retorno");
    EXPECT_EQ(c.pasta_nfe_arquivamento, "/srv/nfe/arquivo");
    EXPECT_EQ(c.pasta_nfe_erro, "/srv/nfe/erro");
    EXPECT_EQ(c.ambiente, "2 - Homologação");
    // The default names, found on PATH.
    EXPECT_EQ(c.programs.monitor, dir.file("bin") + "/uninfe");
    EXPECT_EQ(c.programs.danfe, dir.file("bin") + "/unidanfe");
    // Now in the INI file, beside what was there, for the user to see and change.
    TIniFile file(ini);
    EXPECT_EQ(file.ReadString("NFe", "Monitor", "<absent>"), "uninfe");
    EXPECT_EQ(file.ReadString("NFe", "Danfe", "<absent>"), "unidanfe");
    EXPECT_EQ(file.ReadString("Database", "Database", "<absent>"), dir.file("faturamento.db"));
    // The routines' messages are the data module's message boxes.
    c.Notify("Texto do aviso", "Atenção");
    ASSERT_FALSE(DefaultMessages().Entries().empty());
    EXPECT_EQ(DefaultMessages().Entries().back().text, "Texto do aviso");
    EXPECT_EQ(DefaultMessages().Entries().back().caption, "Atenção");
    EXPECT_EQ(DefaultMessages().Entries().back().icon, MessageIcon::Exclamation);
}

TEST_F(NFeSettings, WhatTheUserWroteIsKeptAndAChangeCountsAtOnce) {
    {
        TIniFile file(ini);
        file.WriteString("NFe", "Monitor", "/opt/monitor/uninfe");
        file.WriteString("NFe", "Danfe", "danfe-da-empresa");
    }
    std::string before = testsupport::ReadAll(ini);
    NFeConfig c = Config_NFe(*dm);
    EXPECT_EQ(c.programs.monitor, "/opt/monitor/uninfe");
    // Not on PATH: left as written, for the monitor check to report.
    EXPECT_EQ(c.programs.danfe, "danfe-da-empresa");
    EXPECT_EQ(testsupport::ReadAll(ini), before);

    dm->Set_Var("pasta_nfe_envio", "/outra/envio");
    TIniFile(ini).WriteString("NFe", "Danfe", "unidanfe");
    c = Config_NFe(*dm);
    EXPECT_EQ(c.pasta_nfe_envio, "/outra/envio");
    EXPECT_EQ(c.programs.danfe, dir.file("bin") + "/unidanfe");
}

// The monitor check runs the program the INI file names.
TEST_F(NFeSettings, TheMonitorCheckTakesTheMonitorFromTheIni) {
    std::string monitor = dir.file("monitor-" + std::to_string(getpid()));
    TIniFile(ini).WriteString("NFe", "Monitor", monitor);
    EXPECT_FALSE(Verifica_Monitor_NFE(*dm));
    EXPECT_EQ(DefaultMessages().LastText(), MsgMonitorNaoInstalado);

    // Installed there now: it is started, and the user told so.
    testsupport::WriteAll(monitor, "#!/bin/sh\necho $$ > " + dir.file("monitor.pid") + "\nwhile :; do sleep 1; done\n");
    std::filesystem::permissions(monitor, std::filesystem::perms::owner_all);
    DefaultMessages().Clear();
    bool running = Verifica_Monitor_NFE(*dm);
    std::string pid;
    for (int i = 0; i < 200 && pid.empty(); ++i) {
        pid = testsupport::ReadAll(dir.file("monitor.pid"));
        if (pid.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!pid.empty()) kill(static_cast<pid_t>(std::stol(pid)), SIGTERM);
    EXPECT_TRUE(running);
    EXPECT_EQ(DefaultMessages().LastText(), MsgMonitorAtivado);
}

// A new settings file gets both programs' defaults in one write: whatever
// stops the program, the file has neither key or both.
class NFeSettingsFaults : public NFeSettings, public ::testing::WithParamInterface<filefaults::Fault> {};

TEST_P(NFeSettingsFaults, TheDefaultsOfANewFileAreWrittenTogether) {
    const std::string fresh = testsupport::ReadAll(ini);
    filefaults::FileSavePath p;
    p.Prepare = [&] { testsupport::WriteAll(ini, fresh); };
    p.Act = [&] { Config_NFe(*dm); };
    p.Files = [&] { return testsupport::ReadAll(ini); };
    p.Folders = {dir.path()};
    p.CheckFailure = [&] {
        // The defaults are used all the same, and nothing is said: the file is only where the user changes them.
        NFeConfig c = Config_NFe(*dm);
        EXPECT_EQ(c.programs.monitor, dir.file("bin/uninfe"));
        EXPECT_TRUE(DefaultMessages().Entries().empty());
    };
    filefaults::FileSweepFigures f = filefaults::Sweep(GetParam(), p);
    EXPECT_EQ(f.writes, 1);
    EXPECT_NE(testsupport::ReadAll(ini).find("Monitor=uninfe"), std::string::npos);
    EXPECT_NE(testsupport::ReadAll(ini).find("Danfe=unidanfe"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Faults, NFeSettingsFaults, filefaults::BothFaults(), filefaults::FaultName);

// The settings file replaced by a pipe while the program runs ("rm
// faturamento.ini; mkfifo faturamento.ini" by anyone who can write in the
// folder): the answer poller's ticks reread the settings, and a save writes
// them. None waits on the pipe; the programs last read stay, the clerk is
// told once which file cannot be read, and the save is refused naming it.
TEST_F(NFeSettings, APipeAtTheSettingsNameIsNeverWaitedOnAndTheLastSettingsStay) {
    TIniFile(ini).WriteString("NFe", "Monitor", "monitor-da-loja");
    const NFeConfig before = Config_NFe(*dm);
    ASSERT_EQ(before.programs.monitor, "monitor-da-loja");
    ASSERT_TRUE(before.settings_problem.empty());
    std::filesystem::remove(ini);
    ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0);

    TSQLConnection conn;
    conn.SetCreateIfMissing(true);
    conn.SetDatabaseName(dir.file("faturamento.db"));
    conn.Open();
    dm->Set_Var("pasta_nfe_retorno", dir.path().string());
    AnswerPoller::Services s;
    s.db = &conn;
    s.config = [this] { return Config_NFe(*dm); };
    s.check_monitor = [](const NFeConfig&) { return true; };
    AnswerPoller poller(s);
    TickReport first, second;
    NFeConfig during;
    testsupport::WithWatchdog(20, [&] {
        first = poller.Tick();
        second = poller.Tick();
        during = Config_NFe(*dm);
        dm->Set_Var("nome_banco_dados", dir.file("faturamento.db"));
        dm->SalvaIniAvisandoUmaVez();
    });
    EXPECT_EQ(during.programs.monitor, "monitor-da-loja") << "the last settings read stay";
    const std::string named = "Não foi possível ler o arquivo de configuração \"" + ini + "\"";
    ASSERT_EQ(first.messages.size(), 1u);
    EXPECT_EQ(first.messages[0].text.rfind(named, 0), 0u) << first.messages[0].text;
    EXPECT_TRUE(second.messages.empty()) << "told once";
    ASSERT_FALSE(DefaultMessages().Entries().empty());
    EXPECT_NE(DefaultMessages().Entries().back().text.find("\"" + ini + "\""), std::string::npos)
        << DefaultMessages().Entries().back().text;
    struct stat st {};
    ASSERT_EQ(::lstat(ini.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}
