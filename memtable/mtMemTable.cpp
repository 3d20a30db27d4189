#include "memtable/mtMemTable.h"
#include "platform/rtl/Finally.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "memtable/mtBlobStream.h"
#include "memtable/mtDelta.h"
#include "memtable/mtFilter.h"
#include "memtable/mtStreamFormat.h"
#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

namespace memtable {

namespace {
FormatDriver& Driver() {
    static FormatDriver driver;
    return driver;
}

uint8_t* GetBlockPtr(const uint8_t* slot) {
    uint8_t* p;
    std::memcpy(&p, slot + 1, sizeof(p));
    return p;
}

void SetBlockPtr(uint8_t* slot, uint8_t* block) { std::memcpy(slot + 1, &block, sizeof(block)); }

// The text of a native string buffer, cut to MaxChars characters without
// splitting one.
std::string_view FitText(const void* Buffer, int MaxBytes, int MaxChars, std::string& Scratch) {
    const char* p = static_cast<const char*>(Buffer);
    std::size_t n = strnlen(p, static_cast<std::size_t>(std::max(MaxBytes, 0)));
    std::string_view text(p, n);
    if (MaxChars >= 0 && Length(text) > MaxChars) {
        Scratch = Copy(text, 1, MaxChars);
        return Scratch;
    }
    return text;
}

int MaxCharsOf(TField* Field) {
    if (Field->DataType() == ftGuid) return 38;
    return Field->Size();
}

}  // namespace

void SetFormatDriver(FormatDriver D) { Driver() = std::move(D); }
const FormatDriver& GetFormatDriver() { return Driver(); }

}  // namespace memtable

// ---------------------------------------------------------------------------
// Construction

TmtCustomMemTable::TmtCustomMemTable(TComponent* AOwner) : TDataSet(AOwner) {
    MakeOwnStore();
    masterLink_ = std::make_unique<TMasterDataLink>(this);
    masterLink_->OnMasterChange = [this](TObject*) { ApplyMasterValues(); };
    masterLink_->OnMasterDisable = [this](TObject*) { RefilterAndFirst(); };
}

TmtCustomMemTable::~TmtCustomMemTable() {
    try {
        Close();
    } catch (...) {
    }
    masterLink_.reset();
    FreeFilterExpression(filterExpression_);
    filterExpression_ = nullptr;
    FreeKeyRecords();
    if (attachedTo_ != nullptr) common_->DetachTable(this);
    indexes_.reset();
    // The own store goes last: it closes and detaches the tables still
    // attached to it, which then get stores of their own.
    ownStore_.reset();
}

TmtMemTable::~TmtMemTable() = default;

void TmtCustomMemTable::MakeOwnStore() {
    ownStore_ = std::make_unique<TmtCommon>(this);
    common_ = ownStore_.get();
    common_->AttachTable(this);
    indexes_ = std::make_unique<TmtIndexes>(this);
    curIndex_ = indexes_->RowOrderIndex();
    ++filterGeneration_;
}

void TmtCustomMemTable::FreeKeyRecords() {
    if (masterKeyRecord_ != nullptr) {
        common_->FreeRecord(masterKeyRecord_, true, false);
        masterKeyRecord_ = nullptr;
    }
    if (locateKey_ != nullptr && !locateKeyBusy_) {
        common_->FreeRecord(locateKey_, true, false);
        locateKey_ = nullptr;
    }
    locateLists_.clear();
}

void TmtCustomMemTable::CloseFromStore() {
    // The store this table was attached to is going away.
    attachedTo_ = nullptr;
    FreeKeyRecords();  // laid out by the old store
    MakeOwnStore();
}

// ---------------------------------------------------------------------------
// Attaching

void TmtCustomMemTable::SetAttachedTo(TmtCustomMemTable* Value) {
    if (Value == attachedTo_) return;
    if (Value == this) throw EMemTableError(mtres::CantAttachToSelf);
    if (Value != nullptr && Value->AttachedTo() != nullptr) throw EMemTableError(mtres::CantAttachToAttachment);
    // While the table is read from a stream it is not open yet: closing it
    // would only drop the Active the stream holds, which opens it once the
    // reading is done.
    const bool reading = ComponentState().Contains(csReading) || ComponentState().Contains(csLoading);
    if (!reading || Active()) Close();
    if (attachedTo_ != nullptr) {
        common_->DetachTable(this);
        attachedTo_ = nullptr;
        MakeOwnStore();
    }
    if (Value == nullptr) return;
    Value->Common()->AttachTable(this);
    FreeKeyRecords();
    indexes_.reset();
    std::unique_ptr<TmtCommon> old = std::move(ownStore_);
    common_ = Value->Common();
    attachedTo_ = Value;
    indexes_ = std::make_unique<TmtIndexes>(this);
    curIndex_ = indexes_->RowOrderIndex();
    ++filterGeneration_;
    old.reset();
    if (Value->FieldDefs()->Count() == 0 && Value->FieldCount() > 0) Value->InitFieldDefsFromFields();
    FieldDefs()->Assign(Value->FieldDefs());
    if (!ComponentState().Contains(csDesigning)) {
        for (TField* f : Value->Fields()->List()) {
            if (FindField(f->FieldName()) != nullptr) continue;
            TField* nf = CopyField(f);
            if (nf != nullptr) CopyFieldProperties(f, nf);
        }
    }
}

void TmtCustomMemTable::SetStandalone(bool Value) {
    if (Active()) throw EMemTableError(mtres::TableMustBeClosed);
    if (attachedTo_ != nullptr) throw EMemTableError(mtres::TableIsAttached);
    common_->SetStandalone(Value);
}

void TmtCustomMemTable::SetPerformance(TmtPerformance Value) {
    if (Active() && Value != common_->Performance()) throw EMemTableError(mtres::TableMustBeClosed);
    common_->SetPerformance(Value);
}

// ---------------------------------------------------------------------------
// Records and buffers

TRecordBuffer TmtCustomMemTable::AllocRecordBuffer() { return reinterpret_cast<TRecordBuffer>(common_->AllocRecord()); }

void TmtCustomMemTable::FreeRecordBuffer(TRecordBuffer& Buffer) {
    // A buffer's blocks are always its own (a nil one reads through to the
    // store), so they go with it.
    common_->FreeRecord(Rec(Buffer), true, false);
    Buffer = nullptr;
}

int TmtCustomMemTable::GetRecordSize() const { return common_->TotalRecordSize(); }

void TmtCustomMemTable::InternalInitRecord(TRecordBuffer Buffer) {
    PmtRecord r = Rec(Buffer);
    common_->ClearIndirect(r);
    common_->InitRecord(r);
}

void TmtCustomMemTable::ClearCalcFields(TRecordBuffer Buffer) {
    if (Buffer == nullptr || CalcFieldsSize() <= 0 || !common_->LayoutDone()) return;
    std::memset(common_->CalcArea(Rec(Buffer)), 0, static_cast<std::size_t>(CalcFieldsSize()));
}

uint8_t* TmtCustomMemTable::BookmarkSlot(PmtRecord Record) const {
    return Record->Data() + common_->StartBookmarks() + attachIndex_ * kBookmarkSlotSize;
}

void TmtCustomMemTable::GetBookmarkData(TRecordBuffer Buffer, void* Data) const {
    auto* out = static_cast<uint8_t*>(Data);
    std::memcpy(out, BookmarkSlot(Rec(Buffer)), 8);
    WriteValue<int32_t>(out + 8, common_->TableID());
}

void TmtCustomMemTable::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
    std::memcpy(BookmarkSlot(Rec(Buffer)), Data, 8);
}

TBookmarkFlag TmtCustomMemTable::GetBookmarkFlag(TRecordBuffer Buffer) const {
    return static_cast<TBookmarkFlag>(BookmarkSlot(Rec(Buffer))[8]);
}

void TmtCustomMemTable::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
    BookmarkSlot(Rec(Buffer))[8] = static_cast<uint8_t>(Value);
}

PmtRecord TmtCustomMemTable::RecordOfBookmark(const void* Data) const {
    if (Data == nullptr) return nullptr;
    auto* p = static_cast<const uint8_t*>(Data);
    int32_t id = ReadValue<int32_t>(p), uid = ReadValue<int32_t>(p + 4), table = ReadValue<int32_t>(p + 8);
    if (table != common_->TableID()) return nullptr;
    PmtRecord r = common_->Record(id);
    if (r == nullptr || r->UniqueRecordID != uid) return nullptr;
    if (r->UpdateStatus == usDeleted && !curIndex_->UpdateStatusSet().Contains(usDeleted)) return nullptr;
    return r;
}

bool TmtCustomMemTable::IsValidBookmark(const void* Data) const { return RecordOfBookmark(Data) != nullptr; }

bool TmtCustomMemTable::BookmarkValid(const TBookmark& Bookmark) const {
    if (!Active() || Bookmark.size() != static_cast<std::size_t>(kBookmarkSize)) return false;
    StoreLock lock(common_);
    return IsValidBookmark(Bookmark.data());
}

int TmtCustomMemTable::PositionOfRecord(PmtRecord Record) const {
    int pos = -1;
    if (Record != nullptr) curIndex_->FindRecord(Record, pos);
    return pos;
}

int TmtCustomMemTable::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) const {
    if (!BookmarkValid(Bookmark1) || !BookmarkValid(Bookmark2)) return 0;
    StoreLock lock(common_);
    PmtRecord a = RecordOfBookmark(Bookmark1.data()), b = RecordOfBookmark(Bookmark2.data());
    if (a == b) return 0;
    // Positions in the current index give the order the user sees, whatever
    // order the record ids happen to be in.
    int pa = PositionOfRecord(a), pb = PositionOfRecord(b);
    if (pa >= 0 && pb >= 0) return pa < pb ? -1 : 1;
    int r = curIndex_->CompareRecords(nullptr, a, b, true, false);
    if (r == 0) r = a->RecordID - b->RecordID;
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool TmtCustomMemTable::GotoBookmarkData(const void* Data, bool RaiseWhenStale) {
    StoreLock lock(common_);
    PmtRecord r = RecordOfBookmark(Data);
    if (r == nullptr) {
        if (RaiseWhenStale) throw EMemTableError(mtres::BookmarkStale);
        return false;
    }
    int pos = -1;
    curIndex_->FindRecord(r, pos);
    if (pos >= 0) recNo_ = pos;
    return pos >= 0;
}

void TmtCustomMemTable::InternalGotoBookmark(const void* Bookmark) {
    if (Bookmark == nullptr) throw EMemTableError(Format(mtres::BookmarkNotFound, -200));
    GotoBookmarkData(Bookmark, true);
}

void TmtCustomMemTable::InternalSetToRecord(TRecordBuffer Buffer) {
    StoreLock lock(common_);
    PmtRecord b = Rec(Buffer);
    int n = curIndex_->Count();
    if (b->RecordNo >= 0 && b->RecordNo < n &&
        curIndex_->IdAt(b->RecordNo) == b->RecordID) {
        recNo_ = b->RecordNo;
        return;
    }
    uint8_t data[kBookmarkSize];
    GetBookmarkData(Buffer, data);
    GotoBookmarkData(data, false);
}

// ---------------------------------------------------------------------------
// Field data

bool TmtCustomMemTable::GetFieldData(TField* Field, void* Buffer) const {
    if (!cursorOpen_ || Field == nullptr) return false;
    const TDataSetState st = State();
    // A table's own record buffer needs no lock; a stored record (filter,
    // lookup, old value) or a block read through to the store does.
    const bool own = overrideRecord_ == nullptr && (st == dsBrowse || st == dsEdit || st == dsInsert);
    const int fno = Field->FieldNo();
    const bool indirect = fno > 0 && (common_->FieldFlags(fno) & kFlagIndirect) != 0;
    if (own && !indirect && fno > 0 && static_cast<std::size_t>(fno) < fieldInfo_.size() &&
        fieldInfo_[static_cast<std::size_t>(fno)].bufferOfs >= 0) {
        // A fixed field of this table's own buffer.
        PmtRecord rec = GetActiveRecord();
        if (rec == nullptr) return false;
        const FieldInfo& fi = fieldInfo_[static_cast<std::size_t>(fno)];
        const uint8_t* slot = rec->Data() + fi.bufferOfs;
        if (slot[0] == 0) return false;
        if (Buffer == nullptr) return true;
        if (fi.text) {
            // Up to the terminator: the rest of the buffer is the reader's.
            if (fi.dataSize <= 0) return true;
            const std::size_t n = strnlen(reinterpret_cast<const char*>(slot + 1),
                                          static_cast<std::size_t>(std::min(fi.slotBytes, fi.dataSize - 1)));
            std::memcpy(Buffer, slot + 1, n);
            static_cast<uint8_t*>(Buffer)[n] = 0;
            return true;
        }
        std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(std::min(fi.slotBytes, fi.dataSize)));
        return true;
    }
    StoreLockIf lock(common_, !own || indirect);
    PmtRecord rec = GetActiveRecord();
    if (rec == nullptr) return false;
    if (fno <= 0) {
        if (Field->Offset() + Field->DataSize() + 1 > common_->CalcFieldsSize()) return false;
        return ReadCalcField(common_->CalcArea(rec), Field, Buffer);
    }
    if (!indirect) {
        const uint8_t* slot = common_->Slot(rec, fno);
        if (slot == nullptr || slot[0] == 0) return false;
        if (Buffer == nullptr) return true;
        if (IsTextFieldType(Field->DataType())) {
            // Up to the terminator: the rest of the buffer is the reader's.
            int32_t len = 0;
            const uint8_t* v = common_->FieldValue(rec, fno, Field, len);
            const std::size_t cap = static_cast<std::size_t>(Field->DataSize());
            if (v == nullptr || cap == 0) return v != nullptr;
            const std::size_t n = strnlen(reinterpret_cast<const char*>(v), std::min<std::size_t>(len, cap - 1));
            std::memcpy(Buffer, v, n);
            static_cast<uint8_t*>(Buffer)[n] = 0;
            return true;
        }
        int size = common_->GetFieldSize(Field->DataType(), Field->Size());
        std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(std::min(size, Field->DataSize())));
        return true;
    }
    int32_t len = 0;
    // A blob's value is read through its stream alone (and decompressed
    // there, by the blob stream handlers): here only whether there is one.
    if (IsBlobFieldType(Field->DataType())) return common_->FieldValue(rec, fno, Field, len) != nullptr;
    std::string scratch;
    const uint8_t* v = common_->FieldValueForRead(rec, fno, Field, len, scratch);
    if (v == nullptr) return false;
    if (Buffer != nullptr) {
        int cap = Field->DataSize();
        int n = std::min<int>(len, cap);
        std::memcpy(Buffer, v, static_cast<std::size_t>(n));
        if (IsTextFieldType(Field->DataType())) {
            std::memset(static_cast<uint8_t*>(Buffer) + n, 0, static_cast<std::size_t>(cap - n));
            static_cast<uint8_t*>(Buffer)[cap - 1] = 0;
        }
    }
    return true;
}

void TmtCustomMemTable::SetFieldData(TField* Field, const void* Buffer) {
    if (!cursorOpen_ || Field == nullptr) return;
    TDataSetState st = State();
    switch (st) {
        case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter: case dsNewValue:
        case dsInternalCalc:
            break;
        default:
            DatabaseError(mtres::NotEditMode);
    }
    if (!ignoreReadOnly_ && (readOnly_ || Field->ReadOnly()) && st != dsSetKey && st != dsCalcFields &&
        st != dsInternalCalc)
        DatabaseError(Format(mtres::FieldReadOnly, Field->DisplayName()));
    // Writing a record being edited or inserted touches only this table's
    // buffer: no lock. Any other record may be one the store holds.
    const bool own = overrideRecord_ == nullptr && (st == dsEdit || st == dsInsert);
    const int no = Field->FieldNo();
    if (own && no > 0 && static_cast<std::size_t>(no) < fieldInfo_.size() &&
        fieldInfo_[static_cast<std::size_t>(no)].bufferOfs >= 0) {
        // The common case, a value typed into a buffer, without a lookup.
        TRecordBuffer b = ActiveBuffer();
        if (b == nullptr) return;
        Field->Validate(Buffer);
        WriteBufferField(Rec(b), no, Buffer);
        NotifyFieldChange(Field);
        return;
    }
    StoreLockIf lock(common_, !own);
    PmtRecord rec = GetActiveRecord();
    if (rec == nullptr) return;
    TFieldKind kind = Field->FieldKind();
    if (kind == fkData || kind == fkCalculated || kind == fkInternalCalc) Field->Validate(Buffer);
    TFieldType type = Field->DataType();
    if (Field->FieldNo() <= 0) {
        if (Field->Offset() + Field->DataSize() + 1 > common_->CalcFieldsSize()) return;
        WriteCalcField(common_->CalcArea(rec), Field, Buffer);
    } else {
        int fno = Field->FieldNo();
        uint8_t* slot = common_->Slot(rec, fno);
        if (slot == nullptr) return;
        uint8_t flags = common_->FieldFlags(fno);
        std::string scratch;
        if ((flags & kFlagIndirect) != 0) {
            uint8_t* old = GetBlockPtr(slot);
            if (old != nullptr) FreeBlock(old);
            SetBlockPtr(slot, nullptr);
            slot[0] = 0;
            if (Buffer != nullptr && !IsBlobFieldType(type)) {
                const uint8_t* bytes = static_cast<const uint8_t*>(Buffer);
                int size;
                if (IsTextFieldType(type)) {
                    std::string_view t = FitText(Buffer, Field->DataSize(), MaxCharsOf(Field), scratch);
                    scratch.assign(t);
                    scratch.push_back('\0');
                    bytes = reinterpret_cast<const uint8_t*>(scratch.data());
                    size = static_cast<int>(scratch.size());
                } else {
                    size = Field->DataSize();
                }
                std::string packed;
                bytes = StoredBytes(Field, flags, bytes, size, packed);
                SetBlockPtr(slot, NewBlock(bytes, size));
                slot[0] = 2;
            }
        } else if (TmtCommon::IsPacked(rec) && common_->IsPackedText(fno)) {
            // A handler writing a text of a stored record: the record is laid
            // out again, and may move.
            std::string_view t;
            if (Buffer != nullptr) t = FitText(Buffer, Field->DataSize(), MaxCharsOf(Field), scratch);
            PmtRecord moved = common_->WritePackedText(rec, fno, Buffer != nullptr ? t.data() : nullptr, t.size());
            if (moved != rec) {
                if (filterRecord_ == rec) filterRecord_ = moved;
                if (overrideRecord_ == rec) overrideRecord_ = moved;
                if (indexFilterRecord_ == rec) indexFilterRecord_ = moved;
            }
        } else {
            int size = common_->GetFieldSize(type, Field->Size());
            if (Buffer == nullptr) {
                slot[0] = 0;
                std::memset(slot + 1, 0, static_cast<std::size_t>(size));
            } else {
                slot[0] = 2;
                if (IsTextFieldType(type)) {
                    const auto* p = static_cast<const char*>(Buffer);
                    std::size_t n = strnlen(p, static_cast<std::size_t>(std::max(Field->DataSize(), 0)));
                    // More bytes than characters allowed: count the characters.
                    if (n > static_cast<std::size_t>(MaxCharsOf(Field))) {
                        std::string_view t = FitText(Buffer, Field->DataSize(), MaxCharsOf(Field), scratch);
                        p = t.data();
                        n = t.size();
                    }
                    n = std::min(n, static_cast<std::size_t>(size - 1));
                    std::memcpy(slot + 1, p, n);
                    slot[1 + n] = 0;
                } else {
                    std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(std::min(size, Field->DataSize())));
                }
            }
        }
        common_->SetFieldFlag(fno, kFlagChanged);
    }
    NotifyFieldChange(Field);
}

std::unique_ptr<TStream> TmtCustomMemTable::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    return std::make_unique<TmtBlobStream>(Field, Mode);
}

void TmtCustomMemTable::CloseBlob(TField* Field) {
    // Only a record being inserted owns the only copy of its value; a record
    // of the store keeps reading the stored block through the buffer, so
    // clearing that buffer would show a null that is not there.
    if (Field == nullptr || Field->FieldNo() <= 0 || !cursorOpen_ || ActiveBuffer() == nullptr) return;
    bool valid = recNo_ >= 0 && recNo_ < curIndex_->Count();
    if (valid && State() != dsInsert) return;
    StoreLock lock(common_);
    int ofs = common_->GetFieldOffsetByNo(Field->FieldNo());
    if (ofs < 0 || (common_->FieldFlags(Field->FieldNo()) & kFlagIndirect) == 0) return;
    uint8_t* slot = common_->Slot(Rec(ActiveBuffer()), Field->FieldNo());
    if (uint8_t* block = GetBlockPtr(slot)) FreeBlock(block);
    std::memset(slot, 0, kIndirectSlotSize);
}

// ---------------------------------------------------------------------------
// Open and close

void TmtCustomMemTable::InternalInitFieldDefs() {
    if (attachedTo_ != nullptr) {
        if (attachedTo_->FieldDefs()->Count() == 0 && attachedTo_->FieldCount() > 0)
            attachedTo_->InitFieldDefsFromFields();
        FieldDefs()->Assign(attachedTo_->FieldDefs());
        return;
    }
    if (FieldCount() > 0) InitFieldDefsFromFields();
}

void TmtCustomMemTable::InternalOpen() {
    StoreLock lock(common_);
    ++fieldGeneration_;
    if (attachedTo_ != nullptr && !attachedTo_->Active()) attachedTo_->Open();
    InternalInitFieldDefs();
    if (DefaultFields()) {
        if (FieldDefs()->Count() == 0) throw EMemTableError(mtres::NoFields);
        if (FieldDefs()->Count() > MT_MAX_FIELDS) throw EMemTableError(mtres::TooManyFieldDefs);
        TmtCommon::CheckSupportedTypes(FieldDefs());
        CreateFields();
    }
    autoIncField_ = nullptr;
    for (TField* f : Fields()->List())
        if (f->DataType() == ftAutoInc && f->FieldKind() == fkData) {
            autoIncField_ = f;
            break;
        }
    SetBookmarkSize(kBookmarkSize);
    // Fields of the table's own (a calculated text among them) take their
    // room in every record buffer too.
    for (TField* f : Fields()->List()) TmtCommon::CheckFieldSize(f->FieldName(), f->DataType(), f->Size());
    BindFields(true);
    if (common_->Owner() == this) {
        common_->SetAutoIncMax(common_->AutoIncMin() - 1);
        common_->LayoutRecord(FieldDefs()->Count());
    } else if (CalcFieldsSize() > common_->CalcFieldsSize()) {
        throw EMemTableError(mtres::AttachedCalcFields);
    }
    if ((attachIndex_ + 1) * kBookmarkSlotSize > common_->StartIndirect() - common_->StartBookmarks())
        throw EMemTableError(mtres::TableMustBeClosed);
    recNo_ = -1;
    lastChangePos_ = -1;
    locateLists_.clear();
    RebuildIndexesFromDefs();
    curIndex_ = indexes_->RowOrderIndex();
    ++filterGeneration_;
    cursorOpen_ = true;
    try {
        curIndex_->Rebuild();
        BuildMasterDetailLists();
    } catch (...) {
        cursorOpen_ = false;
        indexes_->Clear();
        throw;
    }
    BuildFieldInfo();
    ClearBuffers();
}

void TmtCustomMemTable::WriteBufferField(PmtRecord Record, int FieldNo, const void* Buffer) {
    const FieldInfo& fi = fieldInfo_[static_cast<std::size_t>(FieldNo)];
    uint8_t* slot = Record->Data() + fi.bufferOfs;
    if (Buffer == nullptr) {
        slot[0] = 0;
        std::memset(slot + 1, 0, static_cast<std::size_t>(fi.slotBytes));
    } else if (fi.text) {
        slot[0] = 2;
        const auto* p = static_cast<const char*>(Buffer);
        std::size_t n = strnlen(p, static_cast<std::size_t>(std::max(fi.dataSize, 0)));
        std::string scratch;
        // More bytes than characters allowed: count the characters.
        if (n > static_cast<std::size_t>(fi.maxChars)) {
            std::string_view t = FitText(Buffer, fi.dataSize, fi.maxChars, scratch);
            p = t.data();
            n = t.size();
        }
        n = std::min(n, static_cast<std::size_t>(fi.slotBytes - 1));
        std::memcpy(slot + 1, p, n);
        slot[1 + n] = 0;
    } else {
        slot[0] = 2;
        std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(std::min(fi.slotBytes, fi.dataSize)));
    }
    common_->SetFieldFlag(FieldNo, kFlagChanged);
}

void TmtCustomMemTable::BuildFieldInfo() {
    fieldInfo_.clear();
    for (TField* f : Fields()->List()) {
        const int no = f->FieldNo();
        if (no <= 0) continue;
        if (static_cast<std::size_t>(no) >= fieldInfo_.size()) fieldInfo_.resize(static_cast<std::size_t>(no) + 1);
        FieldInfo& fi = fieldInfo_[static_cast<std::size_t>(no)];
        if ((common_->FieldFlags(no) & kFlagIndirect) != 0) continue;
        fi.bufferOfs = common_->GetFieldOffsetByNo(no);
        fi.slotBytes = common_->GetFieldSize(f->DataType(), f->Size());
        fi.dataSize = f->DataSize();
        fi.maxChars = MaxCharsOf(f);
        fi.text = IsTextFieldType(f->DataType());
    }
}

void TmtCustomMemTable::RebuildIndexesFromDefs() {
    indexes_->Clear();
    curIndex_ = indexes_->RowOrderIndex();
    ++filterGeneration_;
    for (int i = 0; i < IndexDefs()->Count(); ++i) indexes_->Add(IndexDefs()->Items(i));
}

void TmtCustomMemTable::InternalClose() {
    StoreLock lock(common_);
    ++fieldGeneration_;
    if (common_->Owner() == this) {
        // Closing the owning table discards the records of every table
        // sharing the store.
        common_->CloseTables(this);
        common_->Clear();
    }
    recNo_ = -1;
    indexes_->Clear();
    curIndex_ = indexes_->RowOrderIndex();
    ++filterGeneration_;
    cursorOpen_ = false;
    FreeKeyRecords();
    filterRecord_ = nullptr;
    overrideRecord_ = nullptr;
}

void TmtCustomMemTable::DoBeforeOpen() {
    if (activationLock_) Abort();
    // Read before the table it is attached to, a table opens once that one
    // is loaded too: its store has no layout before.
    if (attachedTo_ != nullptr && attachedTo_->ComponentState().Contains(csLoading)) {
        openWhenOwnerLoaded_ = true;
        Abort();
    }
    TDataSet::DoBeforeOpen();
}

void TmtCustomMemTable::Loaded() {
    activationLock_ = !designActivation_;
    try {
        TDataSet::Loaded();
    } catch (const EAbort&) {
        if (!activationLock_ && !openWhenOwnerLoaded_) {
            activationLock_ = false;
            throw;
        }
    } catch (...) {
        activationLock_ = false;
        throw;
    }
    activationLock_ = false;
    // The tables read before this one that wait for it.
    for (TmtCustomMemTable* t : std::vector<TmtCustomMemTable*>(common_->AttachedTables())) {
        if (t == nullptr || t == this || !t->openWhenOwnerLoaded_) continue;
        t->openWhenOwnerLoaded_ = false;
        t->Open();
    }
}

void TmtCustomMemTable::ResetToFirst() {
    InternalFirst();
    ClearBuffers();
    if (GetNextRecord()) GetNextRecords();
    SetBof(true);
    DataEvent(deDataSetChange, 0);
}

void TmtCustomMemTable::DoAfterOpen() {
    if (inAfterOpen_) {
        TDataSet::DoAfterOpen();
        return;
    }
    inAfterOpen_ = true;
    Finally done([this] { inAfterOpen_ = false; });
    indexes_->MarkAllDirty();
    SyncIndexDefs();
    ApplyIndexText();
    if (storeDataOnForm_ && formData_ != nullptr) {
        std::unique_ptr<TMemoryStream> data = std::move(formData_);
        data->Seek(0, soBeginning);
        LoadFromStreamViaFormat(data.get(), formFormat_);
    }
    LoadPersistentFile();
    if (!Filter().empty() && filterExpression_ == nullptr) {
        filterExpression_ = ParseFilterExpression(Filter(), FilterOptions());
        filterReadsRecordOf_ = nullptr;
    }
    UpdateIsFiltered();
    ResetToFirst();
    TDataSet::DoAfterOpen();
}

void TmtCustomMemTable::DoBeforeClose() {
    if (State() == dsEdit || State() == dsInsert) Cancel();
    SavePersistentFile();
    TDataSet::DoBeforeClose();
}

void TmtCustomMemTable::SyncIndexDefs() {
    StoreLock lock(common_);
    for (int i = indexes_->Count() - 1; i >= 0; --i) {
        TmtIndex* idx = indexes_->Items(i);
        if (idx->IsRowOrder()) continue;
        if (IndexDefs()->IndexOf(idx->Name()) < 0) indexes_->DeleteIndex(idx);
    }
    for (int i = 0; i < IndexDefs()->Count(); ++i) {
        TIndexDef* def = IndexDefs()->Items(i);
        if (indexes_->Get(def->Name()) == nullptr) indexes_->Add(def);
    }
    bool rebuiltCurrent = false;
    for (int i = 0; i < indexes_->Count(); ++i) {
        TmtIndex* idx = indexes_->Items(i);
        if (idx->IsOrdered()) continue;
        idx->Rebuild();
        if (idx == curIndex_) rebuiltCurrent = true;
    }
    curIndex_->IndexFieldList().AssignTo(indexFieldList_);
    if (rebuiltCurrent && Active() && State() == dsBrowse && !inAfterOpen_) DoRefresh();
}

void TmtCustomMemTable::DoRefresh() {
    if (!Active()) return;
    if (State() != dsBrowse) return;
    UpdateIsFiltered();
    if (recNo_ >= curIndex_->Count()) recNo_ = curIndex_->Count() - 1;
    Refresh();
}

void TmtCustomMemTable::ApplyIndexText() {
    // A table shown in a named index stores both texts; several indexes may
    // share the field text, so the name decides when it names an index of
    // those fields. A stale name, or field names alone, select by fields.
    if (!indexName_.empty()) {
        const TmtIndex* named = indexes_->Get(indexName_);
        if (named != nullptr &&
            (indexFieldNames_.empty() || AnsiSameText(named->IndexFields(), indexFieldNames_))) {
            std::string name = indexName_;
            SetIndexName(name);
            return;
        }
    }
    if (!indexFieldNames_.empty()) {
        std::string text = indexFieldNames_;
        SetIndexFieldNames(text);
    } else if (!indexName_.empty()) {
        std::string name = indexName_;
        SetIndexName(name);
    }
}

// ---------------------------------------------------------------------------
// Indexes

TmtIndex* TmtCustomMemTable::EnsureIndexFor(const std::string& Name, const std::string& Fields,
                                            TIndexOptions Options) {
    TmtIndex* idx = indexes_->Get(Name);
    if (idx == nullptr) {
        AddIndex(Name, Fields, Options);
        idx = indexes_->Get(Name);
    }
    return idx;
}

const uint8_t* TmtCustomMemTable::StoredBytes(TField* Field, uint8_t Flags, const uint8_t* Bytes, int& Size,
                                              std::string& Packed) {
    if ((Flags & kFlagCompressed) == 0 || !OnCompressField) return Bytes;
    OnCompressField(this, Field, Bytes, Size, Packed);
    Size = std::clamp(Size, 0, static_cast<int>(Packed.size()));
    return reinterpret_cast<const uint8_t*>(Packed.data());
}

void TmtCustomMemTable::AddIndex(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
    AddIndexWith(Name, Fields, Options, false);
}

void TmtCustomMemTable::AddIndexWith(const std::string& Name, const std::string& Fields, TIndexOptions Options,
                                     bool KeysOnDemand) {
    if (Name.empty() || Fields.empty()) throw EMemTableError(mtres::MissingIndexDef);
    IndexDefs()->Add(Name, Fields, Options);
    if (!Active()) return;
    try {
        auto idx = std::make_unique<TmtIndex>(Name, this, Fields, IndexOptionsToCompareOptions(Options), true, false);
        idx->SetKeysOnDemand(KeysOnDemand);
        TmtIndex* added = indexes_->AddIndex(std::move(idx));
        // Only the new index is built: rebuilding another one here would
        // reorder what the cursor shows, or fail on that index's own
        // duplicates after this one was made.
        StoreLock lock(common_);
        added->Rebuild();
    } catch (...) {
        // A definition that cannot be built leaves no trace.
        int d = IndexDefs()->IndexOf(Name);
        if (d >= 0) IndexDefs()->Delete(d);
        if (TmtIndex* idx = indexes_->Get(Name)) indexes_->DeleteIndex(idx);
        throw;
    }
}

void TmtCustomMemTable::DeleteIndex(const std::string& Name) {
    int d = IndexDefs()->IndexOf(Name);
    if (d >= 0) IndexDefs()->Delete(d);
    TmtIndex* idx = indexes_->Get(Name);
    if (idx == nullptr || idx->IsRowOrder()) return;
    if (idx == curIndex_) SwitchToIndex(nullptr);
    indexes_->DeleteIndex(idx);
}

void TmtCustomMemTable::SwitchToIndex(TmtIndex* Index) {
    if (Index == nullptr) Index = indexes_->RowOrderIndex();
    if (Index == curIndex_) return;
    int rid = -1;
    if (Active()) {
        CheckBrowseMode();
        PmtRecord a = GetActiveRecord();
        if (a != nullptr) rid = a->RecordID;
        UpdateCursorPos();
    }
    StoreLock lock(common_);
    if (!Index->IsOrdered()) Index->Rebuild();
    if (!Index->IsInternal()) {
        indexFieldNames_ = Index->IndexFields();
        indexName_ = Index->Name();
    }
    curIndex_ = Index;
    ++filterGeneration_;
    Index->IndexFieldList().AssignTo(indexFieldList_);
    if (recNo_ >= Index->Count()) recNo_ = Index->Count() - 1;
    if (!Active()) return;
    if (rid >= 0 && recNo_ >= 0) {
        int pos = -1;
        Index->FindRecordByID(rid, pos);
        if (pos >= 0 && FilterRecord(Index->RecordAt(pos), false)) {
            recNo_ = pos;
            Resync({rmExact, rmCenter});
        } else {
            First();
        }
        return;
    }
    Resync({});
}

void TmtCustomMemTable::SetIndexFieldNames(const std::string& Value) {
    indexFieldNames_ = Value;
    if (!Active()) return;
    if (Value.empty()) {
        SwitchToIndex(nullptr);
        indexName_.clear();
        return;
    }
    TmtIndex* idx = indexes_->GetByFieldNames(Value);
    // Selecting fields that no index covers yet sorts by them, as a user of
    // the property expects, through an index made for the purpose.
    if (idx == nullptr) idx = EnsureIndexFor("__MT__IDX_" + Value, Value, {});
    SwitchToIndex(idx);
    indexFieldNames_ = Value;
}

void TmtCustomMemTable::SetIndexName(const std::string& Value) {
    indexName_ = Value;
    if (!Active()) return;
    if (Value.empty()) {
        SwitchToIndex(nullptr);
        indexFieldNames_.clear();
        return;
    }
    TmtIndex* idx = indexes_->Get(Value);
    if (idx == nullptr) DatabaseError(Format(dbconsts::SIndexNotFound, Value), this);
    SwitchToIndex(idx);
}

namespace {
TIndexOptions CompareToIndexOptions(TmtMemTableCompareOptions o) {
    TIndexOptions r;
    if (o.Contains(mtcoDescending)) r.Include(ixDescending);
    if (o.Contains(mtcoCaseInsensitive)) r.Include(ixCaseInsensitive);
    if (o.Contains(mtcoUnique)) r.Include(ixUnique);
    if (o.Contains(mtcoNonMaintained)) r.Include(ixNonMaintained);
    return r;
}
}  // namespace

void TmtCustomMemTable::SortOn(const std::string& FieldNames, TmtMemTableCompareOptions Options) {
    CheckActive();
    const std::string name = "__MT__SORT";
    if (TmtIndex* old = indexes_->Get(name)) {
        if (old == curIndex_) SwitchToIndex(nullptr);
        DeleteIndex(name);
    }
    // A sort is walked far more often than searched: its keys are written
    // when a search or a change first needs them.
    AddIndexWith(name, FieldNames, CompareToIndexOptions(Options), true);
    SwitchToIndex(indexes_->Get(name));
}

void TmtCustomMemTable::Sort(TmtMemTableCompareOptions Options) { SortOn(sortFields_, Options); }

void TmtCustomMemTable::SortDefault() { SortOn(sortFields_, sortOptions_); }

// ---------------------------------------------------------------------------
// Filtering

void TmtCustomMemTable::UpdateIsFiltered() {
    StoreLock lock(common_);
    ++filterGeneration_;
    bool master = masterLink_ != nullptr && masterLink_->Active() && masterLink_->DataSource() != nullptr &&
                  !masterFields_.empty() && (detailIndexList_.Count() > 0 || indexFieldList_.Count() > 0);
    isFiltered_ = common_->DeletedCount() > 0 ||
                  (Filtered() && (filterExpression_ != nullptr || static_cast<bool>(OnFilterRecord()))) || master ||
                  rangeActive_;
}

void TmtCustomMemTable::DoOnFilterRecord(TDataSet* DataSet, bool& Accept) {
    (void)DataSet;
    // Called in dsFilter with the record set; FindRecord applies the handler
    // even while Filtered is off.
    if (OnFilterRecord()) OnFilterRecord()(this, Accept);
}

bool TmtCustomMemTable::FindRecord(bool Restart, bool GoForward) {
    CheckBrowseMode();
    DoBeforeScroll();
    SetFound(false);
    UpdateCursorPos();
    CursorPosChanged();
    int old = recNo_;
    bool ok;
    {
        StoreLock lock(common_);
        if (Restart) {
            if (GoForward)
                InternalFirst();
            else
                InternalLast();
        }
        ok = GoForward ? MoveNextRecord(true) : MovePriorRecord(true);
        if (!ok) recNo_ = old;
    }
    if (!ok) return false;
    Resync({rmExact, rmCenter});
    SetFound(true);
    DoAfterScroll();
    return true;
}

void TmtCustomMemTable::SetBlockReadSize(int Value) {
    if (Value == BlockReadSize()) return;
    if (Value > 0) {
        TDataSet::SetBlockReadSize(Value);
        return;
    }
    TDataSet::SetBlockReadSize(0);
    if (Active()) {
        CursorPosChanged();
        Resync({});
    }
}

// Shows Record to the table's fields (state dsFilter) for a scope.
struct TmtCustomMemTable::FilterScope {
    TmtCustomMemTable* table;
    TDataSetState oldState;
    PmtRecord oldRecord;
    FilterScope(TmtCustomMemTable* Table, PmtRecord Record)
        : table(Table), oldState(Table->SetTempState(dsFilter)), oldRecord(Table->filterRecord_) {
        table->filterRecord_ = Record;
    }
    ~FilterScope() {
        table->filterRecord_ = oldRecord;
        table->RestoreState(oldState);
    }
    FilterScope(const FilterScope&) = delete;
    FilterScope& operator=(const FilterScope&) = delete;
};

bool TmtCustomMemTable::EvaluateFilterExpression(void* Expression, PmtRecord Record) {
    if (Expression == nullptr) return true;
    // An expression over fields the record holds reads the record itself;
    // otherwise the fields must read the record under test while it runs.
    if ((State() == dsFilter && filterRecord_ == Record) || FilterExpressionReadsOnlyRecord(Expression))
        return EvaluateTableFilter(this, Expression, Record);
    FilterScope scope(this, Record);
    return EvaluateTableFilter(this, Expression, Record);
}

void* TmtCustomMemTable::ParseFilterExpression(const std::string& Text, TFilterOptions Options) {
    void* e = ParseTableFilter(Text, Options);
    if (e != nullptr) parsedHere_.push_back(e);
    return e;
}

void TmtCustomMemTable::FreeFilterExpression(void* Expression) {
    parsedHere_.erase(std::remove(parsedHere_.begin(), parsedHere_.end(), Expression), parsedHere_.end());
    FreeTableFilter(Expression);
}

bool TmtCustomMemTable::FilterExpressionReadsOnlyRecord(void* Expression) {
    if (Expression == nullptr) return true;
    // Only an expression this unit parsed is known well enough to tell.
    if (std::find(parsedHere_.begin(), parsedHere_.end(), Expression) == parsedHere_.end()) return false;
    // Asked for every record a filter tests: the answer for the table's own
    // filter is kept until the filter or the fields change.
    if (Expression != filterExpression_) return TableFilterReadsOnlyRecord(this, Expression);
    if (filterReadsRecordAt_ != fieldGeneration_ || filterReadsRecordOf_ != Expression) {
        filterReadsRecord_ = TableFilterReadsOnlyRecord(this, Expression);
        filterReadsRecordAt_ = fieldGeneration_;
        filterReadsRecordOf_ = Expression;
    }
    return filterReadsRecord_;
}

void TmtCustomMemTable::CalcRecordFields(PmtRecord Record) {
    if (CalcFieldsSize() > 0 && Record != nullptr) GetCalcFields(reinterpret_cast<TRecordBuffer>(Record));
}

TmtFilterExpression* TmtCustomMemTable::PlainRecordFilter(bool ForceFilter) {
    if (filterExpression_ == nullptr || !(ForceFilter || Filtered()) || recalcOnIndex_ || OnFilterRecord()) return nullptr;
    if (masterLink_->Active() && masterKeyRecord_ != nullptr && masterIndexList_.Count() > 0) return nullptr;
    if (std::find(parsedHere_.begin(), parsedHere_.end(), filterExpression_) == parsedHere_.end()) return nullptr;
    if (!FilterExpressionReadsOnlyRecord(filterExpression_)) return nullptr;
    return static_cast<TmtFilterExpression*>(filterExpression_);
}

bool TmtCustomMemTable::FilterRecordOfRun(PmtRecord Record, bool ForceFilter) {
    // Where the run's equality is the link's own, only the table's own
    // filter is left to decide: no comparison of the link's texts, no
    // filter state for each record.
    if (masterRunExact_ && !ForceFilter && !Filtered() && !recalcOnIndex_) return Record != nullptr;
    return FilterRecord(Record, ForceFilter);
}

bool TmtCustomMemTable::FilterRecord(PmtRecord Record, bool ForceFilter) {
    if (!ForceFilter && !isFiltered_) return true;
    if (Record == nullptr) return false;
    const bool master = masterLink_->Active() && masterKeyRecord_ != nullptr && masterIndexList_.Count() > 0;
    const bool own = ForceFilter || Filtered();
    // A filter text alone, over fields the record holds: nothing to show the
    // fields, the record is read as it is.
    if (own && !master && !recalcOnIndex_ && !OnFilterRecord() && filterExpression_ != nullptr &&
        FilterExpressionReadsOnlyRecord(filterExpression_))
        return EvaluateFilterExpression(filterExpression_, Record);
    if (recalcOnIndex_) CalcRecordFields(Record);
    FilterScope scope(this, Record);
    bool accept = true;
    if (master) {
        const TmtFieldList& dl = detailIndexList_.Count() > 0 ? detailIndexList_ : indexFieldList_;
        int n = std::min(masterIndexList_.Count(), dl.Count());
        if (n > 0 && common_->CompareRecords(dl, n, masterKeyRecord_, Record, false, false, 0) != 0) accept = false;
    }
    if (!accept) return false;
    if (!own) return true;
    DoOnFilterRecord(this, accept);
    if (accept && filterExpression_ != nullptr) accept = EvaluateFilterExpression(filterExpression_, Record);
    return accept;
}

void TmtCustomMemTable::SetFilteredValue(bool Value) {
    if (Value == Filtered()) return;
    TDataSet::SetFilteredValue(Value);
    if (!Active()) return;
    if (Value && filterExpression_ == nullptr && !Filter().empty()) {
        filterExpression_ = ParseFilterExpression(Filter(), FilterOptions());
        filterReadsRecordOf_ = nullptr;
    }
    UpdateIsFiltered();
    ClearBuffers();
    Refresh();
    First();
}

void TmtCustomMemTable::SetFilterText(const std::string& Value) {
    if (Value == Filter()) return;
    void* parsed = Value.empty() ? nullptr : ParseFilterExpression(Value, FilterOptions());
    FreeFilterExpression(filterExpression_);
    filterExpression_ = parsed;
    filterReadsRecordOf_ = nullptr;
    UpdateIsFiltered();
    TDataSet::SetFilterText(Value);
    UpdateIsFiltered();
    if (Active() && Filtered()) {
        ClearBuffers();
        First();
        Refresh();
    }
}

void TmtCustomMemTable::SetOnFilterRecordValue(const TFilterRecordEvent& Value) {
    TDataSet::SetOnFilterRecordValue(Value);
    UpdateIsFiltered();
    if (Active() && Filtered()) First();
}

// ---------------------------------------------------------------------------
// Changes

void TmtCustomMemTable::DoBeforeInsert() {
    insertPos_ = GetRecNo();
    TDataSet::DoBeforeInsert();
}

void TmtCustomMemTable::DoOnNewRecord() {
    if (masterLink_->Active() && masterIndexList_.Count() > 0) {
        const TmtFieldList& dl = detailIndexList_.Count() > 0 ? detailIndexList_ : indexFieldList_;
        int n = std::min(masterIndexList_.Count(), dl.Count());
        for (int i = 0; i < n; ++i) dl.Fields(i)->SetValue(masterIndexList_.Fields(i)->Value());
    }
    TDataSet::DoOnNewRecord();
    if (!ignoreAutoInc_ && autoIncField_ != nullptr) {
        bool old = ignoreReadOnly_;
        ignoreReadOnly_ = true;
        Finally restore([&] { ignoreReadOnly_ = old; });
        autoIncField_->SetAsInteger(common_->AutoIncMax() + 1);
    }
}

void TmtCustomMemTable::DoBeforePost() {
    TDataSet::DoBeforePost();
    if (autoIncField_ != nullptr && !autoIncField_->IsNull()) {
        int v = autoIncField_->AsInteger();
        if (v > common_->AutoIncMax()) common_->SetAutoIncMax(v);
    }
}

int TmtCustomMemTable::InsertPositionOfBuffer(PmtRecord Buffer) const {
    TBookmarkFlag flag = GetBookmarkFlag(reinterpret_cast<TRecordBuffer>(Buffer));
    if (flag == bfEOF) return -1;
    if (flag == bfInserted) {
        // The record that was current when the insert began: the new one goes
        // before it, wherever it is now.
        uint8_t data[kBookmarkSize];
        GetBookmarkData(reinterpret_cast<TRecordBuffer>(Buffer), data);
        if (PmtRecord r = RecordOfBookmark(data)) {
            int pos = PositionOfRecord(r);
            if (pos >= 0) return pos + 1;
        }
    }
    return insertPos_;
}

void TmtCustomMemTable::InternalPost() {
    TDataSet::InternalPost();
    StoreLock lock(common_);
    PmtRecord buf = Rec(ActiveBuffer());
    int level = common_->TransactionLevel();
    lastChangePos_ = -1;
    if (State() == dsEdit) {
        PmtRecord store = nullptr;
        if (recNo_ >= 0 && recNo_ < curIndex_->Count()) {
            store = curIndex_->RecordAt(recNo_);
            if (store->RecordID != buf->RecordID || store->UniqueRecordID != buf->UniqueRecordID) store = nullptr;
        }
        if (store == nullptr) {
            // Another table sharing the store may have moved or removed it.
            store = common_->StoreRecordOf(buf);
            recNo_ = PositionOfRecord(store);
        }
        if (store == nullptr) DatabaseError(mtres::RecordNotFound, this);
        indexes_->CheckRecordUniqueness(buf, store);
        bool modified = common_->AnyFieldChanged() || Modified();
        bool versioned = false;
        if (modified) {
            buf->UpdateStatus = usModified;
            if (common_->EnableVersioning() &&
                (common_->VersioningMode() == mtvmAllSinceCheckPoint || store->PrevRecordVersion == nullptr)) {
                PmtRecord v = common_->CopyRecord(store, true);
                v->Flag |= 1;
                buf->PrevRecordVersion = v;
                versioned = true;
            }
            common_->SetIsDataModified(true);
        }
        common_->ReflectToIndexes(this, 1, false, recNo_, store, buf);
        store = common_->MoveRecord(buf, store);
        store->Flag |= 1;
        store->RecordNo = -1;  // a position belongs to buffers, never to the store
        // Only a post that wrote a version belongs to the current transaction
        // level; stamping an unchanged record would let a rollback of this
        // level undo work committed before it.
        if (versioned || !common_->EnableVersioning()) store->TransactionLevel = level;
        buf->TransactionLevel = store->TransactionLevel;
        if (lastChangePos_ >= 0) recNo_ = lastChangePos_;
    } else {
        indexes_->CheckRecordUniqueness(buf, nullptr);
        int pos = InsertPositionOfBuffer(buf);
        PmtRecord copy = common_->CopyRecord(buf, true);
        copy->RecordNo = -1;
        common_->ClearIndirect(buf);
        common_->AppendRecord(copy);
        copy->TransactionLevel = level;
        copy->Flag |= 1;
        common_->ReflectToIndexes(this, 0, false, pos, nullptr, copy);
        common_->SetIsDataModified(true);
        if (lastChangePos_ >= 0) recNo_ = lastChangePos_;
        // The buffer now stands for the stored record until it is read again.
        buf->RecordID = copy->RecordID;
        buf->UniqueRecordID = copy->UniqueRecordID;
    }
    common_->ClearModifiedFlags();
}

void TmtCustomMemTable::InternalAddRecord(const void* Buffer, bool Append) {
    StoreLock lock(common_);
    auto* src = reinterpret_cast<PmtRecord>(const_cast<void*>(Buffer));
    indexes_->CheckRecordUniqueness(src, nullptr);
    PmtRecord copy = common_->CopyRecord(src, true);
    copy->RecordNo = -1;
    common_->AppendRecord(copy);
    copy->TransactionLevel = common_->TransactionLevel();
    copy->Flag |= 1;
    common_->ReflectToIndexes(this, 0, false, Append ? -1 : recNo_ + 1, nullptr, copy);
    common_->SetIsDataModified(true);
}

void TmtCustomMemTable::InternalDelete() {
    StoreLock lock(common_);
    PmtRecord buf = ActiveBuffer() != nullptr ? Rec(ActiveBuffer()) : nullptr;
    PmtRecord store = nullptr;
    if (recNo_ >= 0 && recNo_ < curIndex_->Count()) store = curIndex_->RecordAt(recNo_);
    if (buf != nullptr &&
        (store == nullptr || store->RecordID != buf->RecordID || store->UniqueRecordID != buf->UniqueRecordID)) {
        store = common_->StoreRecordOf(buf);
        recNo_ = PositionOfRecord(store);
    }
    if (store == nullptr) DatabaseError(mtres::RecordNotFound, this);
    lastChangePos_ = -1;
    common_->ReflectToIndexes(this, 2, false, recNo_, store, store);
    if (!common_->EnableVersioning()) {
        common_->RemoveRecord(store);
    } else {
        PmtRecord v = common_->CopyRecord(store, true);
        v->Flag |= 1;
        store->PrevRecordVersion = v;
        store->UpdateStatus = usDeleted;
        store->TransactionLevel = common_->TransactionLevel();
        common_->IncDeletedCount();
    }
    common_->SetIsDataModified(true);
    UpdateIsFiltered();
}

void TmtCustomMemTable::InternalCancel() { common_->ClearModifiedFlags(); }

void TmtCustomMemTable::DoAfterPost() {
    if (attachedAutoRefresh_) common_->RefreshTables(this);
    if (autoReposition_ && lastChangePos_ >= 0) {
        recNo_ = lastChangePos_;
        lastChangePos_ = -1;
        Resync({});
    }
    TDataSet::DoAfterPost();
}

void TmtCustomMemTable::DoAfterDelete() {
    if (attachedAutoRefresh_) common_->RefreshTables(this);
    lastChangePos_ = -1;
    TDataSet::DoAfterDelete();
}

void TmtCustomMemTable::DataEvent(TDataEvent Event, intptr_t Info) {
    // While the store is held through Lock, the controls hear nothing; the
    // field-change bookkeeping (Modified, calculated fields) still runs.
    if (common_ == nullptr || !common_->LockedByTable()) {
        TDataSet::DataEvent(Event, Info);
        return;
    }
    if (Event != deFieldChange) return;
    auto* field = reinterpret_cast<TField*>(Info);
    if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) SetModified(true);
    if (State() != dsSetKey && AutoCalcFields() && CalcFieldsSize() > 0 && field->FieldKind() == fkData &&
        ActiveBuffer() != nullptr)
        GetCalcFields(ActiveBuffer());
    field->Change();
}

void TmtCustomMemTable::EmptyBuffersAndIndexes() {
    int old = activity_;
    activity_ = actEmptying;
    Finally restore([&] { activity_ = old; });
    CheckBrowseMode();
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    indexes_->EmptyAll();
    recNo_ = -1;
    lastChangePos_ = -1;
}

void TmtCustomMemTable::EmptyTable() {
    Progress(0, mtpcEmpty);
    DisableControls();
    {
        Finally enable([this] { EnableControls(); });
        common_->EmptyTables();
    }
    Progress(100, mtpcEmpty);
}

void TmtCustomMemTable::Lock() {
    common_->Lock();
    common_->SetLockedByTable(true);
}

void TmtCustomMemTable::Unlock() {
    common_->SetLockedByTable(false);
    common_->Unlock();
}

void TmtCustomMemTable::Progress(int Percent, TmtProgressCode Code) {
    if (OnProgress && progressFlags_.Contains(Code)) OnProgress(this, Percent, Code);
}

// ---------------------------------------------------------------------------
// Transactions

void TmtCustomMemTable::StartTransaction() {
    if (Active() && !(common_->EnableVersioning() && common_->VersioningMode() == mtvmAllSinceCheckPoint))
        throw EMemTableError(mtres::TransactionsNeedVersioning);
    StoreLock lock(common_);
    for (TmtCustomMemTable* t : common_->AttachedTables())
        if (t != nullptr && t->Active()) t->Indexes()->RowOrderIndex()->PushLevelOrder();
    common_->IncTransactionLevel();
}

void TmtCustomMemTable::Rollback() {
    if (!Active() || common_->TransactionLevel() <= 0) return;
    Cancel();
    UpdateCursorPos();
    {
        StoreLock lock(common_);
        for (TmtCustomMemTable* t : common_->AttachedTables())
            if (t != nullptr && t->Active()) t->Indexes()->RowOrderIndex()->PopLevelOrder(true);
        common_->RollbackTransaction();
        common_->DecTransactionLevel();
        common_->RebuildIndexes();
    }
    CursorPosChanged();
    ClearBuffers();
    if (recNo_ >= curIndex_->Count()) recNo_ = curIndex_->Count() - 1;
    Refresh();
    common_->RefreshTables(this);
}

void TmtCustomMemTable::Commit() {
    if (!Active() || common_->TransactionLevel() <= 0) return;
    {
        StoreLock lock(common_);
        for (TmtCustomMemTable* t : common_->AttachedTables())
            if (t != nullptr && t->Active()) t->Indexes()->RowOrderIndex()->PopLevelOrder(false);
        common_->CommitTransaction();
        common_->DecTransactionLevel();
        common_->RebuildIndexes();
    }
    Refresh();
    common_->RefreshTables(this);
}

// ---------------------------------------------------------------------------
// Components, streaming and persistence

void TmtCustomMemTable::Notification(TComponent* AComponent, TOperation Operation) {
    TDataSet::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == this) {
        try {
            Close();
        } catch (...) {
        }
        return;
    }
    if (masterLink_ != nullptr && masterLink_->DataSource() == AComponent) masterLink_->SetDataSource(nullptr);
    if (deltaHandler_ != nullptr && static_cast<TComponent*>(deltaHandler_) == AComponent) deltaHandler_ = nullptr;
    for (TmtCustomStreamFormat** f :
         {&defaultFormat_, &commaTextFormat_, &persistentFormat_, &formFormat_, &allDataFormat_})
        if (*f != nullptr && static_cast<TComponent*>(*f) == AComponent) *f = nullptr;
}

void TmtCustomMemTable::SetDeltaHandler(TmtCustomDeltaHandler* Value) {
    if (Value == deltaHandler_) return;
    if (linkingDeltaHandler_) {
        deltaHandler_ = Value;
        return;
    }
    // Both sides of the link change together; the link calls back here.
    linkingDeltaHandler_ = true;
    Finally done([this] { linkingDeltaHandler_ = false; });
    LinkDeltaHandler(this, Value);
}

void TmtCustomMemTable::SetFormat(TmtCustomStreamFormat*& Slot, TmtCustomStreamFormat* Value) {
    if (Slot == Value) return;
    Slot = Value;
    if (Value != nullptr) Value->FreeNotification(this);
}

void TmtCustomMemTable::DefineProperties(TFiler* Filer) {
    TDataSet::DefineProperties(Filer);
    Filer->DefineBinaryProperty(
        "Data",
        [this](TStream* Stream) {
            auto data = std::make_unique<TMemoryStream>();
            int64_t size = Stream->Size() - Stream->Position();
            if (size > 0) {
                std::string bytes(static_cast<std::size_t>(size), '\0');
                int64_t got = Stream->Read(bytes.data(), size);
                data->Write(bytes.data(), got);
            }
            formData_ = std::move(data);
        },
        // A closed table holds no rows, and its format could not walk it.
        [this](TStream* Stream) { SaveToStreamViaFormat(Stream, formFormat_); }, storeDataOnForm_ && Active());
}

void TmtCustomMemTable::SaveToStreamViaFormat(TStream* Stream, TmtCustomStreamFormat* Format) {
    if (Format == nullptr) throw EMemTableError(mtres::NoFormat);
    const FormatDriver& d = GetFormatDriver();
    if (!d.Save) throw EMemTableError(mtres::NoFormatDriver);
    d.Save(this, Stream, Format);
}

void TmtCustomMemTable::LoadFromStreamViaFormat(TStream* Stream, TmtCustomStreamFormat* Format) {
    if (Format == nullptr) throw EMemTableError(mtres::NoFormat);
    const FormatDriver& d = GetFormatDriver();
    if (!d.Load) throw EMemTableError(mtres::NoFormatDriver);
    d.Load(this, Stream, Format);
}

void TmtCustomMemTable::LoadPersistentFile() {
    if (!persistent_ || persistentFile_.empty() || !std::filesystem::exists(persistentFile_)) return;
    TFileStream file(persistentFile_, fmOpenRead);
    if (OnLoad) OnLoad(this, mtstFile, &file);
    LoadFromStreamViaFormat(&file, persistentFormat_);
    First();
    persistentSaved_ = false;
}

void TmtCustomMemTable::SavePersistentFile() {
    if (!persistent_ || persistentSaved_ || !Active() || ComponentState().Contains(csDesigning) ||
        persistentFile_.empty() || persistentFormat_ == nullptr)
        return;
    // The new content goes into a temporary file beside the old one and takes
    // its name by a rename only once complete: whenever the program stops,
    // the file holds the old content or the new one, never nothing.
    TFileStream file(persistentFile_, fmCreate);
    if (OnSave) OnSave(this, mtstFile, &file);
    SaveToStreamViaFormat(&file, persistentFormat_);
    if (persistentBackup_ && std::filesystem::exists(persistentFile_)) {
        fileio::WriteFileAtomic(ChangeFileExt(persistentFile_, persistentBackupExt_),
                                fileio::ReadFileBytes(persistentFile_));
    }
    file.Commit();
    persistentSaved_ = true;
}
