// Fields, field definitions, index definitions and the blob buffer stream.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/db/DB.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

using namespace dbconsts;

// ---------------------------------------------------------------------------
// TFieldDef / TFieldDefs

TFieldDef::TFieldDef(TFieldDefs* Owner, const std::string& Name, TFieldType DataType, int Size,
                     bool Required, int FieldNo)
    : owner_(Owner), name_(Name), dataType_(DataType), size_(Size), fieldNo_(FieldNo) {
    SetRequired(Required);
}

void TFieldDef::SetRequired(bool Value) {
    if (Value)
        attributes_.Include(faRequired);
    else
        attributes_.Exclude(faRequired);
}

void TFieldDef::Assign(TPersistent* Source) {
    auto* src = dynamic_cast<TFieldDef*>(Source);
    if (src == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    name_ = src->name_;
    dataType_ = src->dataType_;
    size_ = src->size_;
    precision_ = src->precision_;
    attributes_ = src->attributes_;
    internalCalc_ = src->internalCalc_;
}

TField* TFieldDef::CreateField(TComponent* Owner) {
    std::unique_ptr<TField> f;
    switch (dataType_) {
        case ftString: f = std::make_unique<TStringField>(nullptr); break;
        case ftFixedChar: {
            auto s = std::make_unique<TStringField>(nullptr);
            s->SetFixedChar(true);
            f = std::move(s);
            break;
        }
        case ftWideString: case ftFixedWideChar: f = std::make_unique<TWideStringField>(nullptr); break;
        case ftGuid: f = std::make_unique<TGuidField>(nullptr); break;
        case ftSmallint: f = std::make_unique<TSmallintField>(nullptr); break;
        case ftInteger: f = std::make_unique<TIntegerField>(nullptr); break;
        case ftWord: f = std::make_unique<TWordField>(nullptr); break;
        case ftAutoInc: f = std::make_unique<TAutoIncField>(nullptr); break;
        case ftLargeint: f = std::make_unique<TLargeintField>(nullptr); break;
        case ftBoolean: f = std::make_unique<TBooleanField>(nullptr); break;
        case ftFloat: f = std::make_unique<TFloatField>(nullptr); break;
        case ftCurrency: f = std::make_unique<TCurrencyField>(nullptr); break;
        case ftBCD: case ftFMTBcd: f = std::make_unique<TBCDField>(nullptr); break;
        case ftDate: f = std::make_unique<TDateField>(nullptr); break;
        case ftTime: f = std::make_unique<TTimeField>(nullptr); break;
        case ftDateTime: case ftTimeStamp: f = std::make_unique<TDateTimeField>(nullptr); break;
        case ftBytes: f = std::make_unique<TBytesField>(nullptr); break;
        case ftVarBytes: f = std::make_unique<TVarBytesField>(nullptr); break;
        case ftMemo: case ftFmtMemo: case ftOraClob: f = std::make_unique<TMemoField>(nullptr); break;
        case ftWideMemo: f = std::make_unique<TWideMemoField>(nullptr); break;
        case ftGraphic: f = std::make_unique<TGraphicField>(nullptr); break;
        case ftBlob: case ftParadoxOle: case ftDBaseOle: case ftTypedBinary: case ftOraBlob:
            f = std::make_unique<TBlobField>(nullptr);
            break;
        default:
            DatabaseError(Format("Field '%s' is of an unknown type", name_));
    }
    f->SetDataType(dataType_);
    if (f->DataType() == ftString || f->DataType() == ftFixedChar || f->DataType() == ftWideString ||
        f->DataType() == ftFixedWideChar || f->DataType() == ftBytes || f->DataType() == ftVarBytes ||
        f->IsBlob())
        f->SetSize(size_);
    f->SetFieldName(name_);
    f->SetRequired(Required());
    if (attributes_.Contains(faReadonly)) f->SetReadOnly(true);
    if (auto* fl = dynamic_cast<TFloatField*>(f.get()); fl != nullptr && precision_ > 0)
        fl->SetPrecision(precision_);
    if (internalCalc_) f->SetFieldKind(fkInternalCalc);
    f->SetDataSet(owner_->DataSet());
    TField* raw = f.release();
    // The field now belongs to the dataset's list; the owner only names it.
    if (Owner != nullptr) Owner->InsertComponent(raw);
    return raw;
}

TFieldDefs::TFieldDefs(TDataSet* DataSet) : dataSet_(DataSet) {}
TFieldDefs::~TFieldDefs() = default;

TFieldDef* TFieldDefs::AddFieldDef() {
    items_.push_back(std::make_unique<TFieldDef>(this, "", ftUnknown, 0, false, Count() + 1));
    return items_.back().get();
}

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
    if (Name.empty()) DatabaseError("Field name missing", dataSet_);
    if (IndexOf(Name) >= 0) DatabaseError(Format("Duplicate name '%s' in %s", Name, "TFieldDefs"), dataSet_);
    if (Size < 0) DatabaseError("Invalid field size", dataSet_);
    items_.push_back(std::make_unique<TFieldDef>(this, Name, DataType, Size, Required, Count() + 1));
    return items_.back().get();
}

TFieldDef* TFieldDefs::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
    return items_[static_cast<std::size_t>(Index)].get();
}

int TFieldDefs::IndexOf(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(items_[static_cast<std::size_t>(i)]->Name(), Name)) return i;
    return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& Name) const {
    int i = IndexOf(Name);
    if (i < 0) DatabaseError(Format(SFieldDefNotFound, Name), dataSet_);
    return Items(i);
}

void TFieldDefs::Clear() {
    items_.clear();
    updated_ = false;
}

void TFieldDefs::Delete(int Index) {
    Items(Index);
    items_.erase(items_.begin() + Index);
    for (int i = 0; i < Count(); ++i) items_[static_cast<std::size_t>(i)]->SetFieldNo(i + 1);
}

void TFieldDefs::Update() {
    if (dataSet_ != nullptr && !updated_) {
        dataSet_->InitFieldDefs();
        updated_ = true;
    }
}

void TFieldDefs::Assign(TPersistent* Source) {
    auto* src = dynamic_cast<TFieldDefs*>(Source);
    if (src == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    items_.clear();
    for (int i = 0; i < src->Count(); ++i) {
        TFieldDef* d = AddFieldDef();
        d->Assign(src->Items(i));
        d->SetFieldNo(i + 1);
    }
}

// ---------------------------------------------------------------------------
// TIndexDef / TIndexDefs

TIndexDef::TIndexDef(TIndexDefs* Owner, const std::string& Name, const std::string& Fields,
                     TIndexOptions Options)
    : owner_(Owner), name_(Name), fields_(Fields), options_(Options) {}

void TIndexDef::Assign(TPersistent* Source) {
    auto* src = dynamic_cast<TIndexDef*>(Source);
    if (src == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    name_ = src->name_;
    fields_ = src->fields_;
    caseInsFields_ = src->caseInsFields_;
    descFields_ = src->descFields_;
    expression_ = src->expression_;
    source_ = src->source_;
    options_ = src->options_;
}

TIndexDefs::TIndexDefs(TDataSet* DataSet) : dataSet_(DataSet) {}
TIndexDefs::~TIndexDefs() = default;

TIndexDef* TIndexDefs::AddIndexDef() {
    items_.push_back(std::make_unique<TIndexDef>(this, "", "", TIndexOptions{}));
    return items_.back().get();
}

TIndexDef* TIndexDefs::Add(const std::string& Name, const std::string& Fields, TIndexOptions Options) {
    if (!Name.empty() && IndexOf(Name) >= 0)
        DatabaseError(Format("Duplicate name '%s' in %s", Name, "TIndexDefs"), dataSet_);
    items_.push_back(std::make_unique<TIndexDef>(this, Name, Fields, Options));
    return items_.back().get();
}

TIndexDef* TIndexDefs::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
    return items_[static_cast<std::size_t>(Index)].get();
}

int TIndexDefs::IndexOf(const std::string& Name) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(items_[static_cast<std::size_t>(i)]->Name(), Name)) return i;
    return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& Name) const {
    int i = IndexOf(Name);
    if (i < 0) DatabaseError(Format(SIndexNotFound, Name), dataSet_);
    return Items(i);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const {
    std::vector<std::string> wanted = db::SplitFieldNames(Fields);
    if (wanted.empty()) return nullptr;
    for (const auto& def : items_) {
        if (CaseInsensitive != def->Options().Contains(ixCaseInsensitive)) continue;
        std::vector<std::string> have = db::SplitFieldNames(def->Fields());
        if (have.size() < wanted.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < wanted.size() && match; ++i) match = AnsiSameText(have[i], wanted[i]);
        if (match) return def.get();
    }
    return nullptr;
}

void TIndexDefs::Clear() {
    items_.clear();
    updated_ = false;
}

void TIndexDefs::Delete(int Index) {
    Items(Index);
    items_.erase(items_.begin() + Index);
}

void TIndexDefs::Update() {
    updated_ = true;
}

void TIndexDefs::Assign(TPersistent* Source) {
    auto* src = dynamic_cast<TIndexDefs*>(Source);
    if (src == nullptr) {
        TPersistent::Assign(Source);
        return;
    }
    items_.clear();
    for (int i = 0; i < src->Count(); ++i) AddIndexDef()->Assign(src->Items(i));
}

// ---------------------------------------------------------------------------
// TFields

TField* TFields::Fields(int Index) const {
    if (Index < 0 || Index >= Count()) DatabaseError(SFieldIndexError, dataSet_);
    return list_[static_cast<std::size_t>(Index)];
}

TField* TFields::FindField(const std::string& FieldName) const {
    for (TField* f : list_)
        if (AnsiSameText(f->FieldName(), FieldName)) return f;
    return nullptr;
}

TField* TFields::FieldByName(const std::string& FieldName) const {
    TField* f = FindField(FieldName);
    if (f == nullptr) DatabaseError(Format(SFieldNotFound, FieldName), dataSet_);
    return f;
}

TField* TFields::FieldByNumber(int FieldNo) const {
    for (TField* f : list_)
        if (f->FieldNo() == FieldNo) return f;
    return nullptr;
}

int TFields::IndexOf(const TField* Field) const {
    auto it = std::find(list_.begin(), list_.end(), Field);
    return it == list_.end() ? -1 : static_cast<int>(it - list_.begin());
}

void TFields::GetFieldNames(TStrings* List) const {
    List->Clear();
    for (TField* f : list_) List->Add(f->FieldName());
}

void TFields::Add(TField* Field) {
    if (!Field->FieldName().empty() && FindField(Field->FieldName()) != nullptr)
        DatabaseError(Format(SDuplicateFieldName, Field->DisplayName()), dataSet_);
    list_.push_back(Field);
}

void TFields::Remove(TField* Field) {
    list_.erase(std::remove(list_.begin(), list_.end(), Field), list_.end());
}

void TFields::SetFieldIndex(TField* Field, int Value) {
    int cur = IndexOf(Field);
    if (cur < 0) return;
    Value = std::clamp(Value, 0, Count() - 1);
    if (Value == cur) return;
    list_.erase(list_.begin() + cur);
    list_.insert(list_.begin() + Value, Field);
}

// ---------------------------------------------------------------------------
// TField

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
    if (dataSet_ != nullptr) {
        dataSet_->RemoveField(this);
        dataSet_ = nullptr;
    }
}

void TField::CheckInactive() const {
    if (dataSet_ != nullptr) dataSet_->CheckInactive();
}

void TField::SetDataSet(TDataSet* Value) {
    if (Value == dataSet_) return;
    CheckInactive();
    if (Value != nullptr) {
        Value->CheckInactive();
        if (!fieldName_.empty() && Value->FindField(fieldName_) != nullptr)
            DatabaseError(Format(SDuplicateFieldName, DisplayName()), Value);
    }
    if (dataSet_ != nullptr) dataSet_->RemoveField(this);
    dataSet_ = Value;
    if (Value != nullptr) Value->AddField(this);
}

void TField::SetFieldName(const std::string& Value) {
    if (Value == fieldName_) return;
    CheckInactive();
    if (dataSet_ != nullptr) {
        TField* other = dataSet_->FindField(Value);
        if (other != nullptr && other != this)
            DatabaseError(Format(SDuplicateFieldName, Value), dataSet_);
    }
    fieldName_ = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
    if (Value == fieldKind_) return;
    CheckInactive();
    fieldKind_ = Value;
}

bool TField::IsIndexField() const {
    return dataSet_ != nullptr && dataSet_->GetIsIndexField(const_cast<TField*>(this));
}

int TField::Index() const {
    return dataSet_ != nullptr ? dataSet_->Fields()->IndexOf(this) : -1;
}

void TField::SetIndex(int Value) {
    if (dataSet_ == nullptr) return;
    dataSet_->fields_->SetFieldIndex(this, Value);
    PropertyChanged(true);
}

void TField::SetSize(int Value) {
    CheckInactive();
    if (Value < 0) DatabaseError("Invalid field size");
    size_ = Value;
}

void TField::SetDisplayLabel(const std::string& Value) {
    displayLabel_ = Value == fieldName_ ? std::string() : Value;
    PropertyChanged(true);
}

int TField::DisplayWidth() const {
    return displayWidth_ > 0 ? displayWidth_ : DefaultDisplayWidth();
}

void TField::SetDisplayWidth(int Value) {
    displayWidth_ = Value;
    PropertyChanged(true);
}

void TField::SetAlignment(TAlignment Value) {
    alignment_ = Value;
    PropertyChanged(false);
}

void TField::SetVisible(bool Value) {
    visible_ = Value;
    PropertyChanged(true);
}

void TField::SetReadOnly(bool Value) {
    readOnly_ = Value;
    PropertyChanged(true);
}

void TField::PropertyChanged(bool LayoutAffected) {
    if (dataSet_ != nullptr && dataSet_->Active())
        dataSet_->DataEvent(LayoutAffected ? deLayoutChange : deDataSetChange, 0);
}

bool TField::CanModify() const {
    if (readOnly_ || dataSet_ == nullptr || !dataSet_->Active()) return false;
    if (dataSet_->State() == dsSetKey) return true;
    if (fieldKind_ == fkCalculated || fieldKind_ == fkAggregate) return false;
    return dataSet_->CanModify();
}

void TField::SetLookupDataSet(TDataSet* Value) {
    CheckInactive();
    if (lookupDataSet_ != nullptr) RemoveFreeNotification(lookupDataSet_);
    lookupDataSet_ = Value;
    if (Value != nullptr) FreeNotification(Value);
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == lookupDataSet_) lookupDataSet_ = nullptr;
}

void TField::Bind(bool Binding) {
    if (Binding && fieldKind_ == fkLookup &&
        (lookupDataSet_ == nullptr || keyFields_.empty() || lookupKeyFields_.empty() ||
         lookupResultField_.empty()))
        DatabaseError(Format(SLookupInfoError, DisplayName()), dataSet_);
}

void TField::AccessError(const char* TypeName) const {
    DatabaseError(Format(SFieldAccessError, DisplayName(), std::string(TypeName)));
}

bool TField::GetData(void* Buffer) const {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    if (isValidating_) {
        if (validating_ == nullptr) return false;
        if (Buffer != nullptr) std::memcpy(Buffer, validating_, static_cast<std::size_t>(DataSize()));
        return true;
    }
    return dataSet_->GetFieldData(const_cast<TField*>(this), Buffer);
}

void TField::SetData(const void* Buffer) {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    dataSet_->SetFieldData(this, Buffer);
}

bool TField::IsNull() const {
    if (isValidating_) return validating_ == nullptr;
    if (dataSet_ == nullptr) return true;
    return !GetData(nullptr);
}

Variant TField::OldValue() const {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    return dataSet_->GetStateFieldValue(dsOldValue, const_cast<TField*>(this));
}

Variant TField::NewValue() const {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    return dataSet_->GetStateFieldValue(dsNewValue, const_cast<TField*>(this));
}

void TField::SetNewValue(const Variant& Value) {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    dataSet_->SetStateFieldValue(dsNewValue, this, Value);
}

void TField::Validate(const void* Buffer) {
    if (!OnValidate) return;
    bool wasValidating = isValidating_;
    const void* old = validating_;
    isValidating_ = true;
    validating_ = Buffer;
    try {
        OnValidate(this);
    } catch (...) {
        isValidating_ = wasValidating;
        validating_ = old;
        throw;
    }
    isValidating_ = wasValidating;
    validating_ = old;
}

void TField::Change() {
    if (OnChange) OnChange(this);
}

void TField::FocusControl() {
    if (dataSet_ == nullptr || !dataSet_->Active()) return;
    TField* field = this;
    dataSet_->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(&field));
}

std::string TField::DisplayText() const {
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField*>(this), text, true);
        return text;
    }
    return GetText(true);
}

std::string TField::Text() const {
    if (OnGetText) {
        std::string text;
        OnGetText(const_cast<TField*>(this), text, false);
        return text;
    }
    return GetText(false);
}

void TField::SetText(const std::string& Value) {
    if (OnSetText)
        OnSetText(this, Value);
    else
        SetAsString(Value);
}

std::string TField::GetAsString() const { AccessError("String"); }
void TField::SetAsStringValue(const std::string&) { AccessError("String"); }
int TField::GetAsInteger() const { AccessError("Integer"); }
void TField::SetAsIntegerValue(int) { AccessError("Integer"); }
int64_t TField::GetAsLargeInt() const { return GetAsInteger(); }
void TField::SetAsLargeIntValue(int64_t Value) {
    if (Value < INT32_MIN || Value > INT32_MAX) AccessError("Largeint");
    SetAsIntegerValue(static_cast<int>(Value));
}
double TField::GetAsFloat() const { AccessError("Float"); }
void TField::SetAsFloatValue(double) { AccessError("Float"); }
Currency TField::GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }
void TField::SetAsCurrencyValue(Currency Value) { SetAsFloatValue(Value.ToDouble()); }
bool TField::GetAsBoolean() const { AccessError("Boolean"); }
void TField::SetAsBooleanValue(bool) { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError("DateTime"); }
void TField::SetAsDateTimeValue(TDateTime) { AccessError("DateTime"); }
Variant TField::GetAsVariant() const { AccessError("Variant"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }

// ---------------------------------------------------------------------------
// Text kinds

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
    dataType_ = ftString;
    size_ = 20;
}

namespace {

// A zeroed native buffer for a text field: on the stack for the usual sizes,
// on the heap beyond them.
class TextBuffer {
public:
    explicit TextBuffer(std::size_t Size) : size_(Size) {
        if (Size > sizeof(small_)) {
            large_.assign(Size, '\0');
            data_ = large_.data();
        } else {
            std::memset(small_, 0, Size);
            data_ = small_;
        }
    }
    char* Data() { return data_; }
    std::size_t Size() const { return size_; }

private:
    std::size_t size_;
    char* data_;
    char small_[512];
    std::vector<char> large_;
};

}  // namespace

bool TStringField::GetValue(std::string& Value) const {
    TextBuffer buf(static_cast<std::size_t>(DataSize()) + 1);
    if (!GetData(buf.Data())) return false;
    buf.Data()[buf.Size() - 1] = '\0';
    Value.assign(buf.Data());
    return true;
}

std::string TStringField::GetAsString() const {
    std::string s;
    return GetValue(s) ? s : std::string();
}

void TStringField::SetAsStringValue(const std::string& Value) {
    std::string repaired;
    std::string_view text = Value;
    if (!utf8::IsValid(text)) {
        repaired = utf8::Repair(text);
        text = repaired;
    }
    // No more bytes than characters allowed: nothing to count.
    if (text.size() > static_cast<std::size_t>(std::max(size_, 0)) && Length(text) > size_) {
        std::string cut = Copy(text, 1, size_);
        repaired = std::move(cut);
        text = repaired;
    }
    TextBuffer buf(static_cast<std::size_t>(DataSize()));
    if (buf.Size() == 0) return SetData(buf.Data());
    std::memcpy(buf.Data(), text.data(), std::min(text.size(), buf.Size() - 1));
    SetData(buf.Data());
}

int TStringField::GetAsInteger() const {
    std::string s = Trim(GetAsString());
    if (s.empty()) return 0;
    int v;
    if (!TryStrToInt(s, v)) DatabaseError(Format(SInvalidIntegerValue, s, DisplayName()));
    return v;
}

void TStringField::SetAsIntegerValue(int Value) { SetAsStringValue(IntToStr(Value)); }

int64_t TStringField::GetAsLargeInt() const {
    std::string s = Trim(GetAsString());
    if (s.empty()) return 0;
    int64_t v;
    if (!TryStrToInt64(s, v)) DatabaseError(Format(SInvalidIntegerValue, s, DisplayName()));
    return v;
}

void TStringField::SetAsLargeIntValue(int64_t Value) { SetAsStringValue(IntToStr(static_cast<long long>(Value))); }

double TStringField::GetAsFloat() const {
    std::string s = Trim(GetAsString());
    if (s.empty()) return 0;
    double v;
    if (!TryStrToFloat(s, v)) DatabaseError(Format(SInvalidFloatValue, s, DisplayName()));
    return v;
}

void TStringField::SetAsFloatValue(double Value) { SetAsStringValue(FloatToStr(Value)); }

bool TStringField::GetAsBoolean() const {
    std::string s = GetAsString();
    return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

void TStringField::SetAsBooleanValue(bool Value) { SetAsStringValue(Value ? "T" : "F"); }

TDateTime TStringField::GetAsDateTime() const {
    std::string s = Trim(GetAsString());
    if (s.empty()) return 0;
    TDateTime v;
    if (!TryStrToDateTime(s, v)) DatabaseError(Format(SInvalidDateTimeValue, s, DisplayName()));
    return v;
}

void TStringField::SetAsDateTimeValue(TDateTime Value) { SetAsStringValue(DateTimeToStr(Value)); }

Variant TStringField::GetAsVariant() const {
    std::string s;
    if (!GetValue(s)) return Null();
    return Variant(s);
}

void TStringField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else
        SetAsStringValue(VarToStr(Value));
}

TWideStringField::TWideStringField(TComponent* AOwner) : TStringField(AOwner) {
    dataType_ = ftWideString;
}

TGuidField::TGuidField(TComponent* AOwner) : TStringField(AOwner) {
    dataType_ = ftGuid;
    size_ = 38;
}

// ---------------------------------------------------------------------------
// Numbers

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) {
    alignment_ = taRightJustify;
}

void TNumericField::SetDisplayFormat(const std::string& Value) {
    displayFormat_ = Value;
    PropertyChanged(false);
}

void TNumericField::SetEditFormat(const std::string& Value) {
    editFormat_ = Value;
    PropertyChanged(false);
}

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) {
    dataType_ = ftInteger;
}

bool TIntegerField::GetValue(int& Value) const {
    if (DataSize() == 2) {
        if (dataType_ == ftWord) {
            uint16_t w = 0;
            if (!GetData(&w)) return false;
            Value = w;
        } else {
            int16_t s = 0;
            if (!GetData(&s)) return false;
            Value = s;
        }
        return true;
    }
    int32_t i = 0;
    if (!GetData(&i)) return false;
    Value = i;
    return true;
}

void TIntegerField::CheckRange(int64_t Value) const {
    int64_t low = lowLimit_, high = highLimit_;
    if (minValue_ != 0 || maxValue_ != 0) {
        low = std::max<int64_t>(low, minValue_);
        high = std::min<int64_t>(high, maxValue_);
    }
    if (Value < low || Value > high)
        DatabaseError(Format(SFieldRangeError, IntToStr(static_cast<long long>(Value)), DisplayName(),
                             IntToStr(static_cast<long long>(low)), IntToStr(static_cast<long long>(high))));
}

void TIntegerField::StoreInteger(int Value) {
    int32_t v = Value;
    SetData(&v);
}

std::string TIntegerField::GetAsString() const {
    int v;
    return GetValue(v) ? IntToStr(v) : std::string();
}

void TIntegerField::SetAsStringValue(const std::string& Value) {
    std::string s = Trim(Value);
    if (s.empty()) {
        Clear();
        return;
    }
    int64_t v;
    if (!TryStrToInt64(s, v)) DatabaseError(Format(SInvalidIntegerValue, Value, DisplayName()));
    SetAsLargeIntValue(v);
}

int TIntegerField::GetAsInteger() const {
    int v;
    return GetValue(v) ? v : 0;
}

void TIntegerField::SetAsIntegerValue(int Value) { SetAsLargeIntValue(Value); }

int64_t TIntegerField::GetAsLargeInt() const { return GetAsInteger(); }

void TIntegerField::SetAsLargeIntValue(int64_t Value) {
    CheckRange(Value);
    StoreInteger(static_cast<int>(Value));
}

double TIntegerField::GetAsFloat() const { return GetAsInteger(); }

void TIntegerField::SetAsFloatValue(double Value) {
    if (!std::isfinite(Value) || Value < -9.2e18 || Value > 9.2e18)
        DatabaseError(Format(SInvalidIntegerValue, FloatToStr(Value), DisplayName()));
    SetAsLargeIntValue(static_cast<int64_t>(std::nearbyint(Value)));
}

Currency TIntegerField::GetAsCurrency() const { return Currency::FromInt(GetAsInteger()); }

void TIntegerField::SetAsCurrencyValue(Currency Value) { SetAsFloatValue(Value.ToDouble()); }

bool TIntegerField::GetAsBoolean() const { return GetAsInteger() != 0; }

void TIntegerField::SetAsBooleanValue(bool Value) { SetAsLargeIntValue(Value ? 1 : 0); }

Variant TIntegerField::GetAsVariant() const {
    int v;
    if (!GetValue(v)) return Null();
    return Variant(v);
}

void TIntegerField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty()) {
        Clear();
        return;
    }
    if (VarIsStr(Value)) {
        SetAsStringValue(Value.AsString());
        return;
    }
    if (VarIsFloat(Value)) {
        SetAsFloatValue(Value.AsDouble());
        return;
    }
    SetAsLargeIntValue(Value.AsInt64());
}

std::string TIntegerField::GetText(bool DisplayText) const {
    int v;
    if (!GetValue(v)) return std::string();
    const std::string& fmt = TextFormat(DisplayText);
    return fmt.empty() ? IntToStr(v) : FormatFloat(fmt, v);
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
    dataType_ = ftSmallint;
    lowLimit_ = INT16_MIN;
    highLimit_ = INT16_MAX;
}

void TSmallintField::StoreInteger(int Value) {
    auto v = static_cast<int16_t>(Value);
    SetData(&v);
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
    dataType_ = ftWord;
    lowLimit_ = 0;
    highLimit_ = UINT16_MAX;
}

void TWordField::StoreInteger(int Value) {
    auto v = static_cast<uint16_t>(Value);
    SetData(&v);
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) {
    dataType_ = ftAutoInc;
}

TLargeintField::TLargeintField(TComponent* AOwner) : TNumericField(AOwner) {
    dataType_ = ftLargeint;
}

bool TLargeintField::GetValue(int64_t& Value) const {
    int64_t v = 0;
    if (!GetData(&v)) return false;
    Value = v;
    return true;
}

std::string TLargeintField::GetAsString() const {
    int64_t v;
    return GetValue(v) ? IntToStr(static_cast<long long>(v)) : std::string();
}

void TLargeintField::SetAsStringValue(const std::string& Value) {
    std::string s = Trim(Value);
    if (s.empty()) {
        Clear();
        return;
    }
    int64_t v;
    if (!TryStrToInt64(s, v)) DatabaseError(Format(SInvalidIntegerValue, Value, DisplayName()));
    SetAsLargeIntValue(v);
}

int TLargeintField::GetAsInteger() const {
    int64_t v = GetAsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX) AccessError("Integer");
    return static_cast<int>(v);
}

void TLargeintField::SetAsIntegerValue(int Value) { SetAsLargeIntValue(Value); }

int64_t TLargeintField::GetAsLargeInt() const {
    int64_t v;
    return GetValue(v) ? v : 0;
}

void TLargeintField::SetAsLargeIntValue(int64_t Value) { SetData(&Value); }

double TLargeintField::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }

void TLargeintField::SetAsFloatValue(double Value) {
    if (!std::isfinite(Value) || Value < -9.2e18 || Value > 9.2e18)
        DatabaseError(Format(SInvalidIntegerValue, FloatToStr(Value), DisplayName()));
    SetAsLargeIntValue(static_cast<int64_t>(std::nearbyint(Value)));
}

Variant TLargeintField::GetAsVariant() const {
    int64_t v;
    if (!GetValue(v)) return Null();
    return Variant(static_cast<long long>(v));
}

void TLargeintField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else if (VarIsStr(Value))
        SetAsStringValue(Value.AsString());
    else
        SetAsLargeIntValue(Value.AsInt64());
}

std::string TLargeintField::GetText(bool DisplayText) const {
    int64_t v;
    if (!GetValue(v)) return std::string();
    const std::string& fmt = TextFormat(DisplayText);
    return fmt.empty() ? IntToStr(static_cast<long long>(v)) : FormatFloat(fmt, static_cast<double>(v));
}

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) {
    dataType_ = ftFloat;
}

void TFloatField::SetCurrency(bool Value) {
    currency_ = Value;
    PropertyChanged(false);
}

void TFloatField::SetPrecision(int Value) {
    precision_ = Value < 2 ? 2 : (Value > 15 ? 15 : Value);
    PropertyChanged(false);
}

bool TFloatField::GetValue(double& Value) const {
    double v = 0;
    if (!GetData(&v)) return false;
    Value = v;
    return true;
}

std::string TFloatField::GetAsString() const {
    double v;
    return GetValue(v) ? FloatToStr(v) : std::string();
}

void TFloatField::SetAsStringValue(const std::string& Value) {
    std::string s = Trim(Value);
    if (s.empty()) {
        Clear();
        return;
    }
    double v;
    if (!TryStrToFloat(s, v)) DatabaseError(Format(SInvalidFloatValue, Value, DisplayName()));
    SetAsFloatValue(v);
}

int TFloatField::GetAsInteger() const {
    double v = GetAsFloat();
    if (v < INT32_MIN || v > INT32_MAX) AccessError("Integer");
    return static_cast<int>(std::nearbyint(v));
}

void TFloatField::SetAsIntegerValue(int Value) { SetAsFloatValue(Value); }

int64_t TFloatField::GetAsLargeInt() const {
    double v = GetAsFloat();
    if (v < -9.2e18 || v > 9.2e18) AccessError("Largeint");
    return static_cast<int64_t>(std::nearbyint(v));
}

void TFloatField::SetAsLargeIntValue(int64_t Value) { SetAsFloatValue(static_cast<double>(Value)); }

double TFloatField::GetAsFloat() const {
    double v;
    return GetValue(v) ? v : 0.0;
}

void TFloatField::SetAsFloatValue(double Value) {
    if (!std::isfinite(Value)) DatabaseError(Format(SInvalidFloatValue, FloatToStr(Value), DisplayName()));
    if ((minValue_ != 0 || maxValue_ != 0) && (Value < minValue_ || Value > maxValue_))
        DatabaseError(Format(SFieldRangeError, FloatToStr(Value), DisplayName(), FloatToStr(minValue_),
                             FloatToStr(maxValue_)));
    SetData(&Value);
}

Currency TFloatField::GetAsCurrency() const { return Currency::FromDouble(GetAsFloat()); }

void TFloatField::SetAsCurrencyValue(Currency Value) { SetAsFloatValue(Value.ToDouble()); }

Variant TFloatField::GetAsVariant() const {
    double v;
    if (!GetValue(v)) return Null();
    return Variant(v);
}

void TFloatField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else if (VarIsStr(Value))
        SetAsStringValue(Value.AsString());
    else
        SetAsFloatValue(Value.AsDouble());
}

std::string TFloatField::GetText(bool DisplayText) const {
    double v;
    if (!GetValue(v)) return std::string();
    const std::string& fmt = TextFormat(DisplayText);
    if (!fmt.empty()) return FormatFloat(fmt, v);
    if (currency_)
        return FloatToStrF(v, DisplayText ? ffCurrency : ffFixed, precision_, FormatSettings.CurrencyDecimals);
    return FloatToStrF(v, ffGeneral, precision_, 0);
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
    dataType_ = ftCurrency;
    currency_ = true;
}

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
    dataType_ = ftBCD;
    size_ = 4;
}

bool TBCDField::GetValue(Currency& Value) const {
    int64_t raw = 0;
    if (!GetData(&raw)) return false;
    Value = Currency::FromRaw(raw);
    return true;
}

std::string TBCDField::GetAsString() const {
    Currency c;
    return GetValue(c) ? CurrToStr(c) : std::string();
}

void TBCDField::SetAsStringValue(const std::string& Value) {
    std::string s = Trim(Value);
    if (s.empty()) {
        Clear();
        return;
    }
    Currency c;
    if (!TryStrToCurr(s, c)) DatabaseError(Format(SInvalidFloatValue, Value, DisplayName()));
    SetAsCurrencyValue(c);
}

int TBCDField::GetAsInteger() const { return static_cast<int>(std::nearbyint(GetAsFloat())); }
void TBCDField::SetAsIntegerValue(int Value) { SetAsCurrencyValue(Currency::FromInt(Value)); }
double TBCDField::GetAsFloat() const { return GetAsCurrency().ToDouble(); }
void TBCDField::SetAsFloatValue(double Value) {
    if (!std::isfinite(Value)) DatabaseError(Format(SInvalidFloatValue, FloatToStr(Value), DisplayName()));
    SetAsCurrencyValue(Currency::FromDouble(Value));
}

Currency TBCDField::GetAsCurrency() const {
    Currency c;
    return GetValue(c) ? c : Currency();
}

void TBCDField::SetAsCurrencyValue(Currency Value) {
    int64_t raw = Value.Raw();
    SetData(&raw);
}

Variant TBCDField::GetAsVariant() const {
    Currency c;
    if (!GetValue(c)) return Null();
    return Variant(c);
}

void TBCDField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else if (VarIsStr(Value))
        SetAsStringValue(Value.AsString());
    else
        SetAsCurrencyValue(Value.AsCurrency());
}

std::string TBCDField::GetText(bool DisplayText) const {
    Currency c;
    if (!GetValue(c)) return std::string();
    const std::string& fmt = TextFormat(DisplayText);
    if (!fmt.empty()) return FormatCurr(fmt, c);
    if (currency_)
        return CurrToStrF(c, DisplayText ? ffCurrency : ffFixed, FormatSettings.CurrencyDecimals);
    return CurrToStr(c);
}

// ---------------------------------------------------------------------------
// Booleans

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) {
    dataType_ = ftBoolean;
}

void TBooleanField::SetDisplayValues(const std::string& Value) {
    displayValues_ = Value;
    if (Value.empty()) {
        trueText_ = "True";
        falseText_ = "False";
    } else {
        std::size_t p = Value.find(';');
        trueText_ = Value.substr(0, p);
        falseText_ = p == std::string::npos ? std::string() : Value.substr(p + 1);
    }
    PropertyChanged(true);
}

int TBooleanField::DefaultDisplayWidth() const {
    return std::max(Length(trueText_), Length(falseText_));
}

bool TBooleanField::GetValue(bool& Value) const {
    int16_t v = 0;
    if (!GetData(&v)) return false;
    Value = v != 0;
    return true;
}

std::string TBooleanField::GetAsString() const {
    bool b;
    if (!GetValue(b)) return std::string();
    return b ? trueText_ : falseText_;
}

void TBooleanField::SetAsStringValue(const std::string& Value) {
    int n = Length(Value);
    if (n == 0) {
        if (falseText_.empty())
            SetAsBooleanValue(false);
        else if (trueText_.empty())
            SetAsBooleanValue(true);
        else
            Clear();
        return;
    }
    if (AnsiSameText(Value, Copy(falseText_, 1, n)))
        SetAsBooleanValue(false);
    else if (AnsiSameText(Value, Copy(trueText_, 1, n)))
        SetAsBooleanValue(true);
    else
        DatabaseError(Format(SInvalidBoolValue, Value, DisplayName()));
}

bool TBooleanField::GetAsBoolean() const {
    bool b;
    return GetValue(b) ? b : false;
}

void TBooleanField::SetAsBooleanValue(bool Value) {
    int16_t v = Value ? 1 : 0;
    SetData(&v);
}

int TBooleanField::GetAsInteger() const { return GetAsBoolean() ? 1 : 0; }
void TBooleanField::SetAsIntegerValue(int Value) { SetAsBooleanValue(Value != 0); }

Variant TBooleanField::GetAsVariant() const {
    bool b;
    if (!GetValue(b)) return Null();
    return Variant(b);
}

void TBooleanField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else if (VarIsStr(Value))
        SetAsStringValue(Value.AsString());
    else
        SetAsBooleanValue(Value.AsBoolean());
}

// ---------------------------------------------------------------------------
// Dates and times

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) {
    dataType_ = ftDateTime;
}

void TDateTimeField::SetDisplayFormat(const std::string& Value) {
    displayFormat_ = Value;
    PropertyChanged(false);
}

bool TDateTimeField::GetValue(TDateTime& Value) const {
    double v = 0;
    if (!GetData(&v)) return false;
    Value = v;
    return true;
}

std::string TDateTimeField::DefaultFormat() const { return "c"; }

std::string TDateTimeField::GetAsString() const { return GetText(false); }

void TDateTimeField::SetAsStringValue(const std::string& Value) {
    std::string s = Trim(Value);
    if (s.empty()) {
        Clear();
        return;
    }
    // The text of a whole date-time fits a date or a time field too: the
    // field keeps its own part (Normalize). A time field still refuses a
    // date alone, which has no time to take.
    TDateTime v = 0;
    bool ok = false;
    const char* message = SInvalidDateTimeText;
    if (dataType_ == ftDate) {
        ok = TryStrToDate(s, v) || TryStrToDateTime(s, v);
        message = SInvalidDateText;
    } else if (dataType_ == ftTime) {
        TDateTime dateOnly = 0;
        ok = TryStrToTime(s, v) || (!TryStrToDate(s, dateOnly) && TryStrToDateTime(s, v));
        message = SInvalidTimeText;
    } else {
        ok = TryStrToDateTime(s, v);
    }
    if (!ok) DatabaseError(Format(message, Value, DisplayName()));
    SetAsDateTimeValue(v);
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }
void TDateTimeField::SetAsFloatValue(double Value) { SetAsDateTimeValue(Value); }

TDateTime TDateTimeField::GetAsDateTime() const {
    TDateTime v;
    return GetValue(v) ? v : 0.0;
}

void TDateTimeField::SetAsDateTimeValue(TDateTime Value) {
    if (!std::isfinite(Value)) DatabaseError(Format(SInvalidDateTimeValue, FloatToStr(Value), DisplayName()));
    double v = Normalize(Value);
    SetData(&v);
}

Variant TDateTimeField::GetAsVariant() const {
    TDateTime v;
    if (!GetValue(v)) return Null();
    return Variant::FromDateTime(v);
}

void TDateTimeField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else if (VarIsStr(Value))
        SetAsStringValue(Value.AsString());
    else
        SetAsDateTimeValue(VarToDateTime(Value));
}

std::string TDateTimeField::GetText(bool DisplayText) const {
    TDateTime v;
    if (!GetValue(v)) return std::string();
    if (DisplayText && !displayFormat_.empty()) return FormatDateTime(displayFormat_, v);
    return FormatDateTime(DefaultFormat(), v);
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) {
    dataType_ = ftDate;
}

TDateTime TDateField::Normalize(TDateTime Value) const { return std::trunc(Value); }

std::string TDateField::DefaultFormat() const { return FormatSettings.ShortDateFormat; }

TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) {
    dataType_ = ftTime;
}

TDateTime TTimeField::Normalize(TDateTime Value) const { return std::fabs(Value - std::trunc(Value)); }

std::string TTimeField::DefaultFormat() const { return FormatSettings.LongTimeFormat; }

// ---------------------------------------------------------------------------
// Bytes and blobs

TBytesField::TBytesField(TComponent* AOwner) : TField(AOwner) {
    dataType_ = ftBytes;
    size_ = 16;
}

std::string TBytesField::GetAsString() const {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    if (!GetData(buf.data())) return std::string();
    return buf;
}

void TBytesField::SetAsStringValue(const std::string& Value) {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    std::memcpy(buf.data(), Value.data(), std::min(Value.size(), buf.size()));
    SetData(buf.data());
}

Variant TBytesField::GetAsVariant() const {
    if (IsNull()) return Null();
    return Variant::FromBytes(GetAsString());
}

void TBytesField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else
        SetAsStringValue(Value.AsBytes());
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) {
    dataType_ = ftVarBytes;
}

std::string TVarBytesField::GetAsString() const {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    if (!GetData(buf.data())) return std::string();
    uint16_t len = 0;
    std::memcpy(&len, buf.data(), 2);
    len = static_cast<uint16_t>(std::min<int>(len, size_));
    return buf.substr(2, len);
}

void TVarBytesField::SetAsStringValue(const std::string& Value) {
    std::string buf(static_cast<std::size_t>(DataSize()), '\0');
    auto len = static_cast<uint16_t>(std::min<std::size_t>(Value.size(), static_cast<std::size_t>(size_)));
    std::memcpy(buf.data(), &len, 2);
    std::memcpy(buf.data() + 2, Value.data(), len);
    SetData(buf.data());
}

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) {
    dataType_ = ftBlob;
}

void TBlobField::SetBlobType(TFieldType Value) {
    CheckInactive();
    if (IsBlobType(Value)) dataType_ = Value;
}

std::string TBlobField::ReadBytes() const {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    if (!dataSet_->Active() || IsNull()) return std::string();
    std::unique_ptr<TStream> s = dataSet_->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
    if (!s) return std::string();
    s->Seek(0, soBeginning);
    return s->ReadAllBytes();
}

void TBlobField::WriteBytes(const std::string& Bytes) {
    if (dataSet_ == nullptr) DatabaseError(Format(SDataSetMissing, DisplayName()));
    std::unique_ptr<TStream> s = dataSet_->CreateBlobStream(this, bmWrite);
    if (!Bytes.empty()) s->WriteBytes(Bytes);
}

int TBlobField::BlobSize() const { return static_cast<int>(ReadBytes().size()); }

void TBlobField::LoadFromStream(TStream* Stream) {
    Stream->Seek(0, soBeginning);
    WriteBytes(Stream->ReadAllBytes());
}

void TBlobField::SaveToStream(TStream* Stream) const { Stream->WriteBytes(ReadBytes()); }

void TBlobField::LoadFromFile(const std::string& FileName) {
    TMemoryStream m;
    m.LoadFromFile(FileName);
    LoadFromStream(&m);
}

void TBlobField::SaveToFile(const std::string& FileName) const {
    TMemoryStream m;
    m.WriteBytes(ReadBytes());
    m.SaveToFile(FileName);
}

void TBlobField::Clear() { WriteBytes(std::string()); }

std::string TBlobField::GetAsString() const { return ReadBytes(); }

void TBlobField::SetAsStringValue(const std::string& Value) { WriteBytes(Value); }

Variant TBlobField::GetAsVariant() const {
    if (IsNull()) return Null();
    if (dataType_ == ftMemo || dataType_ == ftWideMemo || dataType_ == ftFmtMemo) return Variant(ReadBytes());
    return Variant::FromBytes(ReadBytes());
}

void TBlobField::SetVarValue(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else if (Value.IsArray())
        WriteBytes(Value.AsBytes());
    else
        WriteBytes(Value.AsString());
}

std::string TBlobField::GetText(bool DisplayText) const {
    (void)DisplayText;
    std::string name = FieldTypeName(dataType_);
    return "(" + (IsNull() ? name : UpperCase(name)) + ")";
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) {
    dataType_ = ftMemo;
}

std::string TMemoField::GetText(bool DisplayText) const {
    if (DisplayText) return TBlobField::GetText(true);
    return ReadBytes();
}

TWideMemoField::TWideMemoField(TComponent* AOwner) : TMemoField(AOwner) {
    dataType_ = ftWideMemo;
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) {
    dataType_ = ftGraphic;
}

// ---------------------------------------------------------------------------
// Blob stream over a string of bytes

namespace db {

BlobBufferStream::BlobBufferStream(TField* Field, TBlobStreamMode Mode, const std::string* Initial, StoreFn Store)
    : field_(Field), mode_(Mode), store_(std::move(Store)) {
    TDataSet* ds = Field->DataSet();
    if (Mode != bmRead) {
        if (Field->ReadOnly()) DatabaseError(Format(SFieldReadOnly, Field->DisplayName()));
        if (ds == nullptr || (ds->State() != dsEdit && ds->State() != dsInsert))
            DatabaseError(SNotEditMode, ds);
    }
    if (Mode == bmWrite) {
        // Truncated: whatever is written replaces the value, and nothing
        // written leaves the field null.
        modified_ = true;
    } else if (Initial != nullptr && !Initial->empty()) {
        TMemoryStream::Write(Initial->data(), static_cast<int64_t>(Initial->size()));
        TMemoryStream::Seek(0, soBeginning);
    }
}

BlobBufferStream::~BlobBufferStream() {
    if (!modified_) return;
    try {
        std::string bytes = DataBytes();
        store_(bytes.empty() ? nullptr : &bytes);
        if (auto* blob = dynamic_cast<TBlobField*>(field_)) blob->SetModified(true);
        TDataSet* ds = field_->DataSet();
        if (ds != nullptr && ds->State() != dsCalcFields && ds->State() != dsFilter &&
            ds->State() != dsNewValue)
            ds->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field_));
    } catch (...) {
        // A destructor cannot report; the stored bytes are already in place.
    }
}

int64_t BlobBufferStream::Write(const void* Buffer, int64_t Count) {
    if (mode_ != bmRead) modified_ = true;
    return TMemoryStream::Write(Buffer, Count);
}

void BlobBufferStream::SetSize(int64_t Size) {
    if (mode_ != bmRead) modified_ = true;
    TMemoryStream::SetSize(Size);
}

}  // namespace db
