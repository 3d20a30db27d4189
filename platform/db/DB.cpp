// TDataSet: the buffered cursor, state changes, events and searching.
#include "platform/db/DB.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"

using namespace dbconsts;

void DatabaseError(const std::string& Message, TComponent* Component) {
    if (Component != nullptr && !Component->Name().empty())
        throw EDatabaseError(Component->Name() + ": " + Message);
    throw EDatabaseError(Message);
}

const char* FieldTypeName(TFieldType Type) {
    static const char* const names[] = {
        "Unknown",   "String",     "Smallint", "Integer",   "Word",       "Boolean",  "Float",
        "Currency",  "BCD",        "Date",     "Time",      "DateTime",   "Bytes",    "VarBytes",
        "AutoInc",   "Blob",       "Memo",     "Graphic",   "FmtMemo",    "ParadoxOle", "DBaseOle",
        "TypedBinary", "Cursor",   "FixedChar", "WideString", "Largeint", "ADT",      "Array",
        "Reference", "DataSet",    "OraBlob",  "OraClob",   "Variant",    "Interface", "IDispatch",
        "Guid",      "TimeStamp",  "FMTBcd",   "FixedWideChar", "WideMemo"};
    auto i = static_cast<std::size_t>(Type);
    return i < sizeof(names) / sizeof(names[0]) ? names[i] : "Unknown";
}

bool IsBlobType(TFieldType Type) {
    switch (Type) {
        case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
        case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob: case ftWideMemo:
            return true;
        default:
            return false;
    }
}

const char* DataSetStateName(TDataSetState State) {
    static const char* const names[] = {"dsInactive", "dsBrowse",   "dsEdit",     "dsInsert",
                                        "dsSetKey",   "dsCalcFields", "dsFilter", "dsNewValue",
                                        "dsOldValue", "dsCurValue", "dsBlockRead", "dsInternalCalc",
                                        "dsOpening"};
    return names[static_cast<int>(State)];
}

namespace db {

std::vector<std::string> SplitFieldNames(const std::string& Names) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= Names.size()) {
        std::size_t end = Names.find(';', start);
        if (end == std::string::npos) end = Names.size();
        std::string part = Trim(Names.substr(start, end - start));
        if (!part.empty()) out.push_back(part);
        start = end + 1;
    }
    return out;
}

}  // namespace db

// ---------------------------------------------------------------------------
// Construction

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner),
      fields_(std::make_unique<TFields>(this)),
      fieldDefs_(std::make_unique<TFieldDefs>(this)),
      indexDefs_(std::make_unique<TIndexDefs>(this)) {}

TDataSet::~TDataSet() {
    // A descendant closes the dataset in its own destructor: its buffers and
    // cursor are gone by now, so nothing of it may be called here.
    destroying_ = true;
    Destroying();
    while (!dataSources_.empty()) {
        TDataSource* source = dataSources_.back();
        dataSources_.pop_back();
        source->dataSet_ = nullptr;
        source->UpdateState();
    }
    DestroyFields();
}

void TDataSet::CheckActive() const {
    if (state_ == dsInactive) DatabaseError(SDataSetClosed, const_cast<TDataSet*>(this));
}

void TDataSet::CheckInactive() const {
    if (state_ != dsInactive) DatabaseError(SDataSetOpen, const_cast<TDataSet*>(this));
}

void TDataSet::Loaded() {
    TComponent::Loaded();
    if (streamedActive_) {
        streamedActive_ = false;
        SetActive(true);
    }
}

void TDataSet::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove) {
        for (TField* f : fields_->List())
            if (f->lookupDataSet_ == AComponent) f->lookupDataSet_ = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Opening and closing

void TDataSet::SetActive(bool Value) {
    auto cs = ComponentState();
    if (cs.Contains(csReading) || cs.Contains(csLoading)) {
        streamedActive_ = Value;
        return;
    }
    if (Active() == Value) return;
    if (Value) {
        DoBeforeOpen();
        try {
            OpenCursor(false);
        } catch (...) {
            if (IsCursorOpen() || internalOpenComplete_) {
                try {
                    CloseCursor();
                } catch (...) {
                }
            } else if (defaultFields_) {
                DestroyFields();
            }
            throw;
        }
        SetState(dsBrowse);
        DoAfterOpen();
        if (!IsEmpty()) DoAfterScroll();
    } else {
        if (!destroying_) DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        if (!destroying_) DoAfterClose();
    }
}

void TDataSet::OpenCursor(bool InfoQuery) {
    if (InfoQuery)
        InternalInitFieldDefs();
    else
        DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
    defaultFields_ = FieldCount() == 0;
    InternalOpen();
    internalOpenComplete_ = true;
    UpdateBufferCount();
    bof_ = true;
}

void TDataSet::CloseCursor() {
    FreeAllBuffers();
    internalOpenComplete_ = false;
    InternalClose();
    BindFields(false);
    if (defaultFields_) DestroyFields();
    defaultFields_ = false;
    fieldDefs_->SetUpdated(false);
}

void TDataSet::FreeAllBuffers() {
    SetBufListSize(0);
    bufferCount_ = 0;
    ClearBuffers();
}

void TDataSet::InitFieldDefs() {
    // Open or closed, the descendant knows how to describe its fields
    // (a query may have to prepare its statement for that).
    InternalInitFieldDefs();
}

void TDataSet::InitFieldDefsFromFields() {
    if (fieldDefs_->Count() > 0) return;
    for (TField* f : fields_->List()) {
        if (f->FieldKind() != fkData && f->FieldKind() != fkInternalCalc) continue;
        TFieldDef* def = fieldDefs_->Add(f->FieldName(), f->DataType(), f->Size(), f->Required());
        if (f->FieldKind() == fkInternalCalc) def->SetInternalCalcField(true);
    }
}

void TDataSet::CreateFields() {
    for (int i = 0; i < fieldDefs_->Count(); ++i) {
        TFieldDef* def = fieldDefs_->Items(i);
        if (def->DataType() == ftUnknown) continue;
        if (fields_->FindField(def->Name()) != nullptr) continue;
        def->CreateField(this);
    }
}

void TDataSet::FieldLeaving(TField* Field) {
    for (TDataSource* source : dataSources_)
        for (TDataLink* link : source->dataLinks_) link->FieldLeaving(Field);
}

void TDataSet::DestroyFields() {
    while (!fields_->list_.empty()) {
        TField* f = fields_->list_.back();
        FieldLeaving(f);
        fields_->list_.pop_back();
        f->dataSet_ = nullptr;
        delete f;
    }
}

static bool CompatibleTypes(TFieldType fieldType, TFieldType defType) {
    if (fieldType == defType) return true;
    auto group = [](TFieldType t) {
        switch (t) {
            case ftString: case ftFixedChar: case ftWideString: case ftFixedWideChar: case ftGuid:
                return 1;
            case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: return 2;
            case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd: return 3;
            case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: return 4;
            case ftMemo: case ftWideMemo: case ftFmtMemo: return 5;
            case ftBlob: case ftGraphic: case ftTypedBinary: case ftParadoxOle: case ftDBaseOle:
            case ftOraBlob: case ftOraClob:
                return 6;
            case ftBytes: case ftVarBytes: return 7;
            default: return 100 + static_cast<int>(t);
        }
    };
    return group(fieldType) == group(defType);
}

void TDataSet::BindFields(bool Binding) {
    calcFieldsSize_ = 0;
    for (TField* f : fields_->List()) {
        if (!Binding) {
            if (f->FieldKind() == fkData) f->SetFieldNo(0);
            f->Bind(false);
            continue;
        }
        if (f->FieldKind() == fkData || f->FieldKind() == fkInternalCalc) {
            int index = fieldDefs_->IndexOf(f->FieldName());
            if (index < 0) {
                if (f->FieldKind() == fkData)
                    DatabaseError(Format(SFieldNotFound, f->DisplayName()), this);
            } else {
                TFieldDef* def = fieldDefs_->Items(index);
                if (!CompatibleTypes(f->DataType(), def->DataType()))
                    DatabaseError(Format(SFieldTypeMismatch, f->DisplayName(),
                                         FieldTypeName(f->DataType()), FieldTypeName(def->DataType())),
                                  this);
                f->SetFieldNo(def->FieldNo());
            }
        }
        if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) {
            f->SetFieldNo(-1);
            f->SetOffset(calcFieldsSize_);
            calcFieldsSize_ += f->DataSize() + 1;
        }
        f->Bind(true);
    }
}

// ---------------------------------------------------------------------------
// Buffers

void TDataSet::SetBufListSize(int Value) {
    auto size = static_cast<int>(buffers_.size());
    if (Value == size) return;
    if (Value < size) {
        for (int i = Value; i < size; ++i) FreeRecordBuffer(buffers_[i]);
        buffers_.resize(Value);
    } else {
        buffers_.reserve(Value);
        while (static_cast<int>(buffers_.size()) < Value) buffers_.push_back(AllocRecordBuffer());
    }
}

void TDataSet::SetBufferCount(int Value) {
    if (Value == bufferCount_) return;
    int drop = 0;
    if (Value < bufferCount_ && recordCount_ > 0) {
        // The active record stays inside the smaller window.
        drop = std::max(0, activeRecord_ - (Value - 1));
        if (drop > 0) {
            std::rotate(buffers_.begin(), buffers_.begin() + drop, buffers_.end());
            recordCount_ -= drop;
            activeRecord_ -= drop;
        }
        recordCount_ = std::min(recordCount_, Value);
        CursorPosChanged();
    }
    SetBufListSize(Value + 1);
    bufferCount_ = Value;
    if (IsCursorOpen() && state_ != dsInsert) GetNextRecords();
    // The links' windows follow the records they showed.
    for (TDataSource* source : dataSources_)
        for (TDataLink* link : source->DataLinks())
            if (link->Active()) {
                link->firstRecord_ -= drop;
                link->UpdateRange();
            }
}

void TDataSet::UpdateBufferCount() {
    if (!IsCursorOpen()) return;
    int count = 1;
    for (TDataSource* source : dataSources_)
        for (TDataLink* link : source->DataLinks()) count = std::max(count, link->BufferCount());
    SetBufferCount(count);
}

TRecordBuffer TDataSet::ActiveBuffer() const {
    if (scanBuffer_ != nullptr) return scanBuffer_;
    if (buffers_.empty()) return nullptr;
    return buffers_[activeRecord_];
}

TRecordBuffer TDataSet::CurrentRecordBuffer() const {
    if (state_ == dsFilter) return filterBuffer_;
    if (state_ == dsCalcFields || state_ == dsInternalCalc) return calcBuffer_;
    if (scanBuffer_ != nullptr) return scanBuffer_;
    switch (state_) {
        case dsBrowse:
        case dsBlockRead:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
        case dsNewValue:
        case dsSetKey:
            return ActiveBuffer();
        case dsCalcFields:
        case dsInternalCalc:
            return calcBuffer_;
        case dsFilter:
            return filterBuffer_;
        default:
            return nullptr;
    }
}

void TDataSet::ClearBuffers() {
    recordCount_ = 0;
    activeRecord_ = 0;
    currentRecord_ = -1;
    bof_ = true;
    eof_ = true;
}

void TDataSet::ActivateBuffers() {
    recordCount_ = 1;
    activeRecord_ = 0;
    currentRecord_ = 0;
    bof_ = false;
    eof_ = false;
}

void TDataSet::MoveBuffer(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    // The buffers between the two places shift by one, in place.
    auto at = [this](int i) { return buffers_.begin() + i; };
    if (CurIndex < NewIndex)
        std::rotate(at(CurIndex), at(CurIndex + 1), at(NewIndex + 1));
    else
        std::rotate(at(NewIndex), at(CurIndex), at(CurIndex + 1));
}

void TDataSet::SetCurrentRecord(int Index) {
    if (currentRecord_ == Index) return;
    TRecordBuffer b = buffers_[Index];
    switch (GetBookmarkFlag(b)) {
        case bfCurrent:
        case bfInserted:
            InternalSetToRecord(b);
            break;
        case bfBOF:
            InternalFirst();
            break;
        case bfEOF:
            InternalLast();
            break;
    }
    currentRecord_ = Index;
}

void TDataSet::UpdateCursorPos() {
    if (recordCount_ > 0) SetCurrentRecord(activeRecord_);
}

bool TDataSet::GetNextRecord() {
    if (recordCount_ > 0) SetCurrentRecord(recordCount_ - 1);
    bool ok = GetRecord(buffers_[recordCount_], gmNext, true) == grOK;
    if (ok) {
        if (recordCount_ == 0) {
            ActivateBuffers();
        } else if (recordCount_ < bufferCount_) {
            ++recordCount_;
        } else {
            MoveBuffer(0, recordCount_);
            if (activeRecord_ > 0) --activeRecord_;
        }
        currentRecord_ = recordCount_ - 1;
    } else {
        CursorPosChanged();
    }
    return ok;
}

bool TDataSet::GetPriorRecord() {
    if (recordCount_ > 0) SetCurrentRecord(0);
    bool ok = GetRecord(buffers_[recordCount_], gmPrior, true) == grOK;
    if (ok) {
        if (recordCount_ == 0) {
            ActivateBuffers();
        } else {
            MoveBuffer(recordCount_, 0);
            if (recordCount_ < bufferCount_) ++recordCount_;
            activeRecord_ = std::min(activeRecord_ + 1, recordCount_ - 1);
        }
        currentRecord_ = 0;
    } else {
        CursorPosChanged();
    }
    return ok;
}

int TDataSet::GetNextRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetNextRecord()) ++n;
    return n;
}

int TDataSet::GetPriorRecords() {
    int n = 0;
    while (recordCount_ < bufferCount_ && GetPriorRecord()) ++n;
    return n;
}

bool TDataSet::IsEmpty() const {
    return activeRecord_ >= recordCount_;
}

void TDataSet::Resync(TResyncMode Mode) {
    TRecordBuffer spare = buffers_[recordCount_];
    if (Mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(spare, gmCurrent, true) != grOK) DatabaseError(SRecordNotFound, this);
    } else if (GetRecord(spare, gmCurrent, false) != grOK && GetRecord(spare, gmNext, false) != grOK &&
               GetRecord(spare, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int count = Mode.Contains(rmCenter) ? (bufferCount_ - 1) / 2 : activeRecord_;
    MoveBuffer(recordCount_, 0);
    ActivateBuffers();
    try {
        while (count > 0 && GetPriorRecord()) --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange, 0);
        throw;
    }
    DataEvent(deDataSetChange, 0);
}

// ---------------------------------------------------------------------------
// States and events

void TDataSet::SetState(TDataSetState Value) {
    if (state_ == Value) return;
    state_ = Value;
    modified_ = false;
    DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState Value) {
    TDataSetState old = state_;
    ++changeStamp_;
    state_ = Value;
    ++disableCount_;
    return old;
}

void TDataSet::RestoreState(TDataSetState Value) {
    state_ = Value;
    ++changeStamp_;
    --disableCount_;
}

void TDataSet::DisableControls() {
    if (disableCount_ == 0) {
        disableState_ = state_;
        enableEvent_ = deDataSetChange;
    }
    ++disableCount_;
}

void TDataSet::EnableControls() {
    if (disableCount_ == 0) return;
    if (--disableCount_ != 0) return;
    if (disableState_ != state_) DataEvent(deUpdateState, 0);
    if (disableState_ != dsInactive && state_ != dsInactive) DataEvent(enableEvent_, 0);
}

void TDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
    ++changeStamp_;
    if (Event == deFieldChange) {
        auto* field = reinterpret_cast<TField*>(Info);
        if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) modified_ = true;
        if (state_ != dsSetKey && autoCalcFields_ && calcFieldsSize_ > 0 &&
            field->FieldKind() == fkData && ActiveBuffer() != nullptr)
            GetCalcFields(ActiveBuffer());
        field->Change();
    }
    if (disableCount_ == 0) {
        if (dataSources_.empty()) return;
        // A handler may link or unlink data sources while they are told.
        std::vector<TDataSource*> sources = dataSources_;
        for (TDataSource* source : sources)
            if (std::find(dataSources_.begin(), dataSources_.end(), source) != dataSources_.end())
                source->DataEvent(Event, Info);
    } else if (Event == deLayoutChange || (Event == deUpdateState && state_ == dsInactive)) {
        // Closed while the controls were off: whatever the state is when
        // they come back, the fields may be new ones, so the links look
        // them up again.
        enableEvent_ = deLayoutChange;
    }
}

void TDataSet::NotifyFieldChange(TField* Field) {
    if (state_ != dsCalcFields && state_ != dsFilter && state_ != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

void TDataSet::CheckFieldWrite(TField* Field) const {
    switch (state_) {
        case dsEdit: case dsInsert: case dsSetKey: case dsCalcFields: case dsFilter:
        case dsNewValue: case dsInternalCalc:
            break;
        default:
            DatabaseError(SNotEditMode, const_cast<TDataSet*>(this));
    }
    if (state_ != dsSetKey && state_ != dsCalcFields && state_ != dsInternalCalc &&
        (Field->ReadOnly() || !GetCanModify()))
        DatabaseError(Format(SFieldReadOnly, Field->DisplayName()));
    // A calculated value written outside the calculation would be lost at the
    // next one.
    if ((Field->FieldKind() == fkCalculated || Field->FieldKind() == fkLookup) && state_ != dsCalcFields &&
        state_ != dsInternalCalc && state_ != dsFilter)
        DatabaseError(Format(SFieldReadOnly, Field->DisplayName()));
}

void TDataSet::AddDataSource(TDataSource* Source) {
    dataSources_.push_back(Source);
    UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* Source) {
    dataSources_.erase(std::remove(dataSources_.begin(), dataSources_.end(), Source), dataSources_.end());
    UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(TDataSource* DataSource) const {
    // True when DataSource shows this dataset, directly or through the
    // master sources of the dataset it shows.
    std::vector<const TDataSource*> seen;
    while (DataSource != nullptr && std::find(seen.begin(), seen.end(), DataSource) == seen.end()) {
        seen.push_back(DataSource);
        TDataSet* ds = DataSource->DataSet();
        if (ds == nullptr) break;
        if (ds == this) return true;
        DataSource = ds->GetDataSource();
    }
    return false;
}

// ---------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalFirst();
        GetNextRecord();
        GetNextRecords();
    } catch (...) {
        bof_ = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    bof_ = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    try {
        InternalLast();
        GetPriorRecord();
        GetPriorRecords();
    } catch (...) {
        eof_ = true;
        DataEvent(deDataSetChange, 0);
        throw;
    }
    eof_ = true;
    DataEvent(deDataSetChange, 0);
    DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
    CheckBrowseMode();
    int result = 0;
    DoBeforeScroll();
    if ((Distance > 0 && !eof_) || (Distance < 0 && !bof_)) {
        bof_ = false;
        eof_ = false;
        int shift = 0;  // how far the buffered records moved in the ring
        try {
            while (Distance > 0) {
                if (activeRecord_ < recordCount_ - 1) {
                    ++activeRecord_;
                } else {
                    bool full = recordCount_ >= bufferCount_;
                    if (!GetNextRecord()) {
                        eof_ = true;
                        break;
                    }
                    if (full) --shift;
                    activeRecord_ = recordCount_ - 1;
                }
                --Distance;
                ++result;
            }
            while (Distance < 0) {
                if (activeRecord_ > 0) {
                    --activeRecord_;
                } else {
                    if (!GetPriorRecord()) {
                        bof_ = true;
                        break;
                    }
                    ++shift;
                    activeRecord_ = 0;
                }
                ++Distance;
                --result;
            }
        } catch (...) {
            DataEvent(deDataSetScroll, shift);
            throw;
        }
        DataEvent(deDataSetScroll, shift);
        DoAfterScroll();
    }
    return result;
}

// ---------------------------------------------------------------------------
// Changes

void TDataSet::CheckCanModify() const {
    if (!GetCanModify()) DatabaseError(SDataSetReadOnly, const_cast<TDataSet*>(this));
}

void TDataSet::CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent) {
    for (;;) {
        try {
            UpdateCursorPos();
            Operation();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = daFail;
            if (ErrorEvent) ErrorEvent(this, e, action);
            if (action == daFail) throw;
            if (action == daAbort) Abort();
        }
    }
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    switch (state_) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (modified_)
                Post();
            else
                Cancel();
            break;
        case dsSetKey:
            Post();
            break;
        default:
            break;
    }
}

void TDataSet::UpdateRecord() {
    if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey) DatabaseError(SNotEditing, this);
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
    InternalInitRecord(Buffer);
    ClearCalcFields(Buffer);
    SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::ClearCalcFields(TRecordBuffer Buffer) {
    if (calcFieldsSize_ > 0 && Buffer != nullptr)
        std::memset(Buffer + GetRecordSize(), 0, static_cast<std::size_t>(calcFieldsSize_));
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        Resync({});
        throw;
    }
    modified_ = false;
    DataEvent(deDataSetChange, 0);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    TBookmark current;
    if (recordCount_ > 0) {
        current.resize(static_cast<std::size_t>(bookmarkSize_));
        if (bookmarkSize_ > 0) GetBookmarkData(buffers_[activeRecord_], current.data());
    }
    MoveBuffer(recordCount_, activeRecord_);
    TRecordBuffer b = buffers_[activeRecord_];
    InitRecord(b);
    if (recordCount_ == 0)
        SetBookmarkFlag(b, bfBOF);
    else if (bookmarkSize_ > 0)
        SetBookmarkData(b, current.data());
    if (recordCount_ < bufferCount_) ++recordCount_;
    // The inserted row goes before the cursor's record.
    CursorPosChanged();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    ClearBuffers();
    TRecordBuffer b = buffers_[0];
    InitRecord(b);
    SetBookmarkFlag(b, bfEOF);
    recordCount_ = 1;
    bof_ = false;
    GetPriorRecords();
    InternalInsert();
    EndInsertAppend();
}

void TDataSet::Edit() {
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (recordCount_ == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation([this] { InternalEdit(); }, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    DoAfterEdit();
}

void TDataSet::Post() {
    UpdateRecord();
    if (state_ != dsEdit && state_ != dsInsert) {
        if (state_ == dsSetKey) SetState(dsBrowse);
        return;
    }
    DataEvent(deCheckBrowseMode, 0);
    DoBeforePost();
    CheckOperation([this] { InternalPost(); }, OnPostError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (state_ == dsSetKey) {
        SetState(dsBrowse);
        return;
    }
    if (state_ != dsEdit && state_ != dsInsert) return;
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeCancel();
    UpdateCursorPos();
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
    DoAfterCancel();
}

void TDataSet::Delete() {
    CheckActive();
    if (state_ == dsInsert || state_ == dsSetKey) {
        Cancel();
        return;
    }
    if (recordCount_ == 0) DatabaseError(SDataSetEmpty, this);
    CheckCanModify();
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync({});
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::Refresh() {
    DoBeforeRefresh();
    CheckBrowseMode();
    UpdateCursorPos();
    try {
        InternalRefresh();
    } catch (...) {
        Resync({});
        throw;
    }
    Resync({});
    DoAfterRefresh();
}

void TDataSet::InternalPost() {
    CheckRequiredFields();
}

void TDataSet::CheckRequiredFields() {
    for (TField* f : fields_->List()) {
        if (f->Required() && !f->ReadOnly() && f->FieldKind() == fkData && f->IsNull()) {
            f->FocusControl();
            DatabaseError(Format(SFieldRequired, f->DisplayName()));
        }
    }
}

void TDataSet::InternalAddRecord(const void* Buffer, bool Append) {
    (void)Buffer;
    (void)Append;
    DatabaseError("Operation not supported", this);
}

void TDataSet::InternalHandleException() {
    // No application object sits under the dataset layer: the exception
    // reaches whoever called the operation. Outside a handler there is
    // nothing to pass on.
    if (std::exception_ptr e = std::current_exception()) std::rethrow_exception(e);
}

bool TDataSet::FindRecord(bool Restart, bool GoForward) {
    (void)Restart;
    (void)GoForward;
    found_ = false;
    return false;
}

void TDataSet::SetBlockReadSize(int Value) {
    if (Value < 0) Value = 0;
    if (Value == blockReadSize_) return;
    if (Value > 0) {
        CheckBrowseMode();
        blockReadSize_ = Value;
        SetState(dsBlockRead);
    } else {
        blockReadSize_ = 0;
        if (state_ == dsBlockRead) SetState(dsBrowse);
    }
}

static std::string DefaultExpressionText(const std::string& expr) {
    std::string t = Trim(expr);
    if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') return AnsiDequotedStr(t, '\'');
    return t;
}

void TDataSet::DoOnNewRecord() {
    for (TField* f : fields_->List()) {
        if (f->FieldKind() == fkData && !f->DefaultExpression().empty() && !f->ReadOnly() && f->IsNull())
            f->SetAsString(DefaultExpressionText(f->DefaultExpression()));
    }
    if (OnNewRecord) OnNewRecord(this);
}

void TDataSet::ClearFields() {
    if (state_ != dsEdit && state_ != dsInsert) DatabaseError(SNotEditing, this);
    for (TField* f : fields_->List())
        if (f->FieldKind() == fkData && !f->ReadOnly()) f->Clear();
}

void TDataSet::SetFields(const std::vector<Variant>& Values) {
    int count = std::min(static_cast<int>(Values.size()), FieldCount());
    for (int i = 0; i < count; ++i) {
        const Variant& v = Values[static_cast<std::size_t>(i)];
        if (v.IsEmpty()) continue;
        TField* f = fields_->Fields(i);
        if (f->ReadOnly() || f->FieldKind() != fkData) continue;
        f->SetValue(v);
    }
}

void TDataSet::AppendRecord(const std::vector<Variant>& Values) {
    Append();
    SetFields(Values);
    Post();
}

void TDataSet::InsertRecord(const std::vector<Variant>& Values) {
    Insert();
    SetFields(Values);
    Post();
}

// ---------------------------------------------------------------------------
// Calculated and lookup fields

bool TDataSet::ReadCalcField(const uint8_t* Area, const TField* Field, void* Buffer) {
    const uint8_t* p = Area + Field->Offset();
    if (p[0] == 0) return false;
    if (Buffer != nullptr) std::memcpy(Buffer, p + 1, static_cast<std::size_t>(Field->DataSize()));
    return true;
}

void TDataSet::WriteCalcField(uint8_t* Area, const TField* Field, const void* Buffer) {
    uint8_t* p = Area + Field->Offset();
    auto size = static_cast<std::size_t>(Field->DataSize());
    if (Buffer == nullptr) {
        p[0] = 0;
        std::memset(p + 1, 0, size);
    } else {
        p[0] = 1;
        std::memcpy(p + 1, Buffer, size);
    }
}

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
    if (calcFieldsSize_ == 0 || Buffer == nullptr) return;
    TDataSetState old = SetTempState(dsCalcFields);
    TRecordBuffer oldCalc = calcBuffer_;
    calcBuffer_ = Buffer;
    try {
        CalculateFields(Buffer);
    } catch (...) {
        calcBuffer_ = oldCalc;
        RestoreState(old);
        throw;
    }
    calcBuffer_ = oldCalc;
    RestoreState(old);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
    ClearCalcFields(Buffer);
    for (TField* f : fields_->List())
        if (f->FieldKind() == fkLookup) CalculateLookupField(f);
    DoOnCalcFields();
}

void TDataSet::CalculateLookupField(TField* Field) {
    TDataSet* lookup = Field->LookupDataSet();
    if (lookup == nullptr || !lookup->Active() || Field->KeyFields().empty() ||
        Field->LookupKeyFields().empty() || Field->LookupResultField().empty())
        return;
    Variant keys = FieldValues(Field->KeyFields());
    if (keys.IsNull()) return;
    if (keys.IsArray()) {
        for (int i = keys.LowBound(); i <= keys.HighBound(); ++i)
            if (keys.GetElement(i).IsNull()) return;
    }
    Variant value = lookup->Lookup(Field->LookupKeyFields(), keys, Field->LookupResultField());
    if (!value.IsNull() && !value.IsEmpty()) Field->SetValue(value);
}

bool TDataSet::FilterRecordWith(TRecordBuffer Buffer, const std::function<bool()>& Test) {
    TDataSetState old = SetTempState(dsFilter);
    TRecordBuffer oldFilter = filterBuffer_;
    filterBuffer_ = Buffer;
    bool accept;
    try {
        accept = Test();
    } catch (...) {
        filterBuffer_ = oldFilter;
        RestoreState(old);
        throw;
    }
    filterBuffer_ = oldFilter;
    RestoreState(old);
    return accept;
}

bool TDataSet::RecordFilterAccepts(TRecordBuffer Buffer) {
    if (!filtered_ || !onFilterRecord_) return true;
    return FilterRecordWith(Buffer, [this] {
        bool accept = true;
        onFilterRecord_(this, accept);
        return accept;
    });
}

// The filter setters only store: the descendant that applies the filter
// refreshes its records in its override, as the class library's datasets do.
void TDataSet::SetFilteredValue(bool Value) {
    filtered_ = Value;
}

void TDataSet::SetFilterText(const std::string& Value) {
    filterText_ = Value;
}

void TDataSet::SetFilterOptionsValue(TFilterOptions Value) {
    filterOptions_ = Value;
}

void TDataSet::SetOnFilterRecordValue(const TFilterRecordEvent& Value) {
    onFilterRecord_ = Value;
}

Variant TDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
    TDataSetState old = SetTempState(State);
    Variant v;
    try {
        v = Field->Value();
    } catch (...) {
        RestoreState(old);
        throw;
    }
    RestoreState(old);
    return v;
}

void TDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
    TDataSetState old = SetTempState(State);
    try {
        Field->SetValue(Value);
    } catch (...) {
        RestoreState(old);
        throw;
    }
    RestoreState(old);
}

// ---------------------------------------------------------------------------
// Fields by name

TField* TDataSet::FieldByName(const std::string& FieldName) const {
    TField* f = fields_->FindField(FieldName);
    if (f == nullptr) DatabaseError(Format(SFieldNotFound, FieldName), const_cast<TDataSet*>(this));
    return f;
}

TField* TDataSet::FindField(const std::string& FieldName) const {
    return fields_->FindField(FieldName);
}

TField* TDataSet::FieldByNumber(int FieldNo) const {
    return fields_->FieldByNumber(FieldNo);
}

void TDataSet::GetFieldList(std::vector<TField*>& List, const std::string& FieldNames) const {
    List.clear();
    for (const std::string& name : db::SplitFieldNames(FieldNames)) List.push_back(FieldByName(name));
}

void TDataSet::GetFieldNames(TStrings* List) const {
    fields_->GetFieldNames(List);
}

Variant TDataSet::FieldValues(const std::string& FieldName) const {
    std::vector<TField*> list;
    GetFieldList(list, FieldName);
    if (list.size() == 1) return list[0]->Value();
    std::vector<Variant> values;
    for (TField* f : list) values.push_back(f->Value());
    return VarArrayOf(values);
}

void TDataSet::SetFieldValues(const std::string& FieldName, const Variant& Value) {
    std::vector<TField*> list;
    GetFieldList(list, FieldName);
    if (list.size() == 1 && !Value.IsArray()) {
        list[0]->SetValue(Value);
        return;
    }
    if (!Value.IsArray() || Value.HighBound() - Value.LowBound() + 1 < static_cast<int>(list.size()))
        DatabaseError(SKeyValuesCount, this);
    for (std::size_t i = 0; i < list.size(); ++i)
        list[i]->SetValue(Value.GetElement(Value.LowBound() + static_cast<int>(i)));
}

void TDataSet::AddField(TField* Field) {
    fields_->Add(Field);
}

void TDataSet::RemoveField(TField* Field) {
    FieldLeaving(Field);
    fields_->Remove(Field);
}

// ---------------------------------------------------------------------------
// Field data (a descendant overrides both)

bool TDataSet::GetFieldData(TField* Field, void* Buffer) const {
    (void)Field;
    (void)Buffer;
    return false;
}

void TDataSet::SetFieldData(TField* Field, const void* Buffer) {
    (void)Field;
    (void)Buffer;
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    (void)Field;
    (void)Mode;
    DatabaseError(SBlobNotSupported, this);
}

// ---------------------------------------------------------------------------
// Bookmarks

bool TDataSet::BookmarkAvailable() const {
    return state_ != dsInactive && state_ != dsInsert && !IsEmpty() && bookmarkSize_ > 0 &&
           GetBookmarkFlag(buffers_[activeRecord_]) == bfCurrent;
}

TBookmark TDataSet::GetBookmark() const {
    if (!BookmarkAvailable()) return {};
    TBookmark b(static_cast<std::size_t>(bookmarkSize_));
    GetBookmarkData(buffers_[activeRecord_], b.data());
    return b;
}

bool TDataSet::BookmarkValid(const TBookmark& Bookmark) const {
    return Active() && bookmarkSize_ > 0 && static_cast<int>(Bookmark.size()) == bookmarkSize_;
}

int TDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) const {
    (void)Bookmark1;
    (void)Bookmark2;
    return 0;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
    if (Bookmark.empty()) return;
    CheckBrowseMode();
    if (!BookmarkValid(Bookmark)) DatabaseError(SRecordNotFound, this);
    DoBeforeScroll();
    try {
        InternalGotoBookmark(Bookmark.data());
        Resync({rmExact, rmCenter});
    } catch (...) {
        // The buffers still hold what was shown; only the cursor moved.
        CursorPosChanged();
        throw;
    }
    DoAfterScroll();
}

// ---------------------------------------------------------------------------
// Locate and Lookup

bool TDataSet::ScanRecords(const std::function<bool()>& Match) {
    // The spare buffer takes each record in turn while ActiveBuffer points
    // at it, so the fields read the record being examined and the buffers
    // that controls show stay untouched.
    TRecordBuffer spare = buffers_[recordCount_];
    ++disableCount_;
    scanBuffer_ = spare;
    CursorPosChanged();
    bool found = false;
    try {
        InternalFirst();
        while (GetRecord(spare, gmNext, true) == grOK) {
            if (Match()) {
                found = true;
                break;
            }
        }
    } catch (...) {
        scanBuffer_ = nullptr;
        --disableCount_;
        CursorPosChanged();
        throw;
    }
    scanBuffer_ = nullptr;
    --disableCount_;
    CursorPosChanged();
    return found;
}

static bool ValueMatches(TField* field, const Variant& key, TLocateOptions options) {
    if (key.IsNull() || key.IsEmpty()) return field->IsNull();
    if (field->IsNull()) return false;
    switch (field->DataType()) {
        case ftString: case ftFixedChar: case ftWideString: case ftFixedWideChar: case ftGuid:
        case ftMemo: case ftWideMemo: case ftFmtMemo: {
            std::string value = field->AsString();
            std::string wanted = VarToStr(key);
            if (options.Contains(loPartialKey)) {
                int n = Length(wanted);
                value = Copy(value, 1, n);
            }
            return options.Contains(loCaseInsensitive) ? AnsiSameText(value, wanted)
                                                       : AnsiSameStr(value, wanted);
        }
        default:
            try {
                return VarSameValue(field->Value(), key) || field->Value() == key;
            } catch (const Exception&) {
                return false;
            }
    }
}

bool TDataSet::RecordMatches(const std::vector<TField*>& Fields, const Variant& KeyValues,
                             TLocateOptions Options) const {
    if (Fields.size() == 1 && !KeyValues.IsArray()) return ValueMatches(Fields[0], KeyValues, Options);
    if (!KeyValues.IsArray()) return false;
    int low = KeyValues.LowBound();
    if (KeyValues.HighBound() - low + 1 < static_cast<int>(Fields.size())) return false;
    for (std::size_t i = 0; i < Fields.size(); ++i)
        if (!ValueMatches(Fields[i], KeyValues.GetElement(low + static_cast<int>(i)), Options)) return false;
    return true;
}

static void CheckKeyValues(TDataSet* ds, const std::vector<TField*>& fields, const Variant& values) {
    if (fields.empty()) DatabaseError("There must be at least one field", ds);
    if (fields.size() > 1 && (!values.IsArray() || values.HighBound() - values.LowBound() + 1 <
                                                        static_cast<int>(fields.size())))
        DatabaseError(dbconsts::SKeyValuesCount, ds);
}

bool TDataSet::Locate(const std::string& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    CheckBrowseMode();
    std::vector<TField*> fields;
    GetFieldList(fields, KeyFields);
    CheckKeyValues(this, fields, KeyValues);
    TBookmark found;
    bool hit = ScanRecords([&] {
        if (!RecordMatches(fields, KeyValues, Options)) return false;
        found.resize(static_cast<std::size_t>(bookmarkSize_));
        if (bookmarkSize_ > 0) GetBookmarkData(scanBuffer_, found.data());
        return true;
    });
    found_ = hit;
    if (!hit) return false;
    DoBeforeScroll();
    InternalGotoBookmark(found.data());
    Resync({rmExact, rmCenter});
    DoAfterScroll();
    return true;
}

Variant TDataSet::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
    Variant result = Null();
    if (!Active()) return result;
    // Unlike Locate, a lookup does not move: a pending edit stays pending
    // instead of being posted behind the caller's back.
    std::vector<TField*> fields;
    GetFieldList(fields, KeyFields);
    CheckKeyValues(this, fields, KeyValues);
    TDataSetState old = state_;
    // A lookup asked while this dataset calculates its own fields must not
    // disturb that calculation's buffer.
    if (old == dsCalcFields) state_ = dsBrowse;
    try {
        ScanRecords([&] {
            if (!RecordMatches(fields, KeyValues, {})) return false;
            result = FieldValues(ResultFields);
            return true;
        });
    } catch (...) {
        state_ = old;
        throw;
    }
    state_ = old;
    return result;
}
