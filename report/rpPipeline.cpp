#include "report/rpPipeline.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Strings.h"
#include "report/rpRTTI.h"
#include "report/rpUtils.h"

// ---------------------------------------------------------------------------
// Link range index

int TrpLinkRangeIndex::FirstIndex(int MasterIndex) const {
    auto it = ranges_.find(MasterIndex);
    return it != ranges_.end() && it->second.first >= 0 ? it->second.first : -1;
}

int TrpLinkRangeIndex::LastIndex(int MasterIndex) const {
    auto it = ranges_.find(MasterIndex);
    return it != ranges_.end() && it->second.last >= 0 ? it->second.last : -1;
}

bool TrpLinkRangeIndex::NoDetail(int MasterIndex) const {
    auto it = ranges_.find(MasterIndex);
    return it != ranges_.end() && it->second.first == kNoDetail && it->second.last == kNoDetail;
}

void TrpLinkRangeIndex::SetFirst(int MasterIndex, int DetailIndex) {
    if (MasterIndex < 0) return;
    Range& r = ranges_[MasterIndex];
    if (r.last == kNoDetail) r.last = -1;
    r.first = DetailIndex;
}

void TrpLinkRangeIndex::SetLast(int MasterIndex, int DetailIndex) {
    if (MasterIndex < 0) return;
    Range& r = ranges_[MasterIndex];
    if (r.first == kNoDetail) r.first = -1;
    r.last = DetailIndex;
}

void TrpLinkRangeIndex::SetNoDetail(int MasterIndex) {
    if (MasterIndex < 0) return;
    ranges_[MasterIndex] = Range{kNoDetail, kNoDetail};
}

// ---------------------------------------------------------------------------
// Link order reports

namespace {

TrpLinkOrderReporter& LinkOrderReporter() {
    static TrpLinkOrderReporter reporter;
    return reporter;
}

}  // namespace

TrpLinkOrderReporter rpSetLinkOrderReporter(TrpLinkOrderReporter Reporter) {
    TrpLinkOrderReporter previous = std::move(LinkOrderReporter());
    LinkOrderReporter() = std::move(Reporter);
    return previous;
}

// ---------------------------------------------------------------------------
// Class information

TClass TrpDataPipeline::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpDataPipeline>("TrpDataPipeline", TrpRelative::StaticClassType())
            .Event("AfterClose", &TrpDataPipeline::AfterClose)
            .Event("AfterOpen", &TrpDataPipeline::AfterOpen)
            .Event("BeforeClose", &TrpDataPipeline::BeforeClose)
            .Event("BeforeOpen", &TrpDataPipeline::BeforeOpen)
            .Event("OnDataChange", &TrpDataPipeline::OnDataChange)
            .Event("OnFirst", &TrpDataPipeline::OnFirst)
            .Event("OnGotoBookmark", &TrpDataPipeline::OnGotoBookmark)
            .Event("OnLast", &TrpDataPipeline::OnLast)
            .Event("OnMasterRecordPositionChange", &TrpDataPipeline::OnMasterRecordPositionChange)
            .Event("OnNext", &TrpDataPipeline::OnNext)
            .Event("OnPrior", &TrpDataPipeline::OnPrior)
            .Event("OnRecordPositionChange", &TrpDataPipeline::OnRecordPositionChange)
            .Event("OnTraversal", &TrpDataPipeline::OnTraversal)
            .Integer("MoveBy", &TrpDataPipeline::MoveBy, &TrpDataPipeline::SetMoveBy, 1)
            .Enum("RangeBegin", rpTypeInfo<TrpRangeBeginType>(), &TrpDataPipeline::RangeBegin,
                  &TrpDataPipeline::SetRangeBegin, rbFirstRecord)
            .Enum("RangeEnd", rpTypeInfo<TrpRangeEndType>(), &TrpDataPipeline::RangeEnd,
                  &TrpDataPipeline::SetRangeEnd, reLastRecord)
            .Integer("RangeEndCount", &TrpDataPipeline::RangeEndCount, &TrpDataPipeline::SetRangeEndCount, 0)
            .Boolean("SkipWhenNoRecords", &TrpDataPipeline::SkipWhenNoRecords,
                     &TrpDataPipeline::SetSkipWhenNoRecords, 1)
            .Boolean("Visible", &TrpDataPipeline::Visible, &TrpDataPipeline::SetVisible, 1)
            .String("UserName", &TrpDataPipeline::GetUserName, &TrpDataPipeline::SetUserName)
            .Build();
    return &info;
}

TrpDataPipeline::TrpDataPipeline(TComponent* AOwner) : TrpRelative(AOwner) {}

TrpDataPipeline::~TrpDataPipeline() {
    destroying_ = true;
    details_.clear();
    if (master_ != nullptr) {
        master_->RemoveEventNotify(this);
        RemoveNotify(master_);
        master_ = nullptr;
    }
}

// ---------------------------------------------------------------------------
// Properties

bool TrpDataPipeline::IsLoadingOrReading() const { return rpIsLoading(this); }

void TrpDataPipeline::SetMoveBy(int Value) {
    if (Value == 0 || Value == moveBy_) return;
    moveBy_ = Value;
    DataChange();
}

void TrpDataPipeline::SetRangeBegin(TrpRangeBeginType Value) {
    rangeBegin_ = Value;
    RangeChanged();
}

void TrpDataPipeline::SetRangeEnd(TrpRangeEndType Value) {
    rangeEnd_ = Value;
    RangeChanged();
}

// A stored MoveBy is kept as read; set in code, the ends give the direction.
void TrpDataPipeline::RangeChanged() {
    if (IsLoadingOrReading()) return;
    const bool backwards = rangeEnd_ == reFirstRecord || (rangeBegin_ == rbLastRecord && rangeEnd_ != reLastRecord);
    moveBy_ = backwards ? -1 : 1;
    DataChange();
}

void TrpDataPipeline::SetRangeEndCount(int Value) {
    if (Value < 0 || Value == rangeEndCount_) return;
    rangeEndCount_ = Value;
    DataChange();
}

void TrpDataPipeline::SetSkipWhenNoRecords(bool Value) {
    if (Value == skipWhenNoRecords_) return;
    skipWhenNoRecords_ = Value;
    DataChange();
}

bool TrpDataPipeline::WouldCycle(TrpDataPipeline* Master) const {
    for (const TrpDataPipeline* p = Master; p != nullptr; p = p->master_)
        if (p == this) return true;
    return false;
}

void TrpDataPipeline::SetMasterDataPipeline(TrpDataPipeline* Value) {
    if (Value == master_ || Value == this || WouldCycle(Value)) return;
    if (master_ != nullptr) {
        FreeLinks();
        master_->RemoveEventNotify(this);
        RemoveNotify(master_);
    }
    master_ = Value;
    if (master_ != nullptr) {
        AddNotify(master_);
        master_->AddEventNotify(this);
        EventSet().set(rpevRecordPositionChange);
    }
    ResetLinkState(false);
}

void TrpDataPipeline::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpRelative::Notify(Communicator, Operation);
    if (Operation != rpopFreeing || Communicator == nullptr) return;
    if (Communicator == master_) {
        master_ = nullptr;
        if (!destroying_) {
            FreeLinks();
            ResetLinkState(false);
        }
    }
    details_.erase(std::remove(details_.begin(), details_.end(), Communicator), details_.end());
}

void TrpDataPipeline::EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) {
    TrpRelative::EventNotify(Sender, EventNumber, Params);
    if (EventNumber == rpevRecordPositionChange && Sender != nullptr && Sender == master_)
        MasterRecordPositionChange();
}

void TrpDataPipeline::DefineProperties(TFiler* Filer) {
    TrpRelative::DefineProperties(Filer);
    Filer->DefineProperty(
        "MasterDataPipelineName", [this](TReader* r) { pendingMasterName_ = r->ReadString(); },
        [this](TWriter* w) { w->WriteString(master_->Name()); }, master_ != nullptr);
    // Older streams name the open and close handlers differently.
    Filer->DefineProperty(
        "OnOpen",
        [this](TReader* r) {
            const std::string name = r->ReadIdent();
            if (const std::any* h = r->FindMethod(r->Root(), name))
                if (auto* fn = std::any_cast<TNotifyEvent>(h)) AfterOpen = *fn;
        },
        nullptr, false);
    Filer->DefineProperty(
        "OnClose",
        [this](TReader* r) {
            const std::string name = r->ReadIdent();
            if (const std::any* h = r->FindMethod(r->Root(), name))
                if (auto* fn = std::any_cast<TNotifyEvent>(h)) AfterClose = *fn;
        },
        nullptr, false);
}

void TrpDataPipeline::ReadState(TReader* Reader) { TrpRelative::ReadState(Reader); }

void TrpDataPipeline::Loaded() {
    TrpRelative::Loaded();
    ResolveMasterName(Owner());
}

void TrpDataPipeline::ResolveMasterName(TComponent* Owner) {
    if (pendingMasterName_.empty() || Owner == nullptr) return;
    TrpDataPipelineList list(this);
    TrpDataPipeline* p = list.FindPipeline(pendingMasterName_);
    if (p == nullptr) p = dynamic_cast<TrpDataPipeline*>(Owner->FindComponent(pendingMasterName_));
    if (p != nullptr) {
        pendingMasterName_.clear();
        SetMasterDataPipeline(p);
    }
}

// ---------------------------------------------------------------------------
// Pipeline list

TrpDataPipelineList::TrpDataPipelineList(TComponent* Component) {
    Clear();
    TComponent* owner = Component != nullptr ? Component->Owner() : nullptr;
    if (owner == nullptr) return;
    for (int i = 0; i < owner->ComponentCount(); ++i) {
        auto* p = dynamic_cast<TrpDataPipeline*>(owner->Components(i));
        if (p == nullptr || !p->Visible()) continue;
        bool listed = false;
        for (int j = 0; j < Count() && !listed; ++j) listed = Objects(j) == p;
        if (!listed) AddObject(p->UserName(), p);
    }
}

TrpDataPipeline* TrpDataPipelineList::Pipelines(int Index) const {
    return Index >= 0 && Index < Count() ? static_cast<TrpDataPipeline*>(Objects(Index)) : nullptr;
}

TrpDataPipeline* TrpDataPipelineList::FindPipeline(const std::string& ComponentName) const {
    for (int i = 0; i < Count(); ++i)
        if (AnsiSameText(Pipelines(i)->Name(), ComponentName)) return Pipelines(i);
    return nullptr;
}

// ---------------------------------------------------------------------------
// Events and state

void TrpDataPipeline::Fire(const TNotifyEvent& Handler, int EventNumber) {
    if (Handler) Handler(this);
    SendEventNotify(this, EventNumber, nullptr);
}

bool TrpDataPipeline::HasRecord() const { return Active() && (states_ & rppsNoRecords) == 0; }

std::string TrpDataPipeline::GetFieldAsString(const std::string& FieldName) {
    return VarToStr(GetFieldValue(FieldName));
}

void TrpDataPipeline::UpdateStates() {
    states_ = 0;
    if (destroying_ || !Active()) return;
    const bool bof = Bof();
    const bool eof = Eof();
    if (bof && eof)
        states_ = rppsNoRecords;
    else if (bof)
        states_ = rppsFirstRecord;
    else if (eof)
        states_ = rppsLastRecord;
}

void TrpDataPipeline::DataChange() {
    if (IsLoadingOrReading() || destroying_ || FreeingChildren() || buildingFields_ || moving_) return;
    // A linked search passes records that are not the detail's: states
    // taken there would stick (a detail marked empty on its first match).
    if (IsLinked() && !linkReady_) return;
    UpdateStates();
    SendNotify(this, rpopPipelineChanged);
    Fire(OnDataChange, rpevDataChange);
}

void TrpDataPipeline::RecordPositionChange() {
    if (IsLinked() && !linkReady_) return;
    Fire(OnRecordPositionChange, rpevRecordPositionChange);
}

void TrpDataPipeline::MasterRecordPositionChange() {
    Fire(OnMasterRecordPositionChange, rpevMasterRecordPositionChange);
    if (IsLinked()) {
        if (!Active()) return;
        states_ = 0;
        noMatch_ = false;
        First();
    } else if (master_ != nullptr) {
        UpdateStates();
    }
}

void TrpDataPipeline::Traversal() { Fire(OnTraversal, rpevTraversal); }

// ---------------------------------------------------------------------------
// Open and close

void TrpDataPipeline::Open() {
    if (BeforeOpen) BeforeOpen(this);
    SendEventNotify(this, rpevBeforeOpen, nullptr);
    OpenData();
    if (IsLinked() && Active() && linkRanges_ == nullptr) ResetLinkState(true);
    UpdateStates();
    Fire(AfterOpen, rpevAfterOpen);
}

void TrpDataPipeline::Close() {
    // Closing the data may come back here through the data's own notice.
    if (closing_) return;
    closing_ = true;
    try {
        if (BeforeClose) BeforeClose(this);
        SendEventNotify(this, rpevBeforeClose, nullptr);
        CloseData();
        states_ = 0;
        recordIndex_ = -1;
        ResetLinkState(false);
        DataChange();
        Fire(AfterClose, rpevAfterClose);
    } catch (...) {
        closing_ = false;
        throw;
    }
    closing_ = false;
}

// ---------------------------------------------------------------------------
// Bookmarks

int TrpDataPipeline::CompareBookmarks(int A, int B) { return A < B ? -1 : (A > B ? 1 : 0); }

void TrpDataPipeline::FreeAllBookmarks() {
    rangeBookmark_ = 0;
    bookmarkList_.clear();
}

void TrpDataPipeline::GotoBookmark(int Bookmark) {
    DataGotoBookmark(Bookmark);
    Fire(OnGotoBookmark, rpevGotoBookmark);
    RecordPositionChange();
}

int TrpDataPipeline::CompareWithRangeBookmark() {
    const int current = GetBookmark();
    const int r = current != 0 ? CompareBookmarks(current, rangeBookmark_) : 0;
    if (current != 0) FreeBookmark(current);
    return r;
}

// ---------------------------------------------------------------------------
// Moving

void TrpDataPipeline::MoveDataBy(int N) {
    moving_ = true;
    int moved = 0;
    try {
        if (N == 0 && recordIndex_ == 0) DataFirst();
        moved = std::abs(DataMoveBy(N));
    } catch (...) {
        moving_ = false;
        throw;
    }
    if ((moveBy_ >= 0 && N < 1) || (moveBy_ < 0 && N > 0))
        recordIndex_ -= moved;
    else
        recordIndex_ += moved;
    moving_ = false;
    DataChange();
    RecordPositionChange();
}

void TrpDataPipeline::GoFirstOfData() {
    DataFirst();
    RecordPositionChange();
}

void TrpDataPipeline::GoLastOfData() {
    DataLast();
    RecordPositionChange();
}

void TrpDataPipeline::StepForward() {
    if (!bookmarkList_.empty()) {
        ++traversalCount_;
        ++recordIndex_;
        if (traversalCount_ < static_cast<int>(bookmarkList_.size()))
            GotoBookmark(bookmarkList_[static_cast<std::size_t>(traversalCount_)]);
    } else if (IsLinked()) {
        LinkedMoveBy(moveBy_);
    } else {
        MoveDataBy(moveBy_);
    }
}

void TrpDataPipeline::StepBackward() {
    if (!bookmarkList_.empty()) {
        if (traversalCount_ > 0) {
            --traversalCount_;
            --recordIndex_;
            GotoBookmark(bookmarkList_[static_cast<std::size_t>(traversalCount_)]);
        }
    } else if (IsLinked()) {
        LinkedMoveBy(-moveBy_);
    } else {
        MoveDataBy(-moveBy_);
    }
}

void TrpDataPipeline::SkipForward() {
    while (!DetailsPresent() && !Eof()) {
        const int before = recordIndex_;
        const int count = traversalCount_;
        StepForward();
        dataTraversed_ = true;
        // A step that went nowhere would loop for ever.
        if (recordIndex_ == before && traversalCount_ == count) break;
    }
}

void TrpDataPipeline::SkipBackward() {
    while (!DetailsPresent() && !Bof()) {
        const int before = recordIndex_;
        const int count = traversalCount_;
        StepBackward();
        if (recordIndex_ == before && traversalCount_ == count) break;
    }
}

bool TrpDataPipeline::DetailsPresent() {
    if (details_.empty()) return true;
    for (TrpDataPipeline* d : details_) {
        if ((d->states_ & rppsNoRecords) != 0) continue;
        if (!d->IsLinked() || d->LinkComparison() == 0) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Traversal

bool TrpDataPipeline::NoRecordsToWalk() {
    if (IsLinked() || !bookmarkList_.empty()) return (states_ & rppsNoRecords) != 0;
    // The state set of an unlinked pipeline may come from an earlier walk
    // (its count, its traversal mark) or from a position the data was moved
    // to from outside: only empty data means there is nothing to walk.
    if (DataBof() && DataEof()) {
        states_ = rppsNoRecords;
        return true;
    }
    return false;
}

void TrpDataPipeline::First() {
    dataTraversed_ = false;
    traversalCount_ = 0;
    const bool linked = IsLinked();
    if (!linked) recordIndex_ = 0;
    if (NoRecordsToWalk()) return;
    if (!bookmarkList_.empty()) {
        GotoBookmark(bookmarkList_.front());
    } else {
        switch (rangeBegin_) {
            case rbFirstRecord:
                if (linked)
                    LinkedFirst();
                else
                    GoFirstOfData();
                SkipForward();
                break;
            case rbLastRecord:
                if (linked)
                    LinkedLast();
                else
                    GoLastOfData();
                SkipBackward();
                break;
            case rbCurrentRecord:
                if (rangeBookmark_ != 0) GotoBookmark(rangeBookmark_);
                break;
        }
    }
    if (linked) {
        if ((states_ & rppsNoRecords) == 0) states_ = DetailsPresent() ? rppsFirstRecord : rppsNoRecords;
    } else if (!Eof()) {
        UpdateStates();
        states_ |= rppsFirstRecord;
    } else {
        states_ = rppsNoRecords;
    }
    Fire(OnFirst, rpevFirst);
}

void TrpDataPipeline::Next() {
    if (bookmarkList_.empty()) {
        const bool bothCurrent = rangeBegin_ == rbCurrentRecord && rangeEnd_ == reCurrentRecord;
        if (!Eof() && !bothCurrent) {
            if (IsLinked())
                LinkedMoveBy(moveBy_);
            else
                MoveDataBy(moveBy_);
        }
        dataTraversed_ = true;
        ++traversalCount_;
    } else {
        ++traversalCount_;
        ++recordIndex_;
        if (traversalCount_ < static_cast<int>(bookmarkList_.size()))
            GotoBookmark(bookmarkList_[static_cast<std::size_t>(traversalCount_)]);
    }
    SkipForward();
    UpdateStates();
    Fire(OnNext, rpevNext);
}

void TrpDataPipeline::Prior() {
    if (bookmarkList_.empty()) {
        const bool bothCurrent = rangeBegin_ == rbCurrentRecord && rangeEnd_ == reCurrentRecord;
        if (!Bof() && !bothCurrent) {
            if (IsLinked())
                LinkedMoveBy(-moveBy_);
            else
                MoveDataBy(-moveBy_);
        }
        --traversalCount_;
    } else if (traversalCount_ > 0) {
        --traversalCount_;
        --recordIndex_;
        GotoBookmark(bookmarkList_[static_cast<std::size_t>(traversalCount_)]);
    }
    SkipBackward();
    UpdateStates();
    Fire(OnPrior, rpevPrior);
}

void TrpDataPipeline::Last() {
    const bool linked = IsLinked();
    if (!linked && learnedCount_ >= 1) recordIndex_ = learnedCount_;
    if (NoRecordsToWalk()) return;
    if (!bookmarkList_.empty()) {
        traversalCount_ = static_cast<int>(bookmarkList_.size()) - 1;
        recordIndex_ = traversalCount_;
        GotoBookmark(bookmarkList_.back());
    } else {
        switch (rangeEnd_) {
            case reFirstRecord:
                if (linked)
                    LinkedFirst();
                else
                    GoFirstOfData();
                SkipForward();
                break;
            case reLastRecord:
                if (linked)
                    LinkedLast();
                else
                    GoLastOfData();
                SkipBackward();
                break;
            case reCurrentRecord:
                if (rangeBookmark_ != 0) GotoBookmark(rangeBookmark_);
                break;
            case reCount:
                First();
                // Stops at the end of the data too: a count beyond the
                // records would otherwise step in place that many times.
                while (traversalCount_ < rangeEndCount_) {
                    const bool atEnd = moveBy_ < 0 ? (linked ? LinkedBof() : DataBof())
                                                   : (linked ? LinkedEof() : DataEof());
                    if (atEnd) break;
                    Next();
                }
                break;
        }
    }
    UpdateStates();
    states_ |= rppsLastRecord;
    Fire(OnLast, rpevLast);
}

bool TrpDataPipeline::Bof() const { return const_cast<TrpDataPipeline*>(this)->ComputeBof(); }

bool TrpDataPipeline::Eof() const { return const_cast<TrpDataPipeline*>(this)->ComputeEof(); }

bool TrpDataPipeline::ComputeBof() {
    if (!bookmarkList_.empty()) return traversalCount_ == 0;
    if (IsLinked()) {
        if (noMatch_) return true;
        switch (rangeBegin_) {
            case rbFirstRecord: return LinkedBof();
            case rbLastRecord: return LinkedEof();
            case rbCurrentRecord: return !dataTraversed_;
        }
        return true;
    }
    switch (rangeBegin_) {
        case rbFirstRecord: return DataBof();
        case rbLastRecord: return DataEof();
        case rbCurrentRecord:
            if (dataTraversed_ || rangeEnd_ == reCurrentRecord || DataBof()) return !dataTraversed_;
            if (moveBy_ < 1) return CompareWithRangeBookmark() >= 0;
            return CompareWithRangeBookmark() <= 0;
    }
    return true;
}

bool TrpDataPipeline::ComputeEof() {
    if (!bookmarkList_.empty()) return traversalCount_ >= static_cast<int>(bookmarkList_.size());
    bool result = true;
    if (IsLinked()) {
        if (noMatch_) return true;
        switch (rangeEnd_) {
            case reFirstRecord: return LinkedBof();
            case reLastRecord: return LinkedEof();
            case reCurrentRecord: return traversalCount_ == 1;
            case reCount:
                if (traversalCount_ >= rangeEndCount_) return true;
                return moveBy_ < 0 ? LinkedBof() : LinkedEof();
        }
        return true;
    }
    switch (rangeEnd_) {
        case reFirstRecord: result = DataBof(); break;
        case reLastRecord: result = DataEof(); break;
        case reCurrentRecord:
            result = dataTraversed_ || (DataBof() && DataEof());
            // The end of the data in the direction of travel ends the range
            // too: walking backwards onto the range bookmark's record when it
            // is the first one would otherwise step in place for ever.
            if (dataTraversed_ && rangeBegin_ != rbCurrentRecord && !(moveBy_ < 1 ? DataBof() : DataEof()))
                result = moveBy_ < 1 ? CompareWithRangeBookmark() < 0 : CompareWithRangeBookmark() > 0;
            break;
        case reCount:
            if (traversalCount_ >= rangeEndCount_)
                result = true;
            else
                result = moveBy_ < 0 ? DataBof() : DataEof();
            break;
    }
    if (result && learnedCount_ == -1 && Active()) learnedCount_ = recordIndex_;
    return result;
}

// ---------------------------------------------------------------------------
// Linking

void TrpDataPipeline::ResetLinkState(bool MakeIndex) {
    comparedDetailIndex_ = -1;
    comparedMasterIndex_ = -1;
    comparison_ = 0;
    noMatch_ = false;
    linkReady_ = true;
    if (MakeIndex)
        linkRanges_ = std::make_unique<TrpLinkRangeIndex>();
    else
        linkRanges_.reset();
}

void TrpDataPipeline::PrepareTraversal(const std::vector<TrpDataPipeline*>& Pipelines) {
    if (IsLinked()) {
        DataFirst();
        recordIndex_ = 0;
        // The states of the last master's walk (no records) go with its
        // link state: kept, they would hide the next master's details or
        // show the last ones again.
        states_ = 0;
        ResetLinkState(true);
    }
    dataTraversed_ = false;
    learnedCount_ = -1;
    // A detail is linked to its master for notification already (it set
    // the master), so the list itself adds no link.
    details_.clear();
    hasDetails_ = false;
    bool allSkip = true;
    for (TrpDataPipeline* p : Pipelines) {
        if (p == nullptr || p == this || p->master_ != this) continue;
        if (std::find(details_.begin(), details_.end(), p) != details_.end()) continue;
        details_.push_back(p);
        if (!p->skipWhenNoRecords_) allSkip = false;
    }
    if (!allSkip) {
        details_.clear();
    } else {
        hasDetails_ = !details_.empty();
    }
}

int TrpDataPipeline::LinkComparison() {
    if (master_ == nullptr) return 0;
    const int d = recordIndex_;
    const int m = master_->recordIndex_;
    if (d != comparedDetailIndex_ || m != comparedMasterIndex_ || d == 0 || m == 0) {
        comparison_ = CompareWithMaster();
        comparedDetailIndex_ = d;
        comparedMasterIndex_ = m;
    }
    return comparison_;
}

Variant TrpDataPipeline::ReadMasterValue(const std::string& FieldName) {
    if (master_ == nullptr) return Null();
    const std::uint8_t saved = master_->states_;
    master_->states_ = 0;
    Variant v;
    try {
        v = master_->GetFieldValue(FieldName);
    } catch (...) {
        master_->states_ = saved;
        throw;
    }
    master_->states_ = saved;
    return v;
}

void TrpDataPipeline::CheckLinkOrder(int Before, int After, bool Forward) {
#ifndef NDEBUG
    // Stepping forward the comparison may only grow, backwards only shrink;
    // otherwise a detail row stands where the search will never look.
    const bool outOfOrder = Forward ? After < Before : After > Before;
    if (!outOfOrder) return;
    const std::string message = "TrpDataPipeline.LinkedSearch: detail records of " + Name() +
                                " are not in the order of the link with " +
                                (master_ != nullptr ? master_->Name() : std::string()) + "; records are skipped";
    if (LinkOrderReporter())
        LinkOrderReporter()(this, message);
    else
        std::cerr << message << '\n';
#else
    (void)Before;
    (void)After;
    (void)Forward;
#endif
}

bool TrpDataPipeline::DataAtEnd(int Direction) const { return Direction < 0 ? DataBof() : DataEof(); }

void TrpDataPipeline::LinkedFirst() { LinkedEdge(false); }

void TrpDataPipeline::LinkedLast() { LinkedEdge(true); }

// Finds the first (or last) detail record of the master's key. Seen from
// the end sought, "before the key" is a negative comparison for the first
// record and a positive one for the last: Side turns the one into the other.
void TrpDataPipeline::LinkedEdge(bool ToLast) {
    if (!linkReady_) return;
    linkReady_ = false;
    const int side = ToLast ? -1 : 1;
    // Away from the data past the edge sought: back for the first record.
    const int outward = ToLast ? 1 : -1;
    try {
        const bool masterEmpty = master_ == nullptr || (master_->states_ & rppsNoRecords) != 0;
        if (!masterEmpty) {
            const int mi = master_->recordIndex_;
            bool known = false;
            if (linkRanges_ != nullptr) {
                const int edge = ToLast ? linkRanges_->LastIndex(mi) : linkRanges_->FirstIndex(mi);
                if (edge >= 0) {
                    MoveDataBy(edge - recordIndex_);
                    known = true;
                } else if (linkRanges_->NoDetail(mi)) {
                    known = true;
                }
            }
            if (!known) {
                int c = LinkComparison();
                auto step = [&](int Direction) {
                    MoveDataBy(Direction);
                    const int n = LinkComparison();
                    CheckLinkOrder(c, n, Direction > 0);
                    c = n;
                };
                if (side * c >= 0) {
                    while (!DataAtEnd(outward) && side * c >= 0) step(outward);
                    if (side * c < 0) {
                        MoveDataBy(-outward);
                        c = LinkComparison();
                    } else if (side * c > 0) {
                        MoveDataBy(outward);
                        c = LinkComparison();
                    }
                }
                if (side * c < 0)
                    while (!DataAtEnd(-outward) && side * c < 0) step(-outward);
                if (linkRanges_ != nullptr) {
                    if (c != 0)
                        linkRanges_->SetNoDetail(mi);
                    else if (ToLast)
                        linkRanges_->SetLast(mi, recordIndex_);
                    else
                        linkRanges_->SetFirst(mi, recordIndex_);
                }
            }
        }
        noMatch_ = masterEmpty || LinkComparison() != 0;
        if (noMatch_) UpdateStates();
    } catch (...) {
        linkReady_ = true;
        throw;
    }
    linkReady_ = true;
    if (!ToLast || !noMatch_) RecordPositionChange();
}

void TrpDataPipeline::LinkedMoveBy(int N) {
    const bool forward = N > 0;
    const int steps = std::abs(N);
    for (int i = 0; i < steps; ++i) {
        if (forward ? LinkedEof() : LinkedBof()) break;
        const int before = LinkComparison();
        MoveDataBy(forward ? 1 : -1);
        CheckLinkOrder(before, LinkComparison(), forward);
    }
    if (linkRanges_ == nullptr || master_ == nullptr) return;
    const int mi = master_->recordIndex_;
    if (forward && LinkedEof())
        linkRanges_->SetLast(mi, DataEof() ? recordIndex_ : recordIndex_ - 1);
    else if (!forward && LinkedBof())
        linkRanges_->SetFirst(mi, DataBof() ? recordIndex_ : recordIndex_ + 1);
}

bool TrpDataPipeline::LinkedBof() {
    if (master_ == nullptr || (master_->states_ & rppsNoRecords) != 0) return true;
    const int f = linkRanges_ != nullptr ? linkRanges_->FirstIndex(master_->recordIndex_) : -1;
    if (DataBof() || noMatch_) return true;
    if (f >= 0) return recordIndex_ < f;
    return LinkComparison() < 0;
}

bool TrpDataPipeline::LinkedEof() {
    if (master_ == nullptr || (master_->states_ & rppsNoRecords) != 0) return true;
    const int l = linkRanges_ != nullptr ? linkRanges_->LastIndex(master_->recordIndex_) : -1;
    if (DataEof() || noMatch_) return true;
    if (l >= 0) return recordIndex_ > l;
    return LinkComparison() > 0;
}

// ---------------------------------------------------------------------------
// Saved positions

TrpDataPipeline::Position TrpDataPipeline::SavePosition() {
    Position p;
    p.States = states_;
    p.DataTraversed = dataTraversed_;
    p.NoMatch = noMatch_;
    p.TraversalCount = traversalCount_;
    p.RecordIndex = recordIndex_;
    if (Active()) p.Bookmark = GetBookmark();
    p.HasBookmark = p.Bookmark != 0;
    return p;
}

void TrpDataPipeline::RestorePosition(const Position& P) {
    if (!Active()) return;
    if (P.HasBookmark && BookmarkValid(P.Bookmark)) {
        moving_ = true;
        try {
            DataGotoBookmark(P.Bookmark);
        } catch (...) {
            moving_ = false;
            throw;
        }
        moving_ = false;
    }
    states_ = P.States;
    dataTraversed_ = P.DataTraversed;
    traversalCount_ = P.TraversalCount;
    recordIndex_ = P.RecordIndex;
    noMatch_ = P.NoMatch;
    linkReady_ = true;
}

TrpPipelinePositions::TrpPipelinePositions(const std::vector<TrpDataPipeline*>& Pipelines) {
    for (TrpDataPipeline* p : Pipelines) {
        if (p == nullptr || !p->Active()) continue;
        bool seen = false;
        for (const Saved& s : saved_) seen = seen || s.pipeline == p;
        if (seen) continue;
        int depth = 0;
        for (TrpDataPipeline* m = p->MasterDataPipeline(); m != nullptr; m = m->MasterDataPipeline()) ++depth;
        saved_.push_back(Saved{p, p->GetBookmark(), p->states_, p->dataTraversed_, p->traversalCount_,
                               p->recordIndex_, p->noMatch_, depth});
    }
    std::stable_sort(saved_.begin(), saved_.end(), [](const Saved& a, const Saved& b) { return a.depth < b.depth; });
}

TrpPipelinePositions::~TrpPipelinePositions() { Release(); }

void TrpPipelinePositions::Restore() {
    for (const Saved& s : saved_) {
        TrpDataPipeline* p = s.pipeline;
        if (!p->Active()) continue;
        if (s.bookmark != 0 && p->BookmarkValid(s.bookmark)) {
            p->moving_ = true;
            try {
                p->DataGotoBookmark(s.bookmark);
            } catch (...) {
                p->moving_ = false;
                throw;
            }
            p->moving_ = false;
        }
        p->states_ = s.states;
        p->dataTraversed_ = s.dataTraversed;
        p->traversalCount_ = s.traversalCount;
        p->recordIndex_ = s.recordIndex;
        p->noMatch_ = s.noMatch;
        p->linkReady_ = true;
    }
}

void TrpPipelinePositions::Release() {
    for (Saved& s : saved_) {
        if (s.bookmark != 0) s.pipeline->FreeBookmark(s.bookmark);
        s.bookmark = 0;
    }
}
