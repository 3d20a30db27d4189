// How an index comes to its order: loaded from the store, sorted by keys
// made from the records (the distinct texts of a field keyed once each, the
// first two fields sorted as 64-bit images, a text's image the rank of its
// key, ranked by passes over the keys' bytes and runs of one head), or by
// the records themselves where no keys can be written; sorted again and
// rebuilt. An index is also made and unmade here, beside the type that holds
// what a sort defers, which no other file knows.
//
// What a build may defer: the key bytes, never the order. A sort leaves the
// entries in the order their keys give, equal keys by record id, whether or
// not it writes the keys. Where a text field leads, the images order the
// entries alone and the table lets it (SetKeysOnDemand), each entry keeps
// its two images in place of its key, and the keys are written when first
// needed: an insert or a sort of part of the list writes them first, a
// search that can do without them bisects the records until enough have
// come to make writing them worth it, and whatever else asks for them
// (HasKeys) has them written. A listing's sort may never write them. Texts
// too many to keep are ranked through keys cut after their primary weights,
// and their whole keys wait with the rest.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include <sys/mman.h>

#include "memtable/mtIndex.h"
#include "memtable/mtKeyBytes.h"
#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

void TmtIndex::SortByRecords(int L, int R) {
    EntriesChanged();
    TmtCommon* common = dataSet_->Common();
    // Every pair differs once the tie-break by record id applies, so any
    // correct sort gives the one order.
    // A handler's comparison may not be an order at all, nor is one that
    // skips null keys or compares texts partially: std::sort may then run
    // past the ends, where a merge sort stays inside them.
    bool loose = false;
    for (int f = 0; f < fieldList_.Count(); ++f)
        if (fieldList_.Options(f).Contains(mtifoIgnoreNull) || fieldList_.Options(f).Contains(mtifoPartial))
            loose = true;
    if (common->Owner() != nullptr && common->Owner()->OnCompareFields) {
        std::vector<Entry> part;
        entries_.CopyOut(static_cast<std::size_t>(L), static_cast<std::size_t>(R) + 1, part);
        std::stable_sort(part.begin(), part.end(), [this, common](const Entry& a, const Entry& b) {
            return CompareRecords(nullptr, common->Record(a.id), common->Record(b.id), true, false) < 0;
        });
        entries_.CopyIn(static_cast<std::size_t>(L), part);
        return;
    }
    // The values are copied side by side first: comparing them there instead
    // of inside records spread over the heap keeps the sort in the cache.
    // The comparison is the very one CompareRecords makes (How 0, no
    // partial, records of the store).
    const TmtFieldList& list = fieldList_;
    const int nf = list.Count();
    const std::size_t n = static_cast<std::size_t>(R - L + 1);
    std::string arena;
    std::vector<uint32_t> offsets(n * static_cast<std::size_t>(nf));
    std::string scratch;
    for (std::size_t i = 0; i < n; ++i) {
        PmtRecord r = common->Record(entries_[static_cast<std::size_t>(L) + i].id);
        for (int f = 0; f < nf; ++f) {
            int32_t len = 0;
            const uint8_t* v = common->FieldValueForRead(r, list.FieldNo(f), list.Fields(f), len, scratch);
            offsets[i * static_cast<std::size_t>(nf) + static_cast<std::size_t>(f)] = static_cast<uint32_t>(arena.size());
            arena.push_back(v == nullptr ? '\0' : '\1');
            if (v != nullptr) {
                // Aligned to 8 so that numbers read in place.
                while (arena.size() % 8 != 0) arena.push_back('\0');
                std::size_t size = static_cast<std::size_t>(std::max(len, 0));
                if (IsStringKind(list.Fields(f)->DataType()))
                    size = strnlen(reinterpret_cast<const char*>(v), size);
                arena.append(reinterpret_cast<const char*>(v), size);
                arena.push_back('\0');  // texts stay terminated
            }
        }
    }
    struct Item {
        Entry entry;
        uint32_t index;
    };
    std::vector<Item> items(n);
    for (std::size_t i = 0; i < n; ++i) items[i] = Item{entries_[static_cast<std::size_t>(L) + i], static_cast<uint32_t>(i)};
    const bool firstDescending = nf > 0 && list.Options(0).Contains(mtifoDescending);
    const int locale = common->LocaleID();
    auto valueAt = [&](uint32_t off) -> const uint8_t* {
        if (arena[off] == '\0') return nullptr;
        std::size_t p = off + 1;
        while (p % 8 != 0) ++p;
        return reinterpret_cast<const uint8_t*>(arena.data() + p);
    };
    auto compare = [&](const Item& a, const Item& b) {
        int result = 0;
        for (int f = 0; f < nf; ++f) {
            TmtifoOptions opts = list.Options(f);
            const uint8_t* k = valueAt(offsets[a.index * static_cast<uint32_t>(nf) + static_cast<uint32_t>(f)]);
            if (k == nullptr && opts.Contains(mtifoIgnoreNull)) continue;
            const uint8_t* v = valueAt(offsets[b.index * static_cast<uint32_t>(nf) + static_cast<uint32_t>(f)]);
            bool full = true;
            if (k != nullptr && v != nullptr) {
                result = CompareFields(k, v, list.Fields(f)->DataType(), opts, full, locale);
            } else {
                result = (k == nullptr && v == nullptr) ? 0 : (k == nullptr ? -1 : 1);
                if (opts.Contains(mtifoDescending)) result = -result;
            }
            if (result != 0 || !full) break;
        }
        if (result == 0) {
            result = a.entry.id < b.entry.id ? -1 : (a.entry.id > b.entry.id ? 1 : 0);
            if (firstDescending) result = -result;
        }
        return result < 0;
    };
    if (loose)
        std::stable_sort(items.begin(), items.end(), compare);
    else
        std::sort(items.begin(), items.end(), compare);
    for (std::size_t i = 0; i < n; ++i) entries_[static_cast<std::size_t>(L) + i] = items[i].entry;
}

namespace memtable {

namespace {

// The arrays an index is made with are read and written at random once a
// table is large (a table of distinct texts, their keys, their ranks): on
// pages of 4 KiB each such access also misses the address translation,
// whose own tables then miss the cache, a cost that grows with the table.
// Arrays of several MiB ask for huge pages, before anything is written in
// them.
void AdviseHuge(const void* Data, std::size_t Bytes) {
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (Data == nullptr || Bytes < 2 * kHuge) return;
    const auto from = (reinterpret_cast<std::uintptr_t>(Data) + kHuge - 1) & ~(kHuge - 1);
    const auto to = (reinterpret_cast<std::uintptr_t>(Data) + Bytes) & ~(kHuge - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
}

template <typename Vector>
void ReserveHuge(Vector& V, std::size_t Count) {
    V.reserve(Count);
    AdviseHuge(V.data(), V.capacity() * sizeof(V[0]));
}

// One pass of a sort by bytes: From's N items into To by the byte Byte
// gives each, keeping their order among equal bytes, so that passes from
// the least significant byte to the most order the items by all of them.
template <typename T, typename ByteOf>
void PassByByte(const T* From, T* To, std::size_t N, ByteOf&& Byte) {
    std::size_t at[256] = {};
    for (std::size_t i = 0; i < N; ++i) ++at[Byte(From[i])];
    for (std::size_t b = 0, sum = 0; b < 256; ++b) {
        const std::size_t count = at[b];
        at[b] = sum;
        sum += count;
    }
    for (std::size_t i = 0; i < N; ++i) To[at[Byte(From[i])]++] = From[i];
}

// Orders the entries of one rank of a sort by their prefixes (the next
// field's images) and equal prefixes by id, IdsDown for a descending first
// field. They come in the order of the list before, mostly already by id:
// those are then moved by the bytes of the prefix where they differ, a
// pass each, which keeps their order within equal prefixes, instead of a
// comparison sort whose branches go at random (runs of hundreds of rows,
// in a large table, where that is most of the sort). Short runs, and runs
// not yet by id, are compared; runs of one prefix already by id (an index
// of one field) stay as they are.
template <typename Entry>
void SortRun(Entry* First, Entry* Last, bool IdsDown, std::vector<Entry>& Scratch) {
    auto less = [IdsDown](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return IdsDown ? a.id > b.id : a.id < b.id;
    };
    const auto n = static_cast<std::size_t>(Last - First);
    constexpr std::size_t kCompared = 128;
    bool byId = true;
    uint64_t differ = 0;
    for (std::size_t i = 1; i < n && byId; ++i) {
        byId = IdsDown ? First[i - 1].id > First[i].id : First[i - 1].id < First[i].id;
        differ |= First[i].prefix ^ First[0].prefix;
    }
    if (byId && differ == 0) return;
    if (!byId || n < kCompared) {
        std::sort(First, Last, less);
        return;
    }
    Scratch.resize(n);
    Entry* from = First;
    Entry* to = Scratch.data();
    for (int b = 0; b < 8; ++b) {
        if (((differ >> (8 * b)) & 0xFF) == 0) continue;
        PassByByte(from, to, n, [b](const Entry& e) { return (e.prefix >> (8 * b)) & 0xFF; });
        std::swap(from, to);
    }
    if (from != First) std::copy(from, from + n, First);
}

}  // namespace

// Key bytes of numbered texts, one after another in one buffer, each after
// its 32-bit length as an index's pool holds them: a pool may be these bytes
// as they stand.
struct TextKeys {
    std::string bytes;
    std::vector<std::size_t> ends;
    // Where key k's length is.
    std::size_t Start(std::size_t k) const { return k == 0 ? 0 : ends[k - 1]; }
    std::string_view Key(std::size_t k) const {
        const std::size_t from = Start(k) + 4;
        return std::string_view(bytes.data() + from, ends[k] - from);
    }
    // The next key's bytes are appended to bytes between these two.
    void Begin() { bytes.append(4, '\0'); }
    void End() {
        const std::size_t from = Start(ends.size());
        WriteValue<uint32_t>(reinterpret_cast<uint8_t*>(bytes.data() + from),
                             static_cast<uint32_t>(bytes.size() - from - 4));
        ends.push_back(bytes.size());
    }
    // A key's place, then (once that is in) its bytes.
    void PrefetchPlace(std::size_t k) const { __builtin_prefetch(ends.data() + (k == 0 ? 0 : k - 1)); }
    void PrefetchKey(std::size_t k) const {
        const char* p = bytes.data() + Start(k);
        __builtin_prefetch(p);
        __builtin_prefetch(p + 64);
    }
};

namespace {

// The image of a stored number (nullptr: null) whose order is the number's,
// null first; 0 for the types no 64-bit image holds with its null.
uint64_t NumberImage(const uint8_t* v, TFieldType Type) {
    if (v == nullptr) return 0;
    switch (Type) {
        case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
            return DoubleImage(ReadValue<double>(v));
        case ftLargeint: case ftBCD: case ftFMTBcd:
            return 0;
        case ftSmallint:
            return (uint64_t{1} << 32) | (static_cast<uint16_t>(ReadValue<int16_t>(v)) ^ 0x8000u);
        case ftWord:
            return (uint64_t{1} << 32) | ReadValue<uint16_t>(v);
        case ftBoolean:
            return (uint64_t{1} << 32) | (ReadValue<int16_t>(v) != 0 ? 1u : 0u);
        default:  // ftInteger, ftAutoInc
            return (uint64_t{1} << 32) | (static_cast<uint32_t>(ReadValue<int32_t>(v)) ^ 0x80000000u);
    }
}

// The key bytes of a number's image: the inverse of what SortByKeys makes
// the image of.
void AppendImageKey(std::string& Key, uint64_t Image, TFieldType Type, TmtifoOptions Options) {
    const bool desc = Options.Contains(mtifoDescending);
    const uint64_t v = desc ? ~Image : Image;
    const std::size_t base = Key.size();
    if (v == 0) {
        Key.push_back('\0');
    } else {
        Key.push_back('\1');
        switch (Type) {
            case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
                PutBigEndian(Key, v, 8);
                break;
            case ftSmallint: case ftWord: PutBigEndian(Key, v & 0xFFFFu, 2); break;
            case ftBoolean: Key.push_back((v & 1u) != 0 ? '\1' : '\0'); break;
            default: PutBigEndian(Key, v & 0xFFFFFFFFu, 4); break;
        }
    }
    if (desc)
        for (std::size_t k = base; k < Key.size(); ++k) Key[k] = static_cast<char>(~static_cast<unsigned char>(Key[k]));
}

// The bytes of AppendKeyBytes for a text under the collation (nullptr:
// null), up to the end of its primary weights: the order of whole keys
// wherever these differ.
void AppendPrimaryKeyBytes(std::string& Key, const uint8_t* Value, int32_t Length, TmtifoOptions Options) {
    const std::size_t base = Key.size();
    if (Value == nullptr) {
        Key.push_back('\0');
    } else {
        Key.push_back('\1');
        const auto* p = reinterpret_cast<const char*>(Value);
        const std::string_view text(p, strnlen(p, static_cast<std::size_t>(std::max(Length, 0))));
        if (Options.Contains(mtifoCaseInsensitive))
            AppendAnsiCompactCollationPrimaryText(Key, text);
        else
            AppendAnsiCompactCollationPrimaryStr(Key, text);
    }
    if (Options.Contains(mtifoDescending))
        for (std::size_t k = base; k < Key.size(); ++k) Key[k] = static_cast<char>(~static_cast<unsigned char>(Key[k]));
}

}  // namespace
}  // namespace memtable

namespace {

// The distinct texts of one field while an index is made: an open-addressing
// table over one buffer of their bytes, so that a row whose text was seen
// costs one probe and no node or string of its own. Each text gets the next
// number in the order first seen, and its key bytes the next place in one
// buffer of keys.
class DistinctTexts {
public:
    int64_t nullIndex = -1;

    // Eight bytes at a time, one multiplication each, then mixed so that the
    // low bits (the slot) depend on every byte: a name costs a few cycles
    // where a general-purpose hash takes three multiplications a word and
    // a call. Equal texts alone need equal hashes; the table compares texts.
    static uint64_t Hash(std::string_view Text) {
        constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
        const char* p = Text.data();
        const std::size_t n = Text.size();
        uint64_t h = n * kMultiplier;
        auto word = [](const char* At) {
            uint64_t w;
            std::memcpy(&w, At, 8);
            return w;
        };
        if (n >= 8) {
            for (std::size_t i = 0; i + 8 < n; i += 8) h = (h ^ word(p + i)) * kMultiplier;
            h = (h ^ word(p + n - 8)) * kMultiplier;  // the last eight, overlapping the word before
        } else if (n >= 4) {
            uint32_t a, b;
            std::memcpy(&a, p, 4);
            std::memcpy(&b, p + n - 4, 4);
            h = (h ^ (uint64_t{a} << 32 | b)) * kMultiplier;
        } else if (n > 0) {
            const auto byte = [&](std::size_t i) { return uint64_t{static_cast<unsigned char>(p[i])}; };
            h = (h ^ (byte(0) << 16 | byte(n / 2) << 8 | byte(n - 1))) * kMultiplier;
        }
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93ull;
        h ^= h >> 32;
        return h;
    }
    // Starts bringing in the slot where a text of this hash is looked for:
    // rows are looked up a few ahead of their turn, so that the table's
    // misses overlap instead of coming one after another.
    void Prefetch(uint64_t Hash) const {
        if (!slots_.empty()) __builtin_prefetch(slots_.data() + (Hash & (slots_.size() - 1)));
    }
    // Then, once the slot is in, the text it holds, which a row of a text
    // seen before is compared with.
    void PrefetchText(uint64_t Hash) const {
        if (slots_.empty()) return;
        const Slot& s = slots_[Hash & (slots_.size() - 1)];
        if (s.offset != kEmpty) __builtin_prefetch(bytes_.data() + s.offset);
    }
    uint32_t FindOrAdd(std::string_view Text, uint64_t Hash, bool& Added) {
        if ((count_ + 1) * 2 > slots_.size()) Grow();
        const auto h = static_cast<uint32_t>(Hash);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.offset == kEmpty) {
                s = Slot{h, Append(Text)};
                ++count_;
                Added = true;
                return next_ - 1;
            }
            if (s.hash == h && LengthAt(s.offset) == Text.size() &&
                std::memcmp(bytes_.data() + s.offset + kHeader, Text.data(), Text.size()) == 0) {
                Added = false;
                return NumberAt(s.offset);
            }
        }
    }
    std::size_t Taken() const { return next_; }
    // The numbers given so far, null included.
    uint32_t Take() {
        Append(std::string_view());
        return next_ - 1;
    }
    // The text of a number (empty for the one Take gave).
    std::string_view Text(std::size_t k) const {
        const uint32_t at = starts_[k];
        return std::string_view(bytes_.data() + at + kHeader, LengthAt(at));
    }
    // Room for up to Rows texts of about Length bytes.
    void Expect(std::size_t Rows, std::size_t Length) {
        // Kept at most half full: twice as many slots as texts to come.
        std::size_t size = 64;
        while (size < Rows * 2) size *= 2;
        if (size > slots_.size()) Resize(size);
        // Room for every row's text, though about half repeat another's:
        // room never written costs no memory, where a buffer that grows
        // past its room is copied whole into memory written for the first
        // time.
        memtable::ReserveHuge(bytes_, Rows * (Length + kHeader));
        memtable::ReserveHuge(starts_, Rows);
    }
    // Room for the keys of all the texts taken, once the first Made of them
    // are written, at the size those took per byte of text and a little
    // more: an index may keep these bytes as its pool, which room reserved
    // for every row, or doubled on the way, would leave far larger than its
    // keys.
    void ExpectKeys(std::size_t Made) {
        const std::size_t textMade = Made == 0 ? 0 : TextBytesBefore(Made);
        if (Made == 0 || textMade == 0) return;
        const double perByte = static_cast<double>(keys.bytes.size()) / static_cast<double>(textMade);
        const auto rest =
            static_cast<std::size_t>(perByte * static_cast<double>(TextBytesBefore(next_) - textMade) * 1.1);
        memtable::ReserveHuge(keys.bytes, keys.bytes.size() + rest + (next_ - Made) * 8);
        memtable::ReserveHuge(keys.ends, next_);
    }
    template <typename F>
    void ForEach(F&& Visit) const {
        for (const Slot& s : slots_)
            if (s.offset != kEmpty)
                Visit(std::string_view(bytes_.data() + s.offset + kHeader, LengthAt(s.offset)), NumberAt(s.offset));
    }
    // The key bytes of each number, written in the order the numbers were
    // given: NextKey() opens the next one's and takes its bytes, EndKey()
    // closes it.
    std::string& NextKey() {
        keys.Begin();
        return keys.bytes;
    }
    void EndKey() { keys.End(); }
    // The key bytes of every number, one text after another once they are
    // all known, rather than between look-ups that would push the
    // collation's tables out of the cache; with Primary, those bytes cut
    // after the texts' primary weights (a text under the collation only).
    void WriteKeys(TFieldType Type, TmtifoOptions Options, bool Primary) {
        constexpr std::size_t kFirstKeys = 64;
        for (std::size_t k = 0; k < Taken(); ++k) {
            if (k == kFirstKeys) ExpectKeys(k);
            const std::string_view text = Text(k);
            const uint8_t* value =
                static_cast<int64_t>(k) == nullIndex ? nullptr : reinterpret_cast<const uint8_t*>(text.data());
            if (Primary)
                memtable::AppendPrimaryKeyBytes(NextKey(), value, static_cast<int32_t>(text.size()), Options);
            else
                memtable::AppendKeyBytes(NextKey(), value, static_cast<int32_t>(text.size()), Type, Options);
            EndKey();
        }
    }
    // Once no text is looked up any more: the table's room goes, the texts
    // and keys stay.
    void DropLookup() { std::vector<Slot>().swap(slots_); }
    std::size_t Keys() const { return keys.ends.size(); }
    std::string_view Key(std::size_t k) const { return keys.Key(k); }
    memtable::TextKeys keys;

private:
    static constexpr uint32_t kEmpty = ~uint32_t{0};
    // 8 bytes: a table of twice as many slots as a million texts stays at
    // 16 MB. The text's number and length lie before its bytes, which a
    // text found is compared with anyway.
    struct Slot {
        uint32_t hash = 0;
        uint32_t offset = kEmpty;  // of the text's number, then length, then bytes
    };
    static constexpr std::size_t kHeader = 8;
    uint32_t NumberAt(uint32_t At) const {
        return memtable::ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + At);
    }
    uint32_t LengthAt(uint32_t At) const {
        return memtable::ReadValue<uint32_t>(reinterpret_cast<const uint8_t*>(bytes_.data()) + At + 4);
    }
    // A text numbered next; its place.
    uint32_t Append(std::string_view Text) {
        const auto at = static_cast<uint32_t>(bytes_.size());
        uint32_t header[2] = {next_++, static_cast<uint32_t>(Text.size())};
        bytes_.append(reinterpret_cast<const char*>(header), kHeader);
        bytes_.append(Text);
        starts_.push_back(at);
        return at;
    }
    // The bytes of the texts numbered below K, without their headers.
    std::size_t TextBytesBefore(std::size_t K) const {
        return (K < next_ ? starts_[K] : bytes_.size()) - K * kHeader;
    }
    void Grow() { Resize(std::max<std::size_t>(64, slots_.size() * 2)); }
    void Resize(std::size_t Size) {
        std::vector<Slot> old;
        memtable::ReserveHuge(old, Size);
        old.resize(Size);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (const Slot& s : old) {
            if (s.offset == kEmpty) continue;
            std::size_t i = s.hash & mask;
            while (slots_[i].offset != kEmpty) i = (i + 1) & mask;
            slots_[i] = s;
        }
    }
    std::vector<Slot> slots_;
    std::string bytes_;
    std::vector<uint32_t> starts_;  // by number
    std::size_t count_ = 0;
    uint32_t next_ = 0;
};

}  // namespace

// What the keys of a sorted index are made from, while they are not written
// yet: the key bytes of the distinct texts of its first two fields and the
// text of each rank. A text field's image is its text's rank. A field ranked
// through keys cut after their primary weights keeps its texts instead,
// whose whole keys are written when first needed.
struct TmtIndex::ImageKeys {
    memtable::TextKeys texts[2];
    std::vector<uint32_t> textOfRank[2];
    bool ranked[2] = {false, false};
    std::unique_ptr<DistinctTexts> unkeyed[2];
};

TmtIndex::TmtIndex(const std::string& Name, TmtCustomMemTable* DataSet, const std::string& Fields,
                   TmtMemTableCompareOptions Options, bool IsSortable, bool IsInternal)
    : name_(Name), dataSet_(DataSet), indexFields_(Fields), options_(Options), isSortable_(IsSortable),
      isInternal_(IsInternal) {
    if (!Fields.empty()) {
        BuildIndexFieldList(DataSet, DataSet, fieldList_, Fields);
        const TmtifoOption opts[] = {mtifoDescending, mtifoCaseInsensitive, mtifoPartial, mtifoIgnoreNull,
                                     mtifoIgnoreLocale};
        for (int bit = 0; bit < 5; ++bit) {
            if (!Options.Contains(static_cast<TmtMemTableCompareOption>(bit))) continue;
            for (int i = 0; i < fieldList_.Count(); ++i) {
                TmtifoOptions o = fieldList_.Options(i);
                o.Include(opts[bit]);
                fieldList_.SetOptions(i, o);
            }
        }
    }
    CheckKeyable();
}

std::unique_ptr<TmtIndex> TmtIndex::CreateFromIndexDef(TIndexDef* IndexDef, TmtCustomMemTable* DataSet) {
    auto index = std::make_unique<TmtIndex>(IndexDef->Name(), DataSet, IndexDef->Fields(),
                                            IndexOptionsToCompareOptions(IndexDef->Options()), true, false);
    TmtFieldList& list = index->IndexFieldList();
    // Per-field options of the definition come on top of the index-wide ones.
    if (!IndexDef->Options().Contains(ixDescending) && !IndexDef->DescFields().empty())
        SetFieldListOptions(DataSet, list, mtifoDescending, IndexDef->DescFields());
    if (!IndexDef->Options().Contains(ixCaseInsensitive) && !IndexDef->CaseInsFields().empty())
        SetFieldListOptions(DataSet, list, mtifoCaseInsensitive, IndexDef->CaseInsFields());
    index->CheckKeyable();
    return index;
}

void TmtIndex::CheckKeyable() {
    pendingKeys_.reset();
    keyable_ = fieldList_.Count() > 0;
    for (int i = 0; i < fieldList_.Count() && keyable_; ++i)
        if (fieldList_.FieldNo(i) <= 0 || !IsKeyableField(fieldList_.Fields(i)->DataType(), fieldList_.Options(i)))
            keyable_ = false;
    keysValid_ = keyable_ && Count() == 0;
}

TmtIndex::~TmtIndex() = default;

void TmtIndex::SortByKeys() {
    // The keys of every record, made here from the records themselves. A
    // text is keyed once per distinct value, and the first two fields sort
    // by 64-bit images of their order (a text by the rank of its key among
    // the distinct ones), so that the sort itself compares integers; key
    // bytes decide only where the images cannot.
    EntriesChanged();
    pendingKeys_.reset();
    keysValid_ = false;
    TmtCommon* common = dataSet_->Common();
    const int nf = fieldList_.Count();
    const std::size_t n = entries_.size();
    pool_.clear();
    shared_ = 0;
    deadBytes_ = 0;
    std::vector<DistinctTexts> distinct(static_cast<std::size_t>(nf));
    bool exact[2] = {true, true};
    bool ranked[2] = {false, false};
    bool primary[2] = {false, false};  // ranked through keys cut after the primary weights
    // A 64-bit number and its null do not fit in an image of 64 bits.
    for (int f = 0; f < std::min(nf, 2); ++f)
        switch (fieldList_.Fields(f)->DataType()) {
            case ftLargeint: case ftBCD: case ftFMTBcd: exact[f] = false; break;
            default: break;
        }
    // An image that leaves its field's order to the key bytes hides the next
    // field's order: images count only up to the first such field.
    const bool useSecond = nf > 1 && exact[0];
    const bool needBytes = nf > 2 || !exact[0] || (nf > 1 && !exact[1]);
    // Where the images alone order the entries, a key is written after the
    // sort from its images, once per distinct key, instead of once per row
    // and compacted afterwards.
    const bool keysLater = !needBytes;
    for (int f = 0; f < std::min(nf, 2); ++f) ranked[f] = IsStringKind(fieldList_.Fields(f)->DataType());
    // A text first, and images that order alone: the rows go straight to
    // their places once the texts are ranked (see below), with no list of
    // items between.
    const bool textFirst = keysLater && ranked[0];
    struct Item {
        uint64_t image[2];
        int32_t id;
        uint32_t offset, length;
        PmtRecord record;
    };
    std::vector<Item> items(textFirst ? 0 : n);
    std::string key, scratch;
    // The number of each row's text, field by field, made first: a row's
    // look-up in the table of distinct texts is started several rows ahead.
    std::vector<std::vector<uint32_t>> textNumbers(static_cast<std::size_t>(nf));
    // A text first and a number second: the number's image of each row, read
    // from the record while its text is (a second pass over every record
    // would read them all from memory again).
    TField* second = nf > 1 ? fieldList_.Fields(1) : nullptr;
    const bool secondImages = textFirst && second != nullptr && !ranked[1];
    const bool secondDescending = second != nullptr && fieldList_.Options(1).Contains(mtifoDescending);
    std::vector<uint64_t> imagesOfSecond(secondImages ? n : 0);
    // A text first: the entries' ids in their present order, read block by
    // block once, for the rows' look-ups and then their placing (which
    // writes the entries over).
    std::vector<int32_t> ids;
    if (textFirst) {
        ReserveHuge(ids, n);
        entries_.ForEach([&](const Entry& e) { ids.push_back(e.id); });
    }
    std::string secondScratch;  // not the text's, which may still be in use
    auto imageOfSecond = [&](PmtRecord Record) {
        int32_t len = 0;
        const uint64_t image = NumberImage(
            common->FieldValueForRead(Record, fieldList_.FieldNo(1), second, len, secondScratch), second->DataType());
        return secondDescending ? ~image : image;
    };
    {
        struct Text {
            const uint8_t* value;  // nullptr: null
            int32_t length;
            uint64_t hash;
            PmtRecord record;
        };
        // The texts of the rows between the one looked up and the one whose
        // slot is being fetched.
        constexpr std::size_t kAhead = 16, kRing = 32;
        Text texts[kRing];
        for (int f = 0; f < nf; ++f) {
            TField* field = fieldList_.Fields(f);
            const TFieldType type = field->DataType();
            if (!IsStringKind(type)) continue;
            const TmtifoOptions opts = fieldList_.Options(f);
            DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
            // Texts a field decompresses land in one scratch buffer: those
            // are looked up at once, not ahead.
            const bool stable = fieldList_.FieldNo(f) <= 0 ||
                                (common->FieldFlags(fieldList_.FieldNo(f)) & kFlagCompressed) == 0 ||
                                common->Owner() == nullptr || !common->Owner()->OnDecompressField;
            std::vector<uint32_t>& numbers = textNumbers[static_cast<std::size_t>(f)];
            ReserveHuge(numbers, n);
            numbers.resize(n);
            auto read = [&](std::size_t i) {
                int32_t len = 0;
                PmtRecord record = common->Record(textFirst ? ids[i] : entries_[i].id);
                const uint8_t* v = common->FieldValueForRead(record, fieldList_.FieldNo(f), field, len, scratch);
                Text t{v, len, 0, record};
                if (v != nullptr) {
                    const auto* p = reinterpret_cast<const char*>(v);
                    t.length = static_cast<int32_t>(strnlen(p, static_cast<std::size_t>(std::max(len, 0))));
                    t.hash = DistinctTexts::Hash(std::string_view(p, static_cast<std::size_t>(t.length)));
                }
                return t;
            };
            auto number = [&](const Text& t) {
                if (t.value == nullptr) {
                    if (d.nullIndex < 0) d.nullIndex = d.Take();
                    return static_cast<uint32_t>(d.nullIndex);
                }
                bool added = false;
                return d.FindOrAdd(
                    std::string_view(reinterpret_cast<const char*>(t.value), static_cast<std::size_t>(t.length)),
                    t.hash, added);
            };
            // A sort's texts, mostly distinct (too many to keep for later
            // searches), are ranked through keys cut after their primary
            // weights, which mostly order them alone: whole keys are made
            // for the texts those leave tied, and for all of them only when
            // a search or a change first needs them (a listing never may).
            auto writeKeys = [&] {
                // Texts too many to keep for the searches (below) are looked
                // up no more: their table's room goes before the keys take
                // theirs, which can then be the same memory.
                if (d.Taken() * 8 > n) d.DropLookup();
                const bool cut =
                    keysOnDemand_ && textFirst && f < 2 && !opts.Contains(mtifoIgnoreLocale) && d.Taken() * 8 > n;
                if (f < 2) primary[f] = cut;
                d.WriteKeys(type, opts, cut);
            };
            const bool withImages = f == 0 && secondImages;
            if (!stable) {
                for (std::size_t i = 0; i < n; ++i) {
                    const Text t = read(i);
                    numbers[i] = number(t);
                    if (withImages) imagesOfSecond[i] = imageOfSecond(t.record);
                }
                writeKeys();
                continue;
            }
            // Rows spread over the table tell whether its texts are mostly
            // distinct (a register of clients) rather than few and repeated:
            // those get room for all of them at once, not through every
            // doubling of the table and of the buffers.
            constexpr std::size_t kSample = 1024;
            if (n >= 64 * kSample) {
                std::unordered_set<std::string_view> seen;
                std::size_t bytes = 0;
                for (std::size_t k = 0; k < kSample; ++k) {
                    const Text t = read(k * (n / kSample));
                    if (t.value == nullptr) continue;
                    seen.emplace(reinterpret_cast<const char*>(t.value), static_cast<std::size_t>(t.length));
                    bytes += static_cast<std::size_t>(t.length);
                }
                if (seen.size() * 100 >= kSample * 97) d.Expect(n, bytes / kSample);
            }
            for (std::size_t i = 0; i < std::min(n, kAhead); ++i) texts[i] = read(i);
            for (std::size_t i = 0; i < n; ++i) {
                if (i + kAhead < n) {
                    Text& t = texts[(i + kAhead) % kRing];
                    t = read(i + kAhead);
                    if (t.value != nullptr) d.Prefetch(t.hash);
                }
                if (i + kAhead / 2 < n && texts[(i + kAhead / 2) % kRing].value != nullptr)
                    d.PrefetchText(texts[(i + kAhead / 2) % kRing].hash);
                numbers[i] = number(texts[i % kRing]);
                if (withImages) imagesOfSecond[i] = imageOfSecond(texts[i % kRing].record);
            }
            writeKeys();
        }
    }
    for (std::size_t i = 0; i < n && !textFirst; ++i) {
        Item& item = items[i];
        item.id = entries_[i].id;
        item.image[0] = item.image[1] = 0;
        PmtRecord r = common->Record(item.id);
        item.record = r;
        key.clear();
        for (int f = 0; f < nf; ++f) {
            TField* field = fieldList_.Fields(f);
            const TFieldType type = field->DataType();
            const TmtifoOptions opts = fieldList_.Options(f);
            const bool desc = opts.Contains(mtifoDescending);
            if (IsStringKind(type)) {
                DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
                const uint32_t at = textNumbers[static_cast<std::size_t>(f)][i];
                if (!keysLater) key += d.Key(at);
                if (f < 2) item.image[f] = at;  // made a rank below
                continue;
            }
            int32_t len = 0;
            const uint8_t* v = common->FieldValueForRead(r, fieldList_.FieldNo(f), field, len, scratch);
            if (!keysLater) AppendKeyBytes(key, v, len, type, opts);
            if (f >= 2) continue;
            const uint64_t image = NumberImage(v, type);
            item.image[f] = desc ? ~image : image;
        }
        if (keysLater) continue;
        if (i == 0) pool_.reserve((key.size() + 4) * n + 16);
        item.offset = AddKey(reinterpret_cast<const uint8_t*>(key.data()), key.size()) + 4;
        item.length = static_cast<uint32_t>(key.size());
    }
    // Ranks of the distinct texts, equal keys sharing one.
    std::vector<uint32_t> textOfRank[2], rankOf[2];
    for (int f = 0; f < std::min(nf, 2); ++f) {
        if (!ranked[f]) continue;
        DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
        const std::size_t keys = d.Keys();
        // The 8 key bytes of each text past those all share ("Cliente ..."),
        // side by side with its number, decide most comparisons without
        // reaching the keys.
        std::size_t common = keys == 0 ? 0 : d.Key(0).size();
        for (std::size_t k = 1; k < keys && common > 0; ++k) {
            const std::string_view a = d.Key(0), b = d.Key(k);
            std::size_t same = 0;
            const std::size_t most = std::min(common, b.size());
            while (same < most && a[same] == b[same]) ++same;
            common = same;
        }
        struct Head {
            uint64_t head;
            uint32_t number;
            uint32_t more;  // the four key bytes after the head
        };
        std::vector<Head> order;
        ReserveHuge(order, keys);
        order.resize(keys);
        auto headAt = [&](uint32_t k, std::size_t from) {
            const std::string_view b = d.Key(k);
            return from >= b.size() ? uint64_t{0}
                                    : PrefixOf(reinterpret_cast<const uint8_t*>(b.data()) + from, b.size() - from);
        };
        // The 16 key bytes after each head too, by number, read in the same
        // pass over the keys: texts of one head (a first name) are ordered
        // by them without a read of their keys, each elsewhere, and most are
        // then told apart (a first name, a particle and most of a surname).
        struct Tail {
            uint64_t first, second;
        };
        std::vector<Tail> tails;
        ReserveHuge(tails, keys);
        tails.resize(keys);
        for (std::size_t k = 0; k < keys; ++k) {
            const auto at = static_cast<uint32_t>(k);
            tails[k] = Tail{headAt(at, common + 8), headAt(at, common + 16)};
            order[k] = Head{headAt(at, common), at, static_cast<uint32_t>(tails[k].first >> 32)};
        }
        // By the heads and the four bytes after them, a byte at a time from
        // the last, over the bytes where they differ at all: a pass over the
        // heads per byte instead of a comparison sort's branches taken at
        // random. The runs of one head and four bytes more are a few names
        // (a first name and the start of a surname), not a hundred.
        uint64_t differ = 0, differMore = 0;
        for (const Head& h : order) {
            differ |= h.head ^ order[0].head;
            differMore |= h.more ^ order[0].more;
        }
        if ((differ | differMore) != 0) {
            std::vector<Head> moved;
            ReserveHuge(moved, keys);
            moved.resize(keys);
            auto pass = [&](auto byteOf) {
                PassByByte(order.data(), moved.data(), keys, byteOf);
                order.swap(moved);
            };
            for (int shift = 0; shift < 32; shift += 8)
                if (((differMore >> shift) & 0xFF) != 0)
                    pass([shift](const Head& h) { return (h.more >> shift) & 0xFF; });
            for (int shift = 0; shift < 64; shift += 8)
                if (((differ >> shift) & 0xFF) != 0)
                    pass([shift](const Head& h) { return (h.head >> shift) & 0xFF; });
        }
        // Texts of one head are ordered by their next eight key bytes, and
        // so on (names that share a first name share their first heads):
        // integers compared in a small run, not whole keys. A zero-padded
        // head orders as the bytes do, a key that ends first sorting first;
        // runs still tied when their keys are used up, or small, compare
        // whole keys.
        auto byKey = [&](const Head& a, const Head& b) { return d.Key(a.number) < d.Key(b.number); };
        struct Run {
            std::size_t from, to, offset;
        };
        std::vector<Run> runs;
        // With keys cut after the primary weights: the positions whose cut
        // key is the one before's.
        std::vector<std::size_t> tied;
        auto pushRuns = [&](std::size_t from, std::size_t to, std::size_t offset) {
            for (std::size_t i = from; i < to;) {
                std::size_t j = i + 1;
                while (j < to && order[j].head == order[i].head) ++j;
                if (j - i > 1) runs.push_back(Run{i, j, offset});
                i = j;
            }
        };
        // The runs of one head (and four bytes) by their tails; texts still
        // tied go on below from the bytes past the tails.
        struct Tailed {
            Tail tail;
            uint32_t number;
        };
        std::vector<Tailed> tailed;
        for (std::size_t i = 0; i < keys;) {
            std::size_t j = i + 1;
            while (j < keys && order[j].head == order[i].head && order[j].more == order[i].more) ++j;
            if (j - i > 1) {
                tailed.clear();
                // Fetched ahead over the runs to come as well: most are a few
                // texts, fewer than a fetch takes to come in.
                constexpr std::size_t kAheadTails = 16;
                for (std::size_t k = i; k < j; ++k) {
                    if (k + kAheadTails < keys) __builtin_prefetch(tails.data() + order[k + kAheadTails].number);
                    tailed.push_back(Tailed{tails[order[k].number], order[k].number});
                }
                // Both words at once, with no branch between them.
                std::sort(tailed.begin(), tailed.end(), [](const Tailed& a, const Tailed& b) {
                    return (a.tail.first < b.tail.first) |
                           ((a.tail.first == b.tail.first) & (a.tail.second < b.tail.second));
                });
                for (std::size_t k = i, t = 0; k < j;) {
                    std::size_t u = t + 1;
                    while (u < tailed.size() && tailed[u].tail.first == tailed[t].tail.first &&
                           tailed[u].tail.second == tailed[t].tail.second)
                        ++u;
                    for (std::size_t v = t; v < u; ++v)
                        order[k + v - t] = Head{tailed[v].tail.second, tailed[v].number, 0};
                    if (u - t > 1) runs.push_back(Run{k, k + u - t, common + 16});
                    k += u - t;
                    t = u;
                }
            }
            i = j;
        }
        while (!runs.empty()) {
            const Run run = runs.back();
            runs.pop_back();
            const auto first = order.begin() + static_cast<std::ptrdiff_t>(run.from);
            const auto last = order.begin() + static_cast<std::ptrdiff_t>(run.to);
            const std::size_t next = run.offset + 8;
            bool longer = false;
            for (auto it = first; it != last && !longer; ++it) longer = d.Key(it->number).size() > next;
            if (run.to - run.from <= 8 || !longer) {
                std::sort(first, last, byKey);
                if (primary[f])
                    for (auto it = first + 1; it != last; ++it)
                        if (d.Key(it->number) == d.Key((it - 1)->number)) tied.push_back(it - order.begin());
                continue;
            }
            // The texts of a run lie anywhere among the keys: the bytes of
            // those a few ahead are on their way, their places before them.
            constexpr std::ptrdiff_t kAheadKeys = 8;
            const char* keyBytes = d.keys.bytes.data();
            for (auto it = first; it != last; ++it) {
                if (last - it > 2 * kAheadKeys) d.keys.PrefetchPlace((it + 2 * kAheadKeys)->number);
                if (last - it > kAheadKeys)
                    __builtin_prefetch(keyBytes + d.keys.Start((it + kAheadKeys)->number) + 4 + next);
                it->head = headAt(it->number, next);
            }
            std::sort(first, last, [](const Head& a, const Head& b) { return a.head < b.head; });
            pushRuns(run.from, run.to, next);
        }
        // Texts whose cut keys tie, by their whole keys: those tied still
        // share a rank.
        std::vector<std::size_t> sharing;  // positions whose whole key is the one before's
        if (primary[f] && !tied.empty()) {
            std::sort(tied.begin(), tied.end());
            const TFieldType type = fieldList_.Fields(f)->DataType();
            const TmtifoOptions opts = fieldList_.Options(f);
            std::vector<std::pair<std::string, uint32_t>> whole;
            for (std::size_t t = 0; t < tied.size();) {
                // A tie is a position and the ones after it that tie too.
                const std::size_t from = tied[t] - 1;
                std::size_t to = tied[t] + 1;
                for (++t; t < tied.size() && tied[t] == to; ++t) ++to;
                whole.clear();
                for (std::size_t k = from; k < to; ++k) {
                    const uint32_t number = order[k].number;
                    const std::string_view text = d.Text(number);
                    std::string key;
                    AppendKeyBytes(key,
                                   static_cast<int64_t>(number) == d.nullIndex
                                       ? nullptr
                                       : reinterpret_cast<const uint8_t*>(text.data()),
                                   static_cast<int32_t>(text.size()), type, opts);
                    whole.emplace_back(std::move(key), number);
                }
                std::sort(whole.begin(), whole.end());
                for (std::size_t k = from; k < to; ++k) {
                    order[k].number = whole[k - from].second;
                    if (k > from && whole[k - from].first == whole[k - from - 1].first) sharing.push_back(k);
                }
            }
        }
        std::vector<uint32_t>& rank = rankOf[f];
        ReserveHuge(rank, keys);
        rank.resize(keys);
        // A key that tells case apart ends with the text itself (the
        // collation's ties broken by the bytes), or is the text's bytes:
        // distinct texts then have distinct keys, and each its own rank,
        // with no key read again.
        const bool ownRanks = !fieldList_.Options(f).Contains(mtifoCaseInsensitive);
        uint32_t r = 0;
        for (std::size_t k = 0, shared = 0; k < keys; ++k) {
            bool same = false;
            if (primary[f]) {
                same = shared < sharing.size() && sharing[shared] == k;
                shared += same ? 1 : 0;
            } else {
                same = k > 0 && !ownRanks && d.Key(order[k].number) == d.Key(order[k - 1].number);
            }
            if (k > 0 && !same) ++r;
            rank[order[k].number] = r;
            if (r == textOfRank[f].size()) textOfRank[f].push_back(order[k].number);
        }
        for (Item& item : items) item.image[f] = rank[item.image[f]];
    }
    const bool firstDescending = nf > 0 && fieldList_.Options(0).Contains(mtifoDescending);
    // Few distinct texts (a value every 8th row at least): their keys are
    // kept for the searches and inserts to come.
    memo_.clear();
    memo_.resize(static_cast<std::size_t>(nf));
    for (int f = 0; f < nf; ++f) {
        DistinctTexts& d = distinct[static_cast<std::size_t>(f)];
        if (d.Keys() == 0 || d.Keys() * 8 > n) continue;
        TextMemo& memo = memo_[static_cast<std::size_t>(f)];
        memo.Reset(std::max<std::size_t>(4096, d.Keys() * 2), d.Keys());
        d.ForEach([&](std::string_view text, uint32_t at) { memo.Add(text, d.Key(at)); });
    }
    // What keys are made from when they are made from images.
    auto takeImages = [&] {
        auto images = std::make_unique<ImageKeys>();
        for (int f = 0; f < std::min(nf, 2); ++f) {
            const auto uf = static_cast<std::size_t>(f);
            images->ranked[f] = ranked[f];
            images->textOfRank[f] = std::move(textOfRank[f]);
            if (primary[f]) {
                // The cut keys served their turn; the texts wait for theirs.
                distinct[uf].keys = memtable::TextKeys();
                distinct[uf].DropLookup();
                images->unkeyed[f] = std::make_unique<DistinctTexts>(std::move(distinct[uf]));
                continue;
            }
            images->texts[f] = std::move(distinct[uf].keys);
        }
        return images;
    };
    if (textFirst) {
        // Each row to its rank's place, the second field's image in the
        // entry's prefix and the rank in its key; then only the rows of one
        // rank are compared, a small run that stays in the cache however
        // large the table (a sort of the whole list misses it at every
        // level). The keys are written from the images, at once or, for a
        // sort, at the first search or change that needs them: a sort for a
        // listing may never see one.
        const std::vector<uint32_t>& rank0 = rankOf[0];
        // Each row's rank, written over its text's number as the ranks are
        // counted: the rows are then placed without looking either up again.
        std::vector<uint32_t>& ranks0 = textNumbers[0];
        const std::size_t ranks = textOfRank[0].size();
        std::vector<uint32_t> next;
        ReserveHuge(next, ranks + 1);
        next.resize(ranks + 1, 0);
        for (std::size_t i = 0; i < n; ++i) {
            const uint32_t r = rank0[ranks0[i]];
            ranks0[i] = r;
            ++next[r + 1];
        }
        for (std::size_t r = 0; r < ranks; ++r) next[r + 1] += next[r];
        // Each entry is written over at its row's place, anywhere in the
        // list: its rank's next place and that place are fetched in turn
        // over the rows ahead.
        constexpr std::size_t kAheadRows = 8;
        for (std::size_t i = 0; i < n; ++i) {
            if (i + 2 * kAheadRows < n) __builtin_prefetch(next.data() + ranks0[i + 2 * kAheadRows]);
            if (i + kAheadRows < n) {
                const std::size_t to = next[ranks0[i + kAheadRows]];
                if (to < n) __builtin_prefetch(&entries_[to], 1);
            }
            const int32_t id = ids[i];
            const uint64_t image =
                ranked[1] ? rankOf[1][textNumbers[1][i]] : (secondImages ? imagesOfSecond[i] : 0);
            const uint32_t r = ranks0[i];
            entries_[next[r]++] = Entry{image, id, r, common->Record(id)};
        }
        // next[r] is now where rank r + 1 starts.
        std::vector<Entry> run, scratch;
        for (std::size_t r = 0, from = 0; r < ranks; from = next[r], ++r) {
            const std::size_t to = next[r];
            if (to - from < 2) continue;
            // In its block where it fits in one, as most do.
            const std::size_t block = entries_.BlockAt(from);
            const std::size_t start = entries_.BlockStart(block);
            if (to - start <= entries_.BlockSize(block)) {
                Entry* at = entries_.BlockData(block);
                SortRun(at + (from - start), at + (to - start), firstDescending, scratch);
                continue;
            }
            entries_.CopyOut(from, to, run);
            SortRun(run.data(), run.data() + run.size(), firstDescending, scratch);
            entries_.CopyIn(from, run);
        }
        pendingKeys_ = takeImages();
        unkeyedSearches_ = 0;
        runsById_ = !firstDescending;
        runsByIdDown_ = firstDescending;
        if (!keysOnDemand_) MakePendingKeys();
        return;
    }
    if (!useSecond)
        for (Item& item : items) item.image[1] = 0;
    const uint8_t* pool = Pool();
    auto less = [&](const Item& a, const Item& b) {
        if (a.image[0] != b.image[0]) return a.image[0] < b.image[0];
        if (a.image[1] != b.image[1]) return a.image[1] < b.image[1];
        if (needBytes) {
            const int c = CompareKeyBytes(pool + a.offset, a.length, pool + b.offset, b.length);
            if (c != 0) return c < 0;
        }
        return firstDescending ? a.id > b.id : a.id < b.id;
    };
    const std::size_t ranks = ranked[0] ? distinct[0].Keys() : 0;
    if (ranked[0] && ranks <= n) {
        // A text first: its ranks are dense and few, so the items go to their
        // rank's place in one pass and only the items of one rank are
        // compared, a small run that stays in the cache however large the
        // table (a sort of the whole list misses it at every level).
        std::vector<uint32_t> start(ranks + 1, 0);
        for (const Item& item : items) ++start[item.image[0] + 1];
        for (std::size_t r = 0; r < ranks; ++r) start[r + 1] += start[r];
        std::vector<Item> placed(n);
        std::vector<uint32_t> next(start.begin(), start.end() - 1);
        for (const Item& item : items) placed[next[item.image[0]]++] = item;
        for (std::size_t r = 0; r < ranks; ++r)
            if (start[r + 1] - start[r] > 1) std::sort(placed.begin() + start[r], placed.begin() + start[r + 1], less);
        items.swap(placed);
    } else {
        std::sort(items.begin(), items.end(), less);
    }
    if (keysLater) {
        std::unique_ptr<ImageKeys> images = takeImages();
        runsById_ = !firstDescending;
        runsByIdDown_ = firstDescending;
        WriteImageKeys(*images, [&](std::size_t i) {
            Entry& e = entries_[i];
            e.id = items[i].id;
            e.hint = items[i].record;
            return std::pair<uint64_t, uint64_t>(items[i].image[0], items[i].image[1]);
        });
        return;
    }
    // Neighbours with one key share its bytes; the copies left over go in
    // one compaction, which keeps an index of few distinct values small.
    for (std::size_t i = 0; i < n; ++i) {
        Entry& e = entries_[i];
        const Item& item = items[i];
        e.id = item.id;
        e.hint = item.record;
        e.prefix = PrefixOf(pool + item.offset, item.length);
        const bool same = i > 0 && item.image[0] == items[i - 1].image[0] && item.image[1] == items[i - 1].image[1] &&
                          (!needBytes || CompareKeyBytes(pool + item.offset, item.length, pool + items[i - 1].offset,
                                                         items[i - 1].length) == 0);
        if (same) {
            e.key = entries_[i - 1].key;
            deadBytes_ += item.length + 4;
        } else {
            e.key = item.offset - 4;
        }
    }
    keysValid_ = true;
    runsById_ = !firstDescending;
    runsByIdDown_ = firstDescending;
    CompactPool();
    FindSharedBytes();
}

template <typename ImagesOf>
void TmtIndex::WriteImageKeys(const ImageKeys& Images, ImagesOf&& ImagesAt) {
    // Keys come in the entries' order, a text's from its rank: the text keys
    // of the next ranks are fetched meanwhile, first their places, then
    // their bytes. Entries of one image pair share one key.
    const int nf = fieldList_.Count();
    const std::size_t n = entries_.size();
    const std::vector<uint32_t>& texts = Images.textOfRank[0];
    constexpr std::size_t kAhead = 8;
    std::size_t fetched = 0;  // ranks whose places are on their way
    std::string key;
    std::pair<uint64_t, uint64_t> last{};
    pool_.clear();
    deadBytes_ = 0;
    shared_ = 0;
    prefixRuns_.reset();
    const bool letters = LettersWithKeys();
    LettersWriter writer;
    for (std::size_t i = 0; i < n; ++i) {
        const std::pair<uint64_t, uint64_t> image = ImagesAt(i);
        Entry& e = entries_[i];
        if (i > 0 && image == last) {
            e.key = entries_[i - 1].key;
            e.prefix = entries_[i - 1].prefix;
            // A run that opens on a text of the last one has its letters.
            if (letters && i % kPrefixRun == 0) LettersOfKey(i, key, writer);
            continue;
        }
        last = image;
        if (Images.ranked[0])
            for (; fetched < std::min(texts.size(), image.first + 2 * kAhead); ++fetched) {
                Images.texts[0].PrefetchPlace(texts[fetched]);
                if (fetched >= kAhead) Images.texts[0].PrefetchKey(texts[fetched - kAhead]);
            }
        key.clear();
        for (int f = 0; f < std::min(nf, 2); ++f) {
            const uint64_t v = f == 0 ? image.first : image.second;
            if (Images.ranked[f])
                key += Images.texts[f].Key(Images.textOfRank[f][v]);
            else
                AppendImageKey(key, v, fieldList_.Fields(f)->DataType(), fieldList_.Options(f));
        }
        if (i == 0) {
            // Room for every distinct key: a text's at the average size of
            // the texts' keys (the first in order, often among the shortest,
            // would leave the pool to grow by copies of itself), the rest
            // at the first key's size.
            const std::size_t keys = nf == 1 && Images.ranked[0] ? texts.size() : n;
            const memtable::TextKeys& first = Images.texts[0];
            const std::size_t text = Images.ranked[0] ? first.Key(texts[image.first]).size() + 4 : 0;
            const std::size_t average =
                Images.ranked[0] && !first.ends.empty() ? first.bytes.size() / first.ends.size() + 1 : text;
            ReserveHuge(pool_, keys * (average + key.size() + 4 - text + key.size() / 8) + 16);
        }
        e.key = AddKey(reinterpret_cast<const uint8_t*>(key.data()), key.size());
        e.prefix = PrefixOf(reinterpret_cast<const uint8_t*>(key.data()), key.size());
        if (letters) LettersOfKey(i, key, writer);
    }
    keysValid_ = true;
    FindSharedBytes();
    StampLetters();
}

bool TmtIndex::AdoptPendingKeys(ImageKeys& Images) {
    // One text field whose distinct texts have distinct keys: the keys, one
    // per text, are already those of the ranks, written once and stored as a
    // pool stores them. Entries of one rank share their text's key.
    // A large index copies them in key order instead: the last steps of a
    // search that the marks do not serve (an index changing between
    // searches) then read keys side by side, where keys in the order their
    // texts came would each be a miss of their own.
    constexpr std::size_t kAdoptedEntries = std::size_t{1} << 18;
    memtable::TextKeys& texts = Images.texts[0];
    if (fieldList_.Count() != 1 || !Images.ranked[0] || fieldList_.Options(0).Contains(mtifoCaseInsensitive) ||
        texts.bytes.size() >= UINT32_MAX || entries_.size() > kAdoptedEntries)
        return false;
    const std::vector<uint32_t>& textOfRank = Images.textOfRank[0];
    // Keys longer than foreseen grew the buffer by doubling: the pool keeps
    // only what it holds.
    if (texts.bytes.capacity() > texts.bytes.size() + texts.bytes.size() / 2) texts.bytes.shrink_to_fit();
    pool_.swap(texts.bytes);
    deadBytes_ = 0;
    shared_ = 0;
    // The keys come in rank order, each somewhere in the pool: the places
    // and bytes of the next ranks are fetched meanwhile.
    constexpr std::size_t kAhead = 8;
    std::size_t fetched = 0;
    const std::size_t n = entries_.size();
    uint32_t lastRank = UINT32_MAX, lastKey = 0;
    uint64_t lastPrefix = 0;
    prefixRuns_.reset();
    const bool letters = LettersWithKeys();
    LettersWriter writer;
    for (std::size_t i = 0; i < n; ++i) {
        Entry& e = entries_[i];
        const uint32_t rank = e.key;
        const bool newRank = rank != lastRank;
        if (newRank) {
            for (; fetched < std::min<std::size_t>(textOfRank.size(), rank + 2 * kAhead); ++fetched) {
                texts.PrefetchPlace(textOfRank[fetched]);
                if (fetched >= kAhead) __builtin_prefetch(Pool() + texts.Start(textOfRank[fetched - kAhead]));
            }
            const std::size_t at = texts.Start(textOfRank[rank]);
            lastRank = rank;
            lastKey = static_cast<uint32_t>(at);
            lastPrefix = PrefixOf(Pool() + at + 4, memtable::ReadValue<uint32_t>(Pool() + at));
        }
        e.key = lastKey;
        e.prefix = lastPrefix;
        if (letters && (newRank || i % kPrefixRun == 0))
            LettersOfKey(i, std::string_view(reinterpret_cast<const char*>(KeyBytes(e)), KeyLength(e)), writer);
    }
    keysValid_ = true;
    FindSharedBytes();
    StampLetters();
    return true;
}

void TmtIndex::MakePendingKeys() {
    std::unique_ptr<ImageKeys> images = std::move(pendingKeys_);
    if (images == nullptr) return;
    EntriesChanged();
    for (int f = 0; f < std::min(fieldList_.Count(), 2); ++f) {
        std::unique_ptr<DistinctTexts>& texts = images->unkeyed[f];
        if (texts == nullptr) continue;
        texts->WriteKeys(fieldList_.Fields(f)->DataType(), fieldList_.Options(f), false);
        images->texts[f] = std::move(texts->keys);
        texts.reset();
    }
    if (AdoptPendingKeys(*images)) return;
    WriteImageKeys(*images, [&](std::size_t i) {
        const Entry& e = entries_[i];
        return std::pair<uint64_t, uint64_t>(e.key, e.prefix);
    });
}

void TmtIndex::Sort(int L, int R) {
    EntriesChanged();
    if (isRowOrder_) return;  // the row order is the order records were placed in
    // Part of the list sorts by keys, which the rest must then have.
    if (pendingKeys_ != nullptr && !(L <= 0 && R >= Count() - 1)) MakePendingKeys();
    pendingKeys_.reset();
    if (L < 0) L = 0;
    if (R >= Count()) R = Count() - 1;
    if (L >= R) {
        if (keyable_ && !keysValid_ && L == 0 && R <= 0) SortByKeys();
        return;
    }
    TmtCommon* common = dataSet_->Common();
    const bool byRecords = !keyable_ || (common->Owner() != nullptr && common->Owner()->OnCompareFields);
    if (byRecords) {
        SortByRecords(L, R);
        // The order now is the comparison's, which keys may not follow.
        keysValid_ = false;
    } else if (L == 0 && R == Count() - 1) {
        SortByKeys();
    } else {
        // Part of the list: its keys are made again from the records.
        runsById_ = false;
        runsByIdDown_ = false;
        std::string key;
        // The entries outside the range have no bytes to share without keys.
        if (!keysValid_) shared_ = 0;
        for (int i = L; i <= R; ++i) {
            Entry& e = entries_[static_cast<std::size_t>(i)];
            BuildKey(common->Record(e.id), fieldList_.Count(), key);
            if (keysValid_ && !pool_.empty()) deadBytes_ += KeyLength(e) + 4;  // high when shared: compacts sooner
            KeepSharedWith(reinterpret_cast<const uint8_t*>(key.data()), key.size());
            e.key = AddKey(reinterpret_cast<const uint8_t*>(key.data()), key.size());
            e.prefix = PrefixPastShared(reinterpret_cast<const uint8_t*>(key.data()), key.size());
        }
        const bool firstDescending = fieldList_.Options(0).Contains(mtifoDescending);
        auto keyOf = [&](const Entry& e) { return std::make_pair(KeyBytes(e), KeyLength(e)); };
        std::vector<Entry> part;
        entries_.CopyOut(static_cast<std::size_t>(L), static_cast<std::size_t>(R) + 1, part);
        std::sort(part.begin(), part.end(), [&](const Entry& a, const Entry& b) {
            if (a.prefix != b.prefix) return a.prefix < b.prefix;
            auto [ka, la] = keyOf(a);
            auto [kb, lb] = keyOf(b);
            const int c = CompareKeyBytes(ka, la, kb, lb);
            if (c != 0) return c < 0;
            return firstDescending ? a.id > b.id : a.id < b.id;
        });
        entries_.CopyIn(static_cast<std::size_t>(L), part);
        // Equal keys share bytes, also with the neighbours of the range.
        const int from = keysValid_ ? std::max(L, 1) : L + 1, to = keysValid_ ? std::min(R + 1, Count() - 1) : R;
        for (int i = from; i <= to; ++i) {
            Entry& a = entries_[static_cast<std::size_t>(i) - 1];
            Entry& b = entries_[static_cast<std::size_t>(i)];
            auto [ka, la] = keyOf(a);
            auto [kb, lb] = keyOf(b);
            if (a.key != b.key && CompareKeyBytes(ka, la, kb, lb) == 0) b.key = a.key;
        }
        CompactPool();
    }
    isOrdered_ = true;
}

void TmtIndex::Clear() {
    EntriesChanged();
    pendingKeys_.reset();
    ids_.clear();
    entries_.clear();
    pool_.clear();
    shared_ = 0;
    deadBytes_ = 0;
    keysValid_ = keyable_;
    runsById_ = true;
    runsByIdDown_ = true;
    isOrdered_ = false;
    idsAscending_ = true;
    identity_ = true;
    rowRuns_.Clear();
}

void TmtIndex::LoadIndex() {
    TmtCommon* common = dataSet_->Common();
    std::vector<std::pair<int32_t, int32_t>> order;
    if (isRowOrder_) {
        // The row order is the order records were placed in, which a reload
        // must keep: the order this table saved before the store changed
        // under it (a rollback or a commit), even an empty one; else this
        // index's; only a table opening on a store that other tables filled
        // takes theirs. Once open, what the other tables of the store show
        // decides nothing here: an idle table beside it changes no answer.
        const TmtIndex* from = this;
        const bool opening = orderFromOthers_;
        orderFromOthers_ = false;
        if (opening && ids_.empty() && !orderSaved_) {
            for (TmtCustomMemTable* t : common->AttachedTables()) {
                if (t == nullptr || t == dataSet_ || !t->Active()) continue;
                TmtIndex* ro = t->Indexes()->RowOrderIndex();
                if (ro != nullptr && ro->Count() > 0) {
                    from = ro;
                    break;
                }
            }
        }
        if (orderSaved_) {
            order = std::move(savedOrder_);
            savedOrder_.clear();
            orderSaved_ = false;
        } else {
            for (int i = 0; i < from->Count(); ++i) {
                PmtRecord r = from->RecordAt(i);
                if (r != nullptr) order.emplace_back(r->RecordID, r->UniqueRecordID);
            }
        }
    }
    Clear();
    StoreLock lock(common);
    auto wanted = [&](PmtRecord r) {
        if (r == nullptr) return false;
        auto status = static_cast<TUpdateStatus>(r->UpdateStatus);
        if (!updateStatusSet_.Contains(status)) return false;
        if (status == usDeleted && !common->EnableVersioning()) return false;
        return FilterRecord(r);
    };
    EntriesChanged();
    auto take = [&](PmtRecord r) {
        if (isRowOrder_)
            ids_.push_back(r->RecordID);
        else
            entries_.push_back(Entry{0, r->RecordID, 0, r});
    };
    std::vector<uint8_t> taken(static_cast<std::size_t>(common->RecordCount()), 0);
    for (const auto& [id, uid] : order) {
        PmtRecord r = common->Record(id);
        if (r == nullptr || r->UniqueRecordID != uid || taken[static_cast<std::size_t>(id)] != 0) continue;
        taken[static_cast<std::size_t>(id)] = 1;
        if (wanted(r)) take(r);
    }
    for (int id = 0; id < common->RecordCount(); ++id) {
        if (taken[static_cast<std::size_t>(id)] != 0) continue;
        PmtRecord r = common->Record(id);
        if (wanted(r)) take(r);
    }
    // Entries without keys until the sort makes them.
    keysValid_ = keyable_ && entries_.empty();
    runsById_ = entries_.empty();
    runsByIdDown_ = entries_.empty();
    idsAscending_ = true;
    for (std::size_t i = 1; i < ids_.size() && idsAscending_; ++i)
        if (ids_[i - 1] > ids_[i]) idsAscending_ = false;
    identity_ = true;
    for (std::size_t i = 0; i < ids_.size() && identity_; ++i)
        if (ids_[i] != static_cast<int32_t>(i)) identity_ = false;
    rowRuns_.Reset(ids_.size(), [&](std::size_t i) { return ids_[i]; });
}

void TmtIndex::RememberOrder() {
    orderSaved_ = true;
    savedOrder_.clear();
    for (int i = 0; i < Count(); ++i)
        if (PmtRecord r = RecordAt(i)) savedOrder_.emplace_back(r->RecordID, r->UniqueRecordID);
}

void TmtIndex::PushLevelOrder() {
    std::vector<std::pair<int32_t, int32_t>> order;
    order.reserve(static_cast<std::size_t>(Count()));
    for (int i = 0; i < Count(); ++i)
        if (PmtRecord r = RecordAt(i)) order.emplace_back(r->RecordID, r->UniqueRecordID);
    levelOrders_.push_back(std::move(order));
}

void TmtIndex::PopLevelOrder(bool Restore) {
    if (levelOrders_.empty() || !Restore) {
        // A commit keeps the order as it stands.
        RememberOrder();
        if (!levelOrders_.empty()) levelOrders_.pop_back();
        return;
    }
    // Records placed during the level keep their places after the ones
    // that were there before it.
    std::vector<std::pair<int32_t, int32_t>> order = std::move(levelOrders_.back());
    for (int i = 0; i < Count(); ++i)
        if (PmtRecord r = RecordAt(i)) order.emplace_back(r->RecordID, r->UniqueRecordID);
    savedOrder_ = std::move(order);
    orderSaved_ = true;
    levelOrders_.pop_back();
}

void TmtIndex::ReSort() {
    if (isSortable_) {
        dataSet_->Progress(0, mtpcSort);
        TmtCustomMemTable::ActivityScope activity(dataSet_, actSorting);
        {
            StoreLock lock(dataSet_->Common());
            Sort(0, Count() - 1);
            isOrdered_ = true;
            if (options_.Contains(mtcoUnique)) {
                const bool keys = HasKeys();
                for (int i = 1; i < Count(); ++i) {
                    bool same;
                    if (keys) {
                        const Entry& a = entries_[static_cast<std::size_t>(i - 1)];
                        const Entry& b = entries_[static_cast<std::size_t>(i)];
                        same = a.key == b.key || (a.prefix == b.prefix &&
                                                  CompareKeyBytes(KeyBytes(a), KeyLength(a), KeyBytes(b),
                                                                  KeyLength(b)) == 0);
                    } else {
                        same = CompareRecords(nullptr, RecordAt(i - 1), RecordAt(i), false, false) == 0;
                    }
                    if (same) {
                        isOrdered_ = false;
                        throw EMemTableDupKey(mtres::DupKey);
                    }
                }
            }
        }
        dataSet_->Progress(100, mtpcSort);
    } else if (isRowOrder_) {
        isOrdered_ = true;
    }
}

void TmtIndex::Rebuild() {
    if (dataSet_->Active() || dataSet_->IsCursorOpenForIndexes()) {
        LoadIndex();
        if (Count() > 0)
            ReSort();
        else
            isOrdered_ = true;
    } else {
        isOrdered_ = true;
    }
    if (IsCurrent() && dataSet_->CurRecNo() >= Count()) dataSet_->ClipRecNo(Count() - 1);
}
