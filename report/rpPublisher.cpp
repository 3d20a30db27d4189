#include "report/rpPublisher.h"

#include <algorithm>

#include "platform/rtl/Strings.h"
#include "report/rpRTTI.h"

TClass TrpPublisher::StaticClassType() {
    static const TClassInfo info =
        TClassBuilder<TrpPublisher>("TrpPublisher", TrpCommunicator::StaticClassType()).Build();
    return &info;
}

TrpPublisher::TrpPublisher(TComponent* AOwner)
    : TrpCommunicator(AOwner), request_(std::make_unique<TrpPageRequest>()) {}

TrpPublisher::~TrpPublisher() {
    // The devices stay; they only lose their publisher.
    const std::vector<TrpDevice*> devices = devices_;
    for (auto& [name, group] : groups_)
        for (TrpDevice* d : group)
            if (d->publisher_ == this) d->publisher_ = nullptr;
    for (TrpDevice* d : devices)
        if (d->publisher_ == this) {
            d->publisher_ = nullptr;
            if (d->OnPublisherChange) d->OnPublisherChange(d);
        }
    devices_.clear();
    groups_.clear();
}

void TrpPublisher::AddDevice(TrpDevice* Device) {
    Guard g(lock_);
    if (Device == nullptr) return;
    for (const auto& [name, group] : groups_)
        if (std::find(group.begin(), group.end(), Device) != group.end()) return;
    if (std::find(devices_.begin(), devices_.end(), Device) != devices_.end()) return;
    if (Device->Exclusive()) {
        std::vector<TrpDevice*>& group = groups_[Device->ExclusiveGroup()];
        if (!group.empty()) devices_.erase(std::remove(devices_.begin(), devices_.end(), group.front()), devices_.end());
        group.insert(group.begin(), Device);
    }
    devices_.push_back(Device);
    AddNotify(Device);
}

void TrpPublisher::RemoveDevice(TrpDevice* Device) {
    Guard g(lock_);
    if (Device == nullptr) return;
    devices_.erase(std::remove(devices_.begin(), devices_.end(), Device), devices_.end());
    if (Device->Exclusive()) {
        auto it = groups_.find(Device->ExclusiveGroup());
        if (it != groups_.end()) {
            std::vector<TrpDevice*>& group = it->second;
            const bool wasFirst = !group.empty() && group.front() == Device;
            group.erase(std::remove(group.begin(), group.end(), Device), group.end());
            if (wasFirst && !group.empty()) devices_.push_back(group.front());
            if (group.empty()) groups_.erase(it);
        }
    }
    RemoveNotify(Device);
}

void TrpPublisher::Notify(TrpCommunicator* Communicator, int Operation) {
    TrpCommunicator::Notify(Communicator, Operation);
    if (Operation != rpopFreeing) return;
    if (auto* d = dynamic_cast<TrpDevice*>(Communicator)) {
        if (d->publisher_ == this) {
            RemoveDevice(d);
            d->publisher_ = nullptr;
        }
    }
}

TrpDevice* TrpPublisher::Devices(int Index) const {
    if (Index < 0 || Index >= DeviceCount()) return nullptr;
    return devices_[static_cast<std::size_t>(Index)];
}

void TrpPublisher::Dispatch(int Code, TrpPage* Page) {
    Guard g(lock_);
    // A device may connect or leave from inside its own call: walk a copy
    // and skip any that is gone by the time its turn comes.
    const std::vector<TrpDevice*> snapshot = devices_;
    for (TrpDevice* d : snapshot) {
        if (std::find(devices_.begin(), devices_.end(), d) == devices_.end()) continue;
        if (!d->Active()) continue;
        switch (Code) {
            case rpdcCancelJob:
                // A device that already has every page it asked for is
                // done, not cancelled; left alone it would stay busy and
                // ignore the next job's start.
                if (d->Waiting())
                    d->CancelJob();
                else if (d->Busy())
                    d->EndJob();
                break;
            case rpdcEndJob: d->EndJob(); break;
            case rpdcCollectRequests:
                if (d->Waiting()) {
                    if (d->OnPageRequest) d->OnPageRequest(d);
                    AddPageRequest(d->PageRequest());
                }
                break;
            case rpdcReceivePage:
                if (d->Waiting()) d->ReceivePage(Page);
                break;
            case rpdcStartJob: d->StartJob(); break;
            case rpdcReset: d->Reset(); break;
            default: break;
        }
    }
}

void TrpPublisher::EndJob() {
    Guard g(lock_);
    jobRunning_ = false;
    splitBefore_.clear();
    Dispatch(rpdcEndJob, nullptr);
    freshRequest_ = true;
    request_->Reset();
}

void TrpPublisher::SplitJob() {
    Guard g(lock_);
    if (!jobRunning_) return;
    const std::vector<TrpDevice*> snapshot = devices_;
    for (TrpDevice* d : snapshot) {
        if (std::find(devices_.begin(), devices_.end(), d) == devices_.end()) continue;
        if (!d->Active() || !d->Busy() || !d->HasPrinter()) continue;
        d->EndJob();
        d->StartJob();
    }
}

void TrpPublisher::SplitJobBefore(int AbsolutePageNo) {
    Guard g(lock_);
    if (std::find(splitBefore_.begin(), splitBefore_.end(), AbsolutePageNo) == splitBefore_.end())
        splitBefore_.push_back(AbsolutePageNo);
}

void TrpPublisher::RequestPages() {
    Guard g(lock_);
    requesting_ = true;
    freshRequest_ = true;
    Dispatch(rpdcCollectRequests, nullptr);
    requesting_ = false;
    jobRunning_ = true;
    if (requesting_ || requestSatisfied_) return;
    requestSatisfied_ = ServeFromCache();
    if (requestSatisfied_) return;
    const std::weak_ptr<char> alive = LifeToken();
    if (OnPageRequest) OnPageRequest(this, request_.get());
    // The report that owns this publisher may have been freed by generation.
    if (alive.expired()) return;
    SendEventNotify(this, rpevPublisherPageRequest, nullptr);
}

void TrpPublisher::AddPageRequest(TrpPageRequest* Request) {
    Guard g(lock_);
    if (Request == nullptr) return;
    if (!freshRequest_ && !requesting_ && !jobRunning_) freshRequest_ = true;
    requestSatisfied_ = false;
    if (freshRequest_) {
        freshRequest_ = false;
        request_->Assign(Request);
    } else if (request_->PageSetting() != psAll) {
        request_->Merge(Request);
    }
}

void TrpPublisher::BroadcastPage(int EventNumber, TrpPage* Page) {
    TObject* page = Page;
    TrsParamList params;
    params.AddParam("Page", rsClass, false, true, "", TrpPage::StaticClassType());
    params.BindConstParam(0, &page);
    SendEventNotify(this, EventNumber, &params);
}

void TrpPublisher::ReceivePage(TrpPage* Page) {
    Guard g(lock_);
    if (Page == nullptr) return;
    if (cachePages_ && !servingFromCache_ && Page->Final() && !Page->Calculation()) {
        auto copy = std::make_unique<TrpPage>(nullptr);
        copy->Assign(Page);
        TrpPage* cached = copy.get();
        cache_[Page->AbsolutePageNo()] = std::move(copy);
        if (cache_.size() > 1) UpdateDeferredPageCounts(cached);
    }
    if (Page->Final() && !Page->Calculation()) {
        auto split = std::find(splitBefore_.begin(), splitBefore_.end(), Page->AbsolutePageNo());
        if (split != splitBefore_.end()) {
            splitBefore_.erase(split);
            SplitJob();
        }
    }
    Dispatch(rpdcReceivePage, Page);
    requestSatisfied_ = request_->IsComplete(Page);
    if (!lastPageKnown_ && Page->LastPage()) {
        lastPageKnown_ = true;
        lastPageNo_ = Page->AbsolutePageNo();
    }
    BroadcastPage(rpevPublisherPageReceived, Page);
}

void TrpPublisher::UpdateDeferredPageCounts(TrpPage* NewPage) {
    for (auto& [no, page] : cache_) {
        TrpPage* p = page.get();
        // Only a page whose counts actually grew needs its texts redone.
        bool changed = false;
        if (NewPage->AbsolutePageCount() > p->AbsolutePageCount()) {
            p->SetAbsolutePageCount(NewPage->AbsolutePageCount());
            changed = true;
        }
        if (NewPage->ControlGroupBreakNo() == p->ControlGroupBreakNo() && p->PageCount() < NewPage->PageCount()) {
            p->SetPageCount(NewPage->PageCount());
            changed = true;
        }
        if (changed && p->HasDeferredDrawCommands()) p->RecalculateDrawCommands(nullptr);
    }
}

void TrpPublisher::ClearPages() {
    Guard g(lock_);
    lastPageKnown_ = false;
    lastPageNo_ = 0;
    requestSatisfied_ = false;
    cache_.clear();
}

void TrpPublisher::Reset() {
    Guard g(lock_);
    ClearPages();
    freshRequest_ = true;
    request_->Reset();
    SendEventNotify(this, rpevPublisherReset, nullptr);
}

TrpPage* TrpPublisher::CachedPages(int Index) const {
    if (Index < 0 || Index >= CachedPageCount()) return nullptr;
    auto it = cache_.begin();
    std::advance(it, Index);
    return it->second.get();
}

TrpPage* TrpPublisher::FindCachedPage(int AbsolutePageNo) const {
    auto it = cache_.find(AbsolutePageNo);
    return it == cache_.end() ? nullptr : it->second.get();
}

bool TrpPublisher::ServeCachedPage(int AbsolutePageNo) {
    TrpPage* page = FindCachedPage(AbsolutePageNo);
    if (page == nullptr) return false;
    ReceivePage(page);
    return true;
}

bool TrpPublisher::ServeFromCache() {
    if (!cachePages_) return false;
    servingFromCache_ = true;
    bool result = false;
    switch (request_->PageSetting()) {
        case psAll:
            if (lastPageKnown_ && !cache_.empty()) {
                TrpPage* first = FindCachedPage(1);
                const int count = CachedPageCount();
                if (first != nullptr && count == first->AbsolutePageCount()) {
                    result = true;
                    for (int n = 1; n <= count; ++n)
                        if (!ServeCachedPage(n)) result = false;
                }
            }
            break;
        case psPageList: {
            TStringList list;
            list.Assign(*request_->PageList());
            result = true;
            while (list.Count() > 0) {
                const int n = std::atoi(list[0].c_str());
                if (!ServeCachedPage(n)) result = false;
                list.Delete(0);
            }
            break;
        }
        case psSinglePage: result = ServeCachedPage(request_->PageRequested()); break;
        case psFirstPage: result = ServeCachedPage(1); break;
        case psLastPage: result = lastPageKnown_ && ServeCachedPage(lastPageNo_); break;
        case psPageRange: result = false; break;
    }
    servingFromCache_ = false;
    return result;
}

bool TrpPublisher::ScreenDevicesOnly() const {
    for (TrpDevice* d : devices_)
        if (!SameText(d->ClassName(), "TrpScreenDevice")) return false;
    return true;
}

std::string TrpPublisher::GetDeviceStatus() const {
    for (TrpDevice* d : devices_)
        if (!d->Status().empty()) return d->Status();
    return {};
}

void TrpPublisher::SetDeviceStatus(const std::string& Text) {
    const std::vector<TrpDevice*> snapshot = devices_;
    for (TrpDevice* d : snapshot) d->SetStatus(Text);
}
