#include "memtable/mtStreamFormat.h"

#include <exception>
#include <typeinfo>

#include "memtable/mtCommon.h"
#include "memtable/mtMemResEng.h"
#include "memtable/mtMemTable.h"

using namespace memtable;

namespace {

constexpr const char* kNoFieldCount = "Couldnt determine field count for load.";

// The table drives formats through this driver; installing it here means a
// program that has any format also has the driver.
const bool kDriverInstalled = [] {
    SetFormatDriver(FormatDriver{
        [](TmtCustomMemTable* Table, TStream* Stream, TmtCustomStreamFormat* Format) {
            Format->SaveTable(Table, Stream);
        },
        [](TmtCustomMemTable* Table, TStream* Stream, TmtCustomStreamFormat* Format) {
            Format->LoadTable(Table, Stream);
        }});
    return true;
}();

// Runs the rest of a restore even when one step fails, then reports the
// first failure (unless another exception is already on its way).
class Steps {
public:
    template <class F>
    void Run(F&& f) {
        try {
            f();
        } catch (...) {
            if (!first_) first_ = std::current_exception();
        }
    }
    // After a failed operation its own error is the one reported.
    void Finish(bool Report) {
        if (first_ && Report) std::rethrow_exception(first_);
    }

private:
    std::exception_ptr first_;
};

}  // namespace

TmtCustomStreamFormat::TmtCustomStreamFormat(TComponent* AOwner)
    : TComponent(AOwner), loadNames_(std::make_unique<TStringList>()) {
    (void)kDriverInstalled;
}

TmtCustomStreamFormat::~TmtCustomStreamFormat() = default;

bool TmtCustomStreamFormat::HasLayout() const { return typeid(*this) != typeid(TmtCustomStreamFormat); }

void TmtCustomStreamFormat::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TmtCustomStreamFormat*>(Source);
    if (other == nullptr) {
        TComponent::Assign(Source);
        return;
    }
    dataFields_ = other->dataFields_;
    calcFields_ = other->calcFields_;
    lookupFields_ = other->lookupFields_;
    nonVisibleFields_ = other->nonVisibleFields_;
    blobFields_ = other->blobFields_;
    filtered_ = other->filtered_;
    ignoreRange_ = other->ignoreRange_;
    ignoreMasterDetail_ = other->ignoreMasterDetail_;
    append_ = other->append_;
    fromStart_ = other->fromStart_;
}

// ---------------------------------------------------------------------------
// Field selection

bool TmtCustomStreamFormat::Takes(TField* Field, TmtFormatFlags Bit) const {
    if (IsBlobFieldType(Field->DataType()) && (blobFields_ & Bit) == 0) return false;
    bool byKind;
    switch (Field->FieldKind()) {
        case fkData:
        case fkInternalCalc: byKind = (dataFields_ & Bit) != 0; break;
        case fkCalculated: byKind = (calcFields_ & Bit) != 0; break;
        case fkLookup: byKind = (lookupFields_ & Bit) != 0; break;
        default: byKind = false; break;
    }
    if (!byKind) return false;
    return Field->Visible() || (nonVisibleFields_ & Bit) != 0;
}

void TmtCustomStreamFormat::DetermineSaveFields(TmtCustomMemTable* DataSet) {
    saveMap_.assign(static_cast<std::size_t>(DataSet->FieldCount()), -1);
    for (int i = 0; i < DataSet->FieldCount(); ++i)
        if (Takes(DataSet->Fields()->Fields(i), mtff1)) saveMap_[static_cast<std::size_t>(i)] = i;
}

void TmtCustomStreamFormat::GetFieldNames(TmtCustomMemTable* DataSet, TStrings* List) {
    List->Clear();
    for (int i = 0; i < DataSet->FieldCount(); ++i) List->Add(DataSet->Fields()->Fields(i)->DisplayName());
}

bool TmtCustomStreamFormat::DetermineLoadFieldIndex(TmtCustomMemTable* DataSet, int Position, int Count,
                                                    int& MapEntry, int Situation) {
    (void)DataSet;
    (void)Position;
    (void)Count;
    (void)MapEntry;
    (void)Situation;
    return false;
}

void TmtCustomStreamFormat::DetermineLoadFields(TmtCustomMemTable* DataSet, int Situation) {
    GetFieldNames(DataSet, loadNames_.get());
    const int count = loadNames_->Count();
    loadMap_.assign(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
        int entry = -1;
        DetermineLoadFieldIndex(DataSet, i, count, entry, Situation);
        // Only a field that exists and whose kind the load flags admit stays.
        if (entry >= 0 && entry < DataSet->FieldCount() && Takes(DataSet->Fields()->Fields(entry), mtff2))
            loadMap_[static_cast<std::size_t>(i)] = entry;
    }
}

// ---------------------------------------------------------------------------
// Saving

void TmtCustomStreamFormat::BeforeSave(TmtCustomMemTable* DataSet) {
    DataSet->DisableControls();
    DataSet->Lock();
    prepared_ = true;
    DataSet->SetCurrentActivity(actSaving);
    DataSet->Progress(0, mtpcSave);
    savedFiltered_ = DataSet->Filtered();
    savedRangeActive_ = DataSet->RangeActive();
    savedMaster_ = DataSet->MasterSource();
    if (savedFiltered_ && (filtered_ & mtff1) != 0) DataSet->SetFiltered(false);
    if (savedMaster_ != nullptr && (ignoreMasterDetail_ & mtff1) != 0) DataSet->SetMasterSource(nullptr);
    // No operation of the table sets a range, so there is none to switch off.
    workStream_ = stream_;
    if (OnCompress) {
        tempStream_ = std::make_unique<TMemoryStream>();
        workStream_ = tempStream_.get();
    }
    if ((append_ & mtff1) != 0) {
        stream_->Seek(0, soEnd);
    } else if ((append_ & mtff2) == 0) {
        stream_->SetSize(0);
        stream_->Seek(0, soBeginning);
    }
    DetermineSaveFields(DataSet);
    DataSet->UpdateIsFiltered();
}

void TmtCustomStreamFormat::Save(TmtCustomMemTable* DataSet) {
    if (BeforeSaveData) BeforeSaveData(this);
    SaveDef(DataSet);
    SaveData(DataSet);
    if (AfterSaveData) AfterSaveData(this);
}

void TmtCustomStreamFormat::AfterSave(TmtCustomMemTable* DataSet) {
    if (OnCompress && tempStream_ != nullptr) {
        tempStream_->Seek(0, soBeginning);
        OnCompress(DataSet, tempStream_.get(), stream_);
    }
    RestoreAfterSave(DataSet, true);
}

void TmtCustomStreamFormat::RestoreAfterSave(TmtCustomMemTable* DataSet, bool Succeeded) {
    if (!prepared_) return;
    prepared_ = false;
    Steps steps;
    steps.Run([&] {
        if (savedMaster_ != nullptr && DataSet->MasterSource() == nullptr) DataSet->SetMasterSource(savedMaster_);
    });
    steps.Run([&] {
        if (DataSet->Filtered() != savedFiltered_) DataSet->SetFiltered(savedFiltered_);
    });
    DataSet->SetCurrentActivity(actNone);
    if (Succeeded) steps.Run([&] { DataSet->Progress(100, mtpcSave); });
    DataSet->Unlock();
    steps.Run([&] { DataSet->UpdateIsFiltered(); });
    DataSet->EnableControls();
    savedMaster_ = nullptr;
    tempStream_.reset();
    workStream_ = nullptr;
    steps.Finish(Succeeded);
}

void TmtCustomStreamFormat::SaveTable(TmtCustomMemTable* DataSet, TStream* Stream) {
    if (DataSet == nullptr || Stream == nullptr) throw EMemTableError(mtres::InvalidArgument);
    if (!HasLayout())
        throw EMemTableError("The base stream format has no data layout and cannot save; use a descendant format.");
    stream_ = Stream;
    try {
        BeforeSave(DataSet);
        Save(DataSet);
        AfterSave(DataSet);
    } catch (...) {
        // The table gets back its lock, controls, filter and master link.
        RestoreAfterSave(DataSet, false);
        stream_ = nullptr;
        throw;
    }
    stream_ = nullptr;
}

// ---------------------------------------------------------------------------
// Loading

void TmtCustomStreamFormat::BeforeLoad(TmtCustomMemTable* DataSet) {
    DataSet->DisableControls();
    DataSet->Lock();
    prepared_ = true;
    DataSet->SetCurrentActivity(actLoading);
    savedPersistent_ = DataSet->Persistent();
    savedEnableIndexes_ = DataSet->EnableIndexes();
    DataSet->SetPersistent(false);
    DataSet->SetEnableIndexes(false);
    savedIgnoreReadOnly_ = DataSet->IgnoreReadOnly();
    savedIgnoreAutoInc_ = DataSet->IgnoreAutoIncPopulation();
    DataSet->SetIgnoreReadOnly(true);
    DataSet->SetIgnoreAutoIncPopulation(true);
    bookmark_.clear();
    if (DataSet->Active() && !DataSet->IsEmpty() && DataSet->AutoReposition()) bookmark_ = DataSet->GetBookmark();
    DataSet->Progress(0, mtpcLoad);
    if (OnDecompress) {
        tempStream_ = std::make_unique<TMemoryStream>();
        if ((fromStart_ & mtff1) != 0) stream_->Seek(0, soBeginning);
        OnDecompress(DataSet, stream_, tempStream_.get());
        tempStream_->Seek(0, soBeginning);
        workStream_ = tempStream_.get();
    } else {
        workStream_ = stream_;
        if ((fromStart_ & mtff1) != 0) workStream_->Seek(0, soBeginning);
    }
    DetermineLoadFields(DataSet, 0);
}

void TmtCustomStreamFormat::Load(TmtCustomMemTable* DataSet) {
    if (BeforeLoadData) BeforeLoadData(this);
    LoadDef(DataSet);
    DetermineLoadFields(DataSet, 1);
    bool mapped = false;
    for (int e : loadMap_) mapped = mapped || e >= 0;
    if (!mapped) throw EMemTableError(kNoFieldCount);
    LoadData(DataSet);
    if (AfterLoadData) AfterLoadData(this);
}

void TmtCustomStreamFormat::AfterLoad(TmtCustomMemTable* DataSet) { RestoreAfterLoad(DataSet, true); }

void TmtCustomStreamFormat::RestoreAfterLoad(TmtCustomMemTable* DataSet, bool Succeeded) {
    if (!prepared_) return;
    prepared_ = false;
    Steps steps;
    DataSet->SetPersistent(savedPersistent_);
    DataSet->SetEnableIndexes(savedEnableIndexes_);
    DataSet->SetIgnoreReadOnly(savedIgnoreReadOnly_);
    DataSet->SetIgnoreAutoIncPopulation(savedIgnoreAutoInc_);
    // Whatever was loaded, also in part, is indexed again.
    steps.Run([&] {
        DataSet->Common()->MarkIndexesDirty();
        DataSet->Common()->RebuildIndexes();
    });
    DataSet->Unlock();
    steps.Run([&] {
        if (!DataSet->Active()) return;
        if (Succeeded && DataSet->AutoReposition() && !bookmark_.empty() && DataSet->BookmarkValid(bookmark_))
            DataSet->GotoBookmark(bookmark_);
        else
            DataSet->First();
    });
    bookmark_.clear();
    DataSet->EnableControls();
    if (Succeeded) steps.Run([&] { DataSet->Progress(100, mtpcLoad); });
    DataSet->SetCurrentActivity(actNone);
    steps.Run([&] {
        if (DataSet->Active()) DataSet->Refresh();
    });
    tempStream_.reset();
    workStream_ = nullptr;
    steps.Finish(Succeeded);
}

void TmtCustomStreamFormat::LoadTable(TmtCustomMemTable* DataSet, TStream* Stream) {
    if (DataSet == nullptr || Stream == nullptr) throw EMemTableError(mtres::InvalidArgument);
    if (!HasLayout())
        throw EMemTableError(std::string(kNoFieldCount) +
                             " The base stream format has no data layout; use a descendant format.");
    stream_ = Stream;
    try {
        BeforeLoad(DataSet);
        Load(DataSet);
        AfterLoad(DataSet);
    } catch (...) {
        RestoreAfterLoad(DataSet, false);
        stream_ = nullptr;
        throw;
    }
    stream_ = nullptr;
}
