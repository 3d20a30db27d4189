#pragma once
// The indexes of a memory table (their field lists and the comparison they
// order by: memtable/mtCompare.h).
//
// An index is a contiguous list of entries, never a chain of record
// pointers. The row-order index holds record ids in row order. Any other
// index holds, per record, its id and its key: the bytes of the index's
// fields turned into one string whose byte order (memcmp) is the index's
// order and whose equality is the index's equality (keys are made once, when
// a record enters the index, from the pt-BR sort keys of platform/rtl for
// texts). Searches and sorts compare keys, not records; the first 8 key
// bytes sit in the entry itself, so most comparisons never leave the list.
// An index whose order cannot be written as such keys (a field compared
// through OnCompareFields, a calculated field, the partial or ignore-null
// options) compares the records themselves, as CompareRecords describes.
#include <algorithm>
#include <array>
#include <cstdint>
#include <type_traits>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "memtable/mtCommon.h"
#include "memtable/mtCompare.h"
#include "memtable/mtRowRuns.h"

class TmtCustomMemTable;
class TmtIndex;

using TmtUpdateStatusSet = TSet<TUpdateStatus>;

namespace memtable {

// The bytes of a text with the case of its letters folded as the collation
// folds it; false for a text holding a character this fold cannot take
// (printable ASCII and the Latin-1 letters only).
bool FoldCase(std::string_view Text, std::string& Out);
// False only where Text surely does not start with Key as a partial key
// compares them (byte for byte; with CaseInsensitive but for case, Folded
// being Key's FoldCase or empty when it has none): a test that costs no
// collation.
bool MayStartWith(std::string_view Text, std::string_view Key, std::string_view Folded, bool CaseInsensitive);

// A sequence kept in blocks of up to kFull items, so that an insert or a
// delete in the middle moves the items of one block, not every item after
// it, and a position is found through the blocks' starts. Items added at the
// end fill blocks half, leaving room for inserts before a block splits.
// A list of small non-negative integers (record ids) also knows the block
// of each value, so that Find takes one block's scan, not the whole list's.
template <typename T>
class BlockList {
    static constexpr bool kTracked = std::is_same_v<T, int32_t>;

public:
    // What a change moves is a block's bytes, not its items: items of
    // several words (an index's entries) come half as many to a block as
    // record ids do, so that a delete in a large index moves 12 KB where the
    // block is no longer in the cache, not 24.
    static constexpr std::size_t kFull = sizeof(T) > 8 ? 1024 : 2048;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() {
        blocks_.clear();
        starts_.clear();
        size_ = 0;
        last_ = 0;
        serialOfBlock_.clear();
        blockOfSerial_.clear();
        serialOfValue_.clear();
        nextSerial_ = 0;
        uniform_ = true;
        stamps_.clear();
    }
    T& operator[](std::size_t i) {
        const std::size_t b = BlockOf(i);
        return blocks_[b][i - starts_[b]];
    }
    const T& operator[](std::size_t i) const {
        const std::size_t b = BlockOf(i);
        return blocks_[b][i - starts_[b]];
    }
    T& front() { return blocks_.front().front(); }
    const T& front() const { return blocks_.front().front(); }
    T& back() { return blocks_.back().back(); }
    const T& back() const { return blocks_.back().back(); }
    void push_back(const T& v) {
        if (blocks_.empty() || blocks_.back().size() >= kFull / 2) {
            starts_.push_back(static_cast<uint32_t>(size_));
            blocks_.emplace_back();
            blocks_.back().reserve(kFull / 2);
            NewSerial(blocks_.size() - 1);
            stamps_.push_back(0);
        }
        blocks_.back().push_back(v);
        Touch(blocks_.size() - 1);
        ++size_;
        Note(v, blocks_.size() - 1);
    }
    void insert(std::size_t pos, const T& v) {
        if (pos >= size_) {
            if (blocks_.empty()) {
                push_back(v);
                return;
            }
            // At the end: into the last block, which splits when full.
            pos = size_;
        }
        const std::size_t b = pos == size_ ? blocks_.size() - 1 : BlockOf(pos);
        uniform_ = false;
        std::vector<T>& block = blocks_[b];
        block.insert(block.begin() + static_cast<std::ptrdiff_t>(pos - starts_[b]), v);
        ++size_;
        Note(v, b);
        Touch(b);
        for (std::size_t k = b + 1; k < starts_.size(); ++k) ++starts_[k];
        if (block.size() >= kFull) Split(b);
    }
    void erase(std::size_t pos) {
        const std::size_t b = BlockOf(pos);
        if (pos + 1 != size_) uniform_ = false;
        std::vector<T>& block = blocks_[b];
        block.erase(block.begin() + static_cast<std::ptrdiff_t>(pos - starts_[b]));
        --size_;
        Touch(b);
        for (std::size_t k = b + 1; k < starts_.size(); ++k) --starts_[k];
        if (block.empty()) {
            blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
            starts_.erase(starts_.begin() + static_cast<std::ptrdiff_t>(b));
            stamps_.erase(stamps_.begin() + static_cast<std::ptrdiff_t>(b));
            last_ = 0;
            if constexpr (kTracked) {
                serialOfBlock_.erase(serialOfBlock_.begin() + static_cast<std::ptrdiff_t>(b));
                Renumber();
            }
        }
    }
    // The position of a value (-1: not held); a list of ids only.
    long Find(T v) const {
        const long b = BlockHolding(v);
        return b < 0 ? -1 : FindInBlock(static_cast<std::size_t>(b), v);
    }
    // The block a value was last placed in (-1: none): a value erased since
    // may still name a block, so a caller confirms it there (FindInBlock).
    long BlockHolding(T v) const {
        static_assert(kTracked);
        if (v < 0 || static_cast<std::size_t>(v) >= serialOfValue_.size()) return -1;
        const uint32_t serial = serialOfValue_[static_cast<std::size_t>(v)];
        if (serial >= blockOfSerial_.size()) return -1;
        const uint32_t b = blockOfSerial_[serial];
        return b < blocks_.size() ? static_cast<long>(b) : -1;
    }
    // The position of a value inside block B (-1: not there).
    long FindInBlock(std::size_t B, T v) const {
        const T* d = blocks_[B].data();
        const std::size_t n = blocks_[B].size();
        std::size_t k = 0;
        // Sixteen at a time without a branch each, which the compiler turns
        // into a few vector compares.
        for (; k + 16 <= n; k += 16) {
            bool any = false;
            for (std::size_t j = 0; j < 16; ++j) any |= d[k + j] == v;
            if (any) break;
        }
        for (; k < n; ++k)
            if (d[k] == v) return static_cast<long>(starts_[B] + k);
        return -1;
    }
    // FindInBlock for a block whose values mostly ascend with few gaps (the
    // record ids of a row order): the place the value's distance from the
    // block's first names, else a bisection, else the scan; Read adds the
    // values the scan looks at (the value found at once is its caller's
    // one step, and a bisection's steps are not counted, as nowhere in the
    // walk counter).
    // Without Scan, -2 where neither finds it (not there, or out of place).
    long FindInRisingBlock(std::size_t B, T v, uint64_t& Read, bool Scan = true) const {
        const T* d = blocks_[B].data();
        const std::size_t n = blocks_[B].size();
        if (n == 0) return -1;
        if (v >= d[0]) {
            const auto g = static_cast<std::size_t>(v - d[0]);
            if (g < n && d[g] == v) return static_cast<long>(starts_[B] + g);
        }
        std::size_t lo = 0, hi = n;
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (d[mid] < v)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < n && d[lo] == v) return static_cast<long>(starts_[B] + lo);
        if (!Scan) return -2;
        const long p = FindInBlock(B, v);
        Read += p >= 0 ? static_cast<std::size_t>(p) - starts_[B] + 1 : n;
        return p;
    }
    // The items [From, To) into a vector, and back.
    void CopyOut(std::size_t From, std::size_t To, std::vector<T>& Out) const {
        Out.clear();
        Out.reserve(To - From);
        for (std::size_t i = From; i < To; ++i) Out.push_back((*this)[i]);
    }
    void CopyIn(std::size_t From, const std::vector<T>& In) {
        for (std::size_t i = 0; i < In.size(); ++i) (*this)[From + i] = In[i];
    }
    // The blocks, for searches that first choose a block by its first item.
    std::size_t Blocks() const { return blocks_.size(); }
    const T* BlockData(std::size_t b) const { return blocks_[b].data(); }
    T* BlockData(std::size_t b) { return blocks_[b].data(); }
    std::size_t BlockSize(std::size_t b) const { return blocks_[b].size(); }
    std::size_t BlockStart(std::size_t b) const { return starts_[b]; }
    std::size_t BlockAt(std::size_t i) const { return BlockOf(i); }
    // Each block's stamp is new at every insert or delete in it (and at a
    // split), never given twice while Epoch stays: an item's block and
    // offset, taken with the block's stamp, are its place for as long as
    // the block keeps that stamp. Writes through operator[], CopyIn and
    // ForEach are not stamped.
    uint32_t BlockStamp(std::size_t b) const { return stamps_[b]; }
    // The latest stamp given: unchanged, no block has changed.
    uint32_t LastStamp() const { return lastStamp_; }
    uint64_t Epoch() const { return epoch_; }

    template <typename F>
    void ForEach(F f) {
        for (std::vector<T>& block : blocks_)
            for (T& v : block) f(v);
    }

private:
    std::size_t BlockOf(std::size_t i) const {
        if (uniform_) return std::min(i / (kFull / 2), blocks_.size() - 1);
        // Walks go item by item: the block of the last look-up, or the next.
        if (last_ < blocks_.size()) {
            if (i >= starts_[last_] && i - starts_[last_] < blocks_[last_].size()) return last_;
            const std::size_t next = last_ + 1;
            if (next < blocks_.size() && i >= starts_[next] && i - starts_[next] < blocks_[next].size())
                return last_ = next;
        }
        // The last block starting at or before i, by a bisection whose
        // steps are conditional moves: jumps taken one way or the other at
        // random would each cost a misprediction.
        const uint32_t* base = starts_.data();
        for (std::size_t len = starts_.size(); len > 1;) {
            const std::size_t half = len / 2;
            base = base[half] <= i ? base + half : base;
            len -= half;
        }
        last_ = static_cast<std::size_t>(base - starts_.data());
        return last_;
    }
    void Split(std::size_t b) {
        std::vector<T>& block = blocks_[b];
        const std::size_t half = block.size() / 2;
        std::vector<T> second(block.begin() + static_cast<std::ptrdiff_t>(half), block.end());
        block.resize(half);
        const std::size_t start = starts_[b] + half;
        blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b) + 1, std::move(second));
        starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(b) + 1, static_cast<uint32_t>(start));
        stamps_.insert(stamps_.begin() + static_cast<std::ptrdiff_t>(b) + 1, 0);
        Touch(b);
        Touch(b + 1);
        if constexpr (kTracked) {
            NewSerial(b + 1);
            for (const T& v : blocks_[b + 1]) Note(v, b + 1);
        }
    }
    void Touch(std::size_t b) {
        if (lastStamp_ == UINT32_MAX) {
            // Stamps given again from the start: a new epoch, in which the
            // places taken before mean nothing.
            ++epoch_;
            lastStamp_ = 0;
            for (uint32_t& s : stamps_) s = ++lastStamp_;
        }
        stamps_[b] = ++lastStamp_;
    }
    void NewSerial(std::size_t b) {
        if constexpr (kTracked) {
            serialOfBlock_.insert(serialOfBlock_.begin() + static_cast<std::ptrdiff_t>(b), nextSerial_++);
            if (b + 1 == serialOfBlock_.size()) {
                blockOfSerial_.resize(nextSerial_, UINT32_MAX);
                blockOfSerial_[nextSerial_ - 1] = static_cast<uint32_t>(b);
            } else {
                Renumber();
            }
        }
    }
    void Renumber() {
        blockOfSerial_.assign(nextSerial_, UINT32_MAX);
        for (std::size_t k = 0; k < serialOfBlock_.size(); ++k)
            blockOfSerial_[serialOfBlock_[k]] = static_cast<uint32_t>(k);
    }
    void Note(const T& v, std::size_t b) {
        if constexpr (kTracked) {
            if (v < 0) return;
            const auto at = static_cast<std::size_t>(v);
            if (at >= serialOfValue_.size()) serialOfValue_.resize(std::max(at + 1, serialOfValue_.size() * 2), UINT32_MAX);
            serialOfValue_[at] = serialOfBlock_[b];
        }
    }

    std::vector<std::vector<T>> blocks_;
    // 32 bits: an insert or a delete moves the starts of every block after
    // it, which in a large list are thousands, twice as many to a vector
    // step as 64-bit starts.
    std::vector<uint32_t> starts_;
    // Every block but the last holds kFull / 2 items, as appends leave
    // them: a position's block is a division away.
    bool uniform_ = true;
    std::size_t size_ = 0;
    mutable std::size_t last_ = 0;
    // Ids only: a serial per block that stays while blocks come and go,
    // where each serial's block is now, and each value's block serial.
    std::vector<uint32_t> serialOfBlock_, blockOfSerial_, serialOfValue_;
    uint32_t nextSerial_ = 0;
    std::vector<uint32_t> stamps_;
    uint32_t lastStamp_ = 0;
    uint64_t epoch_ = 0;
};

}  // namespace memtable

using TmtFilterIndexEvent = std::function<void(TDataSet* DataSet, TmtIndex* Index, bool& Accept)>;

class TmtIndex : public TObject {
public:
    FAT_CLASS_NAME(TmtIndex)
    TmtIndex(const std::string& Name, TmtCustomMemTable* DataSet, const std::string& Fields,
             TmtMemTableCompareOptions Options, bool IsSortable, bool IsInternal);
    ~TmtIndex() override;
    static std::unique_ptr<TmtIndex> CreateFromIndexDef(TIndexDef* IndexDef, TmtCustomMemTable* DataSet);

    int CompareRecords(const TmtFieldList* FieldList, PmtRecord KeyRecord, PmtRecord ARecord, bool SortCompare,
                       bool Partial, bool* FullCompare = nullptr);
    // Returns the last comparison; Found and Index as the search found them.
    int Search(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool& Found, int& Index, bool RespectFilter,
               bool Partial);
    void FindRecord(PmtRecord Record, int& Index, bool Partial = false);
    void FindRecordByID(int RecordID, int& Index);
    // The first position holding one of these records (-1: none), in time
    // linear in their number and in the run of equal keys they start.
    // Stepped adds the positions it went through one by one.
    int FirstOf(const std::vector<int32_t>& RecordIDs, uint64_t& Stepped);
    // The row order's positions of these records (those it holds), in no
    // order, appended to Positions.
    // Stepped adds the ids it looked at.
    void RowPositionsOf(const std::vector<int32_t>& RecordIDs, std::vector<int32_t>& Positions, uint64_t& Stepped);
    void Sort(int L, int R);
    void Clear();
    void LoadIndex();
    void ReSort();
    void Rebuild();
    bool FilterRecord(PmtRecord Record);
    // Keeps the row order by record identity, for a reload after the store
    // replaced records (a rollback frees the referenced ones).
    void RememberOrder();
    // The row order at the start of each open transaction level, so that a
    // rollback puts restored records back in their places.
    void PushLevelOrder();
    void PopLevelOrder(bool Restore);
    // Row order only: the next reload may take the order of another table
    // of the store, as a table opening (holding no order of its own) does.
    void SetOrderFromOthers(bool Value) { orderFromOthers_ = Value; }

    // Incremental maintenance of one change (0 insert, 1 modify, 2 delete).
    void Reflect(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos, bool DontVersion);

    const std::string& Name() const { return name_; }
    int Count() const { return static_cast<int>(isRowOrder_ ? ids_.size() : entries_.size()); }
    // Record id and store record at a position (0-based).
    int32_t IdAt(int Position) const {
        if (isRowOrder_) return identity_ ? Position : ids_[static_cast<std::size_t>(Position)];
        return entries_[static_cast<std::size_t>(Position)].id;
    }
    PmtRecord RecordAt(int Position) const;
    // Starts bringing in the record at a position, in parallel with its
    // place in the store, which a read of the record needs first.
    void PrefetchRecordAt(int Position) const;
    // Starts bringing in the entry at a position, for a walk that reads
    // the index out of its order (a link's records placed in it).
    void PrefetchEntryAt(int Position) const {
        if (!isRowOrder_)
            __builtin_prefetch(&entries_[static_cast<std::size_t>(Position)]);
        else if (!identity_)
            __builtin_prefetch(&ids_[static_cast<std::size_t>(Position)]);
    }
    TmtCustomMemTable* DataSet() const { return dataSet_; }
    const std::string& IndexFields() const { return indexFields_; }
    TmtFieldList& IndexFieldList() { return fieldList_; }
    const TmtFieldList& IndexFieldList() const { return fieldList_; }
    TmtMemTableCompareOptions IndexOptions() const { return options_; }
    bool IsOrdered() const { return isOrdered_; }
    void SetIsOrdered(bool Value) { isOrdered_ = Value; }
    bool IsSortable() const { return isSortable_; }
    bool IsRowOrder() const { return isRowOrder_; }
    // Row order only: the ids are ascending (no insert in the middle, no
    // reused slot), so a record id is found by bisection.
    bool IdsAscending() const { return idsAscending_; }
    void SetIsRowOrder(bool Value) { isRowOrder_ = Value; }
    bool IsInternal() const { return isInternal_; }
    int Ordinal() const { return ordinal_; }
    void SetOrdinal(int Value) { ordinal_ = Value; }
    bool IsFiltered() const { return isFiltered_; }
    void SetIsFiltered(bool Value) { isFiltered_ = Value; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool Value) { enabled_ = Value; }
    TmtUpdateStatusSet UpdateStatusSet() const { return updateStatusSet_; }
    void SetUpdateStatusSet(TmtUpdateStatusSet Value) { updateStatusSet_ = Value; }
    // Parsed filter expression; evaluated by the filter-expression unit.
    void* FilterExpression() const { return filterExpression_; }
    void SetFilterExpression(void* Value) { filterExpression_ = Value; }

    // --- keys
    // Whether the entries carry keys that order and search may use now.
    bool HasKeys() const;
    // The same for a search that can do without them: the first searches
    // after a sort bisect by the records instead of writing every key, so
    // that a sort and a few locates cost a sort and a few bisections.
    bool KeysForSearch() const;
    // The key of Record over the first FieldCount fields of the index list.
    void BuildKey(PmtRecord Record, int FieldCount, std::string& Key) const;
    // The run of entries whose key starts with Key: [First, Last). With
    // FirstOnly, Last stops after the run's first entry.
    void KeyRun(const std::string& Key, int& First, int& Last, bool FirstOnly = false,
                std::size_t Block = SIZE_MAX) const;
    // Where the run of entries whose key starts with Key ends, From inside
    // it or just past it (the rest of a run cut short by FirstOnly).
    int KeyRunEnd(const std::string& Key, int From) const { return RunEnd(MakeProbe(Key), From); }
    // Whether entries of equal keys stand in ascending record id order (true
    // after a sort of an ascending index, until an insert joins such a run
    // out of that order): the first of a run is then its lowest id.
    bool RunsInIdOrder() const { return runsById_ && isOrdered_ && HasKeys(); }
    // Whether they stand in descending record id order (after a sort of an
    // index whose first field descends): the last of a run is its lowest id.
    bool RunsInIdOrderDown() const { return runsByIdDown_ && isOrdered_ && HasKeys(); }
    // Whether a sort may leave the keys to the first search or change that
    // needs them.
    void SetKeysOnDemand(bool Value) { keysOnDemand_ = Value; }
    // How many entries the searches have read to make their marks since
    // the index was made.
    uint64_t MarkWork() const { return marks_ != nullptr ? marks_->work : 0; }

    // What a partial key's run is searched for: its text's first letters.
    // Texts that differ from a key only in an accent or in case sort in
    // among those that start with it (pt-BR orders by the letters first),
    // so that the collation's run of "Á" holds every "Açucena" before the
    // first "Álvaro". Each run of kPrefixRun entries keeps the start
    // letters its texts have, so that the search goes past a run that
    // holds none of the key's without reading its entries.
    struct PrefixProbe {
        uint32_t hash = 0;  // of the key's first letters, folded
        bool usable = false;
        bool blind = false;
    };
    static constexpr int kPrefixRun = 128;
    PrefixProbe MakePrefixProbe(std::string_view Key, bool CaseInsensitive) const;
    // Position itself when its run may hold a text that starts with the
    // probe's key, else the start of the first run after it that may
    // (Last when none does before Last).
    int NextPossible(int Position, int Last, const PrefixProbe& Probe) const;
    // The first field's text at Position read from the entry's key, without
    // the record, where the key holds it (one text of a case-sensitive
    // collation): false otherwise.
    bool KeyText(int Position, std::string_view& Text) const;
    // Starts bringing in the entry a search of Key reads first, where the
    // copies of the blocks' first entries tell it without a wait (numbers):
    // the block they tell, for KeyRun while the entries take no change
    // (SIZE_MAX: none).
    std::size_t PrefetchSearch(const std::string& Key) const;
    // Starts bringing in the key bytes of the entry at Position.
    void PrefetchKeyAt(int Position) const {
        const uint8_t* k = Pool() + entries_[static_cast<std::size_t>(Position)].key;
        __builtin_prefetch(k);
        __builtin_prefetch(k + 64);
    }
    // Entries read to know the start letters of their runs since the index
    // was made.
    uint64_t PrefixWork() const { return prefixWork_; }
    // Counts every change to the entries' order.
    uint64_t OrderChanges() const { return orderChanges_; }
    // Where the entry at a position stands, for as long as its block takes
    // no insert or delete: the block's stamp, the block and the offset in it
    // (any index but the row order).
    struct Place {
        uint32_t stamp = 0;  // 0: none
        uint32_t at = 0;     // block << kOffsetBits | offset
    };
    static constexpr int kOffsetBits = 11;
    static_assert(memtable::BlockList<int32_t>::kFull <= (1u << kOffsetBits));
    Place PlaceOf(int Position) const {
        const std::size_t b = entries_.BlockAt(static_cast<std::size_t>(Position));
        if (b >= (std::size_t{1} << (32 - kOffsetBits))) return {};
        return {entries_.BlockStamp(b),
                static_cast<uint32_t>(b << kOffsetBits | (static_cast<std::size_t>(Position) - entries_.BlockStart(b)))};
    }
    // The position a place still names (-1: its block has changed since).
    int PositionOf(Place P) const {
        const std::size_t b = P.at >> kOffsetBits;
        if (P.stamp == 0 || b >= entries_.Blocks() || entries_.BlockStamp(b) != P.stamp) return -1;
        return static_cast<int>(entries_.BlockStart(b) + (P.at & ((1u << kOffsetBits) - 1)));
    }
    // The block a place was taken in: [First, Last) of the positions (empty
    // where there is no such block any more).
    void BlockRange(Place P, int& First, int& Last) const {
        const std::size_t b = P.at >> kOffsetBits;
        First = Last = 0;
        if (P.stamp == 0 || b >= entries_.Blocks()) return;
        First = static_cast<int>(entries_.BlockStart(b));
        Last = First + static_cast<int>(entries_.BlockSize(b));
    }
    // Places are comparable while PlaceEpoch stays; LastPlaceStamp
    // unchanged, no entry has come or gone since.
    uint32_t LastPlaceStamp() const { return entries_.LastStamp(); }
    uint64_t PlaceEpoch() const { return entries_.Epoch() + reorders_; }

    TmtFilterIndexEvent OnFilterIndex;

private:
    struct Entry {
        uint64_t prefix;  // the 8 key bytes past the shared ones, big-endian, zero-padded
        int32_t id;
        uint32_t key;     // offset in pool_ of the key: a 32-bit length, then the bytes
        // Where the record was when the entry was made: only ever prefetched,
        // never read, so that a record moved since costs a wasted fetch at
        // most.
        const void* hint;
    };
    struct Probe {
        const uint8_t* bytes;  // the whole key
        std::size_t length;
        uint64_t prefix, mask;  // of the bytes past the shared ones
        uint64_t next, nextMask;  // of the 8 bytes after those
        // How the probe compares with every entry when the shared bytes
        // alone tell (-1, 0, 1); kEachEntry when each entry must be looked at.
        int side;
    };
    static constexpr int kEachEntry = 2;
    Probe MakeProbe(const std::string& Key) const;
    const uint8_t* Pool() const { return reinterpret_cast<const uint8_t*>(pool_.data()); }
    const uint8_t* KeyBytes(const Entry& E) const { return Pool() + E.key + 4; }
    uint32_t KeyLength(const Entry& E) const { return memtable::ReadValue<uint32_t>(Pool() + E.key); }
    // Probe against an entry (its prefix and key) over the probe's length:
    // -1, 0 or 1.
    int CompareProbe(const Probe& P, uint64_t Prefix, uint32_t Key) const;
    int CompareProbe(const Probe& P, const Entry& E) const { return CompareProbe(P, E.prefix, E.key); }
    // Block, where known, is the one HeadsBlock tells.
    int LowerBound(const Probe& P, std::size_t Block = SIZE_MAX) const;
    // Every mark dropped, for a change the marks are not kept through (a
    // sort, a new count of shared bytes, a compacted pool).
    void EntriesChanged() const {
        ++orderChanges_;
        ++reorders_;
        if (marks_ != nullptr) marks_->Drop();
    }
    // The end of the run of entries equal to P that starts at From.
    int RunEnd(const Probe& P, int From) const;
    // Key bytes in the pool, shared with a neighbour of Pos holding the same key.
    uint32_t KeyFor(int Pos, const std::string& Key);
    uint32_t AddKey(const uint8_t* Bytes, std::size_t Length);
    void CompactPool();
    // The shared key bytes: taken from the first and last keys of a sorted
    // index; cut back to what a key entering the index still shares.
    void FindSharedBytes();
    void KeepSharedWith(const uint8_t* Bytes, std::size_t Length);
    void SetShared(std::size_t Length);
    uint64_t PrefixPastShared(const uint8_t* Bytes, std::size_t Length) const;
    const uint8_t* SharedBytes() const { return KeyBytes(entries_.front()); }
    // Keys for every entry and the entries sorted by them (ids breaking ties).
    void SortByKeys();
    struct ImageKeys;
    // The keys of the entries in order, each made from a pair of field
    // images (ImagesAt(position)); the entries' ids and records are in place.
    template <typename ImagesOf>
    void WriteImageKeys(const ImageKeys& Images, ImagesOf&& ImagesAt);
    // Writes the keys a sort left pending.
    void MakePendingKeys();
    // Takes the pending keys of a single text field whose distinct texts
    // have distinct keys as the pool itself; false when they are not such.
    bool AdoptPendingKeys(ImageKeys& Images);
    // HasKeys without writing pending keys.
    bool KeysReady() const;
    // The record-comparing sort of an index without keys.
    void SortByRecords(int L, int R);
    int FirstEqual(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool Partial, bool& Found);
    int InsertionPoint(PmtRecord Record);
    void InsertAt(int Pos, PmtRecord Record);
    void InsertKeyed(int Pos, PmtRecord Record, const std::string& Key);
    bool SameKeyAt(int Pos, const std::string& Key) const;
    void EraseAt(int Pos);
    int RemoveReference(PmtRecord Record, int Hint);
    bool IsCurrent() const;
    void CheckKeyable();

    std::string name_;
    memtable::BlockList<int32_t> ids_;  // the row-order index
    memtable::BlockList<Entry> entries_;  // any other index
    // Key bytes of the entries; entries with equal keys share theirs.
    std::string pool_;
    std::size_t deadBytes_ = 0;    // pool bytes no entry uses any more
    // Set while a sort's keys are not written: each entry then holds its
    // first field's image in key and its second's in prefix.
    std::unique_ptr<ImageKeys> pendingKeys_;
    // Searches served without the pending keys since the sort that left them.
    mutable int unkeyedSearches_ = 0;
    // Marks for the searches of a large text index: a copy of the first
    // entry's prefix and key of every block, side by side, and per block a
    // copy of about every 16th of its entries, so that a search reads a few
    // lines where a bisection of the entries waits for memory at each of its
    // last steps. They are kept through inserts and deletes (a block's marks
    // shift with its entries; a split block is marked again when next
    // searched), so that a change costs a few marks, not all of them. The
    // first marks are made once searches have come that a bisection of the
    // blocks' heads costs more than making them; a block's own, at its
    // first search.
    struct Mark {
        uint64_t prefix;
        uint32_t key;
        uint32_t at;  // the entry's position in its block
        // The 8 key bytes after the prefix, zero-padded: names that share
        // their first letters (a first name) are told apart without a read
        // of their keys, each elsewhere in the pool.
        uint64_t next;
    };
    // The mark of a block's entry, by the block and the place in it that
    // the caller has in hand: a block's marks are made without finding its
    // entries' block again for each.
    Mark MarkOf(std::size_t Block, std::size_t Local) const;
    struct BlockMarks {
        std::vector<Mark> items;
        bool valid = false;
        bool runs = false;  // the items mark where the entries' key changes
    };
    struct Marks {
        std::vector<Mark> heads;         // per block, its first entry
        std::vector<BlockMarks> blocks;  // per block
        uint32_t quietSearches = 0;      // since the heads were dropped
        bool valid = false;              // the heads
        // Entries read to make marks: what keeping the searches short
        // costs, told apart from how fast the machine is.
        uint64_t work = 0;
        void Drop() {
            valid = false;
            quietSearches = 0;
            std::vector<Mark>().swap(heads);
            std::vector<BlockMarks>().swap(blocks);
        }
    };
    // Probe against a mark: -1, 0 or 1.
    int CompareMark(const Probe& P, const Mark& M) const;
    // Whether the heads are there to search, making them when due.
    bool HeadsReady() const;
    // Whether they are there, none made.
    bool HeadsKept() const;
    // Where a number's probe falls in block B, told by its value between
    // the heads of B and of the next block: an offset in B (-1: past them).
    int HeadsGuess(const Probe& P, std::size_t B) const;
    // The block whose entries hold the first not below the probe, or whose
    // end it is.
    std::size_t HeadsBlock(const Probe& P) const;
    // LowerBound inside block B through its marks (made when missing); -1
    // when they cannot tell.
    int MarkedLowerBound(const Probe& P, std::size_t B) const;
    void MakeBlockMarks(std::size_t B) const;
    // The marks after an entry went in at Pos, which belonged to block
    // BlockBefore of Blocks blocks before; and after one left.
    void MarksInserted(std::size_t Pos, std::size_t BlockBefore, std::size_t Blocks) const;
    void MarksErased(std::size_t Local, std::size_t Block, std::size_t Blocks) const;
    mutable std::unique_ptr<Marks> marks_;
    // The slope of the last interpolated guess, kept with the ends it was
    // taken from: a search between the same ends needs no division.
    struct Slope {
        uint64_t first = 0, last = 0;
        int count = -1;
        double perUnit = 0;
    };
    mutable Slope slope_;
    TmtCustomMemTable* dataSet_;
    std::string indexFields_;
    TmtFieldList fieldList_;
    TmtMemTableCompareOptions options_;
    bool isOrdered_ = false;
    bool isSortable_ = false;
    bool isRowOrder_ = false;
    bool idsAscending_ = true;
    // Row order only: every id is its position (appends alone so far), so
    // neither needs looking up.
    bool identity_ = true;
    bool isInternal_ = false;
    // (Members in this order leave no padding: a larger index object moved
    // the allocator's reuse of freed blocks enough to slow down sorts.)
    bool keyable_ = false;         // the field list can be written as keys
    bool keysValid_ = false;       // every entry carries its key
    int ordinal_ = 0;
    bool isFiltered_ = false;
    bool enabled_ = true;
    bool runsById_ = false;
    bool runsByIdDown_ = false;
    bool keysOnDemand_ = false;
    bool orderSaved_ = false;      // savedOrder_ holds the order the next reload keeps
    bool orderFromOthers_ = true;
    // How many leading key bytes every entry shares (texts of one start,
    // numbers of one magnitude), those of the first entry's key: they are
    // left out of the entries' prefixes, which would otherwise be equal and
    // send every comparison of a search to the pool. At most 255: fewer
    // shared bytes are still shared.
    uint8_t shared_ = 0;
    TmtUpdateStatusSet updateStatusSet_{usUnmodified, usModified, usInserted};
    void* filterExpression_ = nullptr;
    std::vector<std::pair<int32_t, int32_t>> savedOrder_;  // (RecordID, UniqueRecordID)
    std::vector<std::vector<std::pair<int32_t, int32_t>>> levelOrders_;
    mutable std::string scratchKey_;
    std::vector<std::pair<long, int32_t>> claims_;  // (block, id) pairs of FirstOf and RowPositionsOf
    std::vector<int32_t> missed_;                   // claims of a block RowPositionsOf reads whole
    // Row order: claims record Id in the block known to hold it, if any.
    void Claim(int32_t Id);
    // The claims by block: Each(block, from, to) for each block, [from, to)
    // its claims, until Each returns false.
    template <typename F>
    void ForEachClaimedBlock(F Each);
    long rowShift_ = 0;  // id less position of the last record RowPositionsOf found
    // Row order only: where its ids make few runs, each id's position.
    memtable::RowRuns rowRuns_;
    // Key bytes of the text values an index of few distinct texts holds, by
    // field: a search or an insert of a known text makes no sort key. An
    // open-addressed table of items that each hold a text and its key: a
    // look-up reads a slot and one item, where a node-based map reads a
    // bucket, a node, the text and the key, each somewhere else.
    class TextMemo {
    public:
        // Keeps up to Capacity texts (0: none), Expected of them soon.
        void Reset(std::size_t Capacity, std::size_t Expected);
        bool Kept() const { return capacity_ > 0; }
        bool Find(std::string_view Text, std::string_view& Key) const;
        // A text already kept, or one past the capacity, is left out.
        void Add(std::string_view Text, std::string_view Key);

    private:
        void Grow();
        // The hash's high 8 bits, then 1 + the item's number; 0 free. Four
        // bytes a slot keep the table small enough to stay in the cache.
        std::vector<uint32_t> slots_;
        // Per item: text length, key length (32 bits each), text, key. One
        // allocation each, as small as the nodes of a map: the allocator
        // reuses such blocks where large ones (one block, or chunks of
        // many items) would come fresh from the system, page by page, at
        // every index made.
        std::vector<std::unique_ptr<char[]>> items_;
        std::size_t capacity_ = 0;
    };
    mutable std::vector<TextMemo> memo_;
    // Per run of kPrefixRun entries, the start letters of its texts: the
    // hashes of their first one to four characters, folded. Made with the
    // keys where the keys end with their texts, else as searches come to a
    // run; dropped at the first change of the entries or of the records.
    struct PrefixRun {
        static constexpr int kMost = 30;
        uint32_t hashes[kMost];
        uint8_t count = 0;
        // 0: not made; 1: made; 2: more start letters than it keeps, or a
        // text that is no UTF-8 (read the run).
        uint8_t state = 0;
        // Every text's first letters fold as the collation folds them, so
        // that a case-blind key may go past too.
        bool blindSafe = true;
    };
    struct PrefixRuns {
        uint64_t changes = 0, orderChanges = 0;
        int count = 0;
        // Per run, 1 + its place in made, 0 while not made: searches come
        // to a few runs of a large index, whose letters alone are kept.
        std::vector<uint32_t> slot;
        std::vector<PrefixRun> made;
    };
    const PrefixRun& RunAt(std::size_t Run) const;
    // The runs' letters as of the entries and records now (none made after
    // a change).
    PrefixRuns& CurrentPrefixRuns() const;
    // Text's start letters added to Run (Before: the last text's first
    // letters, which a text that starts with them adds again); false where
    // the run gave up.
    static bool AddStartLetters(PrefixRun& Run, std::string_view Text, std::string& Before);
    // Keys that end with their text, written in the entries' order: the
    // letters of each run are made as its keys are written, where the
    // texts are at hand, so that no search reads the keys again for them.
    bool LettersWithKeys() const;
    struct LettersWriter {
        PrefixRun* run = nullptr;
        std::string before;
    };
    void LettersOfKey(std::size_t Position, std::string_view Key, LettersWriter& Writer) const;
    // The letters made with the keys answer for the entries and records as
    // they now stand.
    void StampLetters() const;
    bool KeysHoldText() const;
    mutable std::unique_ptr<PrefixRuns> prefixRuns_;
    // Every change to the entries' order counts here.
    mutable uint64_t orderChanges_ = 0;
    // Changes that move or rewrite entries other than by an insert or a
    // delete of one (sorts, reloads, rewritten keys).
    mutable uint64_t reorders_ = 0;
    mutable uint64_t prefixWork_ = 0;
};

class TmtIndexes : public TObject {
public:
    FAT_CLASS_NAME(TmtIndexes)
    explicit TmtIndexes(TmtCustomMemTable* DataSet);
    ~TmtIndexes() override;
    TmtIndexes(const TmtIndexes&) = delete;
    TmtIndexes& operator=(const TmtIndexes&) = delete;

    void Clear();
    int Count() const { return static_cast<int>(indexes_.size()); }
    TmtIndex* Items(int i) const { return indexes_[static_cast<std::size_t>(i)].get(); }
    TmtIndex* Get(const std::string& Name) const;
    TmtIndex* GetByFieldNames(const std::string& FieldNames) const;
    TmtIndex* AddIndex(std::unique_ptr<TmtIndex> Index);
    TmtIndex* Add(TIndexDef* IndexDef);
    void DeleteIndex(TmtIndex* Index);
    void EmptyAll();
    void ReBuildAll();
    void MarkAllDirty();
    // Finds the record matching KeyRecord on FieldList; Index is its position
    // in the table's current index. Uses another index to narrow the search
    // only where that gives the same answer as a scan of the current index.
    int Search(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool& Found, int& Index, bool AutoAddIndex,
               bool RespectFilter, bool Nearest);
    void CheckRecordUniqueness(PmtRecord Record, PmtRecord ActualRecord);
    void ReflectToIndexes(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos, bool DontVersion);
    TmtIndex* RowOrderIndex() const { return rowOrder_; }
    void RememberRowOrder();
    // How many entries and records the searches have gone through one by
    // one since the collection was made: a scan adds each position, a run
    // of matches each entry, an id found in the block that holds it one.
    // Bisection steps are not counted. What a locate costs, told apart from
    // how fast the machine is.
    uint64_t Stepped() const { return stepped_; }
    // Walks and counts of a filtered table add the records they test.
    void Step(uint64_t Count = 1) { stepped_ += Count; }
    // The run [First, Last) of the current index that holds every record
    // equal to KeyRecord on the first Fields entries of FieldList (the
    // master key of a detail table), found by one search; false when the
    // current index's order does not keep those records together.
    // Exact, when given, tells whether every record of the run equals the
    // key (else the run is found by a coarser comparison).
    bool RunOf(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, int& First, int& Last,
               bool* Exact = nullptr);
    // Where the current index's order does not keep those records together:
    // their positions in it, ascending, gathered from the run of another
    // index that starts with those fields (with AutoAdd, one added for
    // them); false when there is none. Exact tells that every record of
    // Rows equals the key on those fields.
    bool LinkRows(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, bool AutoAdd,
                  std::vector<int32_t>& Rows, bool& Exact);
    // How many records the current index holds of those LinkRows would
    // place, told by the length of the other index's run, none read or
    // placed; -1 when LinkRows finds no such run or the current index may
    // leave out some of its records.
    int LinkCount(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, bool AutoAdd, bool& Exact);

private:
    int SequentialSearch(const TmtFieldList& FieldList, PmtRecord KeyRecord, bool RespectFilter, bool Nearest,
                         bool& Found);
    // How far an index's order answers a search: over how many leading
    // fields it narrows (0: not at all), whether every record of the run it
    // narrows to matches, and whether its keys find that run. Coarse gets
    // the comparison that finds the run.
    struct Narrowing {
        int fields = 0;
        bool exact = false;
        bool keyed = false;
    };
    Narrowing NarrowingOf(const TmtIndex* Index, const TmtFieldList& Search, TmtFieldList* Coarse) const;
    // An index a search on several fields may narrow by.
    struct Candidate {
        TmtIndex* index;
        Narrowing how;
        bool exactLead;  // every record of its run equals the key on its fields
        bool unique;
    };
    std::vector<Candidate> candidates_;
    // The index a search narrows by (nullptr: none), how far, and whether
    // every record of its run equals the key on the fields it narrows by;
    // lead_ gets those fields.
    TmtIndex* NarrowingIndex(const TmtFieldList& Search, PmtRecord KeyRecord, Narrowing& How, bool& LeadExact);
    // The index AutoAddIndexes adds for the fields of FieldList, where it
    // narrows Search (Prefix: by a partial text's run).
    TmtIndex* AutoAddedIndex(const TmtFieldList& FieldList, const TmtFieldList& Search, PmtRecord KeyRecord,
                             Narrowing& How, bool& Prefix);
    // Whether the matches read from Use are placed in the current order by
    // their lowest record id (an ascending row order).
    bool PlacedById(const TmtIndex* Use) const;
    // The current position of the first of the matches read from another
    // index's run: the record LowestId (-1: none), or those of matches_.
    int FirstInCurrent(int32_t LowestId);

    TmtCustomMemTable* dataSet_;
    // Reused by every search, so that a locate allocates nothing.
    TmtFieldList coarse_;
    TmtFieldList runList_, runCoarse_;
    // Where the current index's entries stand, by record id: each place
    // holds while its block takes no change, so a change costs the places
    // of one block, read again when next asked for. absent_ tells a record
    // the index did not hold when nothing had changed since (LastPlaceStamp).
    std::vector<TmtIndex::Place> placeOf_;
    static constexpr uint32_t kAbsent = UINT32_MAX;
    const TmtIndex* placesIndex_ = nullptr;
    uint64_t placesEpoch_ = 0;
    uint32_t placesStamp_ = 0;  // LastPlaceStamp when the index was last read whole
    bool placesWhole_ = false;
    int swept_ = 0;  // the entries [0, swept_) read since the places were last dropped
    // The current position of record Id from its place: -1 not held, -2
    // not known. With ReadBlock, a place whose block has changed since is
    // looked for by a read of that block.
    int PlacedAt(TmtIndex* Cur, int32_t Id, bool ReadBlock);
    void ReadPlaces(TmtIndex* Cur, int First, int Last);
    // The index LinkRows reads and the run [First, Last) of its entries that
    // holds the link's records; nullptr when none.
    TmtIndex* LinkRun(const TmtFieldList& FieldList, int Fields, PmtRecord KeyRecord, bool AutoAdd, int& First,
                      int& Last, bool& Exact);
    // Appends the current index's positions of the entries [First, Last) of
    // Index (those it holds).
    void PositionsInCurrent(TmtIndex* Index, int First, int Last, std::vector<int32_t>& Rows);
    // Leading fields of an index that a search on several fields may narrow
    // by, in any order: lead_ holds them in the index's order, rest_ the
    // search's other fields (as FieldList has them).
    TmtFieldList lead_, rest_, tryLead_;
    bool LeadOf(const TmtIndex* Index, const TmtFieldList& Search, TmtFieldList& Lead) const;
    // A partial key: the search list with the partial option kept on texts
    // only (on other fields it compares exactly), and the index whose run of
    // keys that start with the first text's prefix holds every match, its
    // probe in probe_; nullptr when none has such a run.
    TmtFieldList partialList_, prefixList_;
    TmtIndex* PrefixIndex(const TmtFieldList& FieldList, PmtRecord KeyRecord);
    // Where Search's first field is a case-blind text and Use's first a
    // case-sensitive one of the collation: the bytes that begin the keys of
    // every case of the text, into probe_ (false: none such).
    bool CaseBlindProbe(TmtIndex* Use, const TmtFieldList& Search, PmtRecord KeyRecord);
    std::string probe_;
    std::string prefixText_;  // the partial key's text PrefixIndex took
    std::string prefixFolded_, scratch_;
    std::vector<int32_t> matches_;
    std::vector<int32_t> linkIds_;  // the ids of a link's run, to be placed
    static constexpr int kPlaceBatch = 8;
    std::string placeKeys_[kPlaceBatch];  // the keys of a few of them, searched for together
    uint64_t stepped_ = 0;
    std::vector<std::unique_ptr<TmtIndex>> indexes_;
    TmtIndex* rowOrder_ = nullptr;
};
