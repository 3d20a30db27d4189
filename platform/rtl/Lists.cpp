#include "platform/rtl/Lists.h"

#include <algorithm>
#include <typeinfo>
#include <utility>

#include "platform/rtl/Filer.h"
#include "platform/rtl/SafeFile.h"
#include "platform/rtl/Strings.h"

namespace {

[[noreturn]] void ListError(const std::string& fmtMessage, int data) {
    std::string msg = fmtMessage;
    auto p = msg.find("%d");
    if (p != std::string::npos) msg.replace(p, 2, std::to_string(data));
    throw EListError(msg);
}

constexpr const char* kIndexError = "List index out of bounds (%d)";
constexpr const char* kSortedError = "Operation not allowed on sorted list";
constexpr const char* kDuplicateError = "String list does not allow duplicates";

// A merge sort over positions that stays in bounds whatever the comparison
// answers (a caller's compare function need not be a strict order).
template <class Less>
void StableOrder(std::vector<int>& order, Less less) {
    std::vector<int> tmp(order.size());
    for (std::size_t width = 1; width < order.size(); width *= 2) {
        for (std::size_t lo = 0; lo < order.size(); lo += 2 * width) {
            std::size_t mid = std::min(lo + width, order.size());
            std::size_t hi = std::min(lo + 2 * width, order.size());
            std::size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi) tmp[k++] = less(order[j], order[i]) ? order[j++] : order[i++];
            while (i < mid) tmp[k++] = order[i++];
            while (j < hi) tmp[k++] = order[j++];
        }
        order.swap(tmp);
    }
}

// Ends an update batch even when the work inside throws.
class UpdateBatch {
public:
    explicit UpdateBatch(TStrings& s) : s_(s) { s_.BeginUpdate(); }
    ~UpdateBatch() { s_.EndUpdate(); }
    UpdateBatch(const UpdateBatch&) = delete;
    UpdateBatch& operator=(const UpdateBatch&) = delete;

private:
    TStrings& s_;
};

bool IsBlank(char c) { return c >= 1 && c <= ' '; }

}  // namespace

// ---------------------------------------------------------------------------
// TList

TList::~TList() {
    // Notify is virtual: a descendant frees its items in its own destructor.
    items_.clear();
}

void TList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) ListError(kIndexError, index);
}

int TList::Add(void* item) {
    items_.push_back(item);
    if (item) Notify(item, lnAdded);
    return Count() - 1;
}

void TList::Insert(int index, void* item) {
    if (index < 0 || index > Count()) ListError(kIndexError, index);
    items_.insert(items_.begin() + index, item);
    if (item) Notify(item, lnAdded);
}

void TList::Delete(int index) {
    CheckIndex(index);
    void* item = items_[static_cast<std::size_t>(index)];
    items_.erase(items_.begin() + index);
    if (item) Notify(item, lnDeleted);
}

int TList::Remove(void* item) {
    int i = IndexOf(item);
    if (i >= 0) Delete(i);
    return i;
}

void* TList::Extract(void* item) {
    int i = IndexOf(item);
    if (i < 0) return nullptr;
    items_.erase(items_.begin() + i);
    if (item) Notify(item, lnExtracted);
    return item;
}

int TList::IndexOf(void* item) const {
    auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TList::Clear() {
    // Detach first: a notice may look at the list or free the items.
    std::vector<void*> old;
    old.swap(items_);
    for (void* item : old) {
        if (item) Notify(item, lnDeleted);
    }
}

void* TList::Items(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)];
}

void TList::SetItems(int index, void* item) {
    CheckIndex(index);
    void* old = items_[static_cast<std::size_t>(index)];
    if (old == item) return;
    items_[static_cast<std::size_t>(index)] = item;
    if (old) Notify(old, lnDeleted);
    if (item) Notify(item, lnAdded);
}

void TList::SetCount(int count) {
    if (count < 0) ListError("List count out of bounds (%d)", count);
    while (Count() > count) Delete(Count() - 1);
    items_.resize(static_cast<std::size_t>(count), nullptr);
}

void TList::SetCapacity(int capacity) {
    if (capacity < Count()) ListError("List capacity out of bounds (%d)", capacity);
    items_.reserve(static_cast<std::size_t>(capacity));
}

void TList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
}

void TList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    void* item = items_[static_cast<std::size_t>(curIndex)];
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, item);
}

void TList::Sort(const TListSortCompare& compare) {
    std::vector<int> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    StableOrder(order, [&](int a, int b) {
        return compare(items_[static_cast<std::size_t>(a)], items_[static_cast<std::size_t>(b)]) < 0;
    });
    std::vector<void*> sorted;
    sorted.reserve(items_.size());
    for (int i : order) sorted.push_back(items_[static_cast<std::size_t>(i)]);
    items_.swap(sorted);
}

void TList::Pack() { items_.erase(std::remove(items_.begin(), items_.end(), nullptr), items_.end()); }

void* TList::First() const {
    if (items_.empty()) ListError(kIndexError, 0);
    return items_.front();
}

void* TList::Last() const {
    if (items_.empty()) ListError(kIndexError, -1);
    return items_.back();
}

void TList::Notify(void*, TListNotification) {}

// ---------------------------------------------------------------------------
// TObjectList

TObjectList::~TObjectList() { Clear(); }

void TObjectList::Notify(void* item, TListNotification action) {
    if (ownsObjects_ && action == lnDeleted) delete static_cast<TObject*>(item);
}

// ---------------------------------------------------------------------------
// TStrings

TClass TStrings::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TStrings>("TStrings", TPersistent::StaticClassType()).Build();
    return &info;
}

void TStrings::DefineProperties(TFiler* filer) {
    TPersistent::DefineProperties(filer);
    filer->DefineProperty(
        "Strings",
        [this](TReader* reader) {
            reader->ReadListBegin();
            UpdateBatch batch(*this);
            Clear();
            while (!reader->EndOfList()) Add(reader->ReadString());
            reader->ReadListEnd();
        },
        [this](TWriter* writer) {
            writer->WriteListBegin();
            for (int i = 0; i < Count(); ++i) writer->WriteString(Get(i));
            writer->WriteListEnd();
        },
        Count() > 0);
}

void TStrings::Error(const std::string& fmtMessage, int data) const { ListError(fmtMessage, data); }

void TStrings::Put(int index, const std::string& s) {
    TObject* object = GetObject(index);
    UpdateBatch batch(*this);
    Delete(index);
    InsertObject(index, s, object);
}

TObject* TStrings::GetObject(int) const { return nullptr; }

void TStrings::PutObject(int, TObject*) {}

int TStrings::Add(const std::string& s) {
    int index = Count();
    Insert(index, s);
    return index;
}

int TStrings::AddObject(const std::string& s, TObject* object) {
    int index = Add(s);
    PutObject(index, object);
    return index;
}

void TStrings::InsertObject(int index, const std::string& s, TObject* object) {
    Insert(index, s);
    PutObject(index, object);
}

int TStrings::AddPair(const std::string& name, const std::string& value) {
    return Add(name + nameValueSeparator_ + value);
}

void TStrings::AddStrings(const TStrings& strings) {
    UpdateBatch batch(*this);
    // Copied first: adding a list to itself must not run forever.
    int n = strings.Count();
    std::vector<std::pair<std::string, TObject*>> lines;
    lines.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) lines.emplace_back(strings.Get(i), strings.GetObject(i));
    for (auto& [s, object] : lines) AddObject(s, object);
}

void TStrings::Assign(const TStrings& source) {
    if (&source == this) return;
    UpdateBatch batch(*this);
    Clear();
    nameValueSeparator_ = source.nameValueSeparator_;
    delimiter_ = source.delimiter_;
    quoteChar_ = source.quoteChar_;
    strictDelimiter_ = source.strictDelimiter_;
    lineBreak_ = source.lineBreak_;
    trailingLineBreak_ = source.trailingLineBreak_;
    AddStrings(source);
}

void TStrings::Assign(TPersistent* source) {
    if (auto* strings = dynamic_cast<TStrings*>(source)) {
        Assign(*strings);
    } else {
        TPersistent::Assign(source);
    }
}

bool TStrings::Equals(const TStrings& other) const {
    if (Count() != other.Count()) return false;
    for (int i = 0; i < Count(); ++i) {
        if (Get(i) != other.Get(i)) return false;
    }
    return true;
}

void TStrings::Exchange(int index1, int index2) {
    UpdateBatch batch(*this);
    std::string s = Get(index1);
    TObject* object = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, s);
    PutObject(index2, object);
}

void TStrings::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    UpdateBatch batch(*this);
    std::string s = Get(curIndex);
    TObject* object = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, object);
}

int TStrings::IndexOf(const std::string& s) const {
    for (int i = 0; i < Count(); ++i) {
        if (CompareStrings(Get(i), s) == 0) return i;
    }
    return -1;
}

int TStrings::IndexOfName(const std::string& name) const {
    for (int i = 0; i < Count(); ++i) {
        std::string s = Get(i);
        auto p = s.find(nameValueSeparator_);
        if (p != std::string::npos && CompareStrings(s.substr(0, p), name) == 0) return i;
    }
    return -1;
}

int TStrings::IndexOfObject(TObject* object) const {
    for (int i = 0; i < Count(); ++i) {
        if (GetObject(i) == object) return i;
    }
    return -1;
}

std::string TStrings::Names(int index) const {
    std::string s = Get(index);
    auto p = s.find(nameValueSeparator_);
    return p == std::string::npos ? std::string() : s.substr(0, p);
}

std::string TStrings::Values(const std::string& name) const {
    int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(const std::string& name, const std::string& value) {
    int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0) Delete(i);
    } else if (i < 0) {
        Add(name + nameValueSeparator_ + value);
    } else {
        Put(i, name + nameValueSeparator_ + value);
    }
}

std::string TStrings::ValueFromIndex(int index) const {
    std::string s = Get(index);
    auto p = s.find(nameValueSeparator_);
    // A line without a separator has a name only, so no value.
    return p == std::string::npos ? std::string() : s.substr(p + 1);
}

void TStrings::SetValueFromIndex(int index, const std::string& value) {
    if (value.empty()) {
        if (index >= 0) Delete(index);
        return;
    }
    if (index < 0) index = Add("");
    Put(index, Names(index) + nameValueSeparator_ + value);
}

std::string TStrings::Delimited(char delimiter, char quote, bool strict) const {
    int n = Count();
    if (n == 1 && Get(0).empty()) return std::string(2, quote);
    std::string out;
    for (int i = 0; i < n; ++i) {
        std::string s = Get(i);
        bool needsQuotes = std::any_of(s.begin(), s.end(), [&](char c) {
            return c == '\0' || c == quote || c == delimiter || (!strict && IsBlank(c));
        });
        if (i > 0) out += delimiter;
        out += needsQuotes ? AnsiQuotedStr(s, quote) : s;
    }
    return out;
}

void TStrings::SetDelimited(std::string_view text, char delimiter, char quote, bool strict) {
    UpdateBatch batch(*this);
    Clear();
    std::size_t p = 0, n = text.size();
    auto skipBlanks = [&] {
        if (!strict) {
            while (p < n && IsBlank(text[p])) ++p;
        }
    };
    skipBlanks();
    while (p < n) {
        std::string s;
        if (text[p] == quote) {
            // A quoted item: doubled quotes stand for one; an item whose
            // closing quote is missing runs to the end.
            ++p;
            while (p < n) {
                if (text[p] == quote) {
                    if (p + 1 < n && text[p + 1] == quote) {
                        s += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                s += text[p++];
            }
        } else {
            std::size_t start = p;
            while (p < n && text[p] != delimiter && (strict || !IsBlank(text[p])) && text[p] != '\0') ++p;
            s.assign(text.substr(start, p - start));
        }
        Add(s);
        skipBlanks();
        if (p < n && text[p] == delimiter) {
            ++p;
            if (p == n) Add("");
            skipBlanks();
        } else if (p < n && text[p] == '\0') {
            break;
        }
    }
}

std::string TStrings::CommaText() const { return Delimited(',', '"', false); }

void TStrings::SetCommaText(std::string_view text) { SetDelimited(text, ',', '"', false); }

std::string TStrings::DelimitedText() const { return Delimited(delimiter_, quoteChar_, strictDelimiter_); }

void TStrings::SetDelimitedText(std::string_view text) {
    SetDelimited(text, delimiter_, quoteChar_, strictDelimiter_);
}

std::string TStrings::Text() const {
    std::string out;
    int n = Count();
    for (int i = 0; i < n; ++i) {
        out += Get(i);
        if (i + 1 < n || trailingLineBreak_) out += lineBreak_;
    }
    return out;
}

void TStrings::SetText(std::string_view text) {
    UpdateBatch batch(*this);
    Clear();
    std::size_t p = 0, n = text.size();
    while (p < n) {
        std::size_t e = p;
        while (e < n && text[e] != '\n' && text[e] != '\r') ++e;
        Add(std::string(text.substr(p, e - p)));
        if (e < n && text[e] == '\r' && e + 1 < n && text[e + 1] == '\n') ++e;
        p = e + 1;
    }
}

void TStrings::LoadFromFile(const std::string& fileName, TEncoding encoding) {
    std::string bytes = fileio::ReadFileBytes(fileName);
    SetText(textio::Decode(bytes, encoding).text);
}

void TStrings::LoadFromStream(TStream& stream, TEncoding encoding) {
    std::string bytes = stream.ReadAllBytes();
    SetText(textio::Decode(bytes, encoding).text);
}

void TStrings::SaveToStream(TStream& stream, TEncoding encoding) const {
    stream.WriteBytes(textio::Encode(Text(), encoding, writeBOM_));
}

void TStrings::SaveToFile(const std::string& fileName, TEncoding encoding) const {
    fileio::AtomicFile file(fileName);
    if (writeBOM_ && encoding == TEncoding::UTF8) file.Write("\xEF\xBB\xBF", 3);
    // Line by line, so a long list never needs a second copy in memory.
    int n = Count();
    for (int i = 0; i < n; ++i) {
        std::string line = Get(i);
        if (i + 1 < n || trailingLineBreak_) line += lineBreak_;
        file.Write(textio::Encode(line, encoding));
    }
    file.Commit();
}

void TStrings::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void TStrings::EndUpdate() {
    if (updateCount_ <= 0) return;
    --updateCount_;
    if (updateCount_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

int TStrings::CompareStrings(const std::string& a, const std::string& b) const { return AnsiCompareText(a, b); }

// ---------------------------------------------------------------------------
// TStringList

TClass TStringList::StaticClassType() {
    static const TClassInfo info = TClassBuilder<TStringList>("TStringList", TStrings::StaticClassType()).Build();
    return &info;
}

TStringList::~TStringList() {
    OnChange = nullptr;
    OnChanging = nullptr;
    if (ownsObjects_) {
        for (auto& item : items_) delete item.object;
    }
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) ListError(kIndexError, index);
}

std::string TStringList::Get(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].text;
}

void TStringList::Put(int index, const std::string& s) {
    if (sorted_) ListError(kSortedError, 0);
    CheckIndex(index);
    Changing();
    items_[static_cast<std::size_t>(index)].text = s;
    Changed();
}

TObject* TStringList::GetObject(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].object;
}

void TStringList::PutObject(int index, TObject* object) {
    CheckIndex(index);
    Changing();
    items_[static_cast<std::size_t>(index)].object = object;
    Changed();
}

void TStringList::InsertItem(int index, const std::string& s, TObject* object) {
    Changing();
    items_.insert(items_.begin() + index, Item{s, object});
    Changed();
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, TObject* object) {
    if (sorted_) ListError(kSortedError, 0);
    if (index < 0 || index > Count()) ListError(kIndexError, index);
    InsertItem(index, s, object);
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, TObject* object) {
    int index = Count();
    if (sorted_ && Find(s, index)) {
        switch (duplicates_) {
            case dupIgnore: return index;
            case dupError: ListError(kDuplicateError, 0);
            case dupAccept: break;
        }
    }
    InsertItem(index, s, object);
    return index;
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    Changing();
    TObject* object = items_[static_cast<std::size_t>(index)].object;
    items_.erase(items_.begin() + index);
    if (ownsObjects_) delete object;
    Changed();
}

void TStringList::Clear() {
    if (items_.empty()) return;
    Changing();
    std::vector<Item> old;
    old.swap(items_);
    if (ownsObjects_) {
        for (auto& item : old) delete item.object;
    }
    Changed();
}

void TStringList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    Changing();
    std::swap(items_[static_cast<std::size_t>(index1)], items_[static_cast<std::size_t>(index2)]);
    Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    if (sorted_) ListError(kSortedError, 0);
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    // Moved as a whole: going through Delete would free an owned object.
    Changing();
    Item item = std::move(items_[static_cast<std::size_t>(curIndex)]);
    items_.erase(items_.begin() + curIndex);
    items_.insert(items_.begin() + newIndex, std::move(item));
    Changed();
}

int TStringList::IndexOf(const std::string& s) const {
    if (!sorted_) return TStrings::IndexOf(s);
    int index = 0;
    return Find(s, index) ? index : -1;
}

bool TStringList::Find(const std::string& s, int& index) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int c = CompareStrings(items_[static_cast<std::size_t>(mid)].text, s);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) found = true;
        }
    }
    index = lo;
    return found;
}

void TStringList::Sort() {
    if (typeid(*this) != typeid(TStringList)) {
        // A descendant may compare in its own way: ask it every time.
        CustomSort([](TStringList& list, int a, int b) {
            return list.CompareStrings(list.items_[static_cast<std::size_t>(a)].text,
                                       list.items_[static_cast<std::size_t>(b)].text);
        });
        return;
    }
    if (items_.size() < 2) return;
    // One collation key per line, then byte comparisons: the collation runs
    // n times instead of n log n, in the same order and with the same ties.
    std::vector<std::string> keys;
    keys.reserve(items_.size());
    for (const Item& item : items_) keys.push_back(caseSensitive_ ? AnsiCollationKeyStr(item.text) : AnsiCollationKeyText(item.text));
    std::vector<int> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    std::stable_sort(order.begin(), order.end(), [&keys](int a, int b) {
        return keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)];
    });
    Reorder(order);
}

void TStringList::CustomSort(const TStringListSortCompare& compare) {
    if (items_.size() < 2) return;
    std::vector<int> order(items_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    StableOrder(order, [&](int a, int b) { return compare(*this, a, b) < 0; });
    Reorder(order);
}

void TStringList::Reorder(const std::vector<int>& order) {
    Changing();
    std::vector<Item> sorted;
    sorted.reserve(items_.size());
    for (int i : order) sorted.push_back(std::move(items_[static_cast<std::size_t>(i)]));
    items_.swap(sorted);
    Changed();
}

void TStringList::SetSorted(bool sorted) {
    if (sorted == sorted_) return;
    if (sorted) Sort();
    sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool b) {
    if (b == caseSensitive_) return;
    caseSensitive_ = b;
    if (sorted_) Sort();
}

int TStringList::CompareStrings(const std::string& a, const std::string& b) const {
    return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

void TStringList::SetUpdateState(bool updating) {
    if (updating) {
        Changing();
    } else {
        Changed();
    }
}

void TStringList::Changed() {
    if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
    if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}
