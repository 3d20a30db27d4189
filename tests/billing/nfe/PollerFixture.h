#pragma once
// A database on the NF-e road for the poller's, DANFE's and management's
// tests: the program's schema with registers and invoices, the NF-e folders,
// the stand-in monitor on them and a poller whose monitor check says the
// monitor runs; what the NF-e routines would show is kept in `shown`.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "billing/data/Schema.h"
#include "billing/nfe/AnswerPoller.h"
#include "billing/nfe/NFeLoader.h"
#include "platform/db/SQLConnection.h"
#include "platform/db/SQLiteDatabase.h"
#include "tests/billing/nfe/fake/FakeMonitor.h"
#include "tests/billing/nfe/fake/SampleDatabase.h"
#include "tests/support/TestSupport.h"

namespace nfetest {

// A poller's services on Db whose monitor check finds the monitor running
// and whose DANFE starts do nothing but succeed.
inline billing::nfe::AnswerPoller::Services RunningMonitorServices(
    TSQLConnection* Db, std::function<billing::nfe::NFeConfig()> Config) {
    billing::nfe::AnswerPoller::Services s;
    s.db = Db;
    s.config = std::move(Config);
    s.check_monitor = [](const billing::nfe::NFeConfig&) { return true; };
    s.start_danfe = [](const billing::nfe::NFeConfig&, const billing::nfe::DanfeCommand&) { return true; };
    return s;
}

class PollerFixture : public ::testing::Test {
protected:
    void SetUp() override {
        folders = MakeFolders(dir.path().string());
        conn.SetCreateIfMissing(true);
        conn.SetDatabaseName(dir.file("faturamento.db"));
        conn.Open();
        billing::data::CreateSchema(conn.Database());
        InsertRegisters(conn, folders);
        config.pasta_nfe_envio = folders.envio;
        config.pasta_nfe_retorno = folders.retorno;
        config.pasta_nfe_arquivamento = folders.arquivamento;
        config.pasta_nfe_erro = folders.erro;
        config.ambiente = "2 - Homologação";
        // This test program runs, so the monitor check finds "the monitor" running.
        config.programs.monitor = std::filesystem::read_symlink("/proc/self/exe").string();
        config.programs.danfe = dir.file("no-danfe");
        config.notify = [this](const std::string& text, const std::string& caption) {
            shown.push_back(caption + ": " + text);
        };
        monitor = std::make_unique<FakeMonitor>(FakeMonitor::Folders{folders.envio, folders.retorno, folders.arquivamento});
        billing::nfe::AnswerPoller::Services s = RunningMonitorServices(&conn, [this] { return config; });
        s.start_danfe = [this](const billing::nfe::NFeConfig&, const billing::nfe::DanfeCommand& c) {
            started.push_back(c);
            return true;
        };
        poller = std::make_unique<billing::nfe::AnswerPoller>(s);
    }

    // The first column of the first row ("" when none or null).
    std::string Scalar(const std::string& sql, const std::string& param = "") {
        sqlite::Statement st(conn.Database(), sql);
        if (!param.empty()) st.BindText(1, param);
        if (!st.Step() || st.ColumnIsNull(0)) return {};
        return st.ColumnText(0);
    }
    std::string Column(const std::string& key, const std::string& column) {
        return Scalar("select " + column + " from nota_fiscal where numero_nfe = ?1", key);
    }
    std::string State(const std::string& key) { return Column(key, "situacao_nfe"); }
    void Transmit(const std::string& key) { ASSERT_FALSE(billing::nfe::Transmitir_NFE(conn, config, key).empty()); }
    // A tick whose report is shown as the main window shows it.
    billing::nfe::TickReport Tick() { return Shown(conn, poller->Tick()); }
    // What a clerk is shown of a report: a kept notice only by the program
    // that takes it off first.
    static billing::nfe::TickReport Shown(TSQLConnection& db, billing::nfe::TickReport r) {
        std::vector<billing::nfe::PollerMessage> told;
        for (billing::nfe::PollerMessage& m : r.messages)
            if (billing::nfe::TakeNotice(db, m)) told.push_back(std::move(m));
        r.messages = std::move(told);
        return r;
    }
    // An answer placed by hand in the return folder.
    std::string Place(const std::string& name, const std::string& text) {
        std::string path = folders.retorno + "/" + name;
        testsupport::WriteAll(path, text);
        return path;
    }
    bool InReturn(const std::string& name) { return std::filesystem::exists(folders.retorno + "/" + name); }
    bool InError(const std::string& name) { return std::filesystem::exists(folders.erro + "/" + name); }
    bool Sent(const std::string& name) { return std::filesystem::exists(folders.envio + "/" + name); }
    static std::string Messages(const billing::nfe::TickReport& r) {
        std::string out;
        for (const auto& m : r.messages) out += m.caption + ": " + m.text + "\n";
        return out;
    }

    testsupport::TempDir dir;
    NFeFolders folders;
    TSQLConnection conn;
    billing::nfe::NFeConfig config;
    std::unique_ptr<FakeMonitor> monitor;
    std::unique_ptr<billing::nfe::AnswerPoller> poller;
    std::vector<std::string> shown;
    std::vector<billing::nfe::DanfeCommand> started;
};

}  // namespace nfetest
