#pragma once
// The database connection component: one SQLite file, opened shared, with the
// members the billing code calls on it (connection string with its
// "Data Source", Connected, transactions counted by level, Execute).
#include "platform/db/SQLiteDatabase.h"
#include "platform/rtl/Component.h"
#include "platform/rtl/TypInfo.h"
#include "platform/rtl/Variant.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TSQLQuery;

class TSQLConnection : public TComponent {
public:
    explicit TSQLConnection(TComponent* AOwner = nullptr);
    ~TSQLConnection() override;
    FAT_CLASS(TSQLConnection)

    // "Key=Value" pairs separated by ";" (values may be quoted). Only
    // "Data Source" (or "Database", "FileName") names the file; the others
    // (provider, user, mode...) are kept as written and otherwise ignored, so
    // a caller that edits the string around its "Data Source" keeps working.
    const std::string& ConnectionString() const { return connectionString_; }
    void SetConnectionString(const std::string& value);
    // The file the next Open uses: the connection string's "Data Source", or
    // the name set here when the string has none.
    std::string DatabaseName() const;
    void SetDatabaseName(const std::string& value);
    std::string FileName() const { return DatabaseName(); }
    void SetFileName(const std::string& value) { SetDatabaseName(value); }

    bool Connected() const { return db_.IsOpen(); }
    // A statement of this connection waits for another instance's lock and
    // its question is on screen: nothing else may run on it now.
    bool Waiting() const { return db_.InBusyWait(); }
    void SetConnected(bool value);
    void Open();
    void Close();

    // Kept for the callers that set them; there is no login and the file is
    // always opened shared.
    bool LoginPrompt() const { return loginPrompt_; }
    void SetLoginPrompt(bool value) { loginPrompt_ = value; }
    // A missing file is an error unless this is set (then an empty database
    // is created).
    bool CreateIfMissing() const { return options_.create; }
    void SetCreateIfMissing(bool value) { options_.create = value; }
    int BusyTimeout() const { return options_.busyTimeoutMs; }
    void SetBusyTimeout(int ms) { options_.busyTimeoutMs = ms; }
    // What a statement does while another instance holds the lock (see
    // sqlite::OpenOptions::onBusy); taken at the next Open.
    void SetOnBusy(std::function<bool(int Calls, int WaitedMs)> Handler) { options_.onBusy = std::move(Handler); }
    bool ReadOnly() const { return options_.readOnly; }
    void SetReadOnly(bool value) { options_.readOnly = value; }

    // Write transactions: the outermost level takes the write lock at once,
    // so two instances reading a max key and inserting max + 1 queue up
    // instead of colliding. Returns the new nesting level.
    int BeginTrans();
    void CommitTrans();
    void RollbackTrans();
    bool InTransaction() const { return db_.InTransaction(); }
    int TransactionLevel() const { return db_.TransactionLevel(); }

    // Runs statements; ":name" parameters take their values from
    // names/values (names compared without regard to case). Returns the
    // rows changed.
    std::int64_t Execute(const std::string& sql);
    std::int64_t Execute(const std::string& sql, const std::vector<std::string>& names,
                         const std::vector<sqlite::Value>& values);
    // The same with the values as variants: {{"pId", 5}, {"pNome", "Ana"}}.
    std::int64_t Execute(const std::string& sql, const std::vector<std::pair<std::string, Variant>>& params);

    // Rewrites the file without free pages, in place and under the write
    // lock: other instances that have the file open stay consistent, and a
    // failure (another instance busy, disk full) leaves the file as it was.
    // Raises on failure; the connection must be open.
    void Compact();

    // The datasets that use this connection (closed when it closes).
    int DataSetCount() const { return static_cast<int>(dataSets_.size()); }
    TSQLQuery* DataSets(int index) const { return dataSets_.at(static_cast<std::size_t>(index)); }

    // Opens the connection when closed (a query's Open does this).
    sqlite::Database& Database();

    TNotifyEvent BeforeConnect;
    TNotifyEvent AfterConnect;
    TNotifyEvent BeforeDisconnect;
    TNotifyEvent AfterDisconnect;

    // The value of one key of a connection string ("" when absent).
    static std::string ConnectionStringValue(const std::string& connectionString, const std::string& key);

private:
    friend class TSQLQuery;
    void RegisterDataSet(TSQLQuery* dataSet);
    void UnregisterDataSet(TSQLQuery* dataSet);

    std::string connectionString_;
    std::string databaseName_;
    bool loginPrompt_ = true;
    sqlite::OpenOptions options_;
    sqlite::Database db_;
    std::vector<TSQLQuery*> dataSets_;
};
