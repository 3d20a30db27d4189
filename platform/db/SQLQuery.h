#pragma once
// The query component: SQL text with ":name" parameters run on a
// TSQLConnection, its rows held in the query and shown through the dataset
// protocol. A query over one table is editable: Edit/Insert/Append/Post/Delete
// write the row back through the table's primary key (or, for keyless tables,
// through all their columns), always with bound parameters. Only the columns
// a post changed are written, so two users editing different columns of one
// row do not undo each other's work; a row another user deleted or re-keyed
// meanwhile makes the post fail, leaving the edit in place.
#include "platform/db/DB.h"
#include "platform/db/SQLConnection.h"
#include "platform/db/SQLRowSet.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TSQLQuery;
class TParameters;

// One parameter of a query: a name as the SQL text writes it (":pId" gives
// "pId") and a value.
class TParameter : public TPersistent {
public:
    FAT_CLASS_NAME(TParameter)
    TParameter(TParameters* Owner, const std::string& Name);

    const std::string& Name() const { return name_; }
    void SetName(const std::string& Value) { name_ = Value; }
    const Variant& Value() const { return value_; }
    void SetValue(const Variant& Value) { value_ = Value; }
    // ftUnknown: bound as the value's own type. A date kind makes a numeric
    // value a date (stored as ISO-8601 text).
    TFieldType DataType() const { return dataType_; }
    void SetDataType(TFieldType Value) { dataType_ = Value; }
    int Size() const { return size_; }
    void SetSize(int Value) { size_ = Value; }
    bool IsNull() const;
    void Clear();

    // Conveniences of the class library's parameters.
    std::string AsString() const;
    void SetAsString(const std::string& Value);
    int AsInteger() const;
    void SetAsInteger(int Value);
    double AsFloat() const;
    void SetAsFloat(double Value);
    TDateTime AsDateTime() const;
    void SetAsDateTime(TDateTime Value);
    void SetAsDate(TDateTime Value);
    bool AsBoolean() const;
    void SetAsBoolean(bool Value);

    void Assign(TPersistent* Source) override;
    TParameters* Collection() const { return owner_; }

    // The value as the database stores it.
    sqlite::Value ToSQLValue() const;

private:
    TParameters* owner_;
    std::string name_;
    Variant value_;
    TFieldType dataType_ = ftUnknown;
    int size_ = 0;
};

class TParameters : public TPersistent {
public:
    FAT_CLASS_NAME(TParameters)
    explicit TParameters(TComponent* Owner = nullptr) : owner_(Owner) {}

    int Count() const { return static_cast<int>(items_.size()); }
    TParameter* Items(int Index) const;
    TParameter* operator[](int Index) const { return Items(Index); }
    // Names compare without regard to case, with or without the ":" prefix.
    TParameter* FindParam(const std::string& Name) const;
    // Raises EDatabaseError "Parameter '<name>' not found".
    TParameter* ParamByName(const std::string& Name) const;
    TParameter* AddParameter();
    TParameter* CreateParameter(const std::string& Name, TFieldType DataType, const Variant& Value);
    void Delete(int Index);
    void Clear();
    // Rebuilds the list from the ":name" placeholders of SQL text (outside
    // strings, quoted names and comments), one per distinct name, keeping the
    // values of names that were already there. Returns the text unchanged.
    std::string ParseSQL(const std::string& SQL, bool DoCreate);
    void Assign(TPersistent* Source) override;

    // The distinct placeholder names of SQL text, in order of appearance.
    static std::vector<std::string> PlaceholderNames(const std::string& SQL);

private:
    TComponent* owner_;
    std::vector<std::unique_ptr<TParameter>> items_;
};

class TSQLQuery : public TDataSet {
public:
    FAT_CLASS(TSQLQuery)
    explicit TSQLQuery(TComponent* AOwner = nullptr);
    ~TSQLQuery() override;

    TSQLConnection* Connection() const { return connection_; }
    void SetConnection(TSQLConnection* Value);

    // Changing the text closes the query and rebuilds the parameters.
    TStringList* SQL() const { return sql_.get(); }
    void SetSQL(const std::string& Text);
    std::string CommandText() const;

    TParameters* Parameters() const { return params_.get(); }
    TParameters* Params() const { return params_.get(); }
    TParameter* ParamByName(const std::string& Name) const { return params_->ParamByName(Name); }
    int ParamCount() const { return params_->Count(); }
    // Off: the parameter list is left alone when the text changes.
    bool ParamCheck() const { return paramCheck_; }
    void SetParamCheck(bool Value) { paramCheck_ = Value; }

    // Runs statements that return no rows (all statements of the text, in
    // one transaction); returns the rows they changed.
    int ExecSQL();
    int RowsAffected() const { return rowsAffected_; }
    bool Prepared() const { return prepared_; }
    void SetPrepared(bool Value);
    void Prepare() { SetPrepared(true); }
    void UnPrepare() { SetPrepared(false); }

    // Master/detail: parameters named like fields of the source's dataset
    // take those fields' values, and the query reads its rows again whenever
    // the master moves to another record.
    TDataSource* DataSource() const { return GetDataSource(); }
    void SetDataSource(TDataSource* Value);

    // A read-only query refuses Edit/Insert/Delete even over one table.
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    // The table rows are written to; empty when the query is not editable.
    std::string UpdateTable() const;
    // On: a post or a delete first checks that the file still holds every
    // value the row was read with, and raises sqlite::ERowChanged, writing
    // nothing, when another user saved or deleted it meanwhile. Off, only
    // the columns a post changed are compared by nothing but the key.
    bool WholeRowCheck() const { return wholeRowCheck_; }
    void SetWholeRowCheck(bool Value) { wholeRowCheck_ = Value; }

    // The whole text the current row holds in Field's column; a string
    // field gives it cut to its size, which a reader that must not lose a
    // character compares with. "" when null or not a column of the query.
    std::string StoredText(const TField* Field) const;

    // TDataSet
    bool BookmarkValid(const TBookmark& Bookmark) const override;
    int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) const override;
    bool GetFieldData(TField* Field, void* Buffer) const override;
    void SetFieldData(TField* Field, const void* Buffer) override;
    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;

protected:
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& Buffer) override;
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
    int GetRecordSize() const override;
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return cursorOpen_; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalDelete() override;
    void InternalPost() override;
    void InternalInitRecord(TRecordBuffer Buffer) override;
    void InternalGotoBookmark(const void* Bookmark) override;
    void InternalSetToRecord(TRecordBuffer Buffer) override;
    void InternalRefresh() override;
    void GetBookmarkData(TRecordBuffer Buffer, void* Data) const override;
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const override;
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
    int GetRecNo() const override;
    void SetRecNoValue(int Value) override;
    int GetRecordCount() const override;
    bool GetCanModify() const override;
    TDataSource* GetDataSource() const override;
    // Switching the filter on an open query must show the new set of rows at once.
    void SetFilteredValue(bool Value) override;
    void SetOnFilterRecordValue(const TFilterRecordEvent& Value) override;

    // The text the query runs; TSQLTable builds it from its table name.
    virtual std::string StatementText() const;

    // The rows as the query holds them. A descendant that writes the row
    // inside a larger transaction marks them before and puts the mark back
    // when that transaction is undone after the row's own write (a commit
    // that fails on a full disk): the query must not hold, nor compare a
    // retried save against, a row the file does not have.
    struct RowsMark {
        std::vector<sqlite::StoredRow> records;
        int cursor = -1;
    };
    RowsMark MarkRows() const { return {records_, cursor_}; }
    void RestoreRows(RowsMark Mark);

private:
    friend class TSQLConnection;
    friend class SQLQueryMasterLink;
    using Record = sqlite::StoredRow;
    struct BufferHeader;

    void MasterChanged();
    void CopyMasterValues();
    void ConnectionClosing();
    void ConnectionDestroyed();
    void SQLChanged(TObject* Sender);
    sqlite::Database& Db() const;
    void BindParameters(sqlite::Statement& Statement) const;
    void Fetch();
    BufferHeader* Header(TRecordBuffer Buffer) const;
    int IndexOfId(std::int64_t Id) const;
    bool AcceptsRecord(TRecordBuffer Buffer);
    void FillBuffer(TRecordBuffer Buffer, int Index);
    sqlite::Cell CellOf(const BufferHeader* Header, int Column) const;
    void SetCell(BufferHeader* Header, int Column, const sqlite::Value& Value);
    sqlite::Row RowOf(const BufferHeader* Header) const;
    int ColumnOf(const TField* Field) const;

    TSQLConnection* connection_ = nullptr;
    std::unique_ptr<TStringList> sql_;
    std::unique_ptr<TParameters> params_;
    bool paramCheck_ = true;
    bool prepared_ = false;
    bool readOnly_ = false;
    bool wholeRowCheck_ = false;
    int rowsAffected_ = -1;

    bool cursorOpen_ = false;
    std::vector<sqlite::ResultColumn> columns_;
    sqlite::RowStore store_;
    std::vector<Record> records_;
    std::optional<sqlite::TableWriter> writer_;
    int cursor_ = -1;               // -1 before the first record, size() after the last
    std::int64_t nextId_ = 1;
    std::unique_ptr<TDataLink> masterLink_;
};

// A query over all rows of one table.
class TSQLTable : public TSQLQuery {
public:
    FAT_CLASS(TSQLTable)
    explicit TSQLTable(TComponent* AOwner = nullptr) : TSQLQuery(AOwner) {}

    const std::string& TableName() const { return tableName_; }
    void SetTableName(const std::string& Value);

protected:
    std::string StatementText() const override;

private:
    std::string tableName_;
};
