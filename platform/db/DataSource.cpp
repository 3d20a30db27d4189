// Data sources, data links, the field data link and the master data link.
#include <algorithm>

#include "platform/db/DB.h"
#include "platform/rtl/Format.h"

using namespace dbconsts;

// ---------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
    Destroying();
    while (!dataLinks_.empty()) dataLinks_.back()->SetDataSource(nullptr);
    if (dataSet_ != nullptr) {
        dataSet_->RemoveDataSource(this);
        dataSet_ = nullptr;
    }
}

bool TDataSource::IsLinkedTo(TDataSet* DataSet) const {
    // True when DataSet follows this source, directly or through its masters.
    std::vector<const TDataSet*> seen;
    while (DataSet != nullptr && std::find(seen.begin(), seen.end(), DataSet) == seen.end()) {
        seen.push_back(DataSet);
        TDataSource* source = DataSet->GetDataSource();
        if (source == nullptr) break;
        if (source == this) return true;
        DataSet = source->DataSet();
    }
    return false;
}

void TDataSource::SetDataSet(TDataSet* Value) {
    if (Value == dataSet_) return;
    if (Value != nullptr && IsLinkedTo(Value)) DatabaseError(SCircularDataLink, this);
    if (dataSet_ != nullptr) {
        dataSet_->RemoveDataSource(this);
        RemoveFreeNotification(dataSet_);
    }
    dataSet_ = Value;
    if (Value != nullptr) {
        Value->AddDataSource(this);
        FreeNotification(Value);
    }
    UpdateState();
}

void TDataSource::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == dataSet_) {
        dataSet_ = nullptr;
        UpdateState();
    }
}

void TDataSource::SetEnabled(bool Value) {
    enabled_ = Value;
    UpdateState();
}

void TDataSource::Edit() {
    if (autoEdit_ && state_ == dsBrowse && dataSet_ != nullptr) dataSet_->Edit();
}

void TDataSource::UpdateState() {
    SetStateValue(enabled_ && dataSet_ != nullptr ? dataSet_->State() : dsInactive);
}

void TDataSource::SetStateValue(TDataSetState Value) {
    if (state_ == Value) return;
    TDataSetState prior = state_;
    state_ = Value;
    NotifyDataLinks(deUpdateState, 0);
    if (ComponentState().Contains(csDestroying)) return;
    if (OnStateChange) OnStateChange(this);
    if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::NotifyDataLinks(TDataEvent Event, intptr_t Info) {
    // Links that show several rows (grids) go first, so that single-row
    // controls see a window that is already up to date.
    std::vector<TDataLink*> links = dataLinks_;
    auto present = [this](TDataLink* l) {
        return std::find(dataLinks_.begin(), dataLinks_.end(), l) != dataLinks_.end();
    };
    for (TDataLink* link : links)
        if (link->BufferCount() > 1 && present(link)) link->DataEvent(Event, Info);
    for (TDataLink* link : links)
        if (link->BufferCount() <= 1 && present(link)) link->DataEvent(Event, Info);
}

void TDataSource::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deUpdateState) {
        UpdateState();
        return;
    }
    if (state_ == dsInactive) return;
    NotifyDataLinks(Event, Info);
    switch (Event) {
        case deFieldChange:
            if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(Info));
            break;
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange) OnDataChange(this, nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(this);
            break;
        default:
            break;
    }
}

void TDataSource::AddDataLink(TDataLink* Link) {
    dataLinks_.push_back(Link);
    if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* Link) {
    dataLinks_.erase(std::remove(dataLinks_.begin(), dataLinks_.end(), Link), dataLinks_.end());
    if (dataSet_ != nullptr) dataSet_->UpdateBufferCount();
}

// ---------------------------------------------------------------------------
// TDataLink

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    // No notifications from here: the descendant part is already gone.
    active_ = false;
    editing_ = false;
    if (dataSource_ != nullptr) {
        dataSource_->RemoveDataLink(this);
        dataSource_ = nullptr;
    }
}

TDataSet* TDataLink::DataSet() const {
    return dataSource_ != nullptr ? dataSource_->DataSet() : nullptr;
}

void TDataLink::SetDataSource(TDataSource* Value) {
    if (Value == dataSource_) return;
    if (dataSource_ != nullptr) dataSource_->RemoveDataLink(this);
    dataSource_ = Value;
    if (Value != nullptr) Value->AddDataLink(this);
    firstRecord_ = 0;
    UpdateState();
}

void TDataLink::SetReadOnly(bool Value) {
    if (readOnly_ == Value) return;
    readOnly_ = Value;
    UpdateState();
}

void TDataLink::UpdateState() {
    bool active = dataSource_ != nullptr && dataSource_->State() != dsInactive;
    if (active) {
        SetActive(true);
        TDataSetState s = dataSource_->State();
        SetEditing(!readOnly_ && (s == dsEdit || s == dsInsert || s == dsSetKey));
    } else {
        SetEditing(false);
        SetActive(false);
    }
}

void TDataLink::SetActive(bool Value) {
    if (active_ == Value) return;
    active_ = Value;
    if (Value) {
        firstRecord_ = 0;
        UpdateRange();
    }
    ActiveChanged();
}

void TDataLink::SetEditing(bool Value) {
    if (editing_ == Value) return;
    editing_ = Value;
    EditingChanged();
}

void TDataLink::UpdateRange() {
    TDataSet* ds = DataSet();
    if (ds == nullptr) return;
    int active = ds->activeRecord_;
    int lo = std::max(0, active - bufferCount_ + 1);
    int hi = std::min(active, std::max(0, ds->recordCount_ - bufferCount_));
    if (hi < lo) hi = lo;
    firstRecord_ = std::clamp(firstRecord_, lo, hi);
}

int TDataLink::ActiveRecord() const {
    TDataSet* ds = DataSet();
    if (ds == nullptr || dataSource_->State() == dsSetKey) return 0;
    return ds->activeRecord_ - firstRecord_;
}

void TDataLink::SetActiveRecord(int Value) {
    TDataSet* ds = DataSet();
    if (ds == nullptr || dataSource_->State() == dsSetKey) return;
    int index = Value + firstRecord_;
    if (index >= 0 && index < std::max(1, ds->recordCount_)) ds->activeRecord_ = index;
}

int TDataLink::RecordCount() const {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !active_) return 0;
    if (dataSource_->State() == dsSetKey) return 1;
    return std::clamp(ds->recordCount_ - firstRecord_, 0, bufferCount_);
}

void TDataLink::SetBufferCount(int Value) {
    if (Value < 1) Value = 1;
    if (bufferCount_ == Value) return;
    bufferCount_ = Value;
    TDataSet* ds = DataSet();
    if (ds != nullptr) {
        ds->UpdateBufferCount();
        if (active_) UpdateRange();
    }
}

bool TDataLink::Edit() {
    if (!readOnly_ && dataSource_ != nullptr) dataSource_->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    try {
        UpdateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::DataEvent(TDataEvent Event, intptr_t Info) {
    if (Event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (Event) {
        case deFieldChange:
        case deRecordChange:
            if (!updating_) RecordChanged(reinterpret_cast<TField*>(Info));
            break;
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange: {
            int distance = 0;
            if (dataSource_->State() != dsSetKey) {
                int before = firstRecord_;
                if (Event == deDataSetScroll) firstRecord_ += static_cast<int>(Info);
                UpdateRange();
                distance = before - firstRecord_;
            }
            if (Event == deDataSetChange)
                DataSetChanged();
            else if (Event == deDataSetScroll)
                DataSetScrolled(distance);
            else
                LayoutChanged();
            break;
        }
        case deUpdateRecord:
            UpdateRecord();
            break;
        case deCheckBrowseMode:
            CheckBrowseMode();
            break;
        case deFocusControl:
            FocusControl(reinterpret_cast<TField**>(Info));
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------
// TFieldDataLink

void TFieldDataLink::SetFieldName(const std::string& Value) {
    if (fieldName_ == Value) return;
    fieldName_ = Value;
    UpdateField();
}

void TFieldDataLink::SetField(TField* Value) {
    if (field_ == Value) return;
    field_ = Value;
    ApplyCaption();
    EditingChanged();
    RecordChanged(nullptr);
}

void TFieldDataLink::SetCaption(const std::string& Value) {
    const std::string previous = caption_;
    caption_ = Value;
    // A caption given before replaces the one given now; a label of the
    // field's own stays.
    if (field_ != nullptr && !previous.empty() && field_->DisplayLabel() == previous)
        field_->SetDisplayLabel(std::string());
    ApplyCaption();
}

void TFieldDataLink::ApplyCaption() {
    if (field_ == nullptr || caption_.empty() || field_->DisplayLabel() != field_->FieldName()) return;
    field_->SetDisplayLabel(caption_);
}

void TFieldDataLink::UpdateField() {
    TField* f = nullptr;
    if (Active() && !fieldName_.empty()) f = DataSet()->FindField(fieldName_);
    SetField(f);
}

bool TFieldDataLink::CanModify() const {
    return !ReadOnly() && field_ != nullptr && field_->CanModify();
}

void TFieldDataLink::Reset() {
    RecordChanged(nullptr);
}

void TFieldDataLink::ActiveChanged() {
    UpdateField();
    if (OnActiveChange) OnActiveChange(this);
}

void TFieldDataLink::EditingChanged() {
    if (OnEditingChange) OnEditingChange(this);
}

void TFieldDataLink::FocusControl(TField** Field) {
    // The control that shows the field takes the request; the others never
    // see it.
    if (Field == nullptr || *Field == nullptr || *Field != field_ || !OnFocusControl) return;
    *Field = nullptr;
    OnFocusControl(this);
}

void TFieldDataLink::LayoutChanged() {
    UpdateField();
}

void TFieldDataLink::RecordChanged(TField* Field) {
    if (Field == nullptr || Field == field_) {
        if (OnDataChange) OnDataChange(this);
        modified_ = false;
    }
}

void TFieldDataLink::FieldLeaving(TField* Field) {
    if (field_ == Field) field_ = nullptr;
}

void TFieldDataLink::UpdateData() {
    if (!modified_) return;
    if (field_ != nullptr && OnUpdateData) OnUpdateData(this);
    modified_ = false;
}

// ---------------------------------------------------------------------------
// TMasterDataLink

TMasterDataLink::TMasterDataLink(TDataSet* DataSet) : detail_(DataSet) {}

void TMasterDataLink::SetFieldNames(const std::string& Value) {
    if (fieldNames_ == Value) return;
    fieldNames_ = Value;
    ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
    fields_.clear();
    if (Active()) {
        try {
            DataSet()->GetFieldList(fields_, fieldNames_);
        } catch (...) {
            fields_.clear();
            throw;
        }
    }
    if (detail_ != nullptr && detail_->Active() && !detail_->ComponentState().Contains(csDestroying)) {
        if (Active() && !fields_.empty()) {
            if (OnMasterChange) OnMasterChange(this);
        } else if (OnMasterDisable) {
            OnMasterDisable(this);
        }
    }
}

void TMasterDataLink::FieldLeaving(TField* Field) {
    if (std::find(fields_.begin(), fields_.end(), Field) != fields_.end()) fields_.clear();
}

void TMasterDataLink::CheckBrowseMode() {
    if (detail_ != nullptr && detail_->Active()) detail_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() {
    ActiveChanged();
}

void TMasterDataLink::RecordChanged(TField* Field) {
    if (DataSource()->State() == dsSetKey || detail_ == nullptr || !detail_->Active() || fields_.empty())
        return;
    if (Field != nullptr && std::find(fields_.begin(), fields_.end(), Field) == fields_.end()) return;
    if (OnMasterChange) OnMasterChange(this);
}
