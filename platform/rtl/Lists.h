#pragma once
// Lists of pointers, of owned objects and of strings.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/Component.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"
#include "platform/rtl/SysUtils.h"
#include "platform/rtl/TypInfo.h"

// ---------------------------------------------------------------------------
// TList: a list of untyped pointers. Index errors raise EListError
// "List index out of bounds (%d)".

enum TListNotification { lnAdded, lnExtracted, lnDeleted };

// <0, 0, >0 as item1 sorts before, with or after item2.
using TListSortCompare = std::function<int(void* item1, void* item2)>;

class TList : public TObject {
public:
    FAT_CLASS_NAME(TList)

    TList() = default;
    ~TList() override;
    TList(const TList&) = delete;
    TList& operator=(const TList&) = delete;

    int Add(void* item);
    void Insert(int index, void* item);
    void Delete(int index);
    // Removes the first occurrence; returns its former index or -1.
    int Remove(void* item);
    // Removes the first occurrence without the deletion notice (an owning
    // list does not free it); returns the item or nullptr.
    void* Extract(void* item);
    int IndexOf(void* item) const;
    virtual void Clear();

    void* Items(int index) const;
    void SetItems(int index, void* item);
    void* operator[](int index) const { return Items(index); }
    void* Get(int index) const { return Items(index); }
    void Put(int index, void* item) { SetItems(index, item); }

    int Count() const { return static_cast<int>(items_.size()); }
    // Growing fills with nullptr; shrinking deletes the items past the end.
    void SetCount(int count);
    int Capacity() const { return static_cast<int>(items_.capacity()); }
    // EListError "List capacity out of bounds (%d)" below Count.
    void SetCapacity(int capacity);

    void Exchange(int index1, int index2);
    // Moves the item at curIndex so that it ends up at newIndex.
    void Move(int curIndex, int newIndex);
    // Stable: equal items keep their order.
    void Sort(const TListSortCompare& compare);
    // Removes every nullptr.
    void Pack();
    TList& Expand() { return *this; }

    // EListError when the list is empty.
    void* First() const;
    void* Last() const;

    // The items, for range-for and algorithms.
    const std::vector<void*>& List() const { return items_; }

protected:
    // Called after an item is added and after it leaves the list.
    virtual void Notify(void* item, TListNotification action);
    void CheckIndex(int index) const;

private:
    std::vector<void*> items_;
};

// A list of objects that frees the objects it owns when they are deleted,
// replaced or the list is cleared or destroyed (OwnsObjects, true by default).
class TObjectList : public TList {
public:
    FAT_CLASS_NAME(TObjectList)

    explicit TObjectList(bool ownsObjects = true) : ownsObjects_(ownsObjects) {}
    ~TObjectList() override;

    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool owns) { ownsObjects_ = owns; }

    int Add(TObject* object) { return TList::Add(object); }
    void Insert(int index, TObject* object) { TList::Insert(index, object); }
    int Remove(TObject* object) { return TList::Remove(object); }
    TObject* Extract(TObject* object) { return static_cast<TObject*>(TList::Extract(object)); }
    int IndexOf(TObject* object) const { return TList::IndexOf(object); }
    TObject* Items(int index) const { return static_cast<TObject*>(TList::Items(index)); }
    void SetItems(int index, TObject* object) { TList::SetItems(index, object); }
    TObject* operator[](int index) const { return Items(index); }
    TObject* First() const { return static_cast<TObject*>(TList::First()); }
    TObject* Last() const { return static_cast<TObject*>(TList::Last()); }

protected:
    void Notify(void* item, TListNotification action) override;

private:
    bool ownsObjects_;
};

// ---------------------------------------------------------------------------
// TStrings: the abstract list of strings (each with an optional object), with
// everything that is built on Get/Put/Insert/Delete: name=value pairs,
// delimited text, loading and saving. A TPersistent, so that a list can be a
// property of a component (a memo's lines, a query's SQL) and be assigned.

class TStrings : public TPersistent {
public:
    FAT_CLASS(TStrings)

    TStrings() = default;
    TStrings(const TStrings&) = delete;
    TStrings& operator=(const TStrings&) = delete;
    ~TStrings() override = default;

    // --- what a concrete list provides
    virtual int Count() const = 0;
    virtual std::string Get(int index) const = 0;
    virtual void Put(int index, const std::string& s);
    virtual TObject* GetObject(int index) const;
    virtual void PutObject(int index, TObject* object);
    virtual void Insert(int index, const std::string& s) = 0;
    virtual void Delete(int index) = 0;
    virtual void Clear() = 0;

    // --- built on the above
    virtual int Add(const std::string& s);
    virtual int AddObject(const std::string& s, TObject* object);
    virtual void InsertObject(int index, const std::string& s, TObject* object);
    // Adds "name=value".
    int AddPair(const std::string& name, const std::string& value);
    void Append(const std::string& s) { Add(s); }
    void AddStrings(const TStrings& strings);
    // Replaces the content (strings and objects) with a copy of another list's,
    // with its delimiters and separators.
    virtual void Assign(const TStrings& source);
    // From another TStrings as above; anything else as TPersistent assigns
    // (EConvertError "Cannot assign a ... to a ...").
    void Assign(TPersistent* source) override;
    bool Equals(const TStrings& other) const;
    virtual void Exchange(int index1, int index2);
    virtual void Move(int curIndex, int newIndex);

    // -1 when absent; compares as CompareStrings does.
    virtual int IndexOf(const std::string& s) const;
    int IndexOfName(const std::string& name) const;
    int IndexOfObject(TObject* object) const;

    std::string Strings(int index) const { return Get(index); }
    void SetStrings(int index, const std::string& s) { Put(index, s); }
    std::string operator[](int index) const { return Get(index); }
    TObject* Objects(int index) const { return GetObject(index); }
    void SetObjects(int index, TObject* object) { PutObject(index, object); }

    // --- name=value pairs
    // The part before the first separator; "" when the line has none.
    std::string Names(int index) const;
    // The value of the first line whose name matches; "" when none.
    std::string Values(const std::string& name) const;
    // Replaces the value, adds "name=value", or removes the line when value is "".
    void SetValues(const std::string& name, const std::string& value);
    std::string ValueFromIndex(int index) const;
    void SetValueFromIndex(int index, const std::string& value);
    char NameValueSeparator() const { return nameValueSeparator_; }
    void SetNameValueSeparator(char c) { nameValueSeparator_ = c; }

    // --- delimited text
    char Delimiter() const { return delimiter_; }
    void SetDelimiter(char c) { delimiter_ = c; }
    char QuoteChar() const { return quoteChar_; }
    void SetQuoteChar(char c) { quoteChar_ = c; }
    // When true only the Delimiter separates items (spaces are kept).
    bool StrictDelimiter() const { return strictDelimiter_; }
    void SetStrictDelimiter(bool b) { strictDelimiter_ = b; }
    // As DelimitedText with ',' and '"' whatever Delimiter and QuoteChar are.
    std::string CommaText() const;
    void SetCommaText(std::string_view text);
    std::string DelimitedText() const;
    void SetDelimitedText(std::string_view text);

    // --- text: each line followed by LineBreak ("\n"); reading splits at
    // "\r\n", "\n" and "\r".
    std::string Text() const;
    void SetText(std::string_view text);
    const std::string& LineBreak() const { return lineBreak_; }
    void SetLineBreak(std::string lb) { lineBreak_ = std::move(lb); }
    // False: the last line gets no line break.
    bool TrailingLineBreak() const { return trailingLineBreak_; }
    void SetTrailingLineBreak(bool b) { trailingLineBreak_ = b; }

    // --- files and streams. Reading drops a UTF-8 byte order mark; with UTF8
    // a file that is not valid UTF-8 is read as code page 1252. Saving goes
    // through a temporary file renamed over the old one when complete.
    virtual void LoadFromFile(const std::string& fileName, TEncoding encoding = TEncoding::UTF8);
    virtual void SaveToFile(const std::string& fileName, TEncoding encoding = TEncoding::UTF8) const;
    virtual void LoadFromStream(TStream& stream, TEncoding encoding = TEncoding::UTF8);
    virtual void SaveToStream(TStream& stream, TEncoding encoding = TEncoding::UTF8) const;
    void LoadFromStream(TStream* stream, TEncoding encoding = TEncoding::UTF8) { LoadFromStream(*stream, encoding); }
    void SaveToStream(TStream* stream, TEncoding encoding = TEncoding::UTF8) const { SaveToStream(*stream, encoding); }
    // Whether saving in UTF-8 starts with a byte order mark (default false).
    bool WriteBOM() const { return writeBOM_; }
    void SetWriteBOM(bool b) { writeBOM_ = b; }

    // --- batching of change notices
    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }

    // In a component stream the lines are the defined property "Strings"
    // (a list of strings), as in "Lines.Strings = ('um' 'dois')".
    void DefineProperties(TFiler* filer) override;

    // Comparison used by IndexOf, IndexOfName and Values: AnsiCompareText here.
    virtual int CompareStrings(const std::string& a, const std::string& b) const;

protected:
    // Called with true when the first BeginUpdate starts a batch, false when
    // the last EndUpdate ends it.
    virtual void SetUpdateState(bool updating);
    [[noreturn]] void Error(const std::string& fmtMessage, int data) const;

private:
    std::string Delimited(char delimiter, char quote, bool strict) const;
    void SetDelimited(std::string_view text, char delimiter, char quote, bool strict);

    char nameValueSeparator_ = '=';
    char delimiter_ = ',';
    char quoteChar_ = '"';
    bool strictDelimiter_ = false;
    std::string lineBreak_ = "\n";
    bool trailingLineBreak_ = true;
    bool writeBOM_ = false;
    int updateCount_ = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList;
// <0, 0, >0 as the string at index1 sorts before, with or after index2.
using TStringListSortCompare = std::function<int(TStringList& list, int index1, int index2)>;

class TStringList : public TStrings {
public:
    FAT_CLASS(TStringList)

    TStringList() = default;
    explicit TStringList(bool ownsObjects) : ownsObjects_(ownsObjects) {}
    ~TStringList() override;

    int Count() const override { return static_cast<int>(items_.size()); }
    std::string Get(int index) const override;
    void Put(int index, const std::string& s) override;
    TObject* GetObject(int index) const override;
    void PutObject(int index, TObject* object) override;
    // EListError "Operation not allowed on sorted list" when Sorted.
    void Insert(int index, const std::string& s) override;
    void InsertObject(int index, const std::string& s, TObject* object) override;
    // On a sorted list: placed in order; a duplicate is dropped (dupIgnore,
    // returning the existing index), kept (dupAccept) or refused with
    // EListError "String list does not allow duplicates" (dupError).
    int Add(const std::string& s) override;
    int AddObject(const std::string& s, TObject* object) override;
    void Delete(int index) override;
    void Clear() override;
    void Exchange(int index1, int index2) override;
    // EListError "Operation not allowed on sorted list" when Sorted.
    void Move(int curIndex, int newIndex) override;
    int IndexOf(const std::string& s) const override;

    // Binary search of a sorted list: true and the first match's index, or
    // false and the index where s would go.
    bool Find(const std::string& s, int& index) const;
    // Stable, in CompareStrings' order. The list's own comparison sorts by
    // one collation key per line; a descendant's CompareStrings is asked
    // for every pair.
    virtual void Sort();
    void CustomSort(const TStringListSortCompare& compare);

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);
    TDuplicates Duplicates() const { return duplicates_; }
    void SetDuplicates(TDuplicates d) { duplicates_ = d; }
    // False (default): AnsiCompareText; true: AnsiCompareStr.
    bool CaseSensitive() const { return caseSensitive_; }
    void SetCaseSensitive(bool b);
    // Frees the objects of deleted lines.
    bool OwnsObjects() const { return ownsObjects_; }
    void SetOwnsObjects(bool b) { ownsObjects_ = b; }

    int CompareStrings(const std::string& a, const std::string& b) const override;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

protected:
    void SetUpdateState(bool updating) override;
    virtual void Changed();
    virtual void Changing();

private:
    struct Item {
        std::string text;
        TObject* object = nullptr;
    };
    void InsertItem(int index, const std::string& s, TObject* object);
    // Puts the line at order[i] in place i.
    void Reorder(const std::vector<int>& order);
    void CheckIndex(int index) const;

    std::vector<Item> items_;
    bool sorted_ = false;
    TDuplicates duplicates_ = dupIgnore;
    bool caseSensitive_ = false;
    bool ownsObjects_ = false;
};
