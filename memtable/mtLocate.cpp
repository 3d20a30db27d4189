// Values moving between a memory table and the outside: variants into
// records, locate and lookup, and copying to and from other datasets.
#include <cmath>
#include <exception>
#include <functional>

#include "platform/rtl/Finally.h"
#include "memtable/mtMemTable.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

using namespace memtable;

namespace {

void SetBlockPtr(uint8_t* slot, uint8_t* block) { std::memcpy(slot + 1, &block, sizeof(block)); }

uint8_t* GetBlockPtr(const uint8_t* slot) {
    uint8_t* p;
    std::memcpy(&p, slot + 1, sizeof(p));
    return p;
}

// Runs every step even when one fails, then raises the first failure.
void RunSteps(std::initializer_list<std::function<void()>> Steps) {
    std::exception_ptr first;
    for (const auto& step : Steps) {
        try {
            step();
        } catch (...) {
            if (!first) first = std::current_exception();
        }
    }
    if (first) std::rethrow_exception(first);
}

// The text a variant gives a text field: repaired UTF-8, cut to the field's
// characters. A string variant is read in place.
std::string_view FieldText(TField* Field, const Variant& Value, std::string& Scratch) {
    std::string_view s;
    if (const std::string* text = Value.TextPtr()) {
        s = *text;
    } else {
        Scratch = VarToStr(Value);
        s = Scratch;
    }
    if (!utf8::IsValid(s)) {
        Scratch = utf8::Repair(s);
        s = Scratch;
    }
    const int maxChars = Field->DataType() == ftGuid ? 38 : Field->Size();
    if (s.size() > static_cast<std::size_t>(maxChars) && Length(s) > maxChars) {
        std::string cut = Copy(s, 1, maxChars);
        Scratch = std::move(cut);
        s = Scratch;
    }
    return s;
}

// Writes the native bytes of a value for a field into Out (OutSize bytes, a
// text zero-terminated); false for kinds a variant does not write (blobs,
// bytes, objects).
bool NativeBytes(TField* Field, const Variant& Value, uint8_t* Out, int OutSize, std::string& Scratch) {
    TFieldType type = Field->DataType();
    auto put = [&](const auto& v) {
        if (static_cast<std::size_t>(OutSize) >= sizeof(v)) std::memcpy(Out, &v, sizeof(v));
    };
    switch (type) {
        case ftString: case ftFixedChar: case ftGuid: case ftWideString: case ftFixedWideChar: {
            if (OutSize <= 0) return false;
            std::string_view s = FieldText(Field, Value, Scratch);
            std::size_t n = std::min(s.size(), static_cast<std::size_t>(OutSize) - 1);
            std::memcpy(Out, s.data(), n);
            Out[n] = 0;
            return true;
        }
        case ftSmallint: put(static_cast<int16_t>(Value.AsInteger())); return true;
        case ftInteger: case ftAutoInc: put(static_cast<int32_t>(Value.AsInteger())); return true;
        case ftWord: put(static_cast<uint16_t>(Value.AsInteger())); return true;
        case ftBoolean: put(static_cast<int16_t>(Value.AsBoolean() ? 1 : 0)); return true;
        case ftFloat: case ftCurrency: put(Value.AsDouble()); return true;
        case ftBCD: case ftFMTBcd: put(Value.AsCurrency().Raw()); return true;
        case ftLargeint: put(Value.AsInt64()); return true;
        case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: {
            TDateTime d = VarIsStr(Value) ? StrToDateTime(Value.AsString()) : Value.AsDateTime();
            // Stored as the field keeps it, so that a key equals the stored value.
            if (type == ftDate) d = std::trunc(d);
            if (type == ftTime) d = std::fabs(d - std::trunc(d));
            put(d);
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

void TmtCustomMemTable::SetFieldValue(PmtRecord Record, TField* Field, const Variant& Value) {
    if (Record == nullptr || Field == nullptr) return;
    bool clear = Value.IsNull() || Value.IsEmpty();
    std::string scratch;
    if (Field->FieldNo() <= 0) {
        if (Field->Offset() + Field->DataSize() + 1 > common_->CalcFieldsSize()) return;
        uint8_t* area = common_->CalcArea(Record);
        uint8_t* p = area + Field->Offset();
        if (clear) {
            WriteCalcField(area, Field, nullptr);
            return;
        }
        std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max(Field->DataSize(), 8)), 0);
        if (NativeBytes(Field, Value, bytes.data(), static_cast<int>(bytes.size()), scratch)) {
            p[0] = 2;
            std::memcpy(p + 1, bytes.data(), static_cast<std::size_t>(Field->DataSize()));
        }
        return;
    }
    int fno = Field->FieldNo();
    // A fixed field of a record buffer, as a search's key record has them.
    if (!clear && !TmtCommon::IsPacked(Record) && static_cast<std::size_t>(fno) < fieldInfo_.size() &&
        fieldInfo_[static_cast<std::size_t>(fno)].bufferOfs >= 0) {
        const FieldInfo& fi = fieldInfo_[static_cast<std::size_t>(fno)];
        uint8_t* at = Record->Data() + fi.bufferOfs;
        if (NativeBytes(Field, Value, at + 1, fi.slotBytes, scratch)) at[0] = 2;
        return;
    }
    uint8_t* slot = common_->Slot(Record, fno);
    if (slot == nullptr) return;
    bool indirect = (common_->FieldFlags(fno) & kFlagIndirect) != 0;
    int fixedSize = common_->GetFieldSize(Field->DataType(), Field->Size());
    if (TmtCommon::IsPacked(Record) && common_->IsPackedText(fno)) {
        // Record is a stored record here, not a buffer: it may move.
        std::string_view t;
        if (!clear) t = FieldText(Field, Value, scratch);
        common_->WritePackedText(Record, fno, clear ? nullptr : t.data(), t.size());
        return;
    }
    if (clear) {
        if (indirect) {
            if (uint8_t* old = GetBlockPtr(slot)) FreeBlock(old);
            std::memset(slot, 0, kIndirectSlotSize);
        } else {
            slot[0] = 0;
            std::memset(slot + 1, 0, static_cast<std::size_t>(fixedSize));
        }
        return;
    }
    if (!indirect) {
        if (NativeBytes(Field, Value, slot + 1, fixedSize, scratch)) slot[0] = 2;
        return;
    }
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max({Field->DataSize(), fixedSize, 8})), 0);
    if (!NativeBytes(Field, Value, bytes.data(), static_cast<int>(bytes.size()), scratch)) return;
    if (uint8_t* old = GetBlockPtr(slot)) FreeBlock(old);
    int size = IsTextFieldType(Field->DataType())
                   ? static_cast<int>(strnlen(reinterpret_cast<const char*>(bytes.data()), bytes.size())) + 1
                   : Field->DataSize();
    // Kept as a stored value of the field is, compressed where it is: it is
    // read back, and compared, through the same handler.
    std::string packed;
    const uint8_t* stored = StoredBytes(Field, common_->FieldFlags(fno), bytes.data(), size, packed);
    SetBlockPtr(slot, NewBlock(stored, size));
    slot[0] = 2;
}

void TmtCustomMemTable::PopulateRecord(PmtRecord Record, const std::string& FieldNames, const Variant& Values) {
    if (Values.IsArray() && VarArrayDimCount(Values) > 1) throw EMemTableError(mtres::InvalidDimCount);
    TmtFieldList list;
    BuildIndexFieldList(this, this, list, FieldNames);
    PopulateRecordFromList(Record, list, Values);
}

void TmtCustomMemTable::PopulateRecordFromList(PmtRecord Record, const TmtFieldList& List, const Variant& Values) {
    if (Values.IsArray() && VarArrayDimCount(Values) > 1) throw EMemTableError(mtres::InvalidDimCount);
    if (List.Count() == 0) throw EMemTableError(mtres::NoFields);
    if (!Values.IsArray()) {
        if (List.Count() > 1) throw EMemTableError(mtres::MoreFieldsThanValues);
        SetFieldValue(Record, List.Fields(0), Values);
        return;
    }
    int low = Values.LowBound();
    if (Values.HighBound() - low + 1 < List.Count()) throw EMemTableError(mtres::MoreFieldsThanValues);
    for (int i = 0; i < List.Count(); ++i) SetFieldValue(Record, List.Fields(i), Values.GetElement(low + i));
}

const TmtFieldList& TmtCustomMemTable::LocateFieldList(const std::string& KeyFields, TLocateOptions Options,
                                                       TmtFieldList& Scratch) {
    // A field list is parsed once per text and option set while the table
    // stays open; a locate in a loop parses nothing.
    const bool ci = Options.Contains(loCaseInsensitive), partial = Options.Contains(loPartialKey);
    // Field names are short: compared in place, without a call.
    auto same = [&](const std::string& a) {
        if (a.size() != KeyFields.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i] != KeyFields[i]) return false;
        return true;
    };
    for (const auto& c : locateLists_)
        if (c->ci == ci && c->partial == partial && same(c->fields)) return c->list;
    TmtFieldList* list = &Scratch;
    if (locateLists_.size() < 32) {
        auto entry = std::make_unique<LocateList>();
        entry->fields = KeyFields;
        entry->ci = ci;
        entry->partial = partial;
        list = &entry->list;
        BuildIndexFieldList(this, this, *list, KeyFields);
        locateLists_.push_back(std::move(entry));
    } else {
        BuildIndexFieldList(this, this, *list, KeyFields);
    }
    for (int i = 0; i < list->Count(); ++i) {
        TmtifoOptions o = list->Options(i);
        if (ci) o.Include(mtifoCaseInsensitive);
        if (partial) o.Include(mtifoPartial);
        list->SetOptions(i, o);
    }
    return *list;
}

int TmtCustomMemTable::LocateRecord(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    if (KeyValues.IsArray() && VarArrayDimCount(KeyValues) > 1) throw EMemTableError(mtres::InvalidDimCount);
    CheckBrowseMode();
    CursorPosChanged();
    TmtFieldList scratch;
    const TmtFieldList& list = LocateFieldList(KeyFields, Options, scratch);
    StoreLock lock(common_);
    // One key record serves every locate; a locate started from inside
    // another (a filter handler) gets one of its own.
    PmtRecord key;
    bool own = false;
    if (locateKeyBusy_) {
        key = common_->AllocRecord();
        own = true;
    } else {
        if (locateKey_ == nullptr) locateKey_ = common_->AllocRecord();
        key = locateKey_;
        locateKeyBusy_ = true;
    }
    struct Release {
        TmtCustomMemTable* t;
        PmtRecord key;
        bool own;
        ~Release() {
            if (own)
                t->common_->FreeRecord(key, true, false);
            else
                t->locateKeyBusy_ = false;
        }
    } release{this, key, own};
    PopulateRecordFromList(key, list, KeyValues);
    bool found = false;
    int index = -1;
    indexes_->Search(list, key, found, index, autoAddIndexes_, true, false);
    return found ? index : -1;
}

bool TmtCustomMemTable::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    CheckActive();
    DoBeforeScroll();
    int pos;
    {
        // One hold of the store for the search and the read of what it found.
        StoreLock lock(common_);
        pos = LocateRecord(KeyFields, KeyValues, Options);
        SetFound(pos >= 0);
        if (pos >= 0) {
            recNo_ = pos;
            Resync({rmExact, rmCenter});
        }
    }
    if (pos >= 0) DoAfterScroll();
    return pos >= 0;
}

Variant TmtCustomMemTable::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                                  const std::string& ResultFields) {
    Variant result = Null();
    if (!Active()) return result;
    int pos = LocateRecord(KeyFields, KeyValues, {});
    SetFound(pos >= 0);
    if (pos < 0) return result;
    StoreLock lock(common_);
    PmtRecord rec = curIndex_->RecordAt(pos);
    PmtRecord old = overrideRecord_;
    overrideRecord_ = rec;
    TouchRecords();
    Finally restore([&] {
        overrideRecord_ = old;
        TouchRecords();
    });
    CalcRecordFields(rec);
    result = FieldValues(ResultFields);
    return result;
}

void TmtCustomMemTable::SyncCursorWith(TDataSet* DataSet) {
    auto* other = dynamic_cast<TmtCustomMemTable*>(DataSet);
    if (other == nullptr || !other->Active()) return;
    PmtRecord a = other->GetActiveRecord();
    if (a == nullptr) return;
    CheckBrowseMode();
    StoreLock lock(common_);
    int pos = -1;
    curIndex_->FindRecordByID(a->RecordID, pos);
    if (pos < 0 || pos >= curIndex_->Count() ||
        !FilterRecord(curIndex_->RecordAt(pos), false))
        throw Exception(mtres::RecordNotFound);
    DoBeforeScroll();
    recNo_ = pos;
    Resync({rmExact, rmCenter});
    DoAfterScroll();
}

// ---------------------------------------------------------------------------
// Structure

TField* TmtCustomMemTable::CopyField(TField* Field) {
    if (Field == nullptr || !IsSupportedFieldType(Field->DataType()) || FindField(Field->FieldName()) != nullptr)
        return nullptr;
    // A field of the source's kind, made the way field definitions make them.
    TFieldDefs scratch(this);
    TFieldDef def(&scratch, Field->FieldName(), Field->DataType(), Field->Size(), false, 0);
    if (auto* bcd = dynamic_cast<TBCDField*>(Field)) def.SetPrecision(bcd->Precision());
    TField* f = def.CreateField(nullptr);
    f->SetSize(Field->Size());
    f->SetFieldKind(Field->FieldKind());
    f->SetKeyFields(Field->KeyFields());
    f->SetLookupDataSet(Field->LookupDataSet());
    f->SetLookupResultField(Field->LookupResultField());
    f->SetLookupKeyFields(Field->LookupKeyFields());
    if (auto* bcd = dynamic_cast<TBCDField*>(Field))
        if (auto* nb = dynamic_cast<TBCDField*>(f)) nb->SetPrecision(bcd->Precision());
    return f;
}

void TmtCustomMemTable::CopyFieldProperties(TField* Source, TField* Dest) {
    if (Source == nullptr || Dest == nullptr) return;
    Dest->SetDisplayLabel(Source->DisplayLabel());
    Dest->SetDisplayWidth(Source->DisplayWidth());
    Dest->SetAlignment(Source->Alignment());
    Dest->SetVisible(Source->Visible());
    Dest->SetReadOnly(Source->ReadOnly());
    Dest->SetEditMask(Source->EditMask());
    auto* sn = dynamic_cast<TNumericField*>(Source);
    auto* dn = dynamic_cast<TNumericField*>(Dest);
    if (sn != nullptr && dn != nullptr) {
        dn->SetDisplayFormat(sn->DisplayFormat());
        dn->SetEditFormat(sn->EditFormat());
    }
    auto* si = dynamic_cast<TIntegerField*>(Source);
    auto* di = dynamic_cast<TIntegerField*>(Dest);
    if (si != nullptr && di != nullptr) {
        di->SetMinValue(si->MinValue());
        di->SetMaxValue(si->MaxValue());
    }
    auto* sf = dynamic_cast<TFloatField*>(Source);
    auto* df = dynamic_cast<TFloatField*>(Dest);
    if (sf != nullptr && df != nullptr) {
        df->SetCurrency(sf->IsCurrency());
        df->SetMinValue(sf->MinValue());
        df->SetMaxValue(sf->MaxValue());
        df->SetPrecision(sf->Precision());
    }
    auto* sb = dynamic_cast<TBCDField*>(Source);
    auto* db = dynamic_cast<TBCDField*>(Dest);
    if (sb != nullptr && db != nullptr) db->SetCurrency(sb->IsCurrency());
    auto* sd = dynamic_cast<TDateTimeField*>(Source);
    auto* dd = dynamic_cast<TDateTimeField*>(Dest);
    if (sd != nullptr && dd != nullptr) dd->SetDisplayFormat(sd->DisplayFormat());
    auto* sbo = dynamic_cast<TBooleanField*>(Source);
    auto* dbo = dynamic_cast<TBooleanField*>(Dest);
    if (sbo != nullptr && dbo != nullptr) dbo->SetDisplayValues(sbo->DisplayValues());
    auto* sbl = dynamic_cast<TBlobField*>(Source);
    auto* dbl = dynamic_cast<TBlobField*>(Dest);
    if (sbl != nullptr && dbl != nullptr && !Dest->DataSet()->Active()) dbl->SetBlobType(sbl->BlobType());
}

void TmtCustomMemTable::CopyFieldsProperties(TDataSet* Source, TDataSet* Dest) {
    if (Source == nullptr || Dest == nullptr) return;
    for (TField* d : Dest->Fields()->List())
        if (TField* s = Source->FindField(d->FieldName())) CopyFieldProperties(s, d);
}

void TmtCustomMemTable::CreateTableAs(TDataSet* Source, TmtCopyTableOptions CopyOptions) {
    if (common_->IsAnyTableActive()) common_->CloseTables(nullptr);
    if (Source == nullptr) return;
    if (!Source->Active()) Source->FieldDefs()->Update();
    TFieldDefs* src = Source->FieldDefs();
    if (src->Count() > MT_MAX_FIELDS) throw EMemTableError(mtres::TooManyFieldDefs);
    TFieldDefs* defs = FieldDefs();
    defs->Clear();
    for (int i = 0; i < src->Count(); ++i) {
        TFieldDef* s = src->Items(i);
        TFieldDef* d = defs->AddFieldDef();
        d->SetName(s->Name());
        d->SetDataType(s->DataType());
        d->SetSize(s->Size());
        d->SetPrecision(s->Precision());
        d->SetAttributes(s->Attributes());
        d->SetInternalCalcField(s->InternalCalcField());
    }
    for (int i = defs->Count() - 1; i >= 0; --i) {
        TFieldDef* d = defs->Items(i);
        if (!IsSupportedFieldType(d->DataType()) ||
            ((CopyOptions & mtcpoOnlyActiveFields) != 0 && Source->FindField(d->Name()) == nullptr)) {
            defs->Delete(i);
            continue;
        }
        if ((CopyOptions & mtcpoStringAsWideString) != 0 &&
            (d->DataType() == ftString || d->DataType() == ftFixedChar))
            d->SetDataType(ftWideString);
    }
    // Field numbers follow the definitions' order again.
    for (int i = 0; i < defs->Count(); ++i) defs->Items(i)->SetFieldNo(i + 1);
    defs->SetUpdated(true);
    DestroyFields();
    if (!Source->DefaultFields() && Source->FieldCount() > 0) CreateFields();
    for (TField* sf : Source->Fields()->List()) {
        bool lookup = sf->FieldKind() == fkLookup && (CopyOptions & mtcpoLookup) != 0;
        bool calc = sf->FieldKind() == fkCalculated && (CopyOptions & mtcpoCalculated) != 0;
        if (!lookup && !calc) continue;
        TField* nf = CopyField(sf);
        if (nf != nullptr && (CopyOptions & mtcpoFieldIndex) != 0) nf->SetIndex(std::min(sf->Index(), FieldCount() - 1));
    }
    if ((CopyOptions & mtcpoProperties) != 0) CopyFieldsProperties(Source, this);
    autoIncField_ = nullptr;
    for (TField* f : Fields()->List())
        if (f->DataType() == ftAutoInc && f->FieldKind() == fkData) {
            autoIncField_ = f;
            break;
        }
}

// ---------------------------------------------------------------------------
// Copying records

namespace {

// For each destination field, the index of the source field it takes its
// value from; -1 (and -2 for lookup fields) when it takes none.
std::vector<int> FieldMap(TDataSet* Source, TDataSet* Destination, bool SkipAutoInc) {
    std::vector<int> map;
    for (TField* d : Destination->Fields()->List()) {
        int m = -1;
        if (d->FieldKind() == fkLookup) {
            m = -2;
        } else if (d->FieldKind() == fkAggregate || d->FieldKind() == fkCalculated) {
            m = -1;
        } else if (SkipAutoInc && d->DataType() == ftAutoInc) {
            m = -1;
        } else if (TField* s = Source->FindField(d->FieldName())) {
            m = Source->Fields()->IndexOf(s);
        }
        map.push_back(m);
    }
    return map;
}

void CopyValue(TField* s, TField* d, bool UTF8Conversion) {
    if (s->IsNull()) {
        d->Clear();
        return;
    }
    bool sw = s->DataType() == ftWideString, dw = d->DataType() == ftWideString;
    if (s->DataType() == ftLargeint) {
        d->SetAsString(s->AsString());
    } else if (UTF8Conversion && sw != dw) {
        // Text is UTF-8 on both sides of this platform: the conversion is the
        // identity, the value passes as text.
        d->SetAsString(s->AsString());
    } else if (s->IsBlob()) {
        d->SetAsString(s->AsString());
    } else if (s->ClassName() != d->ClassName()) {
        d->SetAsString(s->AsString());
    } else {
        d->SetValue(s->Value());
    }
}

// Fills the destination's record in edit or insert from the source's current
// record, through the table's save and load events, and posts it unless the
// load event turns it down. A failing field or post cancels the record before
// the error goes on. Whether it was posted is returned.
bool WriteRecord(TmtCustomMemTable* Table, TDataSet* Source, TDataSet* Destination, const std::vector<int>& map,
                 bool UTF8Conversion) {
    bool fromTable = Source == Table, toTable = Destination == Table;
    try {
        for (std::size_t i = 0; i < map.size(); ++i) {
            if (map[i] < 0) continue;
            TField* s = Source->Fields()->Fields(map[i]);
            TField* d = Destination->Fields()->Fields(static_cast<int>(i));
            if (fromTable && Table->OnSaveField) Table->OnSaveField(Table, s->FieldNo(), s);
            CopyValue(s, d, UTF8Conversion);
            if (toTable && Table->OnLoadField) Table->OnLoadField(Table, d->FieldNo(), d);
        }
        bool keep = true;
        if (toTable && Table->OnLoadRecord) Table->OnLoadRecord(Table, keep);
        if (keep) {
            Destination->Post();
            return true;
        }
        Destination->Cancel();
        return false;
    } catch (...) {
        try {
            Destination->Cancel();
        } catch (...) {
        }
        throw;
    }
}

// Whether a value of Source can reach Dest as its native bytes, with the
// outcome of Dest's own setter: same kind, no range of Dest to check.
bool NativeCopyable(TField* Source, TField* Dest) {
    if (Source->DataType() != Dest->DataType() || Source->IsBlob() || Dest->IsBlob()) return false;
    switch (Dest->DataType()) {
        case ftSmallint: case ftInteger: case ftWord: {
            auto* i = dynamic_cast<TIntegerField*>(Dest);
            return i != nullptr && i->MinValue() == 0 && i->MaxValue() == 0;
        }
        case ftFloat: case ftCurrency: {
            auto* f = dynamic_cast<TFloatField*>(Dest);
            return f != nullptr && f->MinValue() == 0 && f->MaxValue() == 0;
        }
        case ftBoolean: case ftDate: case ftTime: case ftDateTime:
        case ftString: case ftFixedChar: case ftWideString:
            return true;
        default:
            return false;
    }
}

// Copies one value by its native bytes, as Dest's setter would store it;
// false when the setter must decide (a value it would refuse).
bool CopyNative(TField* Source, TField* Dest, std::vector<uint8_t>& Scratch, TmtBulkLoad& Bulk) {
    const std::size_t size = static_cast<std::size_t>(std::max(Source->DataSize(), Dest->DataSize())) + 1;
    if (Scratch.size() < size) Scratch.resize(size);
    std::memset(Scratch.data(), 0, size);
    if (!Source->GetData(Scratch.data())) {
        Bulk.SetNative(Dest, nullptr);
        return true;
    }
    switch (Dest->DataType()) {
        case ftBoolean: {
            const int16_t b = ReadValue<int16_t>(Scratch.data()) != 0 ? 1 : 0;
            WriteValue<int16_t>(Scratch.data(), b);
            break;
        }
        case ftFloat: case ftCurrency: case ftDate: case ftTime: case ftDateTime: {
            double d = ReadValue<double>(Scratch.data());
            if (!std::isfinite(d)) return false;
            if (Dest->DataType() == ftDate) d = std::trunc(d);
            if (Dest->DataType() == ftTime) d = std::fabs(d - std::trunc(d));
            WriteValue<double>(Scratch.data(), d);
            break;
        }
        case ftString: case ftFixedChar: case ftWideString: {
            const auto* p = reinterpret_cast<const char*>(Scratch.data());
            std::string_view text(p, strnlen(p, size));
            std::string fixed;
            if (!utf8::IsValid(text)) {
                fixed = utf8::Repair(text);
                text = fixed;
            }
            if (text.size() > static_cast<std::size_t>(std::max(Dest->Size(), 0)) && Length(text) > Dest->Size()) {
                std::string cut = Copy(text, 1, Dest->Size());
                fixed = std::move(cut);
                text = fixed;
            }
            std::vector<uint8_t> out(static_cast<std::size_t>(Dest->DataSize()) + 1, 0);
            std::memcpy(out.data(), text.data(), std::min(text.size(), out.size() - 1));
            Bulk.SetNative(Dest, out.data());
            return true;
        }
        default:
            break;
    }
    Bulk.SetNative(Dest, Scratch.data());
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Adding records in bulk

bool TmtCustomMemTable::CanLoadDirectly() const {
    if (!Active() || State() != dsBrowse || !ControlsDisabled()) return false;
    if (BeforeInsert || AfterInsert || BeforePost || AfterPost || OnNewRecord || BeforeScroll || AfterScroll ||
        OnPostError || BeforeCancel || AfterCancel || OnCalcFields || OnLoadRecord || OnLoadField)
        return false;
    if (masterLink_->Active() && masterIndexList_.Count() > 0) return false;
    if (autoIncField_ != nullptr && !ignoreAutoInc_) return false;
    for (TField* f : Fields()->List())
        if (!f->DefaultExpression().empty() || (f->Required() && f->FieldKind() == fkData)) return false;
    // Other tables sharing the store refresh after every post.
    for (TmtCustomMemTable* t : common_->AttachedTables())
        if (t != nullptr && t != this && t->Active() && attachedAutoRefresh_) return false;
    return true;
}

void TmtCustomMemTable::AppendBufferDirectly(PmtRecord Buffer) {
    // What InternalPost does for an appended record.
    StoreLock lock(common_);
    indexes_->CheckRecordUniqueness(Buffer, nullptr);
    PmtRecord copy = common_->CopyRecord(Buffer, true);
    copy->RecordNo = -1;
    common_->ClearIndirect(Buffer);
    common_->AppendRecord(copy);
    copy->TransactionLevel = common_->TransactionLevel();
    copy->Flag |= kRecOwned;
    lastChangePos_ = -1;
    common_->ReflectToIndexes(this, 0, false, -1, nullptr, copy);
    common_->SetIsDataModified(true);
    common_->ClearModifiedFlags();
}

TmtBulkLoad::TmtBulkLoad(TmtCustomMemTable* Table) : table_(Table) {
    if (!Table->CanLoadDirectly()) return;
    buffer_ = Table->common_->AllocRecord();
    oldOverride_ = Table->overrideRecord_;
    oldState_ = Table->SetTempState(dsInsert);
    Table->overrideRecord_ = buffer_;
}

TmtBulkLoad::~TmtBulkLoad() {
    if (buffer_ == nullptr) return;
    TmtCustomMemTable* t = table_;
    t->overrideRecord_ = oldOverride_;
    t->RestoreState(oldState_);
    t->common_->FreeRecord(buffer_, true, false);
    buffer_ = nullptr;
    if (count_ == 0 || !t->Active()) return;
    // The cursor on the last record added, as after the last Post.
    try {
        if (t->lastChangePos_ >= 0) t->recNo_ = t->lastChangePos_;
        t->lastChangePos_ = -1;
        t->Resync({});
    } catch (...) {
    }
}

void TmtBulkLoad::Append() {
    if (buffer_ == nullptr) {
        table_->Append();
        return;
    }
    TmtCommon* common = table_->common_;
    common->ClearIndirect(buffer_);
    common->InitRecord(buffer_);
    if (table_->CalcFieldsSize() > 0) table_->ClearCalcFields(reinterpret_cast<TRecordBuffer>(buffer_));
    common->ClearModifiedFlags();
    pending_ = true;
}

void TmtBulkLoad::Post() {
    if (buffer_ == nullptr) {
        table_->Post();
        ++count_;
        return;
    }
    if (!pending_) return;
    table_->CheckRequiredFields();
    table_->AppendBufferDirectly(buffer_);
    pending_ = false;
    ++count_;
}

void TmtBulkLoad::SetNative(TField* Field, const void* Buffer) {
    TmtCustomMemTable* t = table_;
    const int no = Field->FieldNo();
    const bool quiet = buffer_ != nullptr && pending_ && !Field->OnValidate && !Field->OnChange &&
                       t->CalcFieldsSize() == 0 && no > 0 &&
                       (t->ignoreReadOnly_ || (!t->readOnly_ && !Field->ReadOnly())) &&
                       static_cast<std::size_t>(no) < t->fieldInfo_.size() &&
                       t->fieldInfo_[static_cast<std::size_t>(no)].bufferOfs >= 0;
    if (!quiet) {
        Field->SetData(Buffer);
        return;
    }
    t->WriteBufferField(buffer_, no, Buffer);
    t->SetModified(true);
}

void TmtBulkLoad::Cancel() {
    if (buffer_ == nullptr) {
        table_->Cancel();
        return;
    }
    table_->common_->ClearModifiedFlags();
    pending_ = false;
}

int TmtCustomMemTable::CopyRecords(TDataSet* Source, TDataSet* Destination, int Limit, bool UTF8Conversion,
                                   bool IgnoreErrors) {
    // The flag is passed through by callers; a failing post always stops the
    // copy (with the record cancelled) so that nothing is lost unnoticed.
    (void)IgnoreErrors;
    if (Source == nullptr || Destination == nullptr || Source == Destination) return 0;
    Progress(0, mtpcCopy);
    std::vector<int> map = FieldMap(Source, Destination, !Destination->IsEmpty());
    int total = -1;
    if (OnProgress) {
        total = Source->RecordCount();
        if (total < 1) Progress(50, mtpcCopy);
    } else {
        Progress(50, mtpcCopy);
    }
    loadedCompletely_ = true;
    int count = 0, seen = 0;
    // Into this table, many records go in bulk when nothing listens to each.
    std::unique_ptr<TmtBulkLoad> bulk;
    if (Destination == this && Source != this) bulk = std::make_unique<TmtBulkLoad>(this);
    if (bulk != nullptr && !bulk->Direct()) bulk.reset();
    std::vector<uint8_t> native;
    std::vector<char> nativeOk(map.size(), 0);
    if (bulk != nullptr)
        for (std::size_t i = 0; i < map.size(); ++i)
            if (map[i] >= 0)
                nativeOk[i] = NativeCopyable(Source->Fields()->Fields(map[i]), Fields()->Fields(static_cast<int>(i)));
    while (!Source->Eof()) {
        if (seen > 0 && seen % 100 == 0 && total > 0) Progress(std::min(100, seen * 100 / total), mtpcCopy);
        bool accept = true;
        if (Source == this && OnSaveRecord) OnSaveRecord(this, accept);
        if (accept && bulk != nullptr) {
            bulk->Append();
            try {
                for (std::size_t i = 0; i < map.size(); ++i) {
                    if (map[i] < 0) continue;
                    TField* s = Source->Fields()->Fields(map[i]);
                    TField* d = Fields()->Fields(static_cast<int>(i));
                    if (!nativeOk[i] || !CopyNative(s, d, native, *bulk)) CopyValue(s, d, UTF8Conversion);
                }
                bulk->Post();
            } catch (...) {
                bulk->Cancel();
                throw;
            }
            ++count;
            if (Limit > 0 && count >= Limit) {
                Source->Next();
                loadedCompletely_ = Source->Eof();
                ++seen;
                break;
            }
        } else if (accept) {
            Destination->Append();
            if (WriteRecord(this, Source, Destination, map, UTF8Conversion)) ++count;
            if (Limit > 0 && count >= Limit) {
                Source->Next();
                loadedCompletely_ = Source->Eof();
                ++seen;
                break;
            }
        }
        Source->Next();
        ++seen;
    }
    Progress(100, mtpcCopy);
    return count;
}

void TmtCustomMemTable::LoadFromDataSet(TDataSet* Source, TmtCopyTableOptions CopyOptions) {
    if (Source == nullptr || Source == this) return;
    if ((CopyOptions & mtcpoAppend) != 0 && (CopyOptions & (mtcpoStructure | mtcpoProperties)) != 0)
        throw EMemTableError(mtres::AppendAndCopyStructure);
    ActivityScope activity(this, actLoading);
    if (OnLoad) OnLoad(this, mtstDataSet, nullptr);
    if ((CopyOptions & mtcpoStructure) != 0)
        Close();
    else if ((CopyOptions & mtcpoAppend) == 0 && Active())
        EmptyTable();

    bool sourceActive = Source->Active();
    bool ownFiltered = Filtered();
    TDataSource* master = MasterSource();
    bool indexesOn = enableIndexes_;
    bool oldIgnoreReadOnly = ignoreReadOnly_;
    TBookmark sourcePlace;
    if ((CopyOptions & mtcpoDontDisableIndexes) == 0) enableIndexes_ = false;
    ignoreReadOnly_ = true;
    DisableControls();
    Source->DisableControls();
    // Everything above comes back however the copy ends.
    Finally restore([&] {
        RunSteps({
            [&] {
                enableIndexes_ = indexesOn;
                ignoreReadOnly_ = oldIgnoreReadOnly;
            },
            [&] {
                if (Active()) {
                    common_->MarkIndexesDirty();
                    common_->UpdateIndexes();
                }
            },
            [&] {
                if (!sourcePlace.empty() && Source->Active() && Source->BookmarkValid(sourcePlace))
                    Source->GotoBookmark(sourcePlace);
            },
            [&] {
                if (!sourceActive) Source->Close();
            },
            [&] { Source->EnableControls(); },
            [&] { EnableControls(); },
            [&] {
                if (Filtered() != ownFiltered) SetFiltered(ownFiltered);
            },
            [&] {
                if (MasterSource() != master) SetMasterSource(master);
            },
            [&] {
                if (Active()) First();
            },
        });
    });
    if (!sourceActive) Source->Open();
    sourcePlace = Source->GetBookmark();
    if (Filtered()) SetFiltered(false);
    if (master != nullptr) SetMasterSource(nullptr);
    if ((CopyOptions & mtcpoStructure) != 0) CreateTableAs(Source, CopyOptions);
    if (!Active()) Open();
    if ((CopyOptions & mtcpoProperties) != 0 && (CopyOptions & mtcpoAppend) == 0) CopyFieldsProperties(Source, this);
    if (!Source->Bof()) Source->First();
    loadCount_ = CopyRecords(Source, this, loadLimit_, (CopyOptions & mtcpoUTF8Conversion) != 0, true);
}

void TmtCustomMemTable::SaveToDataSet(TDataSet* Destination, TmtCopyTableOptions CopyOptions) {
    if (Destination == nullptr || Destination == this) return;
    int oldActivity = activity_;
    activity_ = actSaving;
    bool destControls = !Destination->ControlsDisabled();
    bool destActive = Destination->Active();
    DisableControls();
    if (destControls) Destination->DisableControls();
    Finally restore([&] {
        RunSteps({[&] { EnableControls(); },
                  [&] {
                      if (destControls) Destination->EnableControls();
                  },
                  [&] {
                      if (!destActive) Destination->Close();
                  },
                  [&] { activity_ = oldActivity; }});
    });
    if (OnSave) OnSave(this, mtstDataSet, nullptr);
    if (!destActive) Destination->Open();
    First();
    saveCount_ = CopyRecords(this, Destination, saveLimit_, (CopyOptions & mtcpoUTF8Conversion) != 0, true);
    savedCompletely_ = loadedCompletely_;
    Destination->First();
}

int TmtCustomMemTable::UpdateRecords(TDataSet* Source, TDataSet* Destination, const std::string& KeyFields,
                                     TmtUpdateFlags Flags, int Limit) {
    if (Source == nullptr || Destination == nullptr || Source == Destination) return 0;
    Progress(0, mtpcUpdate);
    ActivityScope activity(this, actUpdating);
    std::vector<TField*> keys;
    Source->GetFieldList(keys, KeyFields);
    std::vector<int> map = FieldMap(Source, Destination, false);
    int total = Source->RecordCount();
    int count = 0, seen = 0;
    while (!Source->Eof()) {
        if (seen > 0 && seen % 100 == 0 && total > 0) Progress(std::min(100, seen * 100 / total), mtpcCopy);
        bool accept = true;
        if (Source == this && OnSaveRecord) OnSaveRecord(this, accept);
        if (accept && !keys.empty()) {
            Variant kv;
            if (keys.size() == 1) {
                kv = keys[0]->Value();
            } else {
                std::vector<Variant> values;
                for (TField* k : keys) values.push_back(k->Value());
                kv = VarArrayOf(values);
            }
            bool found = Destination->Locate(KeyFields, kv, {});
            bool go = found ? (Flags & mtufEdit) != 0 : (Flags & mtufAppend) != 0;
            if (go) {
                if (found)
                    Destination->Edit();
                else
                    Destination->Append();
                if (WriteRecord(this, Source, Destination, map, false)) ++count;
                if (Limit > 0 && count >= Limit) break;
            }
        }
        Source->Next();
        ++seen;
    }
    Progress(100, mtpcUpdate);
    return count;
}

void TmtCustomMemTable::UpdateToDataSetEx(TDataSet* Destination, const std::string& KeyFields, TmtUpdateFlags Flags) {
    if (Active()) CheckBrowseMode();
    if (Destination == nullptr || Destination == this) return;
    if (OnSave) OnSave(this, mtstDataSet, nullptr);
    bool destControls = !Destination->ControlsDisabled();
    bool destActive = Destination->Active();
    DisableControls();
    if (destControls) Destination->DisableControls();
    Finally restore([&] {
        RunSteps({[&] { EnableControls(); },
                  [&] {
                      if (destControls) Destination->EnableControls();
                  },
                  [&] {
                      if (!destActive) Destination->Close();
                  }});
    });
    if (!destActive) Destination->Open();
    if (!Active()) Open();
    First();
    UpdateRecords(this, Destination, KeyFields, Flags, 0);
    Destination->First();
}

void TmtCustomMemTable::UpdateToDataSet(TDataSet* Destination, const std::string& KeyFields) {
    UpdateToDataSetEx(Destination, KeyFields, mtufEdit | mtufAppend);
}
