#pragma once
// The go-between of the report engine and its outputs. Devices connect to
// the publisher and state which pages they want; the publisher merges the
// wants of the waiting devices, serves what it can from its page cache and
// asks the producer for the rest (event 100); every page the producer makes
// comes back through ReceivePage, is cached and handed to each active
// device that still waits.
//
// Dispatch walks the device list under a re-entrant lock, so that one job
// operation or page reaches every device before another thread's dispatch
// starts, while a device may ask for pages again from inside a dispatch.
// The operations that change the publisher's state (connecting devices,
// collecting requests, receiving pages, the cache) hold the same lock, so
// that a background run may hand in pages while the interface asks.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "report/rpDevice.h"

using TrpPageRequestEvent = std::function<void(TObject* Sender, TrpPageRequest* Request)>;

// Dispatch codes.
enum TrpDispatchCode : int {
    rpdcCancelJob = 0,
    rpdcEndJob = 1,
    rpdcCollectRequests = 2,
    rpdcReceivePage = 3,
    rpdcStartJob = 4,
    rpdcReset = 5,
};

class TrpPublisher : public TrpCommunicator {
public:
    explicit TrpPublisher(TComponent* AOwner);
    ~TrpPublisher() override;
    FAT_CLASS(TrpPublisher)

    // Only TrpDevice::SetPublisher calls these.
    void AddDevice(TrpDevice* Device);
    void RemoveDevice(TrpDevice* Device);

    void Dispatch(int Code, TrpPage* Page);
    void StartJob() { Dispatch(rpdcStartJob, nullptr); }
    void CancelJob() { Dispatch(rpdcCancelJob, nullptr); }
    void ResetDevices() { Dispatch(rpdcReset, nullptr); }
    void EndJob();
    // Ends the printer devices' job and starts another, so that what
    // follows prints as a job of its own (a section that asks for it).
    void SplitJob();
    // The job splits just before the final page of that number arrives
    // (once); nothing splits when no such page comes.
    void SplitJobBefore(int AbsolutePageNo);
    // Collects the waiting devices' requests, serves them from the cache or
    // asks for generation (event 100).
    void RequestPages();
    // A generated page (or one served from the cache).
    void ReceivePage(TrpPage* Page);
    void AddPageRequest(TrpPageRequest* Request);
    void ClearPages();
    void Reset();
    bool ScreenDevicesOnly() const;
    std::string GetDeviceStatus() const;
    void SetDeviceStatus(const std::string& Text);

    bool CachePages() const { return cachePages_; }
    void SetCachePages(bool Value) { cachePages_ = Value; }
    TrpDevice* Devices(int Index) const;
    int DeviceCount() const { return static_cast<int>(devices_.size()); }
    TrpPage* CachedPages(int Index) const;
    int CachedPageCount() const { return static_cast<int>(cache_.size()); }
    TrpPage* FindCachedPage(int AbsolutePageNo) const;
    TrpPageRequest* PageRequest() const { return request_.get(); }
    bool JobRunning() const { return jobRunning_; }
    bool RequestSatisfied() const { return requestSatisfied_; }
    bool LastPageKnown() const { return lastPageKnown_; }
    int LastPageNo() const { return lastPageNo_; }

    void Notify(TrpCommunicator* Communicator, int Operation) override;

    TrpPageRequestEvent OnPageRequest;

private:
    bool ServeFromCache();
    bool ServeCachedPage(int AbsolutePageNo);
    void UpdateDeferredPageCounts(TrpPage* NewPage);
    void BroadcastPage(int EventNumber, TrpPage* Page);

    std::vector<TrpDevice*> devices_;
    // Group name to its devices, newest first.
    std::map<std::string, std::vector<TrpDevice*>> groups_;
    // Absolute page number to an owned deep copy; ordered by number.
    std::map<int, std::unique_ptr<TrpPage>> cache_;
    bool cachePages_ = false;
    std::unique_ptr<TrpPageRequest> request_;
    bool freshRequest_ = false;
    bool requesting_ = false;
    bool jobRunning_ = false;
    bool requestSatisfied_ = false;
    bool servingFromCache_ = false;
    bool lastPageKnown_ = false;
    std::vector<int> splitBefore_;
    int lastPageNo_ = 0;
    using Guard = std::lock_guard<std::recursive_mutex>;
    mutable std::recursive_mutex lock_;
};
