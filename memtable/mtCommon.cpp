#include "memtable/mtCommon.h"

#include <cstdlib>
#include <new>
#include <random>

#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"

using memtable::StoreLock;

namespace memtable {

uint8_t* NewBlock(const void* Bytes, int32_t Length) {
    if (Length < 0) Length = 0;
    auto* block = static_cast<uint8_t*>(std::malloc(static_cast<std::size_t>(Length) + 4));
    if (block == nullptr) throw std::bad_alloc();
    WriteValue<int32_t>(block, Length);
    if (Length > 0 && Bytes != nullptr) std::memcpy(block + 4, Bytes, static_cast<std::size_t>(Length));
    return block;
}

int32_t BlockLength(const uint8_t* Block) { return Block == nullptr ? 0 : ReadValue<int32_t>(Block); }

void FreeBlock(uint8_t* Block) { std::free(Block); }

bool IsBlobFieldType(TFieldType Type) {
    switch (Type) {
        case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle: case ftDBaseOle:
        case ftTypedBinary: case ftOraBlob: case ftOraClob: case ftWideMemo:
            return true;
        default:
            return false;
    }
}

bool IsSupportedFieldType(TFieldType Type) {
    if (Type >= ftString && Type <= ftTypedBinary) return true;
    switch (Type) {
        case ftFixedChar: case ftWideString: case ftLargeint: case ftADT: case ftArray: case ftOraBlob:
        case ftOraClob: case ftGuid: case ftTimeStamp: case ftFMTBcd: case ftWideMemo:
            return true;
        default:
            return false;
    }
}

bool IsVariableSizeType(TFieldType Type) {
    return Type == ftString || Type == ftBytes || Type == ftVarBytes || Type == ftFixedChar ||
           Type == ftWideString;
}

namespace {

uint8_t* GetBlock(const uint8_t* slot) {
    uint8_t* p;
    std::memcpy(&p, slot + 1, sizeof(p));
    return p;
}

void SetBlock(uint8_t* slot, uint8_t* block) { std::memcpy(slot + 1, &block, sizeof(block)); }

std::mt19937& Rng() {
    static std::mt19937 rng(std::random_device{}());
    return rng;
}

}  // namespace
}  // namespace memtable

using namespace memtable;

TmtCommon::TmtCommon(TmtCustomMemTable* Owner)
    : owner_(Owner), fieldOfs_(MT_MAX_FIELDS + 1, -1), fieldFlags_(MT_MAX_FIELDS + 1, 0) {
    NewTableID();
    SetLocaleID(1024);
}

TmtCommon::~TmtCommon() {
    // Tables still attached get a store of their own.
    std::vector<TmtCustomMemTable*> tables = attachedTables_;
    for (auto it = tables.rbegin(); it != tables.rend(); ++it) {
        TmtCustomMemTable* t = *it;
        if (t == nullptr || t == owner_) continue;
        try {
            t->Close();
        } catch (...) {
        }
        t->CloseFromStore();
    }
    for (PmtRecord r : records_) FreeRecord(r, true, true);
    records_.clear();
}

void TmtCommon::Lock() {
    if (!standalone_) lock_.Enter();
}

void TmtCommon::Unlock() {
    if (!standalone_) lock_.Leave();
}

void TmtCommon::NewTableID() {
    std::uniform_int_distribution<int32_t> dist(0, 1073741824);
    int32_t id;
    do id = dist(Rng());
    while (id == tableID_);
    tableID_ = id;
}

// ---------------------------------------------------------------------------
// Records

PmtRecord TmtCommon::AllocRecord() {
    std::size_t size = static_cast<std::size_t>(kRecordHeaderSize + std::max(dataSize_, 0));
    auto* block = static_cast<uint8_t*>(::operator new(size));
    auto* r = reinterpret_cast<PmtRecord>(block);
    r->Data = block + kRecordHeaderSize;
    InitRecord(r);
    return r;
}

void TmtCommon::InitRecord(PmtRecord Record) {
    Record->RecordNo = -1;
    Record->RecordID = -1;
    Record->UniqueRecordID = -1;
    Record->PrevRecordVersion = nullptr;
    Record->TransactionLevel = -1;
    Record->UpdateStatus = 0;
    Record->Flag = 0;
    if (dataSize_ > 0) std::memset(Record->Data, 0, static_cast<std::size_t>(dataSize_));
}

void TmtCommon::FreeRecord(PmtRecord Record, bool FreeIndirect, bool FreeVersions) {
    // Walk the version chain iteratively: a long chain must not exhaust the stack.
    while (Record != nullptr) {
        if (FreeIndirect) ClearIndirect(Record);
        PmtRecord prev = nullptr;
        if ((Record->Flag & 1) != 0 && FreeVersions) prev = Record->PrevRecordVersion;
        Record->PrevRecordVersion = nullptr;
        ::operator delete(reinterpret_cast<uint8_t*>(Record));
        Record = prev;
    }
}

void TmtCommon::ClearIndirect(PmtRecord Record) {
    if (Record == nullptr || Record->Data == nullptr) return;
    for (int i = 0; i < indirectCount_; ++i) {
        uint8_t* slot = Record->Data + startIndirect_ + i * kIndirectSlotSize;
        uint8_t* block = GetBlock(slot);
        if (block != nullptr) {
            FreeBlock(block);
            std::memset(slot, 0, kIndirectSlotSize);
        }
    }
}

void TmtCommon::TransferRecord(PmtRecord Source, PmtRecord Dest) {
    Dest->RecordNo = Source->RecordNo;
    Dest->RecordID = Source->RecordID;
    Dest->UniqueRecordID = Source->UniqueRecordID;
    Dest->UpdateStatus = Source->UpdateStatus;
    Dest->PrevRecordVersion = Source->PrevRecordVersion;
    Dest->TransactionLevel = Source->TransactionLevel;
    if (dataRecordSize_ > 0) std::memcpy(Dest->Data, Source->Data, static_cast<std::size_t>(dataRecordSize_));
    for (int i = 0; i < indirectCount_; ++i) {
        int ofs = startIndirect_ + i * kIndirectSlotSize;
        Dest->Data[ofs] = Source->Data[ofs];
    }
}

void TmtCommon::MoveRecord(PmtRecord Source, PmtRecord Dest) {
    for (int i = 0; i < indirectCount_; ++i) {
        int ofs = startIndirect_ + i * kIndirectSlotSize;
        uint8_t* s = Source->Data + ofs;
        uint8_t* d = Dest->Data + ofs;
        uint8_t* sb = GetBlock(s);
        uint8_t* db = GetBlock(d);
        if (sb != nullptr) {
            if (db != nullptr && db != sb) FreeBlock(db);
            SetBlock(d, sb);
            SetBlock(s, nullptr);
        } else if (s[0] == 0 && db != nullptr) {
            FreeBlock(db);
            std::memset(d, 0, kIndirectSlotSize);
        }
    }
    TransferRecord(Source, Dest);
}

PmtRecord TmtCommon::CopyRecord(PmtRecord Source, bool CopyIndirect) {
    PmtRecord r = AllocRecord();
    TransferRecord(Source, r);
    if (CopyIndirect) {
        PmtRecord store = StoreRecordOf(Source);
        for (int i = 0; i < indirectCount_; ++i) {
            int ofs = startIndirect_ + i * kIndirectSlotSize;
            uint8_t* block = GetBlock(Source->Data + ofs);
            // A buffer without a block of its own holds the store's value.
            if (block == nullptr && Source->Data[ofs] != 0 && store != nullptr && store != Source)
                block = GetBlock(store->Data + ofs);
            if (block != nullptr && Source->Data[ofs] != 0) {
                SetBlock(r->Data + ofs, NewBlock(BlockBytes(block), BlockLength(block)));
                r->Data[ofs] = 2;
            } else {
                SetBlock(r->Data + ofs, nullptr);
                r->Data[ofs] = 0;
            }
        }
    }
    return r;
}

void TmtCommon::AppendRecord(PmtRecord Record) {
    StoreLock lock(this);
    if (deletedSlots_.empty()) {
        Record->RecordID = recordIDCounter_++;
        Record->UniqueRecordID = uniqueRecordIDCounter_++;
        Record->Flag |= 1;
        records_.push_back(Record);
        if (uniqueRecordIDCounter_ >= 2147483600) throw EMemTableFatalError(mtres::BookmarkCounterOutOfRange);
    } else {
        Record->RecordID = deletedSlots_.back();
        deletedSlots_.pop_back();
        Record->UniqueRecordID = uniqueRecordIDCounter_++;
        records_[static_cast<std::size_t>(Record->RecordID)] = Record;
        Record->Flag |= 1;
    }
    if (enableVersioning_) Record->UpdateStatus = usInserted;
}

void TmtCommon::DeleteRecord(PmtRecord Record) {
    StoreLock lock(this);
    if (Record == nullptr) return;
    int id = Record->RecordID;
    if (id < 0 || id >= RecordCount() || records_[static_cast<std::size_t>(id)] != Record) return;
    deletedSlots_.push_back(id);
    records_[static_cast<std::size_t>(id)] = nullptr;
}

void TmtCommon::RemoveRecord(PmtRecord Record) {
    DeleteRecord(Record);
    FreeRecord(Record, true, true);
}

void TmtCommon::Clear() {
    StoreLock lock(this);
    for (PmtRecord r : records_) FreeRecord(r, true, true);
    records_.clear();
    deletedSlots_.clear();
    recordIDCounter_ = 0;
    uniqueRecordIDCounter_ = 0;
    NewTableID();
}

PmtRecord TmtCommon::Record(int RecordID) const {
    if (RecordID < 0 || RecordID >= RecordCount()) return nullptr;
    return records_[static_cast<std::size_t>(RecordID)];
}

PmtRecord TmtCommon::StoreRecordOf(PmtRecord Record) const {
    if (Record == nullptr) return nullptr;
    PmtRecord r = this->Record(Record->RecordID);
    return r != nullptr && r->UniqueRecordID == Record->UniqueRecordID ? r : nullptr;
}

int TmtCommon::GetFieldOffsetByNo(int FieldNo) const {
    if (!ValidFieldNo(FieldNo)) return -1;
    return fieldOfs_[static_cast<std::size_t>(FieldNo)];
}

int TmtCommon::GetFieldOffset(TField* Field) const {
    if (Field->FieldNo() > 0) return GetFieldOffsetByNo(Field->FieldNo());
    return startCalculated_ + Field->Offset();
}

uint8_t* TmtCommon::GetFieldPointer(PmtRecord Record, TField* Field) const {
    if (Record == nullptr || Record->Data == nullptr) return nullptr;
    int ofs = GetFieldOffset(Field);
    if (ofs < 0) return nullptr;
    return Record->Data + ofs;
}

uint8_t TmtCommon::FieldFlags(int FieldNo) const {
    return ValidFieldNo(FieldNo) ? fieldFlags_[static_cast<std::size_t>(FieldNo)] : 0;
}

int TmtCommon::GetFieldSize(TFieldType FieldType, int Size) const {
    // The native buffers of the dataset layer: text is UTF-8, so a field of
    // Size characters needs up to four bytes a character and a terminator.
    switch (FieldType) {
        case ftString: case ftFixedChar: case ftWideString: case ftFixedWideChar:
            return Size * 4 + 1;
        case ftSmallint: case ftWord: case ftBoolean:
            return 2;
        case ftInteger: case ftAutoInc:
            return 4;
        case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
        case ftFloat: case ftCurrency: case ftLargeint: case ftBCD: case ftFMTBcd:
            return 8;
        case ftBytes:
            return Size;
        case ftVarBytes:
            return Size + 2;
        case ftGuid:
            return 39;
        default:
            return 0;
    }
}

bool TmtCommon::IsIndirectField(TFieldType FieldType, int Size) const {
    if (IsVariableSizeType(FieldType) && Size >= 13) return performance_ != mtpfFast;
    return IsBlobFieldType(FieldType);
}

void TmtCommon::ClearModifiedFlags() {
    for (auto& f : fieldFlags_) f &= static_cast<uint8_t>(~kFlagChanged);
}

bool TmtCommon::AnyFieldChanged() const {
    for (auto f : fieldFlags_)
        if ((f & kFlagChanged) != 0) return true;
    return false;
}

void TmtCommon::CheckSupportedTypes(TFieldDefs* Defs) {
    for (int i = 0; i < Defs->Count(); ++i) {
        TFieldDef* def = Defs->Items(i);
        if (!IsSupportedFieldType(def->DataType()))
            throw EMemTableError(Format("Fielddef " + def->Name() + " (" + def->DisplayName() + ")" +
                                            mtres::FieldTypeNotSupported,
                                        static_cast<int>(def->DataType())));
    }
}

void TmtCommon::LayoutFixed(TFieldDefs* Defs) {
    CheckSupportedTypes(Defs);
    for (int i = 0; i < Defs->Count(); ++i) {
        TFieldDef* def = Defs->Items(i);
        int no = def->FieldNo();
        if (!ValidFieldNo(no)) throw EMemTableError(mtres::TooManyFieldDefs);
        uint8_t flags = 0;
        if (IsIndirectField(def->DataType(), def->Size())) {
            flags |= kFlagIndirect;
            if (owner_ != nullptr && owner_->OnSetupField && !IsBlobFieldType(def->DataType())) {
                TField* field = owner_->FindField(def->Name());
                owner_->OnSetupField(owner_, field, flags);
            }
        }
        // A blob always lives in its own block, whatever a handler says.
        if (IsBlobFieldType(def->DataType())) flags |= kFlagIndirect;
        fieldFlags_[static_cast<std::size_t>(no)] = flags;
        if ((flags & kFlagIndirect) != 0) {
            fieldOfs_[static_cast<std::size_t>(no)] = -1;
        } else {
            fieldOfs_[static_cast<std::size_t>(no)] = dataRecordSize_;
            dataRecordSize_ += GetFieldSize(def->DataType(), def->Size()) + 1;
        }
    }
}

void TmtCommon::LayoutIndirect(TFieldDefs* Defs) {
    for (int i = 0; i < Defs->Count(); ++i) {
        TFieldDef* def = Defs->Items(i);
        auto no = static_cast<std::size_t>(def->FieldNo());
        if ((fieldFlags_[no] & kFlagIndirect) == 0) continue;
        fieldOfs_[no] = startIndirect_ + kIndirectSlotSize * indirectCount_;
        ++indirectCount_;
        if (performance_ == mtpfSmall) fieldFlags_[no] |= kFlagCompressed;
    }
}

void TmtCommon::LayoutRecord(int FieldCount) {
    StoreLock lock(this);
    TFieldDefs* defs = owner_->FieldDefs();
    if (defs->Count() == 0) throw EMemTableError(mtres::NoFields);
    if (defs->Count() > MT_MAX_FIELDS) throw EMemTableError(mtres::TooManyFieldDefs);
    std::fill(fieldOfs_.begin(), fieldOfs_.end(), -1);
    std::fill(fieldFlags_.begin(), fieldFlags_.end(), 0);
    bookmarkArraySize_ = attachMaxCount_ * kBookmarkSlotSize;
    dataRecordSize_ = 0;
    indirectCount_ = 0;
    fieldCount_ = FieldCount;
    LayoutFixed(defs);
    startCalculated_ = dataRecordSize_;
    calcFieldsSize_ = owner_->CalcFieldsSize();
    startBookmarks_ = startCalculated_ + calcFieldsSize_;
    startIndirect_ = startBookmarks_ + bookmarkArraySize_;
    LayoutIndirect(defs);
    indirectSize_ = kIndirectSlotSize * indirectCount_;
    dataRecordSize_ = startIndirect_;
    dataSize_ = startIndirect_ + indirectSize_;
    totalRecordSize_ = dataSize_ + kRecordHeaderSize;
    isDataModified_ = false;
    ClearModifiedFlags();
}

const uint8_t* TmtCommon::FieldValue(PmtRecord Record, int FieldNo, TField* Field, int32_t& Length) const {
    Length = 0;
    if (Record == nullptr) return nullptr;
    if (FieldNo <= 0) {
        const uint8_t* p = Record->Data + startCalculated_ + Field->Offset();
        if (p[0] == 0) return nullptr;
        Length = Field->DataSize();
        return p + 1;
    }
    int ofs = GetFieldOffsetByNo(FieldNo);
    if (ofs < 0) return nullptr;
    const uint8_t* slot = Record->Data + ofs;
    if ((FieldFlags(FieldNo) & kFlagIndirect) == 0) {
        if (slot[0] == 0) return nullptr;
        Length = GetFieldSize(Field->DataType(), Field->Size());
        return slot + 1;
    }
    const uint8_t* block = GetBlock(slot);
    if (block == nullptr) {
        if (slot[0] == 0) return nullptr;
        if (Record->RecordID < 0) throw EMemTableInvalidRecord(mtres::InvalidRecord);
        PmtRecord store = this->Record(Record->RecordID);
        // A slot reused by another record holds nothing of this one.
        if (store == nullptr || store == Record || store->UniqueRecordID != Record->UniqueRecordID) return nullptr;
        const uint8_t* storeSlot = store->Data + ofs;
        block = GetBlock(storeSlot);
        if (block == nullptr || storeSlot[0] == 0) return nullptr;
    }
    Length = BlockLength(block);
    return BlockBytes(block);
}

const uint8_t* TmtCommon::FieldValueForRead(PmtRecord Record, int FieldNo, TField* Field, int32_t& Length,
                                            std::string& Scratch) const {
    const uint8_t* p = FieldValue(Record, FieldNo, Field, Length);
    if (p == nullptr || FieldNo <= 0 || (FieldFlags(FieldNo) & kFlagCompressed) == 0 || owner_ == nullptr ||
        !owner_->OnDecompressField)
        return p;
    int size = Length;
    Scratch.clear();
    owner_->OnDecompressField(owner_, Field, p, size, Scratch);
    size = std::clamp(size, 0, static_cast<int>(Scratch.size()));
    Scratch.resize(static_cast<std::size_t>(size));
    Scratch.push_back('\0');  // string kinds stay zero-terminated
    Length = size;
    return reinterpret_cast<const uint8_t*>(Scratch.data());
}

// ---------------------------------------------------------------------------
// Settings

void TmtCommon::SetStandalone(bool Value) {
    StoreLock lock(this);
    if (Value == standalone_) return;
    if (attachedTables_.size() >= 2) throw EMemTableError(mtres::ChildrenAttached);
    // Leave the lock in the state the guard expects to release.
    if (Value) {
        lock_.Leave();
        standalone_ = true;
        lock_.Enter();
    } else {
        standalone_ = false;
        lock_.Enter();
    }
}

void TmtCommon::SetAttachMaxCount(int Value) {
    StoreLock lock(this);
    if (Value == attachMaxCount_) return;
    if (Value < 1) throw ERangeError(mtres::InvalidArgument);
    if (IsAnyTableActive()) throw EMemTableError(mtres::TableMustBeClosed);
    attachMaxCount_ = Value;
    if (static_cast<int>(attachedTables_.size()) < Value) attachedTables_.resize(static_cast<std::size_t>(Value));
}

void TmtCommon::SetLocaleID(int Value) {
    StoreLock lock(this);
    localeID_ = Value;
    sortID_ = (Value >> 16) & 15;
    languageID_ = (Value & 0xFFFF) & 255;
    subLanguageID_ = (Value & 0xFFFF) >> 10;
}

void TmtCommon::SetLanguageID(int Value) {
    StoreLock lock(this);
    languageID_ = Value;
    localeID_ = (sortID_ << 16) | (((subLanguageID_ << 10) | languageID_) & 0xFFFF);
}

void TmtCommon::SetSubLanguageID(int Value) {
    StoreLock lock(this);
    subLanguageID_ = Value;
    localeID_ = (sortID_ << 16) | (((subLanguageID_ << 10) | languageID_) & 0xFFFF);
}

void TmtCommon::SetSortID(int Value) {
    StoreLock lock(this);
    sortID_ = Value;
    localeID_ = (sortID_ << 16) | (((subLanguageID_ << 10) | languageID_) & 0xFFFF);
}

void TmtCommon::SetPerformance(TmtPerformance Value) {
    StoreLock lock(this);
    performance_ = Value;
}

void TmtCommon::SetEnableVersioning(bool Value) {
    StoreLock lock(this);
    enableVersioning_ = Value;
}

void TmtCommon::SetVersioningMode(TmtVersioningMode Value) {
    StoreLock lock(this);
    versioningMode_ = Value;
}

void TmtCommon::SetAutoIncMin(int32_t Value) {
    StoreLock lock(this);
    autoIncMin_ = Value;
    if (Value > autoIncMax_) autoIncMax_ = Value - 1;
}

void TmtCommon::SetAutoIncMax(int32_t Value) {
    StoreLock lock(this);
    autoIncMax_ = Value;
}

void TmtCommon::SetIsDataModified(bool Value) {
    StoreLock lock(this);
    isDataModified_ = Value;
}

void TmtCommon::IncTransactionLevel() {
    StoreLock lock(this);
    ++transactionLevel_;
}

void TmtCommon::DecTransactionLevel() {
    StoreLock lock(this);
    if (transactionLevel_ > 0) --transactionLevel_;
}

// ---------------------------------------------------------------------------
// Attached tables

void TmtCommon::AttachTable(TmtCustomMemTable* Table) {
    StoreLock lock(this);
    for (std::size_t i = 0; i < attachedTables_.size(); ++i) {
        if (attachedTables_[i] == nullptr) {
            attachedTables_[i] = Table;
            Table->SetAttachIndex(static_cast<int>(i));
            return;
        }
    }
    if (IsAnyTableActive()) throw EMemTableError(mtres::TableMustBeClosed);
    attachedTables_.push_back(Table);
    Table->SetAttachIndex(static_cast<int>(attachedTables_.size()) - 1);
    attachMaxCount_ = static_cast<int>(attachedTables_.size());
}

void TmtCommon::DetachTable(TmtCustomMemTable* Table) {
    StoreLock lock(this);
    for (auto& t : attachedTables_)
        if (t == Table) t = nullptr;
}

int TmtCommon::AttachIndexOf(const TmtCustomMemTable* Table) const {
    for (std::size_t i = 0; i < attachedTables_.size(); ++i)
        if (attachedTables_[i] == Table) return static_cast<int>(i);
    return -1;
}

bool TmtCommon::IsAnyTableActive() const {
    for (TmtCustomMemTable* t : attachedTables_)
        if (t != nullptr && t->Active()) return true;
    return false;
}

void TmtCommon::CloseTables(TmtCustomMemTable* Except) {
    StoreLock lock(this);
    for (int i = static_cast<int>(attachedTables_.size()) - 1; i >= 0; --i) {
        TmtCustomMemTable* t = attachedTables_[static_cast<std::size_t>(i)];
        if (t != nullptr && t != Except) t->Close();
    }
}

void TmtCommon::RefreshTables(TmtCustomMemTable* Except) {
    StoreLock lock(this);
    std::vector<TmtCustomMemTable*> tables = attachedTables_;
    for (TmtCustomMemTable* t : tables)
        if (t != nullptr && t != Except && t->Active() && t->State() == dsBrowse) t->DoRefresh();
}

void TmtCommon::EmptyTables() {
    StoreLock lock(this);
    std::vector<TmtCustomMemTable*> tables = attachedTables_;
    for (TmtCustomMemTable* t : tables)
        if (t != nullptr && t->Active()) t->EmptyBuffersAndIndexes();
    Clear();
}

void TmtCommon::RebuildIndexes() {
    StoreLock lock(this);
    for (TmtCustomMemTable* t : attachedTables_)
        if (t != nullptr && t->Active()) t->Indexes()->ReBuildAll();
}

void TmtCommon::MarkIndexesDirty() {
    StoreLock lock(this);
    for (TmtCustomMemTable* t : attachedTables_)
        if (t != nullptr && t->Active()) t->Indexes()->MarkAllDirty();
}

void TmtCommon::UpdateIndexes() {
    StoreLock lock(this);
    for (TmtCustomMemTable* t : attachedTables_)
        if (t != nullptr && t->Active()) t->SyncIndexDefs();
}

void TmtCommon::ReflectToIndexes(TmtCustomMemTable* Table, int Change, bool DontVersion, int RecordPos,
                                 PmtRecord OldRecord, PmtRecord NewRecord) {
    StoreLock lock(this);
    for (TmtCustomMemTable* t : attachedTables_) {
        if (t == nullptr || !t->Active()) continue;
        t->Indexes()->ReflectToIndexes(Change, OldRecord, NewRecord, t == Table ? RecordPos : -1, DontVersion);
    }
}

// ---------------------------------------------------------------------------
// Transactions

void TmtCommon::RollbackTransaction() {
    StoreLock lock(this);
    isDataModified_ = false;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        PmtRecord r = records_[i];
        while (r != nullptr && r->TransactionLevel == transactionLevel_ && r->UpdateStatus != usUnmodified) {
            if (r->UpdateStatus == usInserted) {
                FreeRecord(r, true, true);
                deletedSlots_.push_back(static_cast<int32_t>(i));
                records_[i] = nullptr;
                r = nullptr;
                break;
            }
            PmtRecord prev = r->PrevRecordVersion;
            FreeRecord(r, true, false);
            records_[i] = prev;
            r = prev;
            if (r != nullptr) {
                // The older version takes over the slot and its ownership of
                // the rest of the chain.
                r->Flag |= 1;
                r->RecordID = static_cast<int32_t>(i);
            } else {
                deletedSlots_.push_back(static_cast<int32_t>(i));
            }
        }
        if (records_[i] != nullptr && records_[i]->UpdateStatus != usUnmodified) isDataModified_ = true;
    }
}

void TmtCommon::CommitTransaction() {
    StoreLock lock(this);
    for (PmtRecord r : records_) {
        if (r == nullptr || r->TransactionLevel != transactionLevel_) continue;
        if (transactionLevel_ <= 1) {
            // Leaving the outermost level: the older versions are history.
            FreeRecord(r->PrevRecordVersion, true, true);
            r->PrevRecordVersion = nullptr;
            r->TransactionLevel = transactionLevel_ - 1;
            continue;
        }
        // An inner level merges into the one around it: every version written
        // at this level now belongs to the outer level, so that rolling the
        // outer level back still reaches the state from before it began.
        for (PmtRecord v = r; v != nullptr && v->TransactionLevel == transactionLevel_; v = v->PrevRecordVersion)
            v->TransactionLevel = transactionLevel_ - 1;
    }
}
