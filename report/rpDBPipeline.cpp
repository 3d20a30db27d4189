#include "report/rpDBPipeline.h"

#include <algorithm>

#include "platform/rtl/Strings.h"
#include "platform/rtl/TypInfo.h"

// ---------------------------------------------------------------------------
// Data link

void TrpDBDataLink::ActiveChanged() {
    if (OnActiveChange) OnActiveChange();
}

void TrpDBDataLink::CheckBrowseMode() {
    if (OnDataChange) OnDataChange();
}

void TrpDBDataLink::DataSetChanged() {
    if (OnDataChange) OnDataChange();
}

void TrpDBDataLink::LayoutChanged() {
    if (OnLayoutChange) OnLayoutChange();
}

// ---------------------------------------------------------------------------
// Types

TrpDataType rpFieldTypeToDataType(TFieldType Type) {
    switch (Type) {
        case ftString: return dtString;
        case ftSmallint:
        case ftInteger: return dtInteger;
        case ftWord:
        case ftAutoInc: return dtLongint;
        case ftBoolean: return dtBoolean;
        case ftFloat:
        case ftBCD:
        case ftFMTBcd: return dtDouble;
        case ftCurrency: return dtCurrency;
        case ftDate: return dtDate;
        case ftTime: return dtTime;
        case ftDateTime:
        case ftTimeStamp: return dtDateTime;
        case ftBytes:
        case ftVarBytes:
        case ftBlob:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
        case ftOraBlob:
        case ftOraClob: return dtBLOB;
        case ftMemo: return dtMemo;
        case ftGraphic: return dtGraphic;
        case ftLargeint: return dtLargeInt;
        case ftGuid: return dtGUID;
        default: return dtString;
    }
}

// ---------------------------------------------------------------------------
// TrpDBPipeline

TClass TrpDBPipeline::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDBPipeline>("TrpDBPipeline", TrpCustomDataPipeline::StaticClassType())
            .Object("DataSource", TDataSource::StaticClassType(), &TrpDBPipeline::DataSource,
                    &TrpDBPipeline::SetDataSource)
            .Boolean("OpenDataSource", &TrpDBPipeline::OpenDataSource, &TrpDBPipeline::SetOpenDataSource, 1)
            .Boolean("CloseDataSource", &TrpDBPipeline::CloseDataSource, &TrpDBPipeline::SetCloseDataSource, 0)
            .Boolean("RefreshAfterPost", &TrpDBPipeline::RefreshAfterPost, &TrpDBPipeline::SetRefreshAfterPost, 0)
            .Build();
    return &info;
}

TrpDBPipeline::TrpDBPipeline(TComponent* AOwner)
    : TrpCustomDataPipeline(AOwner), dataLink_(std::make_unique<TrpDBDataLink>()) {
    dataLink_->OnActiveChange = [this] { ActiveChanged(); };
    dataLink_->OnDataChange = [this] { DataChange(); };
    // The dataset may have made its fields anew: cached lookups would read
    // freed ones.
    dataLink_->OnLayoutChange = [this] { LayoutChanged(); };
}

TrpDBPipeline::~TrpDBPipeline() {
    try {
        Close();
    } catch (...) {
        // A dataset that fails to close must not stop the pipeline going.
    }
    SetDestroying();
    dataLink_->OnActiveChange = nullptr;
    dataLink_->OnDataChange = nullptr;
    dataLink_->OnLayoutChange = nullptr;
    dataLink_->SetDataSource(nullptr);
    if (dataSource_ != nullptr) RemoveFreeNotification(dataSource_);
    if (rememberedDataSet_ != nullptr) RemoveFreeNotification(rememberedDataSet_);
}

TDataSet* TrpDBPipeline::DataSet() const {
    TDataSet* ds = dataSource_ != nullptr ? dataSource_->DataSet() : nullptr;
    return ds != nullptr && static_cast<const TComponent*>(ds) != goingDataSet_ ? ds : nullptr;
}

void TrpDBPipeline::SetDataSource(TDataSource* Value) {
    if (Value == dataSource_) return;
    if (dataSource_ != nullptr) RemoveFreeNotification(dataSource_);
    dataSource_ = Value;
    if (dataSource_ != nullptr) FreeNotification(dataSource_);
    ForgetFields();
    dataLink_->SetDataSource(Value);
    if (!IsLoadingOrReading()) {
        FieldListChanged();
        DataChange();
    }
}

void TrpDBPipeline::Notification(TComponent* AComponent, TOperation Operation) {
    TrpCustomDataPipeline::Notification(AComponent, Operation);
    if (Operation != opRemove || AComponent == nullptr) return;
    // The component is partly destroyed by now: forget it before closing,
    // so that closing never calls into it.
    if (AComponent == dataSource_) {
        dataSource_ = nullptr;
        rememberedDataSet_ = nullptr;
        ForgetFields();
        if (!Destroying()) Close();
    } else if (AComponent == rememberedDataSet_) {
        rememberedDataSet_ = nullptr;
        goingDataSet_ = AComponent;
        ForgetFields();
        try {
            if (!Destroying()) Close();
        } catch (...) {
            goingDataSet_ = nullptr;
            throw;
        }
        goingDataSet_ = nullptr;
    }
}

bool TrpDBPipeline::Active() const { return dataLink_->Active(); }

void TrpDBPipeline::ActiveChanged() {
    ForgetFields();
    TDataSet* ds = DataSet();
    const bool sourceGoing = dataSource_ != nullptr && dataSource_->ComponentState().Contains(csDestroying);
    const bool dataSetGoing =
        rememberedDataSet_ != nullptr && rememberedDataSet_->ComponentState().Contains(csDestroying);
    if (sourceGoing || dataSetGoing) {
        Close();
    } else if (rememberedDataSet_ != nullptr && !Destroying()) {
        if (ds == nullptr || !ds->Active())
            Close();
        else
            DataChange();
    } else {
        DataChange();
    }
    if (Destroying()) return;
    if (AutoCreateFields()) {
        if (Active())
            FieldListChanged();
        else
            FreeFields();
    }
    SendNotify(this, rpopDataDefinitionChanged);
    SendEventNotify(this, rpevDataDefinitionChange, nullptr);
}

void TrpDBPipeline::LayoutChanged() {
    ForgetFields();
    DataChange();
}

void TrpDBPipeline::OpenData() {
    TDataSet* ds = DataSet();
    if (ds != nullptr && (rememberedDataSet_ == nullptr || !rememberedDataSet_->ComponentState().Contains(csDestroying))) {
        if (rememberedDataSet_ != ds) {
            if (rememberedDataSet_ != nullptr) RemoveFreeNotification(rememberedDataSet_);
            rememberedDataSet_ = ds;
            FreeNotification(ds);
        }
    }
    if (ds != nullptr && openDataSource_ && !ds->Active()) ds->Open();
}

void TrpDBPipeline::CloseData() {
    TDataSet* ds = DataSet();
    if (ds != nullptr && closeDataSource_ && ds->Active()) ds->Close();
}

void TrpDBPipeline::DataFirst() {
    if (TDataSet* ds = DataSet(); ds != nullptr && ds->Active()) ds->First();
}

void TrpDBPipeline::DataLast() {
    if (TDataSet* ds = DataSet(); ds != nullptr && ds->Active()) ds->Last();
}

int TrpDBPipeline::DataMoveBy(int N) {
    TDataSet* ds = DataSet();
    return ds != nullptr && ds->Active() ? ds->MoveBy(N) : 0;
}

bool TrpDBPipeline::DataBof() const {
    TDataSet* ds = DataSet();
    return ds == nullptr || !ds->Active() || ds->Bof();
}

bool TrpDBPipeline::DataEof() const {
    TDataSet* ds = DataSet();
    return ds == nullptr || !ds->Active() || ds->Eof();
}

// ---------------------------------------------------------------------------
// Bookmarks

const TBookmark* TrpDBPipeline::BookmarkOf(int Handle) const {
    auto it = bookmarks_.find(Handle);
    return it != bookmarks_.end() ? &it->second : nullptr;
}

int TrpDBPipeline::GetBookmark() {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active() || !ds->BookmarkAvailable()) return 0;
    const int handle = nextBookmark_++;
    if (nextBookmark_ <= 0) nextBookmark_ = 1;
    bookmarks_[handle] = ds->GetBookmark();
    return handle;
}

void TrpDBPipeline::FreeBookmark(int Bookmark) { bookmarks_.erase(Bookmark); }

void TrpDBPipeline::FreeAllBookmarks() {
    bookmarks_.clear();
    TrpCustomDataPipeline::FreeAllBookmarks();
}

int TrpDBPipeline::CompareBookmarks(int A, int B) {
    const TBookmark* a = BookmarkOf(A);
    const TBookmark* b = BookmarkOf(B);
    TDataSet* ds = DataSet();
    if (a == nullptr || b == nullptr || ds == nullptr) return TrpCustomDataPipeline::CompareBookmarks(A, B);
    const int r = ds->CompareBookmarks(*a, *b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool TrpDBPipeline::BookmarkValid(int Bookmark) const {
    const TBookmark* b = BookmarkOf(Bookmark);
    TDataSet* ds = DataSet();
    if (b == nullptr || ds == nullptr || !ds->Active()) return false;
    if (ds->BookmarkValid(*b)) return true;
    // Some dataset classes refuse bookmarks that still work.
    TClass lenient = GetClass("TIBCustomDataSet");
    return lenient != nullptr && ds->ClassType()->InheritsFrom(lenient);
}

void TrpDBPipeline::DataGotoBookmark(int Bookmark) {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) return;
    if (BookmarkValid(Bookmark)) {
        ds->GotoBookmark(*BookmarkOf(Bookmark));
    } else if (TraversalCount() > 0) {
        ds->First();
        for (int i = 0; i < TraversalCount(); ++i) ds->Next();
    }
}

void TrpDBPipeline::GotoBookmark(int Bookmark) {
    TrpCustomDataPipeline::GotoBookmark(Bookmark);
    Traversal();
}

// ---------------------------------------------------------------------------
// Master/detail through the datasets themselves

void TrpDBPipeline::PrepareTraversal(const std::vector<TrpDataPipeline*>& Pipelines) {
    if (dataSource_ != nullptr) {
        for (TrpDataPipeline* p : Pipelines) {
            auto* db = dynamic_cast<TrpDBPipeline*>(p);
            if (db == nullptr || db == this || db->MasterDataPipeline() == this) continue;
            TDataSet* ds = db->DataSet();
            if (ds == nullptr) continue;
            TObject* source = nullptr;
            if (rpHasProperty(ds, "DataSource"))
                source = GetObjectProp(ds, "DataSource");
            else if (rpHasProperty(ds, "MasterSource"))
                source = GetObjectProp(ds, "MasterSource");
            if (source != nullptr && source == dataSource_) db->SetMasterDataPipeline(this);
        }
    }
    TrpCustomDataPipeline::PrepareTraversal(Pipelines);
}

// ---------------------------------------------------------------------------
// Fields

TField* TrpDBPipeline::FindDataField(const std::string& FieldName) const {
    TDataSet* ds = DataSet();
    if (ds == nullptr || !ds->Active()) return nullptr;
    if (cachedFor_ != ds) {
        ForgetFields();
        cachedFor_ = ds;
    }
    // Every text asks for its field several times for each value it prints:
    // a name found lately answers from a slot chosen by its length and last
    // character, without hashing it again.
    const auto& recent = recentFound_[RecentSlot(FieldName)];
    if (recent != nullptr && recent->first == FieldName) return recent->second;
    auto it = fieldCache_.find(FieldName);
    if (it == fieldCache_.end()) {
        TField* f = ds->FindField(FieldName);
        if (f == nullptr) return nullptr;
        it = fieldCache_.emplace(FieldName, f).first;
    }
    recentFound_[RecentSlot(FieldName)] = &*it;
    return it->second;
}

bool TrpDBPipeline::FieldExists(const std::string& FieldName) const {
    return FindDataField(FieldName) != nullptr || TrpCustomDataPipeline::FieldExists(FieldName);
}

Variant TrpDBPipeline::GetFieldValue(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    if (f == nullptr || (States() & rppsNoRecords) != 0 || f->IsNull()) return Null();
    switch (rpFieldTypeToDataType(f->DataType())) {
        case dtBoolean: {
            auto* b = dynamic_cast<TBooleanField*>(f);
            if (b != nullptr && !b->DisplayValues().empty()) return Variant(f->DisplayText());
            return Variant(f->AsBoolean());
        }
        case dtDate:
        case dtTime:
        case dtDateTime: return Variant::FromDateTime(f->AsDateTime());
        case dtInteger:
        case dtLongint: return Variant(f->AsInteger());
        case dtSingle:
        case dtDouble:
        case dtExtended: return Variant(f->AsFloat());
        case dtCurrency: return Variant(f->AsCurrency());
        case dtChar:
        case dtString:
        case dtMemo:
        case dtGUID: return Variant(f->AsString());
        case dtLargeInt: return Variant(static_cast<long long>(f->AsLargeInt()));
        default: return Null();
    }
}

std::string TrpDBPipeline::GetFieldAsString(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    return f != nullptr ? f->AsString() : std::string();
}

double TrpDBPipeline::GetFieldAsDouble(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    if (f == nullptr || (States() & rppsNoRecords) != 0) return 0;
    return f->AsFloat();
}

std::string TrpDBPipeline::GetFieldAsGuid(const std::string& FieldName) {
    static const std::string empty = "{00000000-0000-0000-0000-000000000000}";
    TField* f = FindDataField(FieldName);
    if (f == nullptr || f->IsNull()) return empty;
    std::string text = f->AsString();
    if (text.size() == 36) text = "{" + text + "}";
    return rpTextToGuid(text) == TrpGuidBytes{} && text != empty ? empty : AnsiUpperCase(text);
}

TBlobField* TrpDBPipeline::GetFieldAsPicture(const std::string& FieldName) {
    return dynamic_cast<TBlobField*>(FindDataField(FieldName));
}

bool TrpDBPipeline::GetFieldIsNull(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    return f == nullptr || (States() & rppsNoRecords) != 0 || f->IsNull();
}

TrpDataType TrpDBPipeline::GetFieldDataType(const std::string& FieldName) {
    if (!AutoCreateFields()) {
        for (int i = 0; i < FieldCount(); ++i)
            if (AnsiSameText(Fields(i)->FieldName(), FieldName)) return Fields(i)->DataType();
        return dtNotKnown;
    }
    TDataSet* ds = DataSet();
    if (ds == nullptr) return dtNotKnown;
    if (!Active() && !ds->Active()) ds->Open();
    TField* f = FindDataField(FieldName);
    return f != nullptr ? rpFieldTypeToDataType(f->DataType()) : dtNotKnown;
}

int TrpDBPipeline::GetDataFieldSize(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    return f != nullptr ? f->Size() : 0;
}

int TrpDBPipeline::GetDataFieldDisplayWidth(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    return f != nullptr ? f->DisplayWidth() : 0;
}

TAlignment TrpDBPipeline::GetFieldAlignment(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    return f != nullptr ? f->Alignment() : taLeftJustify;
}

bool TrpDBPipeline::GetFieldIsCalculated(const std::string& FieldName) {
    TField* f = FindDataField(FieldName);
    return f != nullptr && f->Calculated();
}

void TrpDBPipeline::GetFieldNames(TStrings* List) {
    List->Clear();
    // The field list is asked only once it holds fields: while it is being
    // built it is empty, and the names come from the dataset.
    bool haveFields = false;
    for (int i = 0; i < ChildCount(); ++i) {
        if (auto* f = dynamic_cast<TrpField*>(Children(i))) {
            List->Add(f->FieldName());
            haveFields = true;
        }
    }
    if (haveFields) return;
    TDataSet* ds = DataSet();
    if (ds == nullptr) return;
    ds->GetFieldNames(List);
}

std::string TrpDBPipeline::GetDataName() const {
    TDataSet* ds = DataSet();
    return ds != nullptr ? ds->Name() : std::string();
}

void TrpDBPipeline::SetFieldValue(const std::string& FieldName, const Variant& Value) {
    if (TField* f = FindDataField(FieldName)) f->SetValue(Value);
}

void TrpDBPipeline::SaveFieldToStream(const std::string& FieldName, TStream* Stream) {
    TField* f = FindDataField(FieldName);
    if (f == nullptr || Stream == nullptr) return;
    if (auto* b = dynamic_cast<TBlobField*>(f)) {
        b->SaveToStream(Stream);
    } else {
        const std::string text = f->AsString();
        Stream->Write(text.data(), static_cast<int64_t>(text.size()));
    }
}

void TrpDBPipeline::LoadFieldFromStream(const std::string& FieldName, TStream* Stream) {
    if (auto* b = dynamic_cast<TBlobField*>(FindDataField(FieldName)); b != nullptr && Stream != nullptr)
        b->LoadFromStream(Stream);
}

void TrpDBPipeline::Edit() {
    if (TDataSet* ds = DataSet()) ds->Edit();
}

void TrpDBPipeline::Insert() {
    if (TDataSet* ds = DataSet()) ds->Insert();
}

void TrpDBPipeline::Delete() {
    if (TDataSet* ds = DataSet()) ds->Delete();
}

void TrpDBPipeline::Post() {
    TDataSet* ds = DataSet();
    if (ds == nullptr) return;
    ds->Post();
    if (refreshAfterPost_) ds->Refresh();
}

bool TrpDBPipeline::Locate(const std::string& FieldName, const Variant& Value, int Options) {
    TDataSet* ds = DataSet();
    if (ds == nullptr) return false;
    if (!ds->Active()) ds->Open();
    Variant key = Value;
    if (TField* f = FindDataField(FieldName); f != nullptr && VarIsStr(Value) && f->Size() > 0) {
        const std::string& text = *Value.TextPtr();
        if (Length(text) > f->Size()) key = Variant(LeftStr(text, f->Size()));
    }
    TLocateOptions options;
    if ((Options & 1) != 0) options.Include(loCaseInsensitive);
    if ((Options & 2) != 0) options.Include(loPartialKey);
    ds->First();
    return ds->Locate(FieldName, key, options);
}

// ---------------------------------------------------------------------------
// Registration

TClass TrpChildDBPipeline::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpChildDBPipeline>("TrpChildDBPipeline", TrpDBPipeline::StaticClassType())
            .Object("DataSource", TDataSource::StaticClassType(), &TrpChildDBPipeline::DataSource,
                    &TrpChildDBPipeline::SetDataSource)
            .NotStored()
            .Build();
    return &info;
}

TClass TrpChildDataSource::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpChildDataSource>("TrpChildDataSource", TDataSource::StaticClassType()).Build();
    return &info;
}

namespace report {

void RegisterDataPipelineClasses() {
    RegisterPipelineClasses();
    RegisterClass(TrpDBPipeline::StaticClassType());
    RegisterClass(TrpChildDBPipeline::StaticClassType());
    RegisterClass(TrpChildDataSource::StaticClassType());
}

void UnregisterDataPipelineClasses() {
    UnRegisterClass(TrpChildDataSource::StaticClassType());
    UnRegisterClass(TrpChildDBPipeline::StaticClassType());
    UnRegisterClass(TrpDBPipeline::StaticClassType());
    UnregisterPipelineClasses();
}

}  // namespace report
