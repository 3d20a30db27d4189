#include "platform/db/SQLConnection.h"

#include "platform/db/SQLQuery.h"

#include <algorithm>
#include <cctype>

namespace {

std::string TrimBlanks(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    std::size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

bool SameKey(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

TSQLConnection::TSQLConnection(TComponent* AOwner) : TComponent(AOwner) {}

TSQLConnection::~TSQLConnection() {
    // Queries that outlive their connection are closed and forget it.
    Close();
    std::vector<TSQLQuery*> dataSets = dataSets_;
    for (TSQLQuery* q : dataSets) q->ConnectionDestroyed();
    dataSets_.clear();
}

std::string TSQLConnection::ConnectionStringValue(const std::string& connectionString, const std::string& key) {
    std::size_t i = 0;
    const std::string& s = connectionString;
    while (i < s.size()) {
        std::size_t eq = s.find('=', i);
        std::size_t semi = s.find(';', i);
        if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
            if (semi == std::string::npos) break;
            i = semi + 1;
            continue;
        }
        std::string name = TrimBlanks(s.substr(i, eq - i));
        std::size_t v = eq + 1;
        while (v < s.size() && s[v] == ' ') ++v;
        std::string value;
        std::size_t next;
        if (v < s.size() && (s[v] == '"' || s[v] == '\'')) {
            char q = s[v];
            std::size_t j = v + 1;
            while (j < s.size()) {
                if (s[j] == q) {
                    if (j + 1 < s.size() && s[j + 1] == q) {
                        value += q;
                        j += 2;
                        continue;
                    }
                    break;
                }
                value += s[j++];
            }
            next = s.find(';', j);
        } else {
            next = s.find(';', v);
            value = TrimBlanks(s.substr(v, next == std::string::npos ? std::string::npos : next - v));
        }
        if (SameKey(name, key)) return value;
        if (next == std::string::npos) break;
        i = next + 1;
    }
    return {};
}

void TSQLConnection::SetConnectionString(const std::string& value) {
    if (value == connectionString_) return;
    // As the original: changing the string of an open connection closes it.
    Close();
    connectionString_ = value;
}

std::string TSQLConnection::DatabaseName() const {
    for (const char* key : {"Data Source", "Database", "FileName", "DataSource"}) {
        std::string v = ConnectionStringValue(connectionString_, key);
        if (!v.empty()) return v;
    }
    return databaseName_;
}

void TSQLConnection::SetDatabaseName(const std::string& value) {
    if (value == databaseName_) return;
    Close();
    databaseName_ = value;
}

void TSQLConnection::SetConnected(bool value) {
    if (value) Open();
    else Close();
}

void TSQLConnection::Open() {
    if (Connected()) return;
    if (BeforeConnect) BeforeConnect(this);
    std::string name = DatabaseName();
    if (name.empty()) throw ESQLiteError("Nenhum arquivo de banco de dados foi informado", 21);
    sqlite::OpenOptions options = options_;
    std::string mode = ConnectionStringValue(connectionString_, "Mode");
    if (SameKey(TrimBlanks(mode), "Read")) options.readOnly = true;
    db_.Open(name, options);
    if (AfterConnect) AfterConnect(this);
}

void TSQLConnection::Close() {
    if (!Connected()) return;
    if (BeforeDisconnect) BeforeDisconnect(this);
    std::vector<TSQLQuery*> dataSets = dataSets_;
    for (TSQLQuery* q : dataSets) q->ConnectionClosing();
    // Work not committed is undone, as when the original connection closes.
    db_.Close();
    if (AfterDisconnect) AfterDisconnect(this);
}

sqlite::Database& TSQLConnection::Database() {
    if (!Connected()) Open();
    return db_;
}

int TSQLConnection::BeginTrans() { return Database().Begin(sqlite::TransactionMode::Immediate); }

void TSQLConnection::CommitTrans() { Database().Commit(); }

void TSQLConnection::RollbackTrans() { Database().Rollback(); }

std::int64_t TSQLConnection::Execute(const std::string& sql) { return Database().Execute(sql); }

std::int64_t TSQLConnection::Execute(const std::string& sql, const std::vector<std::string>& names,
                                     const std::vector<sqlite::Value>& values) {
    return Database().Execute(sql, names, values);
}

std::int64_t TSQLConnection::Execute(const std::string& sql,
                                     const std::vector<std::pair<std::string, Variant>>& params) {
    std::vector<std::string> names;
    std::vector<sqlite::Value> values;
    TParameters holder;
    for (const auto& [name, value] : params) {
        TParameter* p = holder.CreateParameter(name, ftUnknown, value);
        names.push_back(p->Name());
        values.push_back(p->ToSQLValue());
    }
    return Database().Execute(sql, names, values);
}

void TSQLConnection::Compact() {
    if (!Connected()) throw ESQLiteError("O banco de dados não está aberto", 21);
    if (db_.InTransaction()) throw ESQLiteError("Não é possível compactar o banco de dados durante uma transação", 21);
    db_.Exec("VACUUM");
}

void TSQLConnection::RegisterDataSet(TSQLQuery* dataSet) {
    if (std::find(dataSets_.begin(), dataSets_.end(), dataSet) == dataSets_.end()) dataSets_.push_back(dataSet);
}

void TSQLConnection::UnregisterDataSet(TSQLQuery* dataSet) {
    dataSets_.erase(std::remove(dataSets_.begin(), dataSets_.end(), dataSet), dataSets_.end());
}
