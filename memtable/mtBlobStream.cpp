#include "memtable/mtBlobStream.h"

#include <cstring>

#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"

using namespace memtable;

namespace {

uint8_t* BlockOf(const uint8_t* slot) {
    uint8_t* p;
    std::memcpy(&p, slot + 1, sizeof(p));
    return p;
}

TmtCustomMemTable* TableOf(TField* Field) {
    if (Field == nullptr) throw EMemTableError(mtres::InvalidArgument);
    auto* table = dynamic_cast<TmtCustomMemTable*>(Field->DataSet());
    if (table == nullptr) DatabaseError(Format(dbconsts::SDataSetMissing, {Field->DisplayName()}));
    return table;
}

}  // namespace

TmtBlobStream::TmtBlobStream(TField* Field, TBlobStreamMode Mode)
    : field_(Field), dataSet_(TableOf(Field)), mode_(Mode) {
    StoreLock lock(dataSet_->Common());
    if (Mode != bmRead) {
        if (!dataSet_->IgnoreReadOnly() && Field->ReadOnly())
            DatabaseError(Format(mtres::FieldReadOnly, {Field->DisplayName()}));
        if (dataSet_->State() != dsEdit && dataSet_->State() != dsInsert) DatabaseError(mtres::NotEditMode);
    }
    if (!IsBlobFieldType(Field->DataType()) || Field->FieldNo() <= 0)
        DatabaseError(Format(dbconsts::SNotBlobField, {Field->DisplayName()}));
    TmtCommon* common = dataSet_->Common();
    record_ = dataSet_->Active() ? dataSet_->GetActiveRecord() : nullptr;
    if (record_ != nullptr) {
        const int ofs = common->GetFieldOffsetByNo(Field->FieldNo());
        if (ofs < 0 || (common->FieldFlags(Field->FieldNo()) & kFlagIndirect) == 0)
            DatabaseError(Format(dbconsts::SNotBlobField, {Field->DisplayName()}));
        recordSlot_ = common->Slot(record_, Field->FieldNo());
        if (record_->RecordID >= 0) {
            storeRecord_ = common->StoreRecordOf(record_);
            if (storeRecord_ == record_) storeRecord_ = nullptr;
            if (storeRecord_ != nullptr) storeSlot_ = common->Slot(storeRecord_, Field->FieldNo());
        }
    }
    if (Mode == bmWrite) Truncate();
    else ReadBlobData();
}

TmtBlobStream::~TmtBlobStream() {
    if (!modified_) return;
    // A destructor cannot report: a failing write-back (a throwing compress
    // handler) leaves the record as it was.
    try {
        if (!RecordStillActive()) return;
        WriteBlobData();
        dataSet_->Common()->SetFieldFlag(field_->FieldNo(), kFlagChanged);
        if (auto* blob = dynamic_cast<TBlobField*>(field_)) blob->SetModified(true);
        dataSet_->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field_));
    } catch (...) {
    }
}

bool TmtBlobStream::RecordStillActive() const {
    if (record_ == nullptr || !dataSet_->Active()) return false;
    if (dataSet_->State() != dsEdit && dataSet_->State() != dsInsert) return false;
    return dataSet_->GetActiveRecord() == record_;
}

namespace {
// Blocks record their length in 32 bits.
constexpr int64_t kMaxBlobSize = 0x7FFFFFFF;
[[noreturn]] void TooLarge() { throw EMemTableError("Blob value too large (more than 2 GiB)."); }
}  // namespace

int64_t TmtBlobStream::Write(const void* Buffer, int64_t Count) {
    if (Count > 0 && position_ + Count > kMaxBlobSize) TooLarge();
    const int64_t written = TMemoryStream::Write(Buffer, Count);
    if (WritingMode() && !filling_) modified_ = true;
    return written;
}

void TmtBlobStream::SetSize(int64_t Size) {
    if (Size > kMaxBlobSize) TooLarge();
    TMemoryStream::SetSize(Size);
    if (WritingMode() && !filling_) modified_ = true;
}

void TmtBlobStream::ReadBlobData() {
    StoreLock lock(dataSet_->Common());
    filling_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{filling_};
    TMemoryStream::SetSize(0);
    position_ = 0;
    if (recordSlot_ == nullptr) return;
    const uint8_t* block = BlockOf(recordSlot_);
    if (block == nullptr) {
        if (recordSlot_[0] == 0) return;
        // An unedited buffer reads through to the store's block.
        if (storeSlot_ != nullptr && storeSlot_[0] != 0) block = BlockOf(storeSlot_);
    }
    if (block == nullptr) return;
    const int32_t length = BlockLength(block);
    if (dataSet_->OnDecompressBlobStream) {
        TMemoryStream packed;
        packed.Write(BlockBytes(block), length);
        packed.Seek(0, soBeginning);
        dataSet_->OnDecompressBlobStream(dataSet_, &packed, this);
    } else {
        TMemoryStream::SetSize(length);
        if (length > 0) std::memcpy(Memory(), BlockBytes(block), static_cast<std::size_t>(length));
    }
    position_ = 0;
}

void TmtBlobStream::SetBlock(uint8_t* Block) {
    uint8_t* old = BlockOf(recordSlot_);
    if (old != nullptr) FreeBlock(old);
    std::memcpy(recordSlot_ + 1, &Block, sizeof(Block));
    recordSlot_[0] = Block != nullptr ? 2 : 0;
}

void TmtBlobStream::WriteBlobData() {
    if (recordSlot_ == nullptr) return;
    StoreLock lock(dataSet_->Common());
    uint8_t* block = nullptr;
    if (dataSet_->OnCompressBlobStream) {
        TMemoryStream packed;
        const int64_t keep = position_;
        position_ = 0;
        dataSet_->OnCompressBlobStream(dataSet_, this, &packed);
        position_ = keep;
        if (packed.Size() > 0) block = NewBlock(packed.Memory(), static_cast<int32_t>(packed.Size()));
    } else if (Size() > 0) {
        block = NewBlock(Memory(), static_cast<int32_t>(Size()));
    }
    SetBlock(block);
}

void TmtBlobStream::Truncate() {
    TMemoryStream::SetSize(0);
    position_ = 0;
    if (recordSlot_ != nullptr) SetBlock(nullptr);
    modified_ = true;
}
