// An index: its entries in blocks, their keys in one pool, the copies of
// the blocks' first entries and the marks inside the blocks that a search
// of a large index reads instead of the entries, and the searches and the
// changes of one record that go through them. The row order holds record
// ids alone, in the order the records were placed. How an index is made
// and comes to its order: mtIndexBuild.cpp.
//
// The order an index holds: once ordered, its entries stand in the order of
// their keys (of CompareRecords, where it has none), equal keys by record
// id (ascending, descending under a descending first field) until an insert
// joins a run out of that order, after which RunsInIdOrder no longer says
// so. Entries of one key share its bytes, and the first eight bytes past
// those that every entry shares sit in the entry itself.
//
// What a mark promises: where to read, never the answer. A mark is a copy
// of an entry as its block held it when the mark was made or last moved
// along with an insert or a delete; a split block is marked again at its
// next search, and a sort, a new count of shared bytes or a compacted pool
// drops every mark. A search checks what the marks found against the
// entries on either side of it, and where they disagree, drops the marks
// and bisects the entries.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "memtable/mtIndex.h"
#include "memtable/mtKeyBytes.h"
#include "memtable/mtMemTable.h"

using namespace memtable;

bool TmtIndex::IsCurrent() const { return dataSet_->CurIndex() == this; }

PmtRecord TmtIndex::RecordAt(int Position) const { return dataSet_->Common()->Record(IdAt(Position)); }

bool TmtIndex::KeysReady() const {
    return keyable_ && keysValid_ && !isRowOrder_ && !dataSet_->OnCompareFields;
}

bool TmtIndex::HasKeys() const {
    // Whoever asks for the keys gets them written. No index is a const
    // object: only the way to it may be.
    if (pendingKeys_ != nullptr) const_cast<TmtIndex*>(this)->MakePendingKeys();
    return KeysReady();
}

bool TmtIndex::KeysForSearch() const {
    // Writing the keys costs about as much as the sort; a bisection by the
    // records costs a few dozen comparisons. Past as many searches as make
    // the keys worth their writing, they are written.
    constexpr int kSearchesBeforeKeys = 64;
    if (pendingKeys_ != nullptr && unkeyedSearches_ < kSearchesBeforeKeys) {
        ++unkeyedSearches_;
        return false;
    }
    return HasKeys();
}

void TmtIndex::BuildKey(PmtRecord Record, int FieldCount, std::string& Key) const {
    Key.clear();
    TmtCommon* common = dataSet_->Common();
    std::string scratch;
    const int n = std::min(FieldCount, fieldList_.Count());
    const bool buffer = !TmtCommon::IsPacked(Record);
    for (int i = 0; i < n; ++i) {
        TField* f = fieldList_.Fields(i);
        const TFieldType type = f->DataType();
        const int ofs = fieldList_.FieldOfs(i);
        // A number in a record buffer (a search's key record): read in place.
        if (buffer && ofs >= 0 && !IsStringKind(type) &&
            (common->FieldFlags(fieldList_.FieldNo(i)) & kFlagIndirect) == 0) {
            const uint8_t* slot = Record->Data() + ofs;
            AppendKeyBytes(Key, slot[0] != 0 ? slot + 1 : nullptr, 8, type, fieldList_.Options(i));
            continue;
        }
        int32_t len = 0;
        const uint8_t* v = common->FieldValueForRead(Record, fieldList_.FieldNo(i), f, len, scratch);
        TextMemo* memo = static_cast<std::size_t>(i) < memo_.size() && memo_[static_cast<std::size_t>(i)].Kept()
                             ? &memo_[static_cast<std::size_t>(i)]
                             : nullptr;
        if (memo != nullptr && v != nullptr) {
            const auto* p = reinterpret_cast<const char*>(v);
            const std::string_view text(p, strnlen(p, static_cast<std::size_t>(std::max(len, 0))));
            std::string_view known;
            if (memo->Find(text, known)) {
                Key += known;
                continue;
            }
            const std::size_t base = Key.size();
            AppendKeyBytes(Key, v, len, f->DataType(), fieldList_.Options(i));
            memo->Add(text, std::string_view(Key).substr(base));
            continue;
        }
        AppendKeyBytes(Key, v, len, f->DataType(), fieldList_.Options(i));
    }
}

namespace {

constexpr int kTagShift = 24;
constexpr uint32_t kNumberBits = (uint32_t{1} << kTagShift) - 1;

uint32_t MemoTag(uint64_t Hash) { return static_cast<uint32_t>(Hash >> 56) << kTagShift; }

}  // namespace

void TmtIndex::TextMemo::Reset(std::size_t Capacity, std::size_t Expected) {
    // Item numbers have 24 bits.
    capacity_ = std::min<std::size_t>(Capacity, kNumberBits - 1);
    items_.clear();
    slots_.clear();
    if (capacity_ == 0) return;
    std::size_t size = 16;
    while (size < Expected * 2) size *= 2;
    slots_.assign(size, 0);
    items_.reserve(std::min(Expected, capacity_));
}

bool TmtIndex::TextMemo::Find(std::string_view Text, std::string_view& Key) const {
    if (items_.empty()) return false;
    const uint64_t h = std::hash<std::string_view>{}(Text);
    const uint32_t tag = MemoTag(h);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const uint32_t s = slots_[i];
        if (s == 0) return false;
        if ((s & ~kNumberBits) != tag) continue;
        const char* item = items_[(s & kNumberBits) - 1].get();
        const uint32_t textLength = ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(item));
        if (textLength != Text.size() || std::memcmp(item + 8, Text.data(), Text.size()) != 0) continue;
        Key = std::string_view(item + 8 + textLength, ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(item) + 4));
        return true;
    }
}

void TmtIndex::TextMemo::Grow() {
    std::fill(slots_.begin(), slots_.end(), 0);
    slots_.resize(slots_.size() * 2, 0);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t n = 0; n < items_.size(); ++n) {
        const char* item = items_[n].get();
        const std::string_view text(item + 8, ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(item)));
        const uint64_t h = std::hash<std::string_view>{}(text);
        std::size_t i = h & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = MemoTag(h) | static_cast<uint32_t>(n + 1);
    }
}

void TmtIndex::TextMemo::Add(std::string_view Text, std::string_view Key) {
    if (items_.size() >= capacity_ || Text.size() > UINT32_MAX || Key.size() > UINT32_MAX) return;
    std::string_view known;
    if (Find(Text, known)) return;
    std::unique_ptr<char[]> owned(new char[8 + Text.size() + Key.size()]);
    char* item = owned.get();
    WriteValue<uint32_t>(reinterpret_cast<uint8_t*>(item), static_cast<uint32_t>(Text.size()));
    WriteValue<uint32_t>(reinterpret_cast<uint8_t*>(item) + 4, static_cast<uint32_t>(Key.size()));
    std::memcpy(item + 8, Text.data(), Text.size());
    std::memcpy(item + 8 + Text.size(), Key.data(), Key.size());
    items_.push_back(std::move(owned));
    if (items_.size() * 2 > slots_.size()) {
        Grow();  // places every item, this one included
        return;
    }
    const uint64_t h = std::hash<std::string_view>{}(Text);
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = h & mask;
    while (slots_[i] != 0) i = (i + 1) & mask;
    slots_[i] = MemoTag(h) | static_cast<uint32_t>(items_.size());
}

namespace {

// memcmp's sign for the short keys of an index, without the call.
inline int CompareBytes(const uint8_t* A, const uint8_t* B, std::size_t N) {
    while (N >= 8) {
        uint64_t a, b;
        std::memcpy(&a, A, 8);
        std::memcpy(&b, B, 8);
        if (a != b) {
            a = __builtin_bswap64(a);
            b = __builtin_bswap64(b);
            return a < b ? -1 : 1;
        }
        A += 8;
        B += 8;
        N -= 8;
    }
    for (; N > 0; --N, ++A, ++B)
        if (*A != *B) return *A < *B ? -1 : 1;
    return 0;
}

}  // namespace

TmtIndex::Probe TmtIndex::MakeProbe(const std::string& Key) const {
    Probe p;
    p.bytes = reinterpret_cast<const uint8_t*>(Key.data());
    p.length = Key.size();
    p.side = kEachEntry;
    const std::size_t skip = shared_;
    const std::size_t shared = std::min(p.length, skip);
    if (shared > 0) {
        // A few bytes as a rule: compared in place, without a call.
        const uint8_t* sb = SharedBytes();
        std::size_t i = 0;
        while (i < shared && p.bytes[i] == sb[i]) ++i;
        const int c = i == shared ? 0 : (p.bytes[i] < sb[i] ? -1 : 1);
        if (c != 0)
            p.side = c < 0 ? -1 : 1;
        else if (p.length <= skip)
            p.side = 0;  // every entry starts with the probe
    }
    const std::size_t rest = p.length - shared;
    p.prefix = PrefixOf(p.bytes + shared, rest);
    p.mask = rest >= 8 ? ~uint64_t{0} : (rest == 0 ? 0 : ~uint64_t{0} << (8 * (8 - rest)));
    const std::size_t after = rest > 8 ? rest - 8 : 0;
    p.next = after == 0 ? 0 : PrefixOf(p.bytes + shared + 8, after);
    p.nextMask = after >= 8 ? ~uint64_t{0} : (after == 0 ? 0 : ~uint64_t{0} << (8 * (8 - after)));
    return p;
}

uint64_t TmtIndex::PrefixPastShared(const uint8_t* Bytes, std::size_t Length) const {
    const std::size_t skip = std::min<std::size_t>(Length, shared_);
    return PrefixOf(Bytes + skip, Length - skip);
}

void TmtIndex::SetShared(std::size_t Length) {
    EntriesChanged();
    shared_ = static_cast<uint8_t>(std::min<std::size_t>(Length, shared_));
    uint32_t last = UINT32_MAX;
    uint64_t prefix = 0;
    entries_.ForEach([&](Entry& e) {
        // Entries sharing key bytes sit side by side.
        if (e.key != last) {
            last = e.key;
            prefix = PrefixPastShared(KeyBytes(e), KeyLength(e));
        }
        e.prefix = prefix;
    });
}

void TmtIndex::FindSharedBytes() {
    shared_ = 0;
    if (entries_.empty() || !keysValid_) return;
    // Keys in memcmp order: what the first and the last share, all share.
    const Entry& first = entries_.front();
    const Entry& last = entries_.back();
    const uint8_t* a = KeyBytes(first);
    const uint8_t* b = KeyBytes(last);
    const std::size_t n = std::min(KeyLength(first), KeyLength(last));
    std::size_t same = 0;
    while (same < n && a[same] == b[same]) ++same;
    if (same == 0) return;
    shared_ = static_cast<uint8_t>(std::min<std::size_t>(same, UINT8_MAX));
    SetShared(shared_);
}

void TmtIndex::KeepSharedWith(const uint8_t* Bytes, std::size_t Length) {
    if (shared_ == 0) return;
    if (entries_.empty()) {
        shared_ = 0;
        return;
    }
    const uint8_t* shared = SharedBytes();
    const std::size_t n = std::min<std::size_t>(Length, shared_);
    std::size_t same = 0;
    while (same < n && Bytes[same] == shared[same]) ++same;
    if (same < shared_) SetShared(same);
}

int TmtIndex::CompareProbe(const Probe& P, uint64_t Prefix, uint32_t Key) const {
    if (P.side != kEachEntry) return P.side;
    const uint64_t ep = Prefix & P.mask;
    if (P.prefix != ep) return P.prefix < ep ? -1 : 1;
    const std::size_t past = shared_ + std::size_t{8};
    if (P.length <= past) return 0;  // keys of equal prefixes differ only past it
    const uint8_t* bytes = Pool() + Key;
    const uint32_t length = ReadValue<uint32_t>(bytes);
    const std::size_t n = std::min<std::size_t>(P.length, length);
    if (n > past) {
        const int r = CompareBytes(P.bytes + past, bytes + 4 + past, n - past);
        if (r != 0) return r;
    }
    // Keys never hold one another as a prefix unless they are equal on the
    // probe's fields; an entry too short for the probe sorts first.
    return P.length <= length ? 0 : 1;
}

namespace {

constexpr int kMarkStep = 16;
constexpr int kMarkedFrom = 4096;  // entries; below, a bisection stays in the cache

}  // namespace

TmtIndex::Mark TmtIndex::MarkOf(std::size_t Block, std::size_t Local) const {
    const Entry& e = entries_.BlockData(Block)[Local];
    const std::size_t length = KeyLength(e), past = std::size_t{shared_} + 8;
    const uint64_t next = length > past ? PrefixOf(KeyBytes(e) + past, length - past) : 0;
    return Mark{e.prefix, e.key, static_cast<uint32_t>(Local), next};
}

int TmtIndex::CompareMark(const Probe& P, const Mark& M) const {
    if (P.side != kEachEntry) return P.side;
    const uint64_t ep = M.prefix & P.mask;
    if (P.prefix != ep) return P.prefix < ep ? -1 : 1;
    // A difference in the next bytes orders as the keys do: past a key's
    // end its zero padding meets a probe byte above zero, and such a probe,
    // longer than the key, sorts after it.
    const uint64_t next = M.next & P.nextMask;
    if (next != P.next) return P.next < next ? -1 : 1;
    return CompareProbe(P, M.prefix, M.key);
}

bool TmtIndex::HeadsReady() const {
    if (marks_ == nullptr) marks_ = std::make_unique<Marks>();
    Marks& m = *marks_;
    if (m.valid) return true;
    // Making them reads every block's first entry; a search without them
    // reads a few of those, each a miss: worth it once a few searches for
    // every 16 blocks came.
    const std::size_t blocks = entries_.Blocks();
    if (++m.quietSearches < std::max<std::size_t>(2, blocks / 16)) return false;
    m.heads.clear();
    m.heads.reserve(blocks + blocks / 8 + 1);
    for (std::size_t b = 0; b < blocks; ++b) m.heads.push_back(MarkOf(b, 0));
    m.work += blocks;
    m.blocks.assign(blocks, BlockMarks{});
    m.valid = true;
    return true;
}

std::size_t TmtIndex::HeadsBlock(const Probe& P) const {
    const std::vector<Mark>& heads = marks_->heads;
    // The last block whose first entry lies below the probe (or the first).
    std::size_t l = 1, h = heads.size();
    while (l < h) {
        const std::size_t mid = l + (h - l) / 2;
        if (CompareMark(P, heads[mid]) > 0)
            l = mid + 1;
        else
            h = mid;
    }
    return l - 1;
}

bool TmtIndex::HeadsKept() const {
    return Count() >= kMarkedFrom && marks_ != nullptr && marks_->valid && marks_->heads.size() == entries_.Blocks();
}

int TmtIndex::HeadsGuess(const Probe& P, std::size_t B) const {
    const std::vector<Mark>& heads = marks_->heads;
    if (B + 1 >= heads.size()) return -1;
    const uint64_t first = heads[B].prefix & P.mask, last = heads[B + 1].prefix & P.mask;
    if (!(first < P.prefix && P.prefix <= last)) return -1;
    const auto size = static_cast<double>(entries_.BlockSize(B));
    return std::min(static_cast<int>(size) - 1,
                    static_cast<int>(static_cast<double>(P.prefix - first) * size / static_cast<double>(last - first)));
}

std::size_t TmtIndex::PrefetchSearch(const std::string& Key) const {
    if (IsStringKind(fieldList_.Fields(0)->DataType()) || !HeadsKept()) return SIZE_MAX;
    const Probe p = MakeProbe(Key);
    if (p.side != kEachEntry) return SIZE_MAX;
    const std::size_t b = HeadsBlock(p);
    if (const int at = HeadsGuess(p, b); at >= 0) __builtin_prefetch(entries_.BlockData(b) + at);
    return b;
}

void TmtIndex::MakeBlockMarks(std::size_t B) const {
    BlockMarks& bm = marks_->blocks[B];
    const std::size_t size = entries_.BlockSize(B);
    bm.items.clear();
    bm.items.reserve(size / kMarkStep + 8);
    bm.runs = false;
    std::size_t changes = 0;  // samples whose key is not the one before
    for (std::size_t i = 0; i < size; i += kMarkStep) {
        if (i > 0 && entries_.BlockData(B)[i].key != bm.items.back().key) ++changes;
        bm.items.push_back(MarkOf(B, i));
    }
    marks_->work += bm.items.size();
    // Long runs of one key (few distinct texts): the marks are instead
    // where the entries' key changes, so that they alone tell where a run
    // starts and a search reads no entry between them. Equal key references
    // only stand in one run (entries are in key order), so the changes lie
    // between samples of different references: with at most every other
    // sample after a change, the stretches read come to at most half the
    // block, and the marks kept are no more than the samples.
    const std::size_t samples = bm.items.size();
    if (changes * 2 > samples) {
        bm.valid = true;
        return;
    }
    const Entry* e = entries_.BlockData(B);
    std::vector<Mark> runs;
    runs.reserve(changes * 2 + 1);
    runs.push_back(bm.items.front());
    auto changesBetween = [&](std::size_t From, std::size_t To) {
        for (std::size_t i = From; i < To && runs.size() <= samples; ++i)
            if (e[i].key != e[i - 1].key) runs.push_back(MarkOf(B, i));
        marks_->work += To - From;
    };
    for (std::size_t j = 1; j < samples; ++j)
        if (bm.items[j].key != bm.items[j - 1].key) changesBetween(bm.items[j - 1].at + 1, bm.items[j].at + 1);
    changesBetween(bm.items.back().at + 1, size);
    if (runs.size() <= samples) {
        bm.items.swap(runs);
        bm.runs = true;
    }
    bm.valid = true;
}

int TmtIndex::MarkedLowerBound(const Probe& P, std::size_t B) const {
    BlockMarks& bm = marks_->blocks[B];
    if (!bm.valid) MakeBlockMarks(B);
    const Entry* e = entries_.BlockData(B);
    const int size = static_cast<int>(entries_.BlockSize(B));
    const Mark* m = bm.items.data();
    const int count = static_cast<int>(bm.items.size());
    uint32_t equalKey = UINT32_MAX;
    auto compareEntry = [&](const Entry& E) {
        if (E.key == equalKey) return 0;
        const int c = CompareProbe(P, E);
        if (c == 0) equalKey = E.key;
        return c;
    };
    // Every 16th mark first, then the marks between the two found.
    for (int k = 0; k < count; k += kMarkStep) __builtin_prefetch(m + k);
    int k = 0;
    while (k < count && CompareMark(P, m[k]) > 0) k += kMarkStep;
    int lo = k == 0 ? 0 : k - kMarkStep + 1, hi = std::min(k, count);
    for (const char* c = reinterpret_cast<const char*>(m + lo); c < reinterpret_cast<const char*>(m + hi); c += 64)
        __builtin_prefetch(c);
    // Marks whose prefix alone puts them below are counted without a branch
    // (a bisection mispredicts about every other step); only those of the
    // probe's own prefix are compared further.
    int below = 0;
    for (int i = lo; i < hi; ++i) below += (m[i].prefix & P.mask) < P.prefix ? 1 : 0;
    int found = lo + below;
    while (found < hi && CompareMark(P, m[found]) > 0) ++found;
    // Between the marks either side of the answer; where the marks are the
    // starts of runs, the entries before the one found hold the key of the
    // mark below the probe, also below.
    hi = found < count ? static_cast<int>(m[found].at) : size;
    lo = bm.runs ? hi : (found == 0 ? 0 : static_cast<int>(m[found - 1].at) + 1);
    if (lo > hi || hi > size) return -1;
    for (const char* c = reinterpret_cast<const char*>(e + lo); c < reinterpret_cast<const char*>(e + hi); c += 64)
        __builtin_prefetch(c);
    below = 0;
    for (int i = lo; i < hi; ++i) below += (e[i].prefix & P.mask) < P.prefix ? 1 : 0;
    int at = lo + below;
    while (at < hi && compareEntry(e[at]) > 0) ++at;
    // The answer is the lower bound only if its neighbours say so, also
    // across the block's ends; marks gone wrong would show here.
    if (at < size && compareEntry(e[at]) > 0) return -1;
    if (at > 0 && compareEntry(e[at - 1]) <= 0) return -1;
    if (at == 0 && B > 0 && CompareProbe(P, entries_.BlockData(B - 1)[entries_.BlockSize(B - 1) - 1]) <= 0) return -1;
    if (at == size && B + 1 < entries_.Blocks() && CompareProbe(P, entries_.BlockData(B + 1)[0]) > 0) return -1;
    return static_cast<int>(entries_.BlockStart(B)) + at;
}

void TmtIndex::MarksInserted(std::size_t Pos, std::size_t BlockBefore, std::size_t Blocks) const {
    ++orderChanges_;
    if (marks_ == nullptr || !marks_->valid) return;
    Marks& m = *marks_;
    const std::size_t blocks = entries_.Blocks();
    if (Blocks == 0 || blocks > Blocks + 1 || blocks < Blocks || m.heads.size() != Blocks) {
        m.Drop();
        return;
    }
    if (blocks == Blocks + 1) {
        // The block split in two halves, each marked again when searched.
        const std::size_t b = BlockBefore;
        m.heads.insert(m.heads.begin() + static_cast<std::ptrdiff_t>(b) + 1, MarkOf(b + 1, 0));
        m.heads[b] = MarkOf(b, 0);
        m.blocks[b] = BlockMarks{};
        m.blocks.insert(m.blocks.begin() + static_cast<std::ptrdiff_t>(b) + 1, BlockMarks{});
        m.work += 2;
        return;
    }
    const std::size_t b = entries_.BlockAt(Pos);
    const auto local = static_cast<uint32_t>(Pos - entries_.BlockStart(b));
    if (local == 0) {
        m.heads[b] = MarkOf(b, 0);
        ++m.work;
    }
    BlockMarks& bm = m.blocks[b];
    if (!bm.valid) return;
    if (bm.runs) {
        // A new run, or a run's new start: marked again at the next search.
        bm.valid = false;
        return;
    }
    // The marked entries from the new one on moved one place up; the new
    // one lies in the stretch between two marks, which grows by one.
    std::size_t after = bm.items.size();
    for (std::size_t k = 0; k < bm.items.size(); ++k)
        if (bm.items[k].at >= local) {
            if (after == bm.items.size()) after = k;
            ++bm.items[k].at;
        }
    const uint32_t from = after == 0 ? 0 : bm.items[after - 1].at + 1;
    const auto to = after < bm.items.size() ? bm.items[after].at : static_cast<uint32_t>(entries_.BlockSize(b));
    if (to - from > 2 * kMarkStep) bm.valid = false;
}

void TmtIndex::MarksErased(std::size_t Local, std::size_t Block, std::size_t Blocks) const {
    ++orderChanges_;
    if (marks_ == nullptr || !marks_->valid) return;
    Marks& m = *marks_;
    const std::size_t blocks = entries_.Blocks();
    if (m.heads.size() != Blocks || (blocks != Blocks && blocks + 1 != Blocks)) {
        m.Drop();
        return;
    }
    if (blocks + 1 == Blocks) {
        // The block's last entry went, and the block with it.
        m.heads.erase(m.heads.begin() + static_cast<std::ptrdiff_t>(Block));
        m.blocks.erase(m.blocks.begin() + static_cast<std::ptrdiff_t>(Block));
        return;
    }
    if (Local == 0) {
        m.heads[Block] = MarkOf(Block, 0);
        ++m.work;
    }
    BlockMarks& bm = m.blocks[Block];
    if (!bm.valid) return;
    if (bm.runs) {
        bm.valid = false;
        return;
    }
    const auto local = static_cast<uint32_t>(Local);
    std::size_t after = 0;
    while (after < bm.items.size() && bm.items[after].at < local) ++after;
    // A mark of the entry that left goes with it, and the stretch around it
    // grows by the marks' gap; the marks past it move one place down.
    if (after < bm.items.size() && bm.items[after].at == local)
        bm.items.erase(bm.items.begin() + static_cast<std::ptrdiff_t>(after));
    for (std::size_t k = after; k < bm.items.size(); ++k) --bm.items[k].at;
    const uint32_t from = after == 0 ? 0 : bm.items[after - 1].at + 1;
    const auto to = after < bm.items.size() ? bm.items[after].at : static_cast<uint32_t>(entries_.BlockSize(Block));
    if (to > from + 2 * kMarkStep) bm.valid = false;
}

int TmtIndex::LowerBound(const Probe& P, std::size_t Block) const {
    const int n = static_cast<int>(entries_.size());
    if (P.side != kEachEntry) return P.side > 0 ? n : 0;
    if (n == 0) return 0;
    const bool text = IsStringKind(fieldList_.Fields(0)->DataType());
    // The block: the last whose first entry lies below the probe. The
    // answer is inside it, or is the first entry of the next.
    std::size_t block = 0;
    bool headed = false;  // the block was told by the copies of the blocks' first entries
    const std::size_t blocks = entries_.Blocks();
    const bool marked = text && n >= kMarkedFrom && HeadsReady() && marks_->heads.size() == blocks;
    if (marked) {
        const int at = MarkedLowerBound(P, HeadsBlock(P));
        if (at >= 0) return at;
        marks_->Drop();  // made again after enough searches
    }
    const uint64_t front = entries_.front().prefix & P.mask, back = entries_.back().prefix & P.mask;
    if (blocks > 1 && !text && n >= kMarkedFrom && HeadsReady() && marks_->heads.size() == blocks) {
        // Once searches come often enough to keep them, the copies of the
        // blocks' first entries tell the block without a wait, and the guess
        // inside it is as near: numbers do not spread evenly (a number's
        // sign and exponent weigh more than its digits).
        block = Block < blocks ? Block : HeadsBlock(P);
        headed = true;
    } else if (blocks > 1 && !text && front < P.prefix && P.prefix <= back) {
        // Numbers spread evenly: the block where the value falls between the
        // ends, or one beside it.
        const auto guess = std::min<std::size_t>(
            static_cast<std::size_t>(static_cast<double>(P.prefix - front) / static_cast<double>(back - front) *
                                     static_cast<double>(n - 1)),
            static_cast<std::size_t>(n) - 1);
        block = entries_.BlockAt(guess);
        // Dense keys (codes, numbers given in sequence) sit where their value
        // falls: the guess and a neighbour answer alone when they bracket the
        // probe, one line read where the ends of blocks would cost several.
        const Entry* at = entries_.BlockData(block);
        const std::size_t local = guess - entries_.BlockStart(block), size = entries_.BlockSize(block);
        if (CompareProbe(P, at[local]) <= 0) {
            if (local > 0 && CompareProbe(P, at[local - 1]) > 0) return static_cast<int>(guess);
        } else if (local + 1 < size && CompareProbe(P, at[local + 1]) <= 0) {
            return static_cast<int>(guess) + 1;
        }
        // Values that do not spread evenly (a number's sign and exponent
        // weigh more than its digits) miss by many blocks: a gallop away
        // from the guess and a bisection of the stretch it crossed, not a
        // block at a time, each block's first entry a wait for memory.
        auto above = [&](std::size_t b) { return CompareProbe(P, entries_.BlockData(b)[0]) > 0; };
        std::size_t lo = block, hi = block + 1;  // the answer's block lies in [lo, hi)
        if (block > 0 && !above(block)) {
            std::size_t step = 1;
            hi = block;
            lo = block > step ? block - step : 0;
            while (lo > 0 && !above(lo)) {
                hi = lo;
                step *= 2;
                lo = lo > step ? lo - step : 0;
            }
        } else {
            std::size_t step = 1;
            while (hi < blocks && above(hi)) {
                lo = hi;
                step *= 2;
                hi = std::min(hi + step, blocks);
            }
        }
        // lo's first entry lies below the probe (or lo is 0), hi's does not.
        while (hi - lo > 1) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (above(mid))
                lo = mid;
            else
                hi = mid;
        }
        block = lo;
    } else {
        for (std::size_t l = 1, h = blocks; l < h;) {
            const std::size_t mid = l + (h - l) / 2;
            if (CompareProbe(P, entries_.BlockData(mid)[0]) > 0)
                l = mid + 1;
            else
                h = mid;
            block = l - 1;
        }
    }
    const Entry* e = entries_.BlockData(block);
    const int base = static_cast<int>(entries_.BlockStart(block));
    int lo = 0, hi = static_cast<int>(entries_.BlockSize(block));
    // Keys whose first bytes spread evenly (numbers) are found near where
    // their value falls between the ends: a guess and a short gallop around
    // it take the place of most of a bisection's probes, each of which
    // would wait for memory.
    if (hi - lo > 64 && !text) {
        int guess = headed ? HeadsGuess(P, block) : -1;
        if (guess < 0) {
            const uint64_t first = e[lo].prefix & P.mask, last = e[hi - 1].prefix & P.mask;
            if (first < P.prefix && P.prefix <= last) {
                if (slope_.first != first || slope_.last != last || slope_.count != hi - lo)
                    slope_ = Slope{first, last, hi - lo,
                                   static_cast<double>(hi - 1 - lo) / static_cast<double>(last - first)};
                guess = std::clamp(lo + static_cast<int>(static_cast<double>(P.prefix - first) * slope_.perUnit),
                                   lo, hi - 1);
            }
        }
        if (guess >= 0) {
            // The answer is the first entry the probe does not exceed.
            if (CompareProbe(P, e[guess]) > 0) {
                int step = 1, from = guess + 1;
                while (from + step - 1 < hi && CompareProbe(P, e[from + step - 1]) > 0) {
                    from += step;
                    step *= 2;
                }
                lo = from;
                hi = std::min(hi, from + step - 1);
            } else {
                int step = 1, to = guess;
                while (to - step >= lo && CompareProbe(P, e[to - step]) <= 0) {
                    to -= step;
                    step *= 2;
                }
                hi = to;
                lo = std::max(lo, to - step + 1);
            }
        }
    }
    // Once an entry equals the probe, the entries sharing its key bytes do
    // too: the rest of a run of one key costs no byte comparison.
    uint32_t equalKey = UINT32_MAX;
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        // Both possible next probes are on their way while this one compares.
        __builtin_prefetch(e + lo + (mid - lo) / 2);
        __builtin_prefetch(e + mid + 1 + (hi - mid - 1) / 2);
        const Entry& m = e[mid];
        int c = 0;
        if (m.key != equalKey) {
            c = CompareProbe(P, m);
            if (c == 0) equalKey = m.key;
        }
        if (c > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return base + lo;
}

int TmtIndex::RunEnd(const Probe& P, int From) const {
    const int n = static_cast<int>(entries_.size());
    if (From >= n || CompareProbe(P, entries_[static_cast<std::size_t>(From)]) != 0) return From;
    // Entries with one key share its bytes: while the shared reference holds,
    // no byte needs comparing. Galloping keeps a short run in one cache line.
    const uint32_t key = entries_[static_cast<std::size_t>(From)].key;
    int whole = -1;  // whether the probe is the whole key; read only when sharing is seen
    auto inRun = [&](int i) {
        const Entry& e = entries_[static_cast<std::size_t>(i)];
        if (e.key == key) {
            if (whole < 0) whole = P.length == KeyLength(entries_[static_cast<std::size_t>(From)]) ? 1 : 0;
            if (whole == 1) return true;
        }
        return CompareProbe(P, e) == 0;
    };
    int lo = From, step = 1, hi = From + 1;
    while (hi < n && inRun(hi)) {
        lo = hi;
        step *= 2;
        hi = lo + step;
    }
    hi = std::min(hi, n);
    while (lo + 1 < hi) {
        int mid = lo + (hi - lo) / 2;
        if (inRun(mid))
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

void TmtIndex::KeyRun(const std::string& Key, int& First, int& Last, bool FirstOnly, std::size_t Block) const {
    const Probe p = MakeProbe(Key);
    First = LowerBound(p, Block);
    if (FirstOnly)
        Last = First < Count() && CompareProbe(p, entries_[static_cast<std::size_t>(First)]) == 0 ? First + 1 : First;
    else
        Last = RunEnd(p, First);
}

uint32_t TmtIndex::AddKey(const uint8_t* Bytes, std::size_t Length) {
    const auto at = static_cast<uint32_t>(pool_.size());
    // Appended, not resized and then copied over: the bytes are written once.
    uint8_t length[4];
    WriteValue<uint32_t>(length, static_cast<uint32_t>(Length));
    pool_.append(reinterpret_cast<const char*>(length), 4);
    pool_.append(reinterpret_cast<const char*>(Bytes), Length);
    return at;
}

bool TmtIndex::SameKeyAt(int Pos, const std::string& Key) const {
    if (Pos < 0 || Pos >= static_cast<int>(entries_.size())) return false;
    const Entry& e = entries_[static_cast<std::size_t>(Pos)];
    if (!keysValid_) return false;
    return KeyLength(e) == Key.size() && std::memcmp(KeyBytes(e), Key.data(), Key.size()) == 0;
}

uint32_t TmtIndex::KeyFor(int Pos, const std::string& Key) {
    // Records with one key share its bytes: an ordered index holds them side
    // by side, the new one going before them.
    if (SameKeyAt(Pos, Key)) return entries_[static_cast<std::size_t>(Pos)].key;
    if (SameKeyAt(Pos - 1, Key)) return entries_[static_cast<std::size_t>(Pos) - 1].key;
    return AddKey(reinterpret_cast<const uint8_t*>(Key.data()), Key.size());
}

void TmtIndex::CompactPool() {
    if (deadBytes_ < 4096 || deadBytes_ * 2 < pool_.size()) return;
    EntriesChanged();
    std::string pool;
    pool.reserve(pool_.size() - std::min(deadBytes_, pool_.size()));
    // Sharing entries sit side by side; any other sharing is undone, which
    // costs bytes, not correctness.
    uint32_t lastOld = UINT32_MAX, lastNew = 0;
    entries_.ForEach([&](Entry& e) {
        if (e.key == lastOld) {
            e.key = lastNew;
            return;
        }
        const uint32_t length = KeyLength(e) + 4;
        const auto at = static_cast<uint32_t>(pool.size());
        pool.append(pool_, e.key, length);
        lastOld = e.key;
        lastNew = at;
        e.key = at;
    });
    pool_.swap(pool);
    deadBytes_ = 0;
}

void TmtIndex::InsertKeyed(int Pos, PmtRecord Record, const std::string& Key) {
    const int32_t Id = Record->RecordID;
    Pos = std::clamp(Pos, 0, Count());
    if ((SameKeyAt(Pos, Key) && Id > entries_[static_cast<std::size_t>(Pos)].id) ||
        (SameKeyAt(Pos - 1, Key) && Id < entries_[static_cast<std::size_t>(Pos) - 1].id))
        runsById_ = false;
    if ((SameKeyAt(Pos, Key) && Id < entries_[static_cast<std::size_t>(Pos)].id) ||
        (SameKeyAt(Pos - 1, Key) && Id > entries_[static_cast<std::size_t>(Pos) - 1].id))
        runsByIdDown_ = false;
    KeepSharedWith(reinterpret_cast<const uint8_t*>(Key.data()), Key.size());
    const uint32_t key = KeyFor(Pos, Key);
    const uint64_t prefix = PrefixPastShared(reinterpret_cast<const uint8_t*>(Key.data()), Key.size());
    const std::size_t blocks = entries_.Blocks();
    const std::size_t block = blocks == 0 ? 0 : (Pos >= Count() ? blocks - 1 : entries_.BlockAt(static_cast<std::size_t>(Pos)));
    entries_.insert(static_cast<std::size_t>(Pos), Entry{prefix, Id, key, Record});
    MarksInserted(static_cast<std::size_t>(Pos), block, blocks);
}

void TmtIndex::EraseAt(int Pos) {
    if (isRowOrder_) {
        EntriesChanged();
        if (Pos != Count() - 1) identity_ = false;
        ids_.erase(static_cast<std::size_t>(Pos));
        rowRuns_.Erase(Pos);
        return;
    }
    const Entry& e = entries_[static_cast<std::size_t>(Pos)];
    if (keysValid_ && !pool_.empty()) {
        // The bytes die with the last entry that shares them.
        const bool shared = (Pos > 0 && entries_[static_cast<std::size_t>(Pos) - 1].key == e.key) ||
                            (Pos + 1 < Count() && entries_[static_cast<std::size_t>(Pos) + 1].key == e.key);
        if (!shared) deadBytes_ += KeyLength(e) + 4;
    }
    const std::size_t blocks = entries_.Blocks(), block = entries_.BlockAt(static_cast<std::size_t>(Pos));
    const std::size_t local = static_cast<std::size_t>(Pos) - entries_.BlockStart(block);
    entries_.erase(static_cast<std::size_t>(Pos));
    MarksErased(local, block, blocks);
    if (entries_.empty()) {
        shared_ = 0;
        EntriesChanged();
    }
    CompactPool();
}

int TmtIndex::CompareRecords(const TmtFieldList* FieldList, PmtRecord KeyRecord, PmtRecord ARecord,
                             bool SortCompare, bool Partial, bool* FullCompare) {
    const TmtFieldList& list = FieldList != nullptr ? *FieldList : fieldList_;
    int r = dataSet_->Common()->CompareRecords(list, 0, KeyRecord, ARecord, false, Partial, 0, FullCompare);
    if (r == 0 && SortCompare) {
        bool kn = KeyRecord->RecordNo < 0, an = ARecord->RecordNo < 0;
        if (kn && an)
            r = KeyRecord->RecordID < ARecord->RecordID ? -1 : (KeyRecord->RecordID > ARecord->RecordID ? 1 : 0);
        else if (!kn && an)
            r = 1;
        else if (kn && !an)
            r = -1;
        else
            r = 0;
        if (list.Count() > 0 && list.Options(0).Contains(mtifoDescending)) r = -r;
    }
    return r;
}

int TmtIndex::FirstEqual(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool Partial, bool& Found) {
    // Lower bound: the first reference that does not sort before the key.
    int lo = 0, hi = Count();
    while (lo < hi) {
        int mid = lo + (hi - lo) / 2;
        if (CompareRecords(FieldList, KeyRecord, RecordAt(mid), false, false) > 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    Found = lo < Count() && CompareRecords(FieldList, KeyRecord, RecordAt(lo), false, Partial) == 0;
    return lo;
}

int TmtIndex::Search(const TmtFieldList* FieldList, PmtRecord KeyRecord, bool& Found, int& Index,
                     bool RespectFilter, bool Partial) {
    TmtCommon* common = dataSet_->Common();
    dataSet_->Progress(0, mtpcSearch);
    StoreLock lock(common);
    TmtCustomMemTable::ActivityScope activity(dataSet_, actSearching);
    Found = false;
    Index = -1;
    int result = 0;
    int n = Count();
    if (n == 0) return 0;
    bool filtered = RespectFilter && dataSet_->IsFilteredNow();
    if (!isOrdered_ || isRowOrder_ || n < 21) {
        for (int i = 0; i < n; ++i) {
            if (i % 100 == 0 && i > 0) dataSet_->Progress(i * 100 / n, mtpcSearch);
            PmtRecord r = RecordAt(i);
            if (dataSet_->RecalcOnIndex()) dataSet_->CalcRecordFields(r);
            result = CompareRecords(FieldList, KeyRecord, r, false, Partial);
            if (result == 0 && filtered && !dataSet_->FilterRecord(r, false)) continue;
            if (result == 0 || (Partial && result < 0)) {
                Found = true;
                Index = i;
                dataSet_->Progress(100, mtpcSearch);
                return result;
            }
        }
        Index = n;
        dataSet_->Progress(100, mtpcSearch);
        return result;
    }
    bool hit = false;
    int pos = FirstEqual(FieldList, KeyRecord, Partial, hit);
    Index = pos;
    Found = hit;
    result = hit ? 0 : (pos < n ? -1 : 1);
    if (hit && filtered) {
        // Move to the first record of the equal run that passes the filter.
        Found = false;
        for (int i = pos; i < n; ++i) {
            PmtRecord r = RecordAt(i);
            if (CompareRecords(FieldList, KeyRecord, r, false, Partial) != 0) break;
            if (dataSet_->FilterRecord(r, false)) {
                Found = true;
                Index = i;
                break;
            }
        }
        if (!Found) result = -1;
    }
    dataSet_->Progress(100, mtpcSearch);
    return result;
}

void TmtIndex::FindRecordByID(int RecordID, int& Index) {
    Index = -1;
    const int n = Count();
    if (isRowOrder_) {
        // Record ids are mostly ascending (appends) but not always: an insert
        // in the middle or a reused slot breaks the order.
        const memtable::BlockList<int32_t>& ids = ids_;
        if (identity_) {
            if (RecordID >= 0 && RecordID < n) Index = RecordID;
            return;
        }
        if (rowRuns_.Valid()) {
            Index = rowRuns_.PositionOf(RecordID);
            return;
        }
        // Appends only, no delete yet: the id is the position.
        if (RecordID >= 0 && RecordID < n && ids[static_cast<std::size_t>(RecordID)] == RecordID) {
            Index = RecordID;
            return;
        }
        // Otherwise the list knows the block that holds the id.
        Index = static_cast<int>(ids.Find(RecordID));
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (entries_[static_cast<std::size_t>(i)].id == RecordID) {
            Index = i;
            return;
        }
    }
}

void TmtIndex::FindRecord(PmtRecord Record, int& Index, bool Partial) {
    StoreLock lock(dataSet_->Common());
    Index = -1;
    int n = Count();
    if (n == 0 || Record == nullptr) return;
    if (isRowOrder_) {
        FindRecordByID(Record->RecordID, Index);
        return;
    }
    int start = 0;
    if (isOrdered_ && n > 5) {
        // Keys a sort left pending are not written for this: the cursor
        // finds its record again after every sort.
        if (KeysReady() && !Partial) {
            std::string& key = scratchKey_;
            BuildKey(Record, fieldList_.Count(), key);
            int first = 0, last = 0;
            KeyRun(key, first, last);
            for (int i = first; i < last; ++i) {
                if (entries_[static_cast<std::size_t>(i)].id == Record->RecordID) {
                    Index = i;
                    return;
                }
            }
            start = first;
        } else {
            bool found = false;
            start = FirstEqual(nullptr, Record, Partial, found);
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        int from = pass == 0 ? start : 0;
        int to = pass == 0 ? n : start;
        for (int i = from; i < to; ++i) {
            if (i % 100 == 0 && i > from) dataSet_->Progress((i - from) * 100 / std::max(1, to - from), mtpcSearch);
            if (Record->RecordID >= 0 && IdAt(i) == Record->RecordID) {
                Index = i;
                return;
            }
        }
    }
}

void TmtIndex::Claim(int32_t Id) {
    if (const long b = ids_.BlockHolding(Id); b >= 0) claims_.emplace_back(b, Id);
}

template <typename F>
void TmtIndex::ForEachClaimedBlock(F Each) {
    std::sort(claims_.begin(), claims_.end());
    for (std::size_t k = 0; k < claims_.size();) {
        std::size_t e = k;
        while (e < claims_.size() && claims_[e].first == claims_[k].first) ++e;
        if (!Each(static_cast<std::size_t>(claims_[k].first), k, e)) return;
        k = e;
    }
}

int TmtIndex::FirstOf(const std::vector<int32_t>& RecordIDs, uint64_t& Stepped) {
    TmtCommon* common = dataSet_->Common();
    StoreLock lock(common);
    const int n = Count();
    if (RecordIDs.empty() || n == 0) return -1;
    if (isRowOrder_) {
        // Each id's block is known: the first of them in row order is in
        // the earliest block that holds one, where only those are looked
        // for. A reused slot puts a low id late in the order, so the lowest
        // id need not be the first.
        Stepped += RecordIDs.size();
        if (identity_) {
            int32_t low = -1;
            for (int32_t id : RecordIDs)
                if (id >= 0 && id < n && (low < 0 || id < low)) low = id;
            if (low >= 0) return low;
        } else if (rowRuns_.Valid()) {
            int32_t best = -1;
            for (int32_t id : RecordIDs)
                if (const int32_t p = id < 0 ? -1 : rowRuns_.PositionOf(id); p >= 0 && (best < 0 || p < best)) best = p;
            if (best >= 0) return best;
        } else {
            claims_.clear();
            for (int32_t id : RecordIDs) Claim(id);
            long best = -1;
            ForEachClaimedBlock([&](std::size_t Block, std::size_t From, std::size_t To) {
                for (std::size_t k = From; k < To; ++k) {
                    const long p = ids_.FindInRisingBlock(Block, claims_[k].second, Stepped);
                    if (p >= 0 && (best < 0 || p < best)) best = p;
                }
                return best < 0;
            });
            if (best >= 0) return static_cast<int>(best);
        }
    } else if (RecordIDs.size() == 1) {
        int p = -1;
        FindRecord(common->Record(RecordIDs.front()), p);
        return p;
    }
    std::unordered_set<int32_t> wanted(RecordIDs.begin(), RecordIDs.end());
    auto scan = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            if (i % 100 == 0 && i > from) dataSet_->Progress((i - from) * 100 / std::max(1, to - from), mtpcSearch);
            ++Stepped;
            if (wanted.count(IdAt(i)) != 0) return i;
        }
        return -1;
    };
    bool loose = false;  // an order of comparisons that are no order tells nothing
    for (int f = 0; f < fieldList_.Count(); ++f)
        if (fieldList_.Options(f).Contains(mtifoIgnoreNull) || fieldList_.Options(f).Contains(mtifoPartial))
            loose = true;
    if (isRowOrder_ || !isOrdered_ || loose) return scan(0, n);
    // The first of them in this order has the lowest key; among the records
    // of that key, it is the first that the key's run holds.
    int from = 0, to = n;
    if (HasKeys()) {
        std::string low, key;
        bool any = false;
        for (int32_t id : RecordIDs) {
            BuildKey(common->Record(id), fieldList_.Count(), key);
            if (!any || CompareKeyBytes(reinterpret_cast<const uint8_t*>(key.data()), key.size(),
                                        reinterpret_cast<const uint8_t*>(low.data()), low.size()) < 0)
                low.swap(key);
            any = true;
        }
        KeyRun(low, from, to);
    } else {
        PmtRecord low = nullptr;
        for (int32_t id : RecordIDs) {
            PmtRecord r = common->Record(id);
            if (low == nullptr || CompareRecords(nullptr, r, low, false, false) < 0) low = r;
        }
        bool found = false;
        from = FirstEqual(nullptr, low, false, found);
        to = from;
        while (to < n && CompareRecords(nullptr, low, RecordAt(to), false, false) == 0) ++to;
    }
    const int p = scan(from, to);
    return p >= 0 ? p : scan(0, n);
}

void TmtIndex::RowPositionsOf(const std::vector<int32_t>& RecordIDs, std::vector<int32_t>& Positions,
                              uint64_t& Stepped) {
    const int n = Count();
    claims_.clear();
    // Records added together stand together, each as far from its id as
    // the one before: one found in its block tells where the next are,
    // and the next run of them starts where the last one stood.
    if (!identity_ && rowRuns_.Valid()) {
        for (int32_t id : RecordIDs)
            if (const int32_t p = id < 0 ? -1 : rowRuns_.PositionOf(id); p >= 0) Positions.push_back(p);
        return;
    }
    long shift = rowShift_;
    bool learned = false;
    for (int32_t id : RecordIDs) {
        if (id < 0) continue;
        if (identity_) {
            if (id < n) Positions.push_back(id);
            continue;
        }
        const long guess = id - shift;
        if (guess >= 0 && guess < n && ids_[static_cast<std::size_t>(guess)] == id) {
            Positions.push_back(static_cast<int32_t>(guess));
            continue;
        }
        if (!learned) {
            learned = true;
            const long b = ids_.BlockHolding(id);
            if (const long p = b < 0 ? -1 : ids_.FindInRisingBlock(static_cast<std::size_t>(b), id, Stepped); p >= 0) {
                Positions.push_back(static_cast<int32_t>(p));
                shift = id - p;
            }
            continue;
        }
        Claim(id);
    }
    rowShift_ = shift;
    // The records of a master, a day, an order were mostly added together:
    // their ids share a few blocks, each read once for all of its own.
    // A block's ids mostly ascend (appends; a reused slot puts one out of
    // place): each is found by its distance from the block's first, else by
    // bisection, unless so many are claimed in the block that reading it
    // once costs less.
    constexpr std::size_t kSearchCost = 16;
    ForEachClaimedBlock([&](std::size_t Block, std::size_t From, std::size_t To) {
        if ((To - From) * kSearchCost <= ids_.BlockSize(Block)) {
            // Those out of place (or gone) are looked for by one read of
            // the block, for all of them.
            missed_.clear();
            for (std::size_t k = From; k < To; ++k) {
                const long p = ids_.FindInRisingBlock(Block, claims_[k].second, Stepped, false);
                if (p >= 0)
                    Positions.push_back(static_cast<int32_t>(p));
                else
                    missed_.push_back(claims_[k].second);
            }
            if (missed_.empty()) return true;
            std::sort(missed_.begin(), missed_.end());
            const int32_t* d = ids_.BlockData(Block);
            const std::size_t size = ids_.BlockSize(Block), start = ids_.BlockStart(Block);
            Stepped += size;
            for (std::size_t j = 0; j < size; ++j)
                if (std::binary_search(missed_.begin(), missed_.end(), d[j]))
                    Positions.push_back(static_cast<int32_t>(start + j));
            return true;
        }
        Stepped += ids_.BlockSize(Block);
        const int32_t low = claims_[From].second, high = claims_[To - 1].second;
        const int32_t* d = ids_.BlockData(Block);
        const std::size_t size = ids_.BlockSize(Block), start = ids_.BlockStart(Block);
        const auto from = claims_.begin() + static_cast<std::ptrdiff_t>(From);
        const auto to = claims_.begin() + static_cast<std::ptrdiff_t>(To);
        for (std::size_t j = 0; j < size; ++j)
            if (d[j] >= low && d[j] <= high &&
                std::binary_search(from, to, std::make_pair(static_cast<long>(Block), d[j])))
                Positions.push_back(static_cast<int32_t>(start + j));
        return true;
    });
}

bool TmtIndex::FilterRecord(PmtRecord Record) {
    if (!isFiltered_ && !OnFilterIndex && !dataSet_->OnFilterIndex && filterExpression_ == nullptr) return true;
    PmtRecord old = dataSet_->IndexFilterRecord();
    dataSet_->SetIndexFilterRecord(Record);
    struct Restore {
        TmtCustomMemTable* t;
        PmtRecord r;
        ~Restore() { t->SetIndexFilterRecord(r); }
    } restore{dataSet_, old};
    bool accept = true;
    if (OnFilterIndex) OnFilterIndex(dataSet_, this, accept);
    if (accept && dataSet_->OnFilterIndex) dataSet_->OnFilterIndex(dataSet_, this, accept);
    if (accept && filterExpression_ != nullptr) accept = dataSet_->EvaluateFilterExpression(filterExpression_, Record);
    return accept;
}

int TmtIndex::InsertionPoint(PmtRecord Record) {
    if (!isOrdered_) return Count();
    if (HasKeys()) {
        BuildKey(Record, fieldList_.Count(), scratchKey_);
        return LowerBound(MakeProbe(scratchKey_));
    }
    bool found = false;
    return FirstEqual(nullptr, Record, false, found);
}

void TmtIndex::InsertAt(int Pos, PmtRecord Record) {
    Pos = std::clamp(Pos, 0, Count());
    if (isRowOrder_) {
        EntriesChanged();
        if (Pos != Count() || (!ids_.empty() && ids_.back() > Record->RecordID)) idsAscending_ = false;
        if (Pos != Count() || Record->RecordID != Count()) identity_ = false;
        rowRuns_.Insert(Pos, Record->RecordID);
        if (Pos == Count())
            ids_.push_back(Record->RecordID);
        else
            ids_.insert(static_cast<std::size_t>(Pos), Record->RecordID);
        return;
    }
    MakePendingKeys();  // a new entry has no image
    if (keyable_ && keysValid_) {
        std::string key;
        BuildKey(Record, fieldList_.Count(), key);
        InsertKeyed(Pos, Record, key);
    } else {
        EntriesChanged();
        entries_.insert(static_cast<std::size_t>(Pos), Entry{0, Record->RecordID, 0, Record});
    }
}

int TmtIndex::RemoveReference(PmtRecord Record, int Hint) {
    int n = Count();
    if (Hint >= 0 && Hint < n && IdAt(Hint) == Record->RecordID) {
        EraseAt(Hint);
        return Hint;
    }
    int pos = -1;
    if (isRowOrder_)
        FindRecordByID(Record->RecordID, pos);
    else if (isOrdered_)
        FindRecord(Record, pos);
    if (pos < 0 || IdAt(pos) != Record->RecordID) {
        pos = -1;
        for (int i = 0; i < n; ++i)
            if (IdAt(i) == Record->RecordID) {
                pos = i;
                break;
            }
    }
    if (pos >= 0) EraseAt(pos);
    return pos;
}

void TmtIndex::Reflect(int Change, PmtRecord OldRecord, PmtRecord NewRecord, int RecordPos, bool DontVersion) {
    TmtCommon* common = dataSet_->Common();
    bool current = IsCurrent();
    // The current index is what the cursor walks: it is kept up to date even
    // while indexes are switched off, or new records would be invisible.
    bool maintained = !options_.Contains(mtcoNonMaintained) && ((dataSet_->EnableIndexes() && enabled_) || current);
    if (!maintained) {
        if (!(isRowOrder_ && Change == 1)) isOrdered_ = false;
        // A deleted record must never stay behind in any index: it is about
        // to be freed.
        if (Change == 2 && !(updateStatusSet_.Contains(usDeleted) && common->EnableVersioning() && !DontVersion))
            RemoveReference(OldRecord, -1);
        return;
    }
    const bool keys = HasKeys();
    // Where Record's key goes: before every entry with an equal key.
    auto insertSorted = [&](PmtRecord KeyOf, int32_t Id) {
        int pos;
        if (keys) {
            BuildKey(KeyOf, fieldList_.Count(), scratchKey_);
            pos = isOrdered_ ? LowerBound(MakeProbe(scratchKey_)) : Count();
            InsertKeyed(pos, KeyOf, scratchKey_);
        } else {
            pos = InsertionPoint(KeyOf);
            pos = std::clamp(pos, 0, Count());
            entries_.insert(static_cast<std::size_t>(pos), Entry{0, Id, 0, KeyOf});
            EntriesChanged();
            if (keyable_) keysValid_ = false;
        }
        return pos;
    };
    switch (Change) {
        case 0: {  // insert
            if (isFiltered_ && !FilterRecord(NewRecord)) return;
            if (!updateStatusSet_.Contains(usInserted) &&
                !updateStatusSet_.Contains(static_cast<TUpdateStatus>(NewRecord->UpdateStatus)))
                return;
            int pos;
            if (isRowOrder_) {
                pos = (current && RecordPos >= 0) ? std::max(RecordPos - 1, 0) : Count();
                pos = std::clamp(pos, 0, Count());
                InsertAt(pos, NewRecord);
            } else {
                pos = insertSorted(NewRecord, NewRecord->RecordID);
            }
            if (current) dataSet_->SetLastChangePos(pos);
            break;
        }
        case 2: {  // delete
            if (updateStatusSet_.Contains(usDeleted) && common->EnableVersioning() && !DontVersion) {
                auto status = static_cast<TUpdateStatus>(OldRecord->UpdateStatus);
                if (!updateStatusSet_.Contains(status) && (!isFiltered_ || FilterRecord(OldRecord))) {
                    if (isRowOrder_)
                        InsertAt(Count(), OldRecord);
                    else
                        insertSorted(OldRecord, OldRecord->RecordID);
                }
                return;
            }
            int pos = RemoveReference(OldRecord, current ? RecordPos : -1);
            if (current) dataSet_->SetLastChangePos(pos);
            break;
        }
        case 1: {  // modify
            if (isRowOrder_) {
                if (current) dataSet_->SetLastChangePos(RecordPos);
                return;
            }
            if (keys) {
                std::string newKey;
                BuildKey(NewRecord, fieldList_.Count(), newKey);
                int oldPos = -1;
                if (current && RecordPos >= 0 && RecordPos < Count() && IdAt(RecordPos) == OldRecord->RecordID)
                    oldPos = RecordPos;
                else
                    FindRecord(OldRecord, oldPos);
                bool same;
                if (oldPos >= 0) {
                    const Entry& e = entries_[static_cast<std::size_t>(oldPos)];
                    same = CompareKeyBytes(KeyBytes(e), KeyLength(e), reinterpret_cast<const uint8_t*>(newKey.data()),
                                           newKey.size()) == 0;
                } else {
                    BuildKey(OldRecord, fieldList_.Count(), scratchKey_);
                    same = scratchKey_ == newKey;
                }
                if (updateStatusSet_.Contains(usModified) && same) {
                    if (current) dataSet_->SetLastChangePos(RecordPos);
                    return;
                }
                if (oldPos >= 0)
                    EraseAt(oldPos);
                else
                    RemoveReference(OldRecord, -1);
                if (isFiltered_ && !FilterRecord(NewRecord)) return;
                if (!updateStatusSet_.Contains(usModified)) return;
                int pos = isOrdered_ ? LowerBound(MakeProbe(newKey)) : Count();
                InsertKeyed(pos, OldRecord, newKey);
                if (current) {
                    dataSet_->SetLastChangePos(pos);
                    NewRecord->RecordNo = pos;
                }
                return;
            }
            if (updateStatusSet_.Contains(usModified) &&
                CompareRecords(nullptr, OldRecord, NewRecord, false, false) == 0) {
                if (current) dataSet_->SetLastChangePos(RecordPos);
                return;
            }
            RemoveReference(OldRecord, current ? RecordPos : -1);
            if (isFiltered_ && !FilterRecord(NewRecord)) return;
            if (!updateStatusSet_.Contains(usModified)) return;
            int pos = InsertionPoint(NewRecord);
            pos = std::clamp(pos, 0, Count());
            // The store record takes the new values next.
            entries_.insert(static_cast<std::size_t>(pos), Entry{0, OldRecord->RecordID, 0, OldRecord});
            EntriesChanged();
            if (keyable_) keysValid_ = false;
            if (current) {
                dataSet_->SetLastChangePos(pos);
                NewRecord->RecordNo = pos;
            }
            break;
        }
        default:
            break;
    }
}
