// The start letters of an index's texts, per run of entries: where a partial
// key's search may go past entries without reading them.
//
// The index orders texts as pt-BR does, letters first and accents and case
// only where the letters tie, so that "Álvaro" sorts after every "Açucena"
// and "Ênio" after every "Eduardo" and "Elaine". A partial key of "Á" or
// "Ê" has the whole run of its letters to read before its first match. The
// entries of that run that start otherwise sit together, in runs of entries
// whose texts start with a few letters only: a run that holds none of the
// key's is gone past at the cost of a look at its letters.
#include <algorithm>
#include <cstring>

#include "memtable/mtIndex.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Strings.h"

namespace memtable {

namespace {

// Whether the Latin-1 letter U+00C0 + (Second - 0x80), the second byte of
// its UTF-8, folds with its other case as the collation folds them: × and ÷
// are no letters, and ß, Æ and æ are two letters to the collation.
bool FoldableLatin1(unsigned char Second) {
    return Second >= 0x80 && Second <= 0xBF && Second != 0x97 && Second != 0xB7 && Second != 0x9F &&
           Second != 0x86 && Second != 0xA6;
}

unsigned char FoldedLatin1(unsigned char Second) { return Second <= 0x9E ? Second + 0x20 : Second; }

}  // namespace

// The fold is the collation's on printable ASCII and on the Latin-1 letters
// whose upper and lower case are one character each and differ from every
// other letter in more than case. Elsewhere two texts the collation finds
// equal but for case may differ in more than the case of single letters (a
// ligature against its letters, a superscript against its digit), and no
// fold of bytes would tell them alike.
bool FoldCase(std::string_view Text, std::string& Out) {
    Out.clear();
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(Text[i]);
        if (c < 0x80) {
            if (c < 0x20 || c > 0x7E) return false;
            Out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            continue;
        }
        if (c != 0xC3 || i + 1 >= Text.size()) return false;
        const auto d = static_cast<unsigned char>(Text[++i]);
        if (!FoldableLatin1(d)) return false;
        Out += static_cast<char>(c);
        Out += static_cast<char>(FoldedLatin1(d));
    }
    return true;
}

bool MayStartWith(std::string_view Text, std::string_view Key, std::string_view Folded, bool CaseInsensitive) {
    if (!CaseInsensitive) return Text.substr(0, Key.size()) == Key;
    if (Folded.empty() && !Key.empty()) return true;
    // Folded letters keep their length: the text's first Folded.size()
    // bytes, folded, are the key's when it starts with it.
    thread_local std::string head;
    if (Text.size() < Folded.size()) return !FoldCase(Text, head);
    if (!FoldCase(Text.substr(0, Folded.size()), head)) return true;
    return head == Folded;
}

}  // namespace memtable

using namespace memtable;

namespace {

constexpr int kStartLetters = 4;

struct StartLetters {
    uint32_t hashes[kStartLetters];
    int count = 0;      // how many characters the text has, up to kStartLetters
    bool valid = true;  // those characters are well-formed UTF-8
    bool safe = true;   // and FoldCase takes them
    std::size_t bytes = 0;  // the bytes of those characters
};

// Hashes of the text's first one to four characters with ASCII and Latin-1
// letters folded to lower case (whatever the collation makes of the other
// characters: a text that starts with a key byte for byte has these
// hashes of the key's first characters).
StartLetters StartLettersOf(std::string_view Text) {
    StartLetters s;
    uint32_t h = 2166136261u;
    auto feed = [&](unsigned char b) { h = (h ^ b) * 16777619u; };
    std::size_t i = 0;
    while (s.count < kStartLetters && i < Text.size()) {
        const auto c = static_cast<unsigned char>(Text[i]);
        const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > Text.size()) {
            s.valid = false;
            return s;
        }
        if (len == 1) {
            s.safe = s.safe && c >= 0x20 && c <= 0x7E;
            feed(c >= 'A' && c <= 'Z' ? c + 32 : c);
        } else if (len == 2 && c == 0xC3 && FoldableLatin1(static_cast<unsigned char>(Text[i + 1]))) {
            feed(c);
            feed(FoldedLatin1(static_cast<unsigned char>(Text[i + 1])));
        } else {
            s.safe = false;
            for (std::size_t k = 0; k < len; ++k) feed(static_cast<unsigned char>(Text[i + k]));
        }
        i += len;
        s.hashes[s.count++] = h;
    }
    // Characters a decoder might count otherwise (overlong forms, halves
    // of surrogate pairs) leave the boundaries between them in doubt.
    s.valid = utf8::IsValid(Text.substr(0, i));
    s.bytes = i;
    return s;
}

}  // namespace

namespace {

// The text an ascending key of one case-sensitive text holds, false for a
// null's key (one byte). The key starts with a byte that says the value is
// present, then the collation's key, which ends with the text.
bool TextOfAscendingKey(std::string_view Key, std::string_view& Text) {
    if (Key.size() < 3) return false;
    Text = AnsiCompactCollationKeyStrText(Key.substr(1));
    return true;
}

}  // namespace

bool TmtIndex::KeysHoldText() const {
    return !isRowOrder_ && fieldList_.Count() == 1 && IsTextFieldType(fieldList_.Fields(0)->DataType()) &&
           !fieldList_.Options(0).Contains(mtifoCaseInsensitive) &&
           !fieldList_.Options(0).Contains(mtifoIgnoreLocale) && KeysReady();
}

bool TmtIndex::KeyText(int Position, std::string_view& Text) const {
    if (!KeysHoldText()) return false;
    const Entry& e = entries_[static_cast<std::size_t>(Position)];
    const uint32_t length = KeyLength(e);
    const auto* bytes = reinterpret_cast<const char*>(KeyBytes(e));
    // A descending key is an ascending one with its bytes inverted.
    if (!fieldList_.Options(0).Contains(mtifoDescending)) return TextOfAscendingKey(std::string_view(bytes, length), Text);
    if (length < 3) return false;
    thread_local std::string plain;
    plain.assign(bytes + 1, length - 1);
    for (char& c : plain) c = static_cast<char>(~static_cast<unsigned char>(c));
    Text = AnsiCompactCollationKeyStrText(plain);
    return true;
}

TmtIndex::PrefixProbe TmtIndex::MakePrefixProbe(std::string_view Key, bool CaseInsensitive) const {
    PrefixProbe p;
    const StartLetters s = StartLettersOf(Key);
    if (s.count == 0 || !s.valid || (CaseInsensitive && !s.safe)) return p;
    // A key of more letters: the texts that start with it start with its
    // first four.
    p.hash = s.hashes[s.count - 1];
    p.usable = true;
    p.blind = CaseInsensitive;
    return p;
}

bool TmtIndex::AddStartLetters(PrefixRun& Run, std::string_view Text, std::string& Before) {
    if (!Before.empty() && Text.substr(0, Before.size()) == Before &&
        (Text.size() == Before.size() || (static_cast<unsigned char>(Text[Before.size()]) & 0xC0) != 0x80))
        return true;
    const StartLetters s = StartLettersOf(Text);
    if (!s.valid) {
        Run.state = 2;
        return false;
    }
    if (s.count == kStartLetters)
        Before.assign(Text.substr(0, s.bytes));
    else
        Before.clear();
    Run.blindSafe = Run.blindSafe && s.safe;
    for (int k = 0; k < s.count; ++k) {
        const uint32_t h = s.hashes[k];
        if (std::find(Run.hashes, Run.hashes + Run.count, h) != Run.hashes + Run.count) continue;
        if (Run.count == PrefixRun::kMost) {
            Run.state = 2;
            return false;
        }
        Run.hashes[Run.count++] = h;
    }
    return true;
}

TmtIndex::PrefixRuns& TmtIndex::CurrentPrefixRuns() const {
    const TmtCommon* common = dataSet_->Common();
    if (prefixRuns_ == nullptr || prefixRuns_->changes != common->Changes() ||
        prefixRuns_->orderChanges != orderChanges_ || prefixRuns_->count != Count()) {
        prefixRuns_ = std::make_unique<PrefixRuns>();
        prefixRuns_->changes = common->Changes();
        prefixRuns_->orderChanges = orderChanges_;
        prefixRuns_->count = Count();
        prefixRuns_->slot.resize((static_cast<std::size_t>(Count()) + kPrefixRun - 1) / kPrefixRun);
    }
    return *prefixRuns_;
}

bool TmtIndex::LettersWithKeys() const {
    return !isRowOrder_ && fieldList_.Count() == 1 && IsTextFieldType(fieldList_.Fields(0)->DataType()) &&
           !fieldList_.Options(0).Contains(mtifoCaseInsensitive) &&
           !fieldList_.Options(0).Contains(mtifoIgnoreLocale) && !fieldList_.Options(0).Contains(mtifoDescending);
}

void TmtIndex::LettersOfKey(std::size_t Position, std::string_view Key, LettersWriter& Writer) const {
    if (Position % kPrefixRun == 0) {
        PrefixRuns& runs = CurrentPrefixRuns();
        if (runs.made.capacity() < runs.slot.size()) runs.made.reserve(runs.slot.size());
        Writer.run = &runs.made.emplace_back();
        Writer.run->state = 1;
        runs.slot[Position / kPrefixRun] = static_cast<uint32_t>(runs.made.size());
        Writer.before.clear();
    }
    std::string_view text;
    if (Writer.run->state == 1 && TextOfAscendingKey(Key, text)) AddStartLetters(*Writer.run, text, Writer.before);
}

void TmtIndex::StampLetters() const {
    // Made for these entries and records: the first change drops them.
    if (prefixRuns_ == nullptr) return;
    prefixRuns_->changes = dataSet_->Common()->Changes();
    prefixRuns_->orderChanges = orderChanges_;
}

const TmtIndex::PrefixRun& TmtIndex::RunAt(std::size_t Run) const {
    TmtCommon* common = dataSet_->Common();
    CurrentPrefixRuns();
    uint32_t& slot = prefixRuns_->slot[Run];
    if (slot != 0) return prefixRuns_->made[slot - 1];
    PrefixRun& run = prefixRuns_->made.emplace_back();
    slot = static_cast<uint32_t>(prefixRuns_->made.size());
    run.state = 1;
    const int from = static_cast<int>(Run) * kPrefixRun;
    const int to = std::min(from + kPrefixRun, Count());
    prefixWork_ += static_cast<uint64_t>(to - from);
    const bool inKeys = KeysHoldText();
    TField* field = fieldList_.Fields(0);
    const int fieldNo = fieldList_.FieldNo(0);
    std::string scratch;
    // Neighbours mostly share their first letters: a text that starts with
    // the previous one's first four characters has its hashes. (A copy: a
    // text read from a descending key lives in a buffer the next read
    // reuses.)
    std::string before;
    // Entries of one text share its key's bytes: the first of them tells
    // the letters of all.
    const bool plainKeys = inKeys && !fieldList_.Options(0).Contains(mtifoDescending);
    uint32_t lastKey = UINT32_MAX;
    const Entry* block = nullptr;
    std::size_t blockNo = 0, blockFrom = 0, blockTo = 0;
    for (int p = from; p < to; ++p) {
        std::string_view text;
        if (plainKeys) {
            if (static_cast<std::size_t>(p) >= blockTo) {
                blockNo = entries_.BlockAt(static_cast<std::size_t>(p));
                block = entries_.BlockData(blockNo);
                blockFrom = entries_.BlockStart(blockNo);
                blockTo = blockFrom + entries_.BlockSize(blockNo);
            }
            const Entry& e = block[static_cast<std::size_t>(p) - blockFrom];
            if (e.key == lastKey) continue;
            lastKey = e.key;
            if (static_cast<std::size_t>(p) + 16 < blockTo) {
                // The text ends the key, a line or two past its start.
                const uint8_t* ahead = Pool() + block[static_cast<std::size_t>(p) + 16 - blockFrom].key;
                __builtin_prefetch(ahead);
                __builtin_prefetch(ahead + 64);
                __builtin_prefetch(ahead + 128);
            }
            if (!TextOfAscendingKey(std::string_view(reinterpret_cast<const char*>(KeyBytes(e)), KeyLength(e)), text))
                continue;
        } else if (inKeys) {
            if (p + 16 < to) PrefetchKeyAt(p + 16);
            if (!KeyText(p, text)) continue;
        } else {
            if (p + 8 < to) common->PrefetchRecord(IdAt(p + 8));
            int32_t length = 0;
            const uint8_t* v = common->FieldValueForRead(RecordAt(p), fieldNo, field, length, scratch);
            // A null starts with no key.
            if (v == nullptr) continue;
            const auto* c = reinterpret_cast<const char*>(v);
            text = std::string_view(c, strnlen(c, static_cast<std::size_t>(std::max(length, 0))));
        }
        if (!AddStartLetters(run, text, before)) return run;
    }
    return run;
}

int TmtIndex::NextPossible(int Position, int Last, const PrefixProbe& Probe) const {
    if (!Probe.usable) return Position;
    for (int at = Position; at < Last;) {
        const PrefixRun& run = RunAt(static_cast<std::size_t>(at / kPrefixRun));
        if (run.state != 1 || (Probe.blind && !run.blindSafe) ||
            std::find(run.hashes, run.hashes + run.count, Probe.hash) != run.hashes + run.count)
            return at;
        at = (at / kPrefixRun + 1) * kPrefixRun;
    }
    return Last;
}
