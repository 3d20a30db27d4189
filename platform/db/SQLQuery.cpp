#include "platform/db/SQLQuery.h"
#include "platform/rtl/Strings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

namespace {

std::string StripColon(const std::string& name) {
    if (!name.empty() && (name[0] == ':' || name[0] == '@' || name[0] == '$')) return name.substr(1);
    return name;
}

bool IsNameByte(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

bool IsDateType(TFieldType t) { return t == ftDate || t == ftTime || t == ftDateTime || t == ftTimeStamp; }

bool IsTextType(TFieldType t) {
    return t == ftString || t == ftFixedChar || t == ftWideString || t == ftGuid || t == ftFixedWideChar;
}

bool IsMemoType(TFieldType t) { return t == ftMemo || t == ftFmtMemo || t == ftWideMemo; }

TFieldType FieldTypeOf(const sqlite::DeclaredType& t) {
    using sqlite::ColumnKind;
    switch (t.kind) {
    case ColumnKind::String: return ftString;
    case ColumnKind::Memo: return ftMemo;
    case ColumnKind::Float: return ftFloat;
    case ColumnKind::Currency: return ftCurrency;
    case ColumnKind::Integer: return ftInteger;
    case ColumnKind::SmallInt: return ftSmallint;
    case ColumnKind::LargeInt: return ftLargeint;
    case ColumnKind::DateTime: return ftDateTime;
    case ColumnKind::Boolean: return ftBoolean;
    case ColumnKind::AutoInc: return ftAutoInc;
    case ColumnKind::Blob: return ftBlob;
    default: return ftString;
    }
}

// Text of a stored value, whatever its storage class; scratch holds the
// text of a number.
std::string_view CellText(const sqlite::Cell& c, std::string& scratch) {
    switch (c.kind) {
    case sqlite::Cell::Integer: scratch = std::to_string(c.integer); return scratch;
    case sqlite::Cell::Float: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.15g", c.real);
        scratch = buf;
        return scratch;
    }
    case sqlite::Cell::Text:
    case sqlite::Cell::Blob: return c.bytes;
    default: return {};
    }
}

bool CellInt(const sqlite::Cell& c, std::int64_t& out) {
    switch (c.kind) {
    case sqlite::Cell::Integer: out = c.integer; return true;
    case sqlite::Cell::Float: {
        double d = c.real;
        if (!std::isfinite(d) || std::fabs(d) > 9.2e18) return false;
        out = static_cast<std::int64_t>(std::llround(d));
        return true;
    }
    case sqlite::Cell::Text: {
        const std::string s(c.bytes);
        char* end = nullptr;
        errno = 0;
        long long x = std::strtoll(s.c_str(), &end, 10);
        if (end == s.c_str() || errno != 0) {
            double d = std::strtod(s.c_str(), &end);
            if (end == s.c_str()) return false;
            out = static_cast<std::int64_t>(std::llround(d));
            return true;
        }
        out = x;
        return true;
    }
    default: return false;
    }
}

bool CellFloat(const sqlite::Cell& c, double& out) {
    switch (c.kind) {
    case sqlite::Cell::Integer: out = static_cast<double>(c.integer); return true;
    case sqlite::Cell::Float: out = c.real; return true;
    case sqlite::Cell::Text: {
        const std::string s(c.bytes);
        char* end = nullptr;
        out = std::strtod(s.c_str(), &end);
        return end != s.c_str();
    }
    default: return false;
    }
}

bool CellDate(const sqlite::Cell& c, double& out) {
    if (c.kind == sqlite::Cell::Text) return sqlite::IsoToDateTime(c.bytes, out);
    return CellFloat(c, out);
}

bool CellBool(const sqlite::Cell& c) {
    if (c.kind == sqlite::Cell::Text) {
        std::string s = sqlite::LowerText(std::string(c.bytes));
        return !(s.empty() || s == "0" || s == "false" || s == "não" || s == "nao" || s == "no" || s == "f" ||
                 s == "n");
    }
    double d = 0;
    return CellFloat(c, d) && d != 0;
}

// The first count characters of UTF-8 text, never more than maxBytes bytes
// and never a cut sequence.
std::string_view FirstChars(std::string_view s, int count, std::size_t maxBytes) {
    std::size_t i = 0;
    int chars = 0;
    while (i < s.size() && chars < count) {
        std::size_t len = 1;
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0xF0) len = 4;
        else if (c >= 0xE0) len = 3;
        else if (c >= 0xC0) len = 2;
        if (i + len > s.size() || i + len > maxBytes) break;
        i += len;
        ++chars;
    }
    return s.substr(0, i);
}

}  // namespace

// ==================================================================== TParameter

TParameter::TParameter(TParameters* Owner, const std::string& Name) : owner_(Owner), name_(StripColon(Name)) {}

bool TParameter::IsNull() const { return value_.IsNull() || value_.IsEmpty(); }

void TParameter::Clear() { value_ = Variant::MakeNull(); }

std::string TParameter::AsString() const { return IsNull() ? std::string() : value_.AsString(); }
void TParameter::SetAsString(const std::string& Value) {
    value_ = Variant(Value);
    dataType_ = ftString;
}
int TParameter::AsInteger() const { return IsNull() ? 0 : value_.AsInteger(); }
void TParameter::SetAsInteger(int Value) {
    value_ = Variant(Value);
    dataType_ = ftInteger;
}
double TParameter::AsFloat() const { return IsNull() ? 0.0 : value_.AsDouble(); }
void TParameter::SetAsFloat(double Value) {
    value_ = Variant(Value);
    dataType_ = ftFloat;
}
TDateTime TParameter::AsDateTime() const { return IsNull() ? 0.0 : value_.AsDateTime(); }
void TParameter::SetAsDateTime(TDateTime Value) {
    value_ = Variant::FromDateTime(Value);
    dataType_ = ftDateTime;
}
void TParameter::SetAsDate(TDateTime Value) {
    value_ = Variant::FromDateTime(std::trunc(Value));
    dataType_ = ftDate;
}
bool TParameter::AsBoolean() const { return IsNull() ? false : value_.AsBoolean(); }
void TParameter::SetAsBoolean(bool Value) {
    value_ = Variant(Value);
    dataType_ = ftBoolean;
}

void TParameter::Assign(TPersistent* Source) {
    if (auto* p = dynamic_cast<TParameter*>(Source)) {
        name_ = p->name_;
        value_ = p->value_;
        dataType_ = p->dataType_;
        size_ = p->size_;
        return;
    }
    TPersistent::Assign(Source);
}

sqlite::Value TParameter::ToSQLValue() const {
    if (IsNull()) return std::monostate{};
    TVarType vt = value_.VarType();
    if (vt == varDate || IsDateType(dataType_)) {
        TDateTime d;
        try {
            d = value_.AsDateTime();
        } catch (const Exception&) {
            // Text that is no date in the user's format (an ISO date, say)
            // goes as it was typed.
            return value_.AsString();
        }
        if (dataType_ == ftDate) d = std::trunc(d);
        return sqlite::DateTimeToIso(d);
    }
    if (value_.IsArray()) {
        if ((vt & varTypeMask) == varByte) return sqlite::Blob{value_.AsBytes()};
        throw EDatabaseError("Parâmetro \"" + name_ + "\": tipo de valor não suportado");
    }
    switch (vt) {
    case varBoolean: return static_cast<std::int64_t>(value_.AsBoolean() ? 1 : 0);
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64: return static_cast<std::int64_t>(value_.AsInt64());
    case varSingle:
    case varDouble:
    case varCurrency: return value_.AsDouble();
    default: return value_.AsString();
    }
}

// ==================================================================== TParameters

TParameter* TParameters::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return items_[static_cast<std::size_t>(Index)].get();
}

TParameter* TParameters::FindParam(const std::string& Name) const {
    std::string wanted = StripColon(Name);
    for (const auto& p : items_) {
        if (SameText(p->Name(), wanted)) return p.get();
    }
    return nullptr;
}

TParameter* TParameters::ParamByName(const std::string& Name) const {
    TParameter* p = FindParam(Name);
    if (!p) DatabaseError("Parameter '" + StripColon(Name) + "' not found", owner_);
    return p;
}

TParameter* TParameters::AddParameter() {
    items_.push_back(std::make_unique<TParameter>(this, std::string()));
    return items_.back().get();
}

TParameter* TParameters::CreateParameter(const std::string& Name, TFieldType DataType, const Variant& Value) {
    TParameter* p = AddParameter();
    p->SetName(StripColon(Name));
    p->SetDataType(DataType);
    p->SetValue(Value);
    return p;
}

void TParameters::Delete(int Index) {
    Items(Index);
    items_.erase(items_.begin() + Index);
}

void TParameters::Clear() { items_.clear(); }

std::vector<std::string> TParameters::PlaceholderNames(const std::string& SQL) {
    std::vector<std::string> names;
    const std::string& s = SQL;
    std::size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\'' || c == '"' || c == '`' || c == '[') {
            char close = c == '[' ? ']' : c;
            ++i;
            while (i < s.size()) {
                if (s[i] == close) {
                    if (close != ']' && i + 1 < s.size() && s[i + 1] == close) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
        } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            std::size_t end = s.find("*/", i + 2);
            i = end == std::string::npos ? s.size() : end + 2;
        } else if (c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
            i += 2;  // a literal colon, as the class library writes it
        } else if (c == ':' && i + 1 < s.size() && IsNameByte(static_cast<unsigned char>(s[i + 1]))) {
            std::size_t j = i + 1;
            while (j < s.size() && IsNameByte(static_cast<unsigned char>(s[j]))) ++j;
            std::string name = s.substr(i + 1, j - i - 1);
            bool known = false;
            for (const std::string& n : names) known = known || SameText(n, name);
            if (!known) names.push_back(name);
            i = j;
        } else {
            ++i;
        }
    }
    return names;
}

std::string TParameters::ParseSQL(const std::string& SQL, bool DoCreate) {
    if (DoCreate) {
        std::vector<std::unique_ptr<TParameter>> old;
        old.swap(items_);
        for (const std::string& name : PlaceholderNames(SQL)) {
            std::unique_ptr<TParameter> p;
            for (auto& o : old) {
                if (o && SameText(o->Name(), name)) {
                    p = std::move(o);
                    break;
                }
            }
            if (!p) p = std::make_unique<TParameter>(this, name);
            items_.push_back(std::move(p));
        }
    }
    return SQL;
}

void TParameters::Assign(TPersistent* Source) {
    if (auto* src = dynamic_cast<TParameters*>(Source)) {
        if (src == this) return;
        items_.clear();
        for (const auto& p : src->items_) {
            TParameter* q = AddParameter();
            q->Assign(p.get());
        }
        return;
    }
    TPersistent::Assign(Source);
}

// ==================================================================== TSQLQuery

// Tells the detail query when its master opens, closes or moves.
class SQLQueryMasterLink : public TDataLink {
public:
    explicit SQLQueryMasterLink(TSQLQuery* Query) : query_(Query) {}

protected:
    void ActiveChanged() override { query_->MasterChanged(); }
    void RecordChanged(TField* Field) override {
        if (Field != nullptr && !query_->Parameters()->FindParam(Field->FieldName())) return;
        if (DataSource() && DataSource()->State() == dsSetKey) return;
        query_->MasterChanged();
    }
    void CheckBrowseMode() override {
        if (query_->Active()) query_->CheckBrowseMode();
    }

private:
    TSQLQuery* query_;
};

// A record buffer holds its own copy of the row's packed values (its
// capacity kept from row to row) and where each value starts; an edit
// rewrites the one value in place.
struct TSQLQuery::BufferHeader {
    std::string packed;
    std::vector<std::uint32_t> cells;
    std::int64_t id = 0;
    TBookmarkFlag flag = bfCurrent;
};

TSQLQuery::TSQLQuery(TComponent* AOwner)
    : TDataSet(AOwner), sql_(std::make_unique<TStringList>()), params_(std::make_unique<TParameters>(this)) {
    sql_->OnChange = [this](TObject* Sender) { SQLChanged(Sender); };
}

TSQLQuery::~TSQLQuery() {
    sql_->OnChange = nullptr;
    Destroying();
    try {
        if (Active()) Close();
    } catch (...) {
    }
    masterLink_.reset();
    if (connection_) connection_->UnregisterDataSet(this);
    connection_ = nullptr;
}

void TSQLQuery::SetConnection(TSQLConnection* Value) {
    if (Value == connection_) return;
    if (Active()) Close();
    if (connection_) connection_->UnregisterDataSet(this);
    connection_ = Value;
    if (connection_) connection_->RegisterDataSet(this);
}

void TSQLQuery::SetDataSource(TDataSource* Value) {
    if (Value == GetDataSource()) return;
    if (Value != nullptr && IsLinkedTo(Value)) DatabaseError(dbconsts::SCircularDataLink, this);
    if (!masterLink_) masterLink_ = std::make_unique<SQLQueryMasterLink>(this);
    masterLink_->SetDataSource(Value);
}

TDataSource* TSQLQuery::GetDataSource() const { return masterLink_ ? masterLink_->DataSource() : nullptr; }

void TSQLQuery::CopyMasterValues() {
    TDataSet* master = masterLink_ && masterLink_->Active() ? masterLink_->DataSet() : nullptr;
    if (!master) return;
    for (int i = 0; i < params_->Count(); ++i) {
        TParameter* p = params_->Items(i);
        if (TField* f = master->FindField(p->Name())) {
            p->SetValue(f->IsNull() ? Variant::MakeNull() : f->Value());
            if (IsDateType(f->DataType())) p->SetDataType(f->DataType());
        }
    }
}

void TSQLQuery::MasterChanged() {
    if (!Active() || ComponentState().Contains(csDestroying)) return;
    CheckBrowseMode();
    CopyMasterValues();
    Fetch();
    cursor_ = -1;
    First();
}

void TSQLQuery::ConnectionClosing() {
    if (Active()) Close();
}

void TSQLQuery::ConnectionDestroyed() {
    try {
        if (Active()) Close();
    } catch (...) {
    }
    connection_ = nullptr;
}

void TSQLQuery::SetSQL(const std::string& Text) { sql_->SetText(Text); }

std::string TSQLQuery::CommandText() const { return StatementText(); }

std::string TSQLQuery::StatementText() const { return sql_->Text(); }

void TSQLQuery::SQLChanged(TObject*) {
    if (Active()) Close();
    prepared_ = false;
    FieldDefs()->SetUpdated(false);
    if (paramCheck_) params_->ParseSQL(StatementText(), true);
}

void TSQLQuery::SetPrepared(bool Value) {
    if (Value) {
        // Preparing checks the text against the database now.
        sqlite::Statement st(Db(), StatementText());
    }
    prepared_ = Value;
}

void TSQLQuery::SetReadOnly(bool Value) {
    if (Value == readOnly_) return;
    if (Active()) Close();
    readOnly_ = Value;
}

std::string TSQLQuery::UpdateTable() const { return writer_ ? writer_->Table() : std::string(); }

sqlite::Database& TSQLQuery::Db() const {
    if (!connection_) DatabaseError("Nenhuma conexão foi atribuída à consulta", const_cast<TSQLQuery*>(this));
    return connection_->Database();
}

void TSQLQuery::BindParameters(sqlite::Statement& st) const {
    for (int i = 1; i <= st.ParameterCount(); ++i) {
        std::string name = st.ParameterName(i);
        TParameter* p = nullptr;
        if (name.empty() || name[0] == '?') {
            if (i - 1 < params_->Count()) p = params_->Items(i - 1);
        } else {
            p = params_->FindParam(name);
        }
        if (!p) DatabaseError("Parameter '" + StripColon(name) + "' not found", const_cast<TSQLQuery*>(this));
        st.Bind(i, p->ToSQLValue());
    }
}

int TSQLQuery::ExecSQL() {
    sqlite::Database& db = Db();
    std::string rest = StatementText();
    std::int64_t total = 0;
    // Several statements change the database together or not at all.
    bool several = false;
    {
        sqlite::Statement first(db, rest);
        several = !first.Tail().empty();
    }
    std::optional<sqlite::Transaction> tr;
    if (several) tr.emplace(db);
    while (!rest.empty()) {
        sqlite::Statement st(db, rest);
        rest = st.Tail();
        if (!st.Valid()) break;
        BindParameters(st);
        st.Run();
        if (!st.ReadOnly()) total += db.Changes();
    }
    if (tr) tr->Commit();
    rowsAffected_ = static_cast<int>(total);
    return rowsAffected_;
}

// ----- rows

void TSQLQuery::Fetch() {
    sqlite::Database& db = Db();
    CopyMasterValues();
    sqlite::Statement st(db, StatementText());
    if (!st.Valid()) DatabaseError("Nenhum comando SQL foi informado para a consulta", this);
    if (st.ColumnCount() == 0)
        DatabaseError("O comando não retorna registros; use ExecSQL para executá-lo", this);
    BindParameters(st);
    sqlite::FetchResult r = sqlite::FetchAll(db, st, nextId_);
    columns_ = std::move(r.columns);
    writer_ = sqlite::TableWriter::ForResult(db, columns_);
    records_ = std::move(r.rows);
    store_ = std::move(r.store);
}

void TSQLQuery::InternalInitFieldDefs() {
    if (!cursorOpen_) {
        // Asked for the fields before opening: the statement describes them.
        sqlite::Database& db = Db();
        sqlite::Statement st(db, StatementText());
        columns_ = sqlite::FetchAll(db, st, nextId_, false).columns;
        writer_ = sqlite::TableWriter::ForResult(db, columns_);
    }
    TFieldDefs* defs = FieldDefs();
    defs->Clear();
    for (const sqlite::ResultColumn& c : columns_) {
        std::string name = c.name.empty() ? "COLUMN" : c.name;
        if (defs->IndexOf(name) >= 0) {
            int n = 1;
            while (defs->IndexOf(name + "_" + std::to_string(n)) >= 0) ++n;
            name += "_" + std::to_string(n);
        }
        TFieldType type = FieldTypeOf(c.type);
        int size = type == ftString ? std::max(c.type.size, 1) : 0;
        bool required = c.writable && c.notNull && !c.hasDefault && type != ftAutoInc;
        TFieldDef* def = defs->Add(name, type, size, required);
        if (writer_ && (!c.writable || type == ftAutoInc)) {
            TFieldAttributes attrs = def->Attributes();
            attrs.Include(faReadonly);
            def->SetAttributes(attrs);
        }
    }
    defs->SetUpdated(true);
}

void TSQLQuery::InternalOpen() {
    Fetch();
    cursorOpen_ = true;
    cursor_ = -1;
    FieldDefs()->SetUpdated(false);
    InitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    SetBookmarkSize(static_cast<int>(sizeof(std::int64_t)));
}

void TSQLQuery::InternalClose() {
    records_.clear();
    records_.shrink_to_fit();
    store_.Clear();
    writer_.reset();
    cursorOpen_ = false;
    cursor_ = -1;
}

int TSQLQuery::GetRecordSize() const { return static_cast<int>((sizeof(BufferHeader) + 15) / 16 * 16); }

TRecordBuffer TSQLQuery::AllocRecordBuffer() {
    std::size_t size = static_cast<std::size_t>(GetRecordSize() + CalcFieldsSize());
    auto* p = static_cast<uint8_t*>(::operator new(size));
    std::memset(p, 0, size);
    new (p) BufferHeader();
    return p;
}

void TSQLQuery::FreeRecordBuffer(TRecordBuffer& Buffer) {
    if (!Buffer) return;
    Header(Buffer)->~BufferHeader();
    ::operator delete(Buffer);
    Buffer = nullptr;
}

TSQLQuery::BufferHeader* TSQLQuery::Header(TRecordBuffer Buffer) const {
    return std::launder(reinterpret_cast<BufferHeader*>(Buffer));
}

int TSQLQuery::IndexOfId(std::int64_t Id) const {
    // The cursor is usually on or next to the record asked for.
    int n = static_cast<int>(records_.size());
    for (int d : {0, -1, 1}) {
        int i = cursor_ + d;
        if (i >= 0 && i < n && records_[static_cast<std::size_t>(i)].id == Id) return i;
    }
    for (int i = 0; i < n; ++i) {
        if (records_[static_cast<std::size_t>(i)].id == Id) return i;
    }
    return -1;
}

void TSQLQuery::FillBuffer(TRecordBuffer Buffer, int Index) {
    BufferHeader* h = Header(Buffer);
    const Record& r = records_[static_cast<std::size_t>(Index)];
    h->packed.assign(r.packed.data(), r.packed.size());
    sqlite::CellOffsets(h->packed, columns_.size(), h->cells);
    h->id = r.id;
    h->flag = bfCurrent;
}

sqlite::Cell TSQLQuery::CellOf(const BufferHeader* h, int col) const {
    if (col < 0 || static_cast<std::size_t>(col) >= h->cells.size()) return {};
    return sqlite::ReadCell(h->packed, h->cells[static_cast<std::size_t>(col)]);
}

void TSQLQuery::SetCell(BufferHeader* h, int col, const sqlite::Value& v) {
    // A row shorter than the result (an empty buffer) gets its missing nulls.
    while (h->cells.size() < columns_.size()) {
        h->cells.push_back(static_cast<std::uint32_t>(h->packed.size()));
        sqlite::AppendPacked(h->packed, sqlite::Value{});
    }
    const std::size_t start = h->cells[static_cast<std::size_t>(col)];
    std::size_t end = start;
    sqlite::ReadCell(h->packed, start, &end);
    std::string value;
    sqlite::AppendPacked(value, v);
    h->packed.replace(start, end - start, value);
    sqlite::CellOffsets(h->packed, columns_.size(), h->cells);
}

sqlite::Row TSQLQuery::RowOf(const BufferHeader* h) const { return sqlite::UnpackRow(h->packed, columns_.size()); }

void TSQLQuery::SetFilteredValue(bool Value) {
    if (Value == Filtered()) return;
    if (Active()) CheckBrowseMode();
    TDataSet::SetFilteredValue(Value);
    if (Active()) First();
}

void TSQLQuery::SetOnFilterRecordValue(const TFilterRecordEvent& Value) {
    if (Active()) CheckBrowseMode();
    TDataSet::SetOnFilterRecordValue(Value);
    if (Active() && Filtered()) First();
}

bool TSQLQuery::AcceptsRecord(TRecordBuffer Buffer) { return !Filtered() || RecordFilterAccepts(Buffer); }

TGetResult TSQLQuery::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
    (void)DoCheck;
    const int count = static_cast<int>(records_.size());
    for (;;) {
        switch (GetMode) {
        case gmNext:
            if (cursor_ + 1 >= count) {
                cursor_ = count;
                return grEOF;
            }
            ++cursor_;
            break;
        case gmPrior:
            if (cursor_ - 1 < 0) {
                cursor_ = -1;
                return grBOF;
            }
            --cursor_;
            break;
        case gmCurrent:
            if (cursor_ < 0) return grBOF;
            if (cursor_ >= count) return grEOF;
            break;
        }
        FillBuffer(Buffer, cursor_);
        GetCalcFields(Buffer);
        if (AcceptsRecord(Buffer)) return grOK;
        if (GetMode == gmCurrent) return grError;
    }
}

void TSQLQuery::InternalFirst() { cursor_ = -1; }

void TSQLQuery::InternalLast() { cursor_ = static_cast<int>(records_.size()); }

void TSQLQuery::InternalInitRecord(TRecordBuffer Buffer) {
    BufferHeader* h = Header(Buffer);
    h->packed.clear();
    h->cells.clear();
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        h->cells.push_back(static_cast<std::uint32_t>(h->packed.size()));
        sqlite::AppendPacked(h->packed, sqlite::Value{});
    }
    h->id = 0;
}

void TSQLQuery::InternalSetToRecord(TRecordBuffer Buffer) {
    int i = IndexOfId(Header(Buffer)->id);
    if (i >= 0) cursor_ = i;
}

void TSQLQuery::InternalGotoBookmark(const void* Bookmark) {
    std::int64_t id;
    std::memcpy(&id, Bookmark, sizeof id);
    int i = IndexOfId(id);
    if (i < 0) DatabaseError(dbconsts::SRecordNotFound, this);
    cursor_ = i;
}

void TSQLQuery::GetBookmarkData(TRecordBuffer Buffer, void* Data) const {
    std::memcpy(Data, &Header(Buffer)->id, sizeof(std::int64_t));
}

void TSQLQuery::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
    std::memcpy(&Header(Buffer)->id, Data, sizeof(std::int64_t));
}

TBookmarkFlag TSQLQuery::GetBookmarkFlag(TRecordBuffer Buffer) const { return Header(Buffer)->flag; }

void TSQLQuery::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) { Header(Buffer)->flag = Value; }

bool TSQLQuery::BookmarkValid(const TBookmark& Bookmark) const {
    if (!cursorOpen_ || Bookmark.size() != sizeof(std::int64_t)) return false;
    std::int64_t id;
    std::memcpy(&id, Bookmark.data(), sizeof id);
    return IndexOfId(id) >= 0;
}

int TSQLQuery::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) const {
    if (Bookmark1.empty() || Bookmark2.empty()) {
        return Bookmark1.empty() ? (Bookmark2.empty() ? 0 : -1) : 1;
    }
    std::int64_t a = 0, b = 0;
    if (Bookmark1.size() == sizeof a) std::memcpy(&a, Bookmark1.data(), sizeof a);
    if (Bookmark2.size() == sizeof b) std::memcpy(&b, Bookmark2.data(), sizeof b);
    int ia = IndexOfId(a), ib = IndexOfId(b);
    return ia < ib ? -1 : (ia > ib ? 1 : 0);
}

int TSQLQuery::GetRecNo() const {
    TRecordBuffer buf = ActiveBuffer();
    if (!cursorOpen_ || !buf || State() == dsInsert) return -1;
    int i = IndexOfId(Header(buf)->id);
    return i < 0 ? -1 : i + 1;
}

void TSQLQuery::SetRecNoValue(int Value) {
    CheckBrowseMode();
    if (Value < 1 || Value > static_cast<int>(records_.size()) || Value == RecNo()) return;
    DoBeforeScroll();
    cursor_ = Value - 1;
    Resync(TResyncMode{rmCenter});
    DoAfterScroll();
}

int TSQLQuery::GetRecordCount() const {
    if (!cursorOpen_) return 0;
    if (!Filtered()) return static_cast<int>(records_.size());
    auto* self = const_cast<TSQLQuery*>(this);
    TRecordBuffer buf = self->AllocRecordBuffer();
    int n = 0;
    try {
        for (int i = 0; i < static_cast<int>(records_.size()); ++i) {
            self->FillBuffer(buf, i);
            if (self->AcceptsRecord(buf)) ++n;
        }
    } catch (...) {
        self->FreeRecordBuffer(buf);
        throw;
    }
    self->FreeRecordBuffer(buf);
    return n;
}

bool TSQLQuery::GetCanModify() const { return cursorOpen_ && writer_.has_value() && !readOnly_; }

int TSQLQuery::ColumnOf(const TField* Field) const {
    int n = Field->FieldNo();
    if (n <= 0 || n > static_cast<int>(columns_.size())) return -1;
    return n - 1;
}

// ----- field values

std::string TSQLQuery::StoredText(const TField* Field) const {
    TRecordBuffer rec = CurrentRecordBuffer();
    if (!rec || Field == nullptr || Field->FieldNo() <= 0) return {};
    int col = ColumnOf(Field);
    if (col < 0) return {};
    const sqlite::Cell v = CellOf(Header(rec), col);
    if (v.kind == sqlite::Cell::Null) return {};
    std::string scratch;
    return std::string(CellText(v, scratch));
}

bool TSQLQuery::GetFieldData(TField* Field, void* Buffer) const {
    TRecordBuffer rec = CurrentRecordBuffer();
    if (!rec) return false;
    if (Field->FieldNo() <= 0) return ReadCalcField(rec + GetRecordSize(), Field, Buffer);
    int col = ColumnOf(Field);
    if (col < 0) return false;
    const sqlite::Cell v = CellOf(Header(rec), col);
    if (v.kind == sqlite::Cell::Null) return false;
    if (!Buffer) return true;
    const TFieldType t = Field->DataType();
    std::string scratch;
    if (IsTextType(t)) {
        int size = t == ftGuid ? 38 : std::max(Field->Size(), 1);
        std::string_view text = FirstChars(CellText(v, scratch), size, static_cast<std::size_t>(Field->DataSize() - 1));
        std::memcpy(Buffer, text.data(), text.size());
        static_cast<char*>(Buffer)[text.size()] = '\0';
        return true;
    }
    std::int64_t i = 0;
    double d = 0;
    switch (t) {
    case ftSmallint: {
        if (!CellInt(v, i)) return false;
        auto x = static_cast<int16_t>(i);
        std::memcpy(Buffer, &x, sizeof x);
        return true;
    }
    case ftWord: {
        if (!CellInt(v, i)) return false;
        auto x = static_cast<uint16_t>(i);
        std::memcpy(Buffer, &x, sizeof x);
        return true;
    }
    case ftBoolean: {
        int16_t x = CellBool(v) ? 1 : 0;
        std::memcpy(Buffer, &x, sizeof x);
        return true;
    }
    case ftInteger:
    case ftAutoInc: {
        if (!CellInt(v, i)) return false;
        auto x = static_cast<int32_t>(i);
        std::memcpy(Buffer, &x, sizeof x);
        return true;
    }
    case ftLargeint: {
        if (!CellInt(v, i)) return false;
        std::memcpy(Buffer, &i, sizeof i);
        return true;
    }
    case ftFloat:
    case ftCurrency: {
        if (!CellFloat(v, d)) return false;
        std::memcpy(Buffer, &d, sizeof d);
        return true;
    }
    case ftBCD:
    case ftFMTBcd: {
        if (!CellFloat(v, d)) return false;
        Currency c = Currency::FromDouble(d);
        std::memcpy(Buffer, &c, sizeof c);
        return true;
    }
    case ftDate:
    case ftTime:
    case ftDateTime:
    case ftTimeStamp: {
        if (!CellDate(v, d)) return false;
        std::memcpy(Buffer, &d, sizeof d);
        return true;
    }
    case ftBytes: {
        std::string_view bytes = CellText(v, scratch);
        std::memset(Buffer, 0, static_cast<std::size_t>(Field->Size()));
        std::memcpy(Buffer, bytes.data(), std::min(bytes.size(), static_cast<std::size_t>(Field->Size())));
        return true;
    }
    case ftVarBytes: {
        std::string_view bytes = CellText(v, scratch);
        auto len = static_cast<uint16_t>(std::min(bytes.size(), static_cast<std::size_t>(Field->Size())));
        std::memcpy(Buffer, &len, sizeof len);
        std::memcpy(static_cast<uint8_t*>(Buffer) + sizeof len, bytes.data(), len);
        return true;
    }
    default:
        return false;
    }
}

void TSQLQuery::SetFieldData(TField* Field, const void* Buffer) {
    CheckFieldWrite(Field);
    TRecordBuffer rec = CurrentRecordBuffer();
    if (!rec) DatabaseError(dbconsts::SNotEditing, this);
    if (Field->FieldKind() == fkData || Field->FieldKind() == fkInternalCalc) Field->Validate(Buffer);
    if (Field->FieldNo() <= 0) {
        WriteCalcField(rec + GetRecordSize(), Field, Buffer);
        NotifyFieldChange(Field);
        return;
    }
    int col = ColumnOf(Field);
    if (col < 0) DatabaseError("Field '" + Field->FieldName() + "' not found", this);
    sqlite::Value v;
    if (Buffer) {
        const TFieldType t = Field->DataType();
        if (IsTextType(t)) {
            v = std::string(static_cast<const char*>(Buffer));
        } else {
            switch (t) {
            case ftSmallint: {
                int16_t x;
                std::memcpy(&x, Buffer, sizeof x);
                v = static_cast<std::int64_t>(x);
                break;
            }
            case ftWord: {
                uint16_t x;
                std::memcpy(&x, Buffer, sizeof x);
                v = static_cast<std::int64_t>(x);
                break;
            }
            case ftBoolean: {
                int16_t x;
                std::memcpy(&x, Buffer, sizeof x);
                v = static_cast<std::int64_t>(x != 0 ? 1 : 0);
                break;
            }
            case ftInteger:
            case ftAutoInc: {
                int32_t x;
                std::memcpy(&x, Buffer, sizeof x);
                v = static_cast<std::int64_t>(x);
                break;
            }
            case ftLargeint: {
                std::int64_t x;
                std::memcpy(&x, Buffer, sizeof x);
                v = x;
                break;
            }
            case ftFloat:
            case ftCurrency: {
                double x;
                std::memcpy(&x, Buffer, sizeof x);
                v = x;
                break;
            }
            case ftBCD:
            case ftFMTBcd: {
                Currency c;
                std::memcpy(&c, Buffer, sizeof c);
                v = c.ToDouble();
                break;
            }
            case ftDate:
            case ftTime:
            case ftDateTime:
            case ftTimeStamp: {
                double x;
                std::memcpy(&x, Buffer, sizeof x);
                if (t == ftDate) x = std::trunc(x);
                v = sqlite::DateTimeToIso(x);
                break;
            }
            case ftBytes:
                v = sqlite::Blob{std::string(static_cast<const char*>(Buffer), static_cast<std::size_t>(Field->Size()))};
                break;
            case ftVarBytes: {
                uint16_t len;
                std::memcpy(&len, Buffer, sizeof len);
                v = sqlite::Blob{std::string(static_cast<const char*>(Buffer) + sizeof len, len)};
                break;
            }
            default:
                DatabaseError("Tipo de campo não suportado: " + Field->FieldName(), this);
            }
        }
    }
    SetCell(Header(rec), col, v);
    NotifyFieldChange(Field);
}

std::unique_ptr<TStream> TSQLQuery::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    int col = ColumnOf(Field);
    if (col < 0) return TDataSet::CreateBlobStream(Field, Mode);
    std::string initial;
    bool present = false;
    if (TRecordBuffer rec = CurrentRecordBuffer()) {
        const sqlite::Cell c = CellOf(Header(rec), col);
        if (c.kind != sqlite::Cell::Null) {
            std::string scratch;
            initial = std::string(CellText(c, scratch));
            present = true;
        }
    }
    bool memo = IsMemoType(Field->DataType());
    auto store = [this, col, memo](const std::string* bytes) {
        TRecordBuffer rec = CurrentRecordBuffer();
        if (!rec) return;
        sqlite::Value v;
        if (bytes && memo) v = *bytes;
        else if (bytes) v = sqlite::Blob{*bytes};
        SetCell(Header(rec), col, v);
    };
    return std::make_unique<db::BlobBufferStream>(Field, Mode, present ? &initial : nullptr, store);
}

// ----- changes

void TSQLQuery::InternalPost() {
    TDataSet::InternalPost();
    if (!writer_) DatabaseError(dbconsts::SDataSetReadOnly, this);
    sqlite::Database& db = Db();
    TRecordBuffer rec = ActiveBuffer();
    BufferHeader* h = Header(rec);
    sqlite::Row values = RowOf(h);
    if (State() == dsEdit) {
        int index = IndexOfId(h->id);
        if (index < 0) DatabaseError(dbconsts::SRecordNotFound, this);
        sqlite::Row oldRow = sqlite::UnpackRow(records_[static_cast<std::size_t>(index)].packed, columns_.size());
        sqlite::Transaction tr(db);
        sqlite::Row stored = writer_->Update(db, oldRow, values, wholeRowCheck_);
        tr.Commit();
        // The old bytes stay in the store until it is read again.
        records_[static_cast<std::size_t>(index)].packed = store_.Add(sqlite::PackRow(stored));
        cursor_ = index;
    } else {
        sqlite::Transaction tr(db);
        sqlite::Row stored = writer_->Insert(db, values);
        tr.Commit();
        // An appended row goes last; an inserted one before the row whose
        // bookmark the dataset left in its buffer.
        const int count = static_cast<int>(records_.size());
        int at;
        if (h->flag == bfEOF) {
            at = count;
        } else if (h->flag == bfBOF) {
            at = 0;
        } else {
            int before = IndexOfId(h->id);
            at = before >= 0 ? before : std::clamp(cursor_, 0, count);
        }
        Record r{store_.Add(sqlite::PackRow(stored)), nextId_++};
        h->id = r.id;
        records_.insert(records_.begin() + at, std::move(r));
        cursor_ = at;
    }
}

void TSQLQuery::RestoreRows(RowsMark Mark) {
    records_ = std::move(Mark.records);
    cursor_ = std::clamp(Mark.cursor, -1, static_cast<int>(records_.size()));
}

void TSQLQuery::InternalDelete() {
    if (!writer_) DatabaseError(dbconsts::SDataSetReadOnly, this);
    // The row on screen, whatever record the cursor last read ahead.
    if (TRecordBuffer rec = ActiveBuffer()) {
        int index = IndexOfId(Header(rec)->id);
        if (index >= 0) cursor_ = index;
    }
    const int count = static_cast<int>(records_.size());
    if (cursor_ < 0 || cursor_ >= count) DatabaseError(dbconsts::SDataSetEmpty, this);
    sqlite::Database& db = Db();
    sqlite::Row oldRow = sqlite::UnpackRow(records_[static_cast<std::size_t>(cursor_)].packed, columns_.size());
    sqlite::Transaction tr(db);
    writer_->Delete(db, oldRow, wholeRowCheck_);
    tr.Commit();
    records_.erase(records_.begin() + cursor_);
}

void TSQLQuery::InternalRefresh() {
    // The rows are read again. A row still there (same key; for a query
    // without one, same values) keeps its bookmark, and the cursor goes back
    // to it; when it is gone the cursor stays at the same position.
    std::vector<std::size_t> keyCols;
    if (writer_ && writer_->UsesKey()) {
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            if (columns_[i].keyPart && columns_[i].writable) keyCols.push_back(i);
        }
    }
    const std::size_t width = columns_.size();
    auto keyOf = [&keyCols, width](std::string_view packed) {
        if (keyCols.empty()) return std::string(packed);
        sqlite::Row row = sqlite::UnpackRow(packed, width);
        sqlite::Row key;
        for (std::size_t k : keyCols) key.push_back(row[k]);
        return sqlite::PackRow(key);
    };
    std::unordered_map<std::string, std::int64_t> ids;
    ids.reserve(records_.size());
    for (const Record& r : records_) ids.emplace(keyOf(r.packed), r.id);
    std::int64_t currentId = cursor_ >= 0 && cursor_ < static_cast<int>(records_.size())
                                 ? records_[static_cast<std::size_t>(cursor_)].id
                                 : 0;
    int oldIndex = cursor_;
    Fetch();
    if (columns_.size() == width) {
        for (Record& r : records_) {
            auto it = ids.find(keyOf(r.packed));
            if (it != ids.end()) {
                r.id = it->second;
                ids.erase(it);  // one row per bookmark, even among equal rows
            }
        }
    }
    const int count = static_cast<int>(records_.size());
    int found = currentId != 0 ? IndexOfId(currentId) : -1;
    cursor_ = found >= 0 ? found : std::min(oldIndex, count - 1);
}

// ==================================================================== TSQLTable

void TSQLTable::SetTableName(const std::string& Value) {
    if (Value == tableName_) return;
    if (Active()) Close();
    tableName_ = Value;
    FieldDefs()->SetUpdated(false);
}

std::string TSQLTable::StatementText() const {
    if (tableName_.empty()) return TSQLQuery::StatementText();
    return "SELECT * FROM " + sqlite::QuoteIdentifier(tableName_);
}
