// A database file of the test's own: filled before the query component's
// connection opens on it, and read back through a connection of its own so
// that what the components wrote is seen as the file holds it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/db/SQLQuery.h"
#include "platform/db/SQLiteDatabase.h"
#include "tests/support/TestSupport.h"

namespace sqltest {

class SQLFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.file("faturamento.db");
        {
            sqlite::OpenOptions o;
            o.create = true;
            sqlite::Database db(path, o);
            Fill(db);
        }
        conn = std::make_unique<TSQLConnection>();
        conn->SetConnectionString(ConnectionString());
        conn->SetLoginPrompt(false);
        conn->Open();
    }

    // Tables and rows the file starts with.
    virtual void Fill(sqlite::Database& db) = 0;
    virtual std::string ConnectionString() const { return "Data Source=" + path; }

    std::unique_ptr<TSQLQuery> Query(const std::string& sql, TSQLConnection* c = nullptr) {
        auto q = std::make_unique<TSQLQuery>();
        q->SetConnection(c ? c : conn.get());
        q->SetSQL(sql);
        return q;
    }

    // What the file holds, a row a string with the columns joined by '|'.
    std::vector<std::string> FileRows(const std::string& sql) {
        sqlite::Database db(path);
        sqlite::Statement st(db, sql);
        std::vector<std::string> rows;
        while (st.Step()) {
            std::string row;
            for (int i = 0; i < st.ColumnCount(); ++i) row += (i ? "|" : "") + st.ColumnText(i);
            rows.push_back(row);
        }
        return rows;
    }

    testsupport::TempDir dir;
    std::string path;
    std::unique_ptr<TSQLConnection> conn;
};

}  // namespace sqltest
