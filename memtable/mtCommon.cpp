#include "memtable/mtCommon.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <mutex>
#include <random>
#include <malloc.h>
#include <sys/mman.h>

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

void AdviseLargePages(const void* Data, std::size_t Bytes) {
    constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
    if (Bytes < 2 * kLarge) return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(Data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(Data) + Bytes) & ~(kLarge - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kOwnBlocks = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kOwnBlocks = true;
#else
constexpr bool kOwnBlocks = false;
#endif
#else
constexpr bool kOwnBlocks = false;
#endif

// Copies the few bytes of a field or two without a call.
inline void CopyBytes(uint8_t* d, const uint8_t* s, std::size_t n) {
    if (n > 16) {
        std::memcpy(d, s, n);
    } else if (n >= 8) {
        uint64_t a, b;
        std::memcpy(&a, s, 8);
        std::memcpy(&b, s + n - 8, 8);
        std::memcpy(d, &a, 8);
        std::memcpy(d + n - 8, &b, 8);
    } else if (n >= 4) {
        uint32_t a, b;
        std::memcpy(&a, s, 4);
        std::memcpy(&b, s + n - 4, 4);
        std::memcpy(d, &a, 4);
        std::memcpy(d + n - 4, &b, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
    }
}

// Texts held in their real length in packed records; a GUID keeps its fixed
// 39 bytes.
bool IsPackableText(TFieldType Type) {
    return Type == ftString || Type == ftFixedChar || Type == ftWideString || Type == ftFixedWideChar;
}

}  // namespace

void* RecordPages::Allocate(std::size_t Bytes, uint16_t& Units, bool& Heap) {
    const std::size_t units = (Bytes + 7) / 8;
    Units = units <= 0xFFFF ? static_cast<uint16_t>(units) : 0;
    if (kOwnBlocks || units > kMaxUnits) {
        Heap = true;
        return ::operator new(units * 8);
    }
    Heap = false;
    void*& head = free_[units];
    if (head != nullptr) {
        void* block = head;
        std::memcpy(&head, block, sizeof(void*));
        return block;
    }
    const std::size_t bytes = units * 8;
    if (left_ < bytes) {
        // Pages grow with the table, so that a table of a few rows stays small.
        void* page = ::operator new(pageSize_);
        pages_.push_back(page);
        next_ = static_cast<uint8_t*>(page);
        left_ = pageSize_;
        // The rows of a large store are read at random: its pages of 4 MB
        // get the system's large pages.
        if (pageSize_ >= kLargePage) AdviseLargePages(page, pageSize_);
        pageBytes_ += pageSize_;
        if (pageSize_ < 256 * 1024)
            pageSize_ *= 2;
        else if (pageBytes_ >= 4 * kLargePage)
            pageSize_ = kLargePage;
    }
    void* block = next_;
    next_ += bytes;
    left_ -= bytes;
    return block;
}

void RecordPages::Release(void* Block, uint16_t Units, bool Heap) {
    if (Block == nullptr) return;
    if (Heap) {
        ::operator delete(Block);
        return;
    }
    void*& head = free_[Units];
    std::memcpy(Block, &head, sizeof(void*));
    head = Block;
}

void RecordPages::Reset() {
    for (void* page : pages_) ::operator delete(page);
    pages_.clear();
    std::fill(free_.begin(), free_.end(), nullptr);
    next_ = nullptr;
    left_ = 0;
    pageSize_ = 4096;
    pageBytes_ = 0;
}

// A sort or an index of a large table takes tens of megabytes of scratch
// lists at a time. The allocator's default hands blocks that large to the
// kernel and back, so every sort took them anew from the kernel, which
// zeroes each page first: a cost by the megabyte that a table of a million
// rows paid at every sort, not the sort's own. Freed blocks stay in the
// heap for the next sort instead, up to a bound.
void KeepLargeFreedBlocks() {
    static std::once_flag once;
    std::call_once(once, [] {
        constexpr int kKept = 256 << 20;
        mallopt(M_MMAP_THRESHOLD, kKept);
        mallopt(M_TRIM_THRESHOLD, kKept);
    });
}

}  // namespace memtable

using namespace memtable;

TmtCommon::TmtCommon(TmtCustomMemTable* Owner)
    : packedOfs_(MT_MAX_FIELDS + 1, -1),
      textIndex_(MT_MAX_FIELDS + 1, -1),
      owner_(Owner),
      fieldOfs_(MT_MAX_FIELDS + 1, -1),
      fieldFlags_(MT_MAX_FIELDS + 1, 0) {
    KeepLargeFreedBlocks();
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
    if (standalone_) return;
    // Only this thread ever stores its own id here, so reading it back is
    // enough to know it holds the lock.
    const std::thread::id me = std::this_thread::get_id();
    if (lockOwner_.load(std::memory_order_relaxed) == me) {
        ++lockDepth_;
        return;
    }
    lock_.Enter();
    lockOwner_.store(me, std::memory_order_relaxed);
    lockDepth_ = 1;
}

void TmtCommon::Unlock() {
    if (standalone_ || lockDepth_ <= 0) return;
    if (--lockDepth_ > 0) return;
    lockOwner_.store(std::thread::id(), std::memory_order_relaxed);
    lock_.Leave();
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
    auto* r = static_cast<PmtRecord>(::operator new(size));
    r->Flag = 0;
    r->BlockUnits = 0;
    InitRecord(r);
    return r;
}

PmtRecord TmtCommon::AllocPacked(std::size_t DataBytes) {
    uint16_t units = 0;
    bool heap = false;
    auto* r = static_cast<PmtRecord>(pages_.Allocate(kRecordHeaderSize + DataBytes, units, heap));
    r->PrevRecordVersion = nullptr;
    r->RecordNo = -1;
    r->RecordID = -1;
    r->UniqueRecordID = -1;
    r->TransactionLevel = -1;
    r->UpdateStatus = 0;
    r->Flag = static_cast<uint8_t>(kRecPacked | (heap ? kRecHeap : 0));
    r->BlockUnits = units;
    return r;
}

void TmtCommon::ReleaseBlock(PmtRecord Record) {
    if (IsPacked(Record))
        pages_.Release(Record, Record->BlockUnits, (Record->Flag & kRecHeap) != 0);
    else
        ::operator delete(Record);
}

std::size_t TmtCommon::Capacity(PmtRecord Record) const {
    return Record->BlockUnits == 0 ? 0 : static_cast<std::size_t>(Record->BlockUnits) * 8 - kRecordHeaderSize;
}

void TmtCommon::InitRecord(PmtRecord Record) {
    Record->RecordNo = -1;
    Record->RecordID = -1;
    Record->UniqueRecordID = -1;
    Record->PrevRecordVersion = nullptr;
    Record->TransactionLevel = -1;
    Record->UpdateStatus = 0;
    // The layout of a block is for its life.
    Record->Flag &= static_cast<uint8_t>(kRecPacked | kRecHeap);
    if (IsPacked(Record)) {
        std::size_t n = std::min(Capacity(Record), static_cast<std::size_t>(packedStartTexts_));
        std::memset(Record->Data(), 0, n);
        return;
    }
    if (dataSize_ > 0) std::memset(Record->Data(), 0, static_cast<std::size_t>(dataSize_));
}

void TmtCommon::FreeRecord(PmtRecord Record, bool FreeIndirect, bool FreeVersions) {
    // Walk the version chain iteratively: a long chain must not exhaust the stack.
    while (Record != nullptr) {
        if (FreeIndirect) ClearIndirect(Record);
        PmtRecord prev = nullptr;
        if ((Record->Flag & kRecOwned) != 0 && FreeVersions) prev = Record->PrevRecordVersion;
        Record->PrevRecordVersion = nullptr;
        ReleaseBlock(Record);
        Record = prev;
    }
}

void TmtCommon::ClearIndirect(PmtRecord Record) {
    if (Record == nullptr || indirectCount_ == 0) return;
    for (int i = 0; i < indirectCount_; ++i) {
        uint8_t* slot = IndirectSlot(Record, i);
        uint8_t* block = GetBlock(slot);
        if (block != nullptr) {
            FreeBlock(block);
            std::memset(slot, 0, kIndirectSlotSize);
        }
    }
}

void TmtCommon::CopyHeader(PmtRecord Source, PmtRecord Dest) {
    Dest->RecordNo = Source->RecordNo;
    Dest->RecordID = Source->RecordID;
    Dest->UniqueRecordID = Source->UniqueRecordID;
    Dest->UpdateStatus = Source->UpdateStatus;
    Dest->PrevRecordVersion = Source->PrevRecordVersion;
    Dest->TransactionLevel = Source->TransactionLevel;
}

std::size_t TmtCommon::PackedTextBytes(PmtRecord Buffer, uint32_t* Lengths) const {
    std::size_t n = 0;
    const uint8_t* data = Buffer->Data();
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        const TextField& t = texts_[i];
        const uint8_t* slot = data + t.bufferOfs;
        uint32_t length = 0;
        if (slot[0] != 0) {
            length = static_cast<uint32_t>(strnlen(reinterpret_cast<const char*>(slot + 1), static_cast<std::size_t>(t.maxBytes)));
            n += length + 1;
        }
        if (Lengths != nullptr && i < kKnownLengths) Lengths[i] = length;
    }
    return n;
}

std::size_t TmtCommon::PackedDataBytes(PmtRecord Record) const {
    if (texts_.empty()) return static_cast<std::size_t>(packedStartTexts_);
    return ReadValue<uint32_t>(Record->Data() + texts_.back().packedOfs + 1);
}

void TmtCommon::PackValues(PmtRecord Source, PmtRecord Dest, const uint32_t* Lengths) const {
    uint8_t* d = Dest->Data();
    if (IsPacked(Source)) {
        // Same layout: the values are one run of bytes, but for the indirect
        // slots, whose pointers stay the destination's.
        const uint8_t* s = Source->Data();
        std::vector<uint8_t*> blocks;
        if (indirectCount_ > 0) {
            blocks.resize(static_cast<std::size_t>(indirectCount_));
            for (int i = 0; i < indirectCount_; ++i) blocks[static_cast<std::size_t>(i)] = GetBlock(IndirectSlot(Dest, i));
        }
        std::memcpy(d, s, PackedDataBytes(Source));
        for (int i = 0; i < indirectCount_; ++i) SetBlock(IndirectSlot(Dest, i), blocks[static_cast<std::size_t>(i)]);
        return;
    }
    const uint8_t* s = Source->Data();
    for (const CopyRun& run : runs_)
        CopyBytes(d + run.packedOfs, s + run.bufferOfs, static_cast<std::size_t>(run.bytes));
    if (calcFieldsSize_ > 0)
        std::memcpy(d + packedStartCalculated_, s + startCalculated_, static_cast<std::size_t>(calcFieldsSize_));
    for (int i = 0; i < indirectCount_; ++i) IndirectSlot(Dest, i)[0] = IndirectSlot(Source, i)[0];
    uint32_t end = static_cast<uint32_t>(packedStartTexts_);
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        const TextField& t = texts_[i];
        const uint8_t* slot = s + t.bufferOfs;
        uint8_t* out = d + t.packedOfs;
        out[0] = slot[0];
        if (slot[0] != 0) {
            const std::size_t n = Lengths != nullptr && i < kKnownLengths
                                      ? Lengths[i]
                                      : strnlen(reinterpret_cast<const char*>(slot + 1), static_cast<std::size_t>(t.maxBytes));
            CopyBytes(d + end, slot + 1, n);
            d[end + n] = 0;
            end += static_cast<uint32_t>(n + 1);
        }
        WriteValue<uint32_t>(out + 1, end);
    }
}

void TmtCommon::TransferRecord(PmtRecord Source, PmtRecord Dest) {
    CopyHeader(Source, Dest);
    uint8_t* d = Dest->Data();
    const uint8_t* s = Source->Data();
    if (!IsPacked(Source)) {
        if (dataRecordSize_ > 0) std::memcpy(d, s, static_cast<std::size_t>(dataRecordSize_));
        for (int i = 0; i < indirectCount_; ++i) IndirectSlot(Dest, i)[0] = IndirectSlot(Source, i)[0];
        return;
    }
    for (const CopyRun& run : runs_)
        CopyBytes(d + run.bufferOfs, s + run.packedOfs, static_cast<std::size_t>(run.bytes));
    if (calcFieldsSize_ > 0)
        std::memcpy(d + startCalculated_, s + packedStartCalculated_, static_cast<std::size_t>(calcFieldsSize_));
    if (bookmarkArraySize_ == kBookmarkSlotSize) {
        const uint64_t zero8 = 0;
        const uint32_t zero4 = 0;
        std::memcpy(d + startBookmarks_, &zero8, 8);
        std::memcpy(d + startBookmarks_ + 8, &zero4, 4);
    } else if (bookmarkArraySize_ > 0) {
        std::memset(d + startBookmarks_, 0, static_cast<std::size_t>(bookmarkArraySize_));
    }
    for (int i = 0; i < indirectCount_; ++i) IndirectSlot(Dest, i)[0] = IndirectSlot(Source, i)[0];
    uint32_t start = static_cast<uint32_t>(packedStartTexts_);
    for (const TextField& t : texts_) {
        const uint8_t* slot = s + t.packedOfs;
        const uint32_t end = ReadValue<uint32_t>(slot + 1);
        uint8_t* out = d + t.bufferOfs;
        out[0] = slot[0];
        if (slot[0] != 0 && end > start) {
            CopyBytes(out + 1, s + start, end - start);  // the bytes and their terminator
        } else {
            out[1] = 0;
        }
        start = end;
    }
}

PmtRecord TmtCommon::MoveRecord(PmtRecord Source, PmtRecord Dest) {
    PmtRecord target = Dest;
    uint32_t lengths[kKnownLengths];
    bool measured = false;
    if (IsPacked(Dest)) {
        measured = !IsPacked(Source);
        const std::size_t need = IsPacked(Source) ? PackedDataBytes(Source)
                                                  : static_cast<std::size_t>(packedStartTexts_) + PackedTextBytes(Source, lengths);
        if (need > Capacity(Dest)) {
            // A longer value than the block holds: the record moves to a new
            // block, taking the old one's indirect blocks, flags and slot.
            target = AllocPacked(need);
            target->Flag |= static_cast<uint8_t>(Dest->Flag & kRecOwned);
            if (indirectCount_ > 0)
                std::memcpy(target->Data() + packedStartIndirect_, Dest->Data() + packedStartIndirect_,
                            static_cast<std::size_t>(indirectSize_));
            if (Dest->RecordID >= 0 && Dest->RecordID < RecordCount() &&
                records_[static_cast<std::size_t>(Dest->RecordID)] == Dest)
                records_[static_cast<std::size_t>(Dest->RecordID)] = target;
            ReleaseBlock(Dest);
        }
    }
    for (int i = 0; i < indirectCount_; ++i) {
        uint8_t* s = IndirectSlot(Source, i);
        uint8_t* d = IndirectSlot(target, i);
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
    if (IsPacked(target)) {
        CopyHeader(Source, target);
        PackValues(Source, target, measured ? lengths : nullptr);
    } else {
        TransferRecord(Source, target);
    }
    return target;
}

PmtRecord TmtCommon::CopyRecord(PmtRecord Source, bool CopyIndirect) {
    uint32_t lengths[kKnownLengths];
    const std::size_t need = IsPacked(Source) ? PackedDataBytes(Source)
                                              : static_cast<std::size_t>(packedStartTexts_) + PackedTextBytes(Source, lengths);
    PmtRecord r = AllocPacked(need);
    if (indirectCount_ > 0) std::memset(r->Data() + packedStartIndirect_, 0, static_cast<std::size_t>(indirectSize_));
    CopyHeader(Source, r);
    PackValues(Source, r, IsPacked(Source) ? nullptr : lengths);
    PmtRecord store = StoreRecordOf(Source);
    for (int i = 0; i < indirectCount_; ++i) {
        const uint8_t* from = IndirectSlot(Source, i);
        uint8_t* to = IndirectSlot(r, i);
        uint8_t* block = GetBlock(from);
        // A buffer without a block of its own holds the store's value.
        if (block == nullptr && from[0] != 0 && store != nullptr && store != Source)
            block = GetBlock(IndirectSlot(store, i));
        if (CopyIndirect && block != nullptr && from[0] != 0) {
            SetBlock(to, NewBlock(BlockBytes(block), BlockLength(block)));
            to[0] = 2;
        } else {
            SetBlock(to, nullptr);
            to[0] = CopyIndirect ? 0 : from[0];
        }
    }
    return r;
}

PmtRecord TmtCommon::WritePackedText(PmtRecord Record, int FieldNo, const char* Text, std::size_t Length) {
    // Rare: a handler writing a data field of a stored record (filter or
    // calculation state). The record is rebuilt with the one text changed.
    const int ti = textIndex_[static_cast<std::size_t>(FieldNo)];
    std::vector<std::pair<bool, std::string>> values(texts_.size());
    uint32_t start = static_cast<uint32_t>(packedStartTexts_);
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        const uint8_t* slot = Record->Data() + texts_[i].packedOfs;
        const uint32_t end = ReadValue<uint32_t>(slot + 1);
        values[i].first = slot[0] != 0;
        if (slot[0] != 0 && end > start) values[i].second.assign(reinterpret_cast<const char*>(Record->Data() + start), end - start - 1);
        start = end;
    }
    values[static_cast<std::size_t>(ti)].first = Text != nullptr;
    values[static_cast<std::size_t>(ti)].second = Text != nullptr ? std::string(Text, Length) : std::string();
    std::size_t need = static_cast<std::size_t>(packedStartTexts_);
    for (const auto& v : values) need += v.first ? v.second.size() + 1 : 0;
    PmtRecord target = Record;
    if (need > Capacity(Record)) {
        target = AllocPacked(need);
        target->Flag |= static_cast<uint8_t>(Record->Flag & kRecOwned);
        CopyHeader(Record, target);
        target->RecordNo = Record->RecordNo;
        std::memcpy(target->Data(), Record->Data(), static_cast<std::size_t>(packedStartTexts_));
        if (Record->RecordID >= 0 && Record->RecordID < RecordCount() &&
            records_[static_cast<std::size_t>(Record->RecordID)] == Record)
            records_[static_cast<std::size_t>(Record->RecordID)] = target;
        ReleaseBlock(Record);
    }
    uint8_t* d = target->Data();
    uint32_t end = static_cast<uint32_t>(packedStartTexts_);
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        uint8_t* slot = d + texts_[i].packedOfs;
        slot[0] = values[i].first ? 2 : 0;
        if (values[i].first) {
            std::memcpy(d + end, values[i].second.data(), values[i].second.size());
            d[end + values[i].second.size()] = 0;
            end += static_cast<uint32_t>(values[i].second.size() + 1);
        }
        WriteValue<uint32_t>(slot + 1, end);
    }
    return target;
}

void TmtCommon::AppendRecord(PmtRecord Record) {
    StoreLock lock(this);
    ++changes_;
    if (deletedSlots_.empty()) {
        Record->RecordID = recordIDCounter_++;
        Record->UniqueRecordID = uniqueRecordIDCounter_++;
        Record->Flag |= kRecOwned;
        records_.push_back(Record);
        if (uniqueRecordIDCounter_ >= 2147483600) throw EMemTableFatalError(mtres::BookmarkCounterOutOfRange);
    } else {
        Record->RecordID = deletedSlots_.back();
        deletedSlots_.pop_back();
        Record->UniqueRecordID = uniqueRecordIDCounter_++;
        records_[static_cast<std::size_t>(Record->RecordID)] = Record;
        Record->Flag |= kRecOwned;
    }
    if (enableVersioning_) Record->UpdateStatus = usInserted;
}

void TmtCommon::ReserveRecords(int Count) {
    if (Count > 0) records_.reserve(records_.size() + static_cast<std::size_t>(Count));
}

void TmtCommon::DeleteRecord(PmtRecord Record) {
    StoreLock lock(this);
    if (Record == nullptr) return;
    int id = Record->RecordID;
    if (id < 0 || id >= RecordCount() || records_[static_cast<std::size_t>(id)] != Record) return;
    ++changes_;
    deletedSlots_.push_back(id);
    records_[static_cast<std::size_t>(id)] = nullptr;
}

void TmtCommon::RemoveRecord(PmtRecord Record) {
    DeleteRecord(Record);
    FreeRecord(Record, true, true);
}

void TmtCommon::Clear() {
    StoreLock lock(this);
    ++changes_;
    for (PmtRecord r : records_) FreeRecord(r, true, true);
    records_.clear();
    records_.shrink_to_fit();
    deletedSlots_.clear();
    recordIDCounter_ = 0;
    uniqueRecordIDCounter_ = 0;
    pages_.Reset();
    NewTableID();
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
    if (Record == nullptr) return nullptr;
    if (Field->FieldNo() <= 0) return CalcArea(Record) + Field->Offset();
    return Slot(Record, Field->FieldNo());
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
    if (!anyChanged_) return;
    // Field numbers run from 1 to the field count; the rest never change.
    const std::size_t n = std::min(fieldFlags_.size(), static_cast<std::size_t>(std::max(fieldCount_, 0)) + 1);
    for (std::size_t i = 0; i < n; ++i) fieldFlags_[i] &= static_cast<uint8_t>(~kFlagChanged);
    anyChanged_ = false;
}

void TmtCommon::CheckSupportedTypes(TFieldDefs* Defs) {
    for (int i = 0; i < Defs->Count(); ++i) {
        TFieldDef* def = Defs->Items(i);
        if (!IsSupportedFieldType(def->DataType()))
            throw EMemTableError(Format("Fielddef " + def->Name() + " (" + def->DisplayName() + ")" +
                                            mtres::FieldTypeNotSupported,
                                        static_cast<int>(def->DataType())));
        CheckFieldSize(def->Name(), def->DataType(), def->Size());
    }
}

void TmtCommon::CheckFieldSize(const std::string& Name, TFieldType Type, int Size) {
    switch (Type) {
        case ftString: case ftFixedChar: case ftWideString: case ftFixedWideChar: case ftBytes: case ftVarBytes:
            break;
        default:
            return;
    }
    if (Size >= 0 && Size <= MT_MAX_STRING_SIZE) return;
    throw EMemTableError(Format(mtres::FieldSizeTooLarge, Name, Size, MT_MAX_STRING_SIZE));
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

void TmtCommon::LayoutPacked() {
    // Fixed fields in buffer order, a packed text taking its short slot;
    // then the calculated fields, the indirect fields and the texts.
    std::fill(packedOfs_.begin(), packedOfs_.end(), -1);
    std::fill(textIndex_.begin(), textIndex_.end(), static_cast<int16_t>(-1));
    runs_.clear();
    texts_.clear();
    std::vector<std::pair<int, int>> fixed;  // (buffer offset, field number)
    TFieldDefs* defs = owner_->FieldDefs();
    for (int i = 0; i < defs->Count(); ++i) {
        int no = defs->Items(i)->FieldNo();
        if (!ValidFieldNo(no) || (fieldFlags_[static_cast<std::size_t>(no)] & kFlagIndirect) != 0) continue;
        fixed.emplace_back(fieldOfs_[static_cast<std::size_t>(no)], no);
    }
    std::sort(fixed.begin(), fixed.end());
    int ofs = 0;
    for (std::size_t i = 0; i < fixed.size(); ++i) {
        const int bufOfs = fixed[i].first, no = fixed[i].second;
        TFieldDef* def = nullptr;
        for (int d = 0; d < defs->Count() && def == nullptr; ++d)
            if (defs->Items(d)->FieldNo() == no) def = defs->Items(d);
        const int size = GetFieldSize(def->DataType(), def->Size()) + 1;
        packedOfs_[static_cast<std::size_t>(no)] = ofs;
        if (IsPackableText(def->DataType()) && texts_.size() < 32000) {
            textIndex_[static_cast<std::size_t>(no)] = static_cast<int16_t>(texts_.size());
            texts_.push_back(TextField{no, bufOfs, ofs, size - 2});
            ofs += kPackedTextSlotSize;
            continue;
        }
        if (!runs_.empty() && runs_.back().bufferOfs + runs_.back().bytes == bufOfs &&
            runs_.back().packedOfs + runs_.back().bytes == ofs)
            runs_.back().bytes += size;
        else
            runs_.push_back(CopyRun{bufOfs, ofs, size});
        ofs += size;
    }
    packedStartCalculated_ = ofs;
    packedStartIndirect_ = packedStartCalculated_ + calcFieldsSize_;
    for (int i = 0; i < defs->Count(); ++i) {
        auto no = static_cast<std::size_t>(defs->Items(i)->FieldNo());
        if (ValidFieldNo(static_cast<int>(no)) && (fieldFlags_[no] & kFlagIndirect) != 0)
            packedOfs_[no] = fieldOfs_[no] - startIndirect_ + packedStartIndirect_;
    }
    packedStartTexts_ = packedStartIndirect_ + indirectSize_;
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
    LayoutPacked();
    isDataModified_ = false;
    anyChanged_ = true;
    ClearModifiedFlags();
}

const uint8_t* TmtCommon::FieldValue(PmtRecord Record, int FieldNo, TField* Field, int32_t& Length) const {
    Length = 0;
    if (Record == nullptr) return nullptr;
    if (FieldNo <= 0) {
        const uint8_t* p = CalcArea(Record) + Field->Offset();
        if (p[0] == 0) return nullptr;
        Length = Field->DataSize();
        return p + 1;
    }
    const uint8_t* slot = Slot(Record, FieldNo);
    if (slot == nullptr) return nullptr;
    const uint8_t flags = fieldFlags_[static_cast<std::size_t>(FieldNo)];
    if ((flags & kFlagIndirect) == 0) {
        if (slot[0] == 0) return nullptr;
        const int ti = textIndex_[static_cast<std::size_t>(FieldNo)];
        if (ti >= 0 && IsPacked(Record)) {
            const uint32_t end = ReadValue<uint32_t>(slot + 1);
            const uint32_t start = ti == 0 ? static_cast<uint32_t>(packedStartTexts_)
                                           : ReadValue<uint32_t>(Record->Data() + texts_[static_cast<std::size_t>(ti) - 1].packedOfs + 1);
            Length = static_cast<int32_t>(end - start);
            return Record->Data() + start;
        }
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
        const uint8_t* storeSlot = Slot(store, FieldNo);
        block = GetBlock(storeSlot);
        if (block == nullptr || storeSlot[0] == 0) return nullptr;
    }
    Length = BlockLength(block);
    return BlockBytes(block);
}

const uint8_t* TmtCommon::FieldValueForRead(PmtRecord Record, int FieldNo, TField* Field, int32_t& Length,
                                            std::string& Scratch) const {
    const uint8_t* p = FieldValue(Record, FieldNo, Field, Length);
    // Blob values are never given to the field handlers: they pass through
    // the blob stream handlers instead.
    if (p == nullptr || FieldNo <= 0 || (FieldFlags(FieldNo) & kFlagCompressed) == 0 || owner_ == nullptr ||
        !owner_->OnDecompressField || IsBlobFieldType(Field->DataType()))
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
    // Leave the lock in the state the guard expects to release: a store
    // going standalone gives its lock up now (the guard will not), one
    // coming back takes it for the guard to give up.
    if (Value) {
        lockDepth_ = 0;
        lockOwner_.store(std::thread::id(), std::memory_order_relaxed);
        lock_.Leave();
        standalone_ = true;
    } else {
        standalone_ = false;
        lock_.Enter();
        lockOwner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        lockDepth_ = 1;
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
    // A flag alone: whoever changes records holds the lock already.
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
    bool others = false;
    for (TmtCustomMemTable* t : attachedTables_) others = others || (t != nullptr && t != Except);
    if (!others) return;
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
    ++changes_;
    for (TmtCustomMemTable* t : attachedTables_) {
        if (t == nullptr || !t->Active()) continue;
        t->Indexes()->ReflectToIndexes(Change, OldRecord, NewRecord, t == Table ? RecordPos : -1, DontVersion);
    }
}

// ---------------------------------------------------------------------------
// Transactions

void TmtCommon::RollbackTransaction() {
    StoreLock lock(this);
    ++changes_;
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
