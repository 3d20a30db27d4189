#pragma once
// A small dataset over a std::vector of rows, written only against the
// descendant protocol of TDataSet: it keeps each record in its own record
// buffers, filters through OnFilterRecord and follows a master through
// TMasterDataLink. Tests of the dataset model and of later subsystems use it
// as "any dataset".
//
// Rows survive Close/Open (as a table would); the field layout must then stay
// the same. Bookmarks are the row's id (4 bytes), never reused.
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/DB.h"
#include "platform/rtl/Format.h"

namespace testsupport {

class VectorDataSet : public TDataSet {
public:
    explicit VectorDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner), masterLink_(this) {
        masterLink_.OnMasterChange = [this](TObject*) { MasterChanged(); };
        masterLink_.OnMasterDisable = [this](TObject*) { MasterDisabled(); };
    }
    ~VectorDataSet() override {
        Destroying();
        Close();
    }

    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value) { readOnly_ = Value; }

    // Master/detail: the detail shows the rows whose DetailFields equal the
    // master's MasterFields.
    TDataSource* MasterSource() const { return masterLink_.DataSource(); }
    void SetMasterSource(TDataSource* Value) {
        if (Value != nullptr && IsLinkedTo(Value)) DatabaseError(dbconsts::SCircularDataLink, this);
        masterLink_.SetDataSource(Value);
    }
    void SetMasterFields(const std::string& Value) { masterLink_.SetFieldNames(Value); }
    void SetDetailFields(const std::string& Value) { detailFields_ = Value; }
    TMasterDataLink* MasterLink() { return &masterLink_; }

    // Every stored row, filtered or not.
    int StoredCount() const { return static_cast<int>(rows_.size()); }
    // How many GetRecord calls the dataset made (for tests of buffering).
    int GetRecordCalls() const { return getRecordCalls_; }

    bool BookmarkValid(const TBookmark& Bookmark) const override {
        if (!TDataSet::BookmarkValid(Bookmark)) return false;
        return IndexOfId(BookmarkId(Bookmark.data())) >= 0;
    }

    int CompareBookmarks(const TBookmark& A, const TBookmark& B) const override {
        if (A.empty() && B.empty()) return 0;
        if (A.empty()) return -1;
        if (B.empty()) return 1;
        int a = IndexOfId(BookmarkId(A.data())), b = IndexOfId(BookmarkId(B.data()));
        return a < b ? -1 : (a > b ? 1 : 0);
    }

    bool GetFieldData(TField* Field, void* Buffer) const override {
        TRecordBuffer rb = State() == dsOldValue ? StoredCopyOfActive() : CurrentRecordBuffer();
        if (rb == nullptr) return false;
        if (Field->FieldNo() <= 0) return ReadCalcField(rb + GetRecordSize(), Field, Buffer);
        if (Field->IsBlob()) {
            auto it = blobs_.find(rb);
            if (it == blobs_.end()) return false;
            auto bit = it->second.find(Field->FieldNo());
            return bit != it->second.end() && bit->second.has_value();
        }
        const uint8_t* p = rb + offsets_.at(Field->FieldNo());
        if (p[0] == 0) return false;
        if (Buffer != nullptr) std::memcpy(Buffer, p + 1, static_cast<std::size_t>(Field->DataSize()));
        return true;
    }

    void SetFieldData(TField* Field, const void* Buffer) override {
        CheckFieldWrite(Field);
        TRecordBuffer rb = CurrentRecordBuffer();
        if (rb == nullptr) return;
        if (Field->FieldKind() == fkData || Field->FieldKind() == fkCalculated) Field->Validate(Buffer);
        if (Field->FieldNo() <= 0) {
            WriteCalcField(rb + GetRecordSize(), Field, Buffer);
        } else {
            uint8_t* p = rb + offsets_.at(Field->FieldNo());
            auto size = static_cast<std::size_t>(Field->DataSize());
            p[0] = Buffer != nullptr ? 1 : 0;
            if (Buffer != nullptr)
                std::memcpy(p + 1, Buffer, size);
            else
                std::memset(p + 1, 0, size);
        }
        NotifyFieldChange(Field);
    }

    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
        TRecordBuffer rb = CurrentRecordBuffer();
        if (rb == nullptr && Mode == bmRead) return std::make_unique<TMemoryStream>();
        auto& slot = blobs_[rb][Field->FieldNo()];
        int fieldNo = Field->FieldNo();
        return std::make_unique<db::BlobBufferStream>(
            Field, Mode, slot.has_value() ? &*slot : nullptr, [this, rb, fieldNo](const std::string* bytes) {
                if (bytes != nullptr)
                    blobs_[rb][fieldNo] = *bytes;
                else
                    blobs_[rb][fieldNo].reset();
            });
    }

protected:
    struct Row {
        int id = 0;
        std::string data;  // the data area, as in a record buffer
        std::map<int, std::optional<std::string>> blobs;
    };

    // Record buffer: id (4 bytes), flag (1 byte), then the data area, then
    // the calculated-field area.
    static constexpr int HeaderSize = 8;

    TRecordBuffer AllocRecordBuffer() override {
        auto size = static_cast<std::size_t>(GetRecordSize() + CalcFieldsSize());
        auto* b = new uint8_t[size];
        std::memset(b, 0, size);
        return b;
    }

    void FreeRecordBuffer(TRecordBuffer& Buffer) override {
        blobs_.erase(Buffer);
        delete[] Buffer;
        Buffer = nullptr;
    }

    int GetRecordSize() const override { return HeaderSize + dataSize_; }

    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override {
        (void)DoCheck;
        ++getRecordCalls_;
        int n = StoredCount();
        switch (GetMode) {
            case gmNext: {
                int pos = cursor_ + 1;
                while (pos < n && !Accept(pos)) ++pos;
                if (pos >= n) {
                    cursor_ = n;
                    return grEOF;
                }
                cursor_ = pos;
                break;
            }
            case gmPrior: {
                int pos = std::min(cursor_, n) - 1;
                while (pos >= 0 && !Accept(pos)) --pos;
                if (pos < 0) {
                    cursor_ = -1;
                    return grBOF;
                }
                cursor_ = pos;
                break;
            }
            case gmCurrent:
                if (cursor_ < 0) return grBOF;
                if (cursor_ >= n) return grEOF;
                if (!Accept(cursor_)) return grEOF;
                break;
        }
        Load(rows_[static_cast<std::size_t>(cursor_)], Buffer);
        GetCalcFields(Buffer);
        return grOK;
    }

    void InternalOpen() override {
        InternalInitFieldDefs();
        if (DefaultFields()) CreateFields();
        BindFields(true);
        offsets_.clear();
        int offset = HeaderSize;
        for (TField* f : Fields()->List()) {
            if (f->FieldNo() <= 0) continue;
            offsets_[f->FieldNo()] = offset;
            offset += 1 + f->DataSize();
        }
        dataSize_ = offset - HeaderSize;
        SetBookmarkSize(4);
        ownFilter_ = AllocRecordBuffer();
        cursor_ = -1;
        open_ = true;
        // A detail opened under an open master shows that master's rows at once.
        TakeMasterValues();
    }

    void InternalClose() override {
        if (ownFilter_ != nullptr) FreeRecordBuffer(ownFilter_);
        open_ = false;
    }

    bool IsCursorOpen() const override { return open_; }

    void InternalInitFieldDefs() override { InitFieldDefsFromFields(); }

    void InternalFirst() override { cursor_ = -1; }
    void InternalLast() override { cursor_ = StoredCount(); }

    void InternalInitRecord(TRecordBuffer Buffer) override {
        std::memset(Buffer + HeaderSize, 0, static_cast<std::size_t>(dataSize_));
        blobs_.erase(Buffer);
    }

    void InternalPost() override {
        TDataSet::InternalPost();
        TRecordBuffer b = ActiveBuffer();
        if (State() == dsEdit) {
            if (cursor_ < 0 || cursor_ >= StoredCount()) DatabaseError(dbconsts::SRecordNotFound, this);
            Store(b, rows_[static_cast<std::size_t>(cursor_)]);
            return;
        }
        Row row;
        row.id = nextId_++;
        Store(b, row);
        if (GetBookmarkFlag(b) == bfEOF) {
            rows_.push_back(std::move(row));
            cursor_ = StoredCount() - 1;
        } else {
            int pos = std::clamp(cursor_, 0, StoredCount());
            rows_.insert(rows_.begin() + pos, std::move(row));
            cursor_ = pos;
        }
    }

    void InternalDelete() override {
        if (cursor_ < 0 || cursor_ >= StoredCount()) DatabaseError(dbconsts::SRecordNotFound, this);
        rows_.erase(rows_.begin() + cursor_);
    }

    void InternalGotoBookmark(const void* Bookmark) override {
        int index = IndexOfId(BookmarkId(Bookmark));
        if (index < 0) DatabaseError(dbconsts::SRecordNotFound, this);
        cursor_ = index;
    }

    void InternalSetToRecord(TRecordBuffer Buffer) override {
        int index = IndexOfId(BookmarkId(Buffer));
        if (index >= 0) cursor_ = index;
    }

    void GetBookmarkData(TRecordBuffer Buffer, void* Data) const override { std::memcpy(Data, Buffer, 4); }
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override { std::memcpy(Buffer, Data, 4); }
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) const override {
        return static_cast<TBookmarkFlag>(Buffer[4]);
    }
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override {
        Buffer[4] = static_cast<uint8_t>(Value);
    }

    int GetRecNo() const override {
        if (!Active() || IsEmpty() || State() == dsInsert) return State() == dsInsert ? 0 : -1;
        TRecordBuffer b = ActiveBuffer();
        if (GetBookmarkFlag(b) != bfCurrent) return 0;
        int index = IndexOfId(BookmarkId(b));
        int visible = 0;
        for (int i = 0; i <= index; ++i)
            if (const_cast<VectorDataSet*>(this)->Accept(i)) ++visible;
        return visible;
    }

    void SetRecNoValue(int Value) override {
        CheckBrowseMode();
        int current = RecNo();
        if (Value < 1 || Value > RecordCount() || Value == current) return;
        MoveBy(Value - current);
    }

    int GetRecordCount() const override {
        if (!Active()) DatabaseError(dbconsts::SDataSetClosed, const_cast<VectorDataSet*>(this));
        int count = 0;
        for (int i = 0; i < StoredCount(); ++i)
            if (const_cast<VectorDataSet*>(this)->Accept(i)) ++count;
        return count;
    }

    void SetFilteredValue(bool Value) override {
        if (Value == Filtered()) return;
        if (Active()) CheckBrowseMode();
        TDataSet::SetFilteredValue(Value);
        if (Active()) First();
    }

    void SetOnFilterRecordValue(const TFilterRecordEvent& Value) override {
        if (Active()) CheckBrowseMode();
        TDataSet::SetOnFilterRecordValue(Value);
        if (Active() && Filtered()) First();
    }

    bool GetCanModify() const override { return !readOnly_; }
    TDataSource* GetDataSource() const override { return masterLink_.DataSource(); }

    void DoOnNewRecord() override {
        if (masterLink_.Active() && !masterLink_.Fields().empty()) {
            std::vector<TField*> detail;
            GetFieldList(detail, detailFields_);
            for (std::size_t i = 0; i < detail.size() && i < masterLink_.Fields().size(); ++i)
                detail[i]->SetValue(masterLink_.Fields()[i]->Value());
        }
        TDataSet::DoOnNewRecord();
    }

private:
    // The active record as it is stored (its value before the pending edit);
    // nullptr for a record not stored yet.
    TRecordBuffer StoredCopyOfActive() const {
        TRecordBuffer active = ActiveBuffer();
        if (active == nullptr || ownFilter_ == nullptr || GetBookmarkFlag(active) != bfCurrent) return nullptr;
        int index = IndexOfId(BookmarkId(active));
        if (index < 0) return nullptr;
        auto* self = const_cast<VectorDataSet*>(this);
        self->Load(rows_[static_cast<std::size_t>(index)], ownFilter_);
        return ownFilter_;
    }

    static int BookmarkId(const void* Data) {
        int id;
        std::memcpy(&id, Data, 4);
        return id;
    }

    int IndexOfId(int id) const {
        for (int i = 0; i < StoredCount(); ++i)
            if (rows_[static_cast<std::size_t>(i)].id == id) return i;
        return -1;
    }

    void Load(const Row& row, TRecordBuffer Buffer) {
        std::memcpy(Buffer, &row.id, 4);
        SetBookmarkFlag(Buffer, bfCurrent);
        std::memcpy(Buffer + HeaderSize, row.data.data(), std::min<std::size_t>(row.data.size(), dataSize_));
        blobs_[Buffer] = row.blobs;
    }

    void Store(TRecordBuffer Buffer, Row& row) {
        row.data.assign(reinterpret_cast<const char*>(Buffer + HeaderSize), static_cast<std::size_t>(dataSize_));
        auto it = blobs_.find(Buffer);
        row.blobs = it != blobs_.end() ? it->second : std::map<int, std::optional<std::string>>{};
    }

    bool Accept(int index) {
        if (!masterActive_ && !(Filtered() && OnFilterRecord())) return true;
        Load(rows_[static_cast<std::size_t>(index)], ownFilter_);
        if (masterActive_) {
            bool ok = FilterRecordWith(ownFilter_, [this] {
                std::vector<TField*> detail;
                GetFieldList(detail, detailFields_);
                for (std::size_t i = 0; i < detail.size() && i < masterValues_.size(); ++i)
                    if (!VarSameValue(detail[i]->Value(), masterValues_[i])) return false;
                return true;
            });
            if (!ok) return false;
        }
        return RecordFilterAccepts(ownFilter_);
    }

    void TakeMasterValues() {
        masterValues_.clear();
        masterActive_ = masterLink_.Active() && !masterLink_.Fields().empty() && !detailFields_.empty();
        if (masterActive_)
            for (TField* f : masterLink_.Fields()) masterValues_.push_back(f->Value());
    }

    void MasterChanged() {
        TakeMasterValues();
        if (Active()) {
            CheckBrowseMode();
            First();
        }
    }

    void MasterDisabled() {
        masterActive_ = false;
        masterValues_.clear();
        if (Active()) First();
    }

    std::vector<Row> rows_;
    std::map<const uint8_t*, std::map<int, std::optional<std::string>>> blobs_;
    std::map<int, int> offsets_;
    int dataSize_ = 0;
    int cursor_ = -1;
    int nextId_ = 1;
    bool open_ = false;
    bool readOnly_ = false;
    int getRecordCalls_ = 0;
    TRecordBuffer ownFilter_ = nullptr;
    TMasterDataLink masterLink_;
    std::string detailFields_;
    std::vector<Variant> masterValues_;
    bool masterActive_ = false;
};

}  // namespace testsupport
