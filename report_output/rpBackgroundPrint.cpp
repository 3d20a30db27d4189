#include "report_output/rpBackgroundPrint.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>
#include <map>

#include "platform/rtl/Filer.h"
#include "platform/rtl/Format.h"
#include "platform/rtl/Strings.h"
#include "report/rpAutoSearch.h"
#include "report/rpExcept.h"
#include "report/rpMainReport.h"
#include "report/rpProducer.h"
#include "report/rpPublisher.h"
#include "report/rpReport.h"
#include "report/rpUtils.h"

namespace {

// The report sends it when its printer setup must be read again.
constexpr int rpevPrinterSetupRequest = 112;

std::mutex& FactoriesLock() {
    static std::mutex lock;
    return lock;
}

std::map<std::string, TrpBackgroundOwnerFactory>& Factories() {
    static std::map<std::string, TrpBackgroundOwnerFactory> factories;
    return factories;
}

TrpBackgroundOwnerFactory FactoryFor(const std::string& ClassName) {
    std::lock_guard<std::mutex> guard(FactoriesLock());
    auto it = Factories().find(UpperCase(ClassName));
    return it == Factories().end() ? nullptr : it->second;
}

std::atomic<int>& Rounds() {
    static std::atomic<int> rounds{40};
    return rounds;
}

std::mutex& PostedLock() {
    static std::mutex lock;
    return lock;
}

std::vector<std::function<void()>>& Posted() {
    static std::vector<std::function<void()>> posted;
    return posted;
}

std::unique_ptr<TrpBackgroundPrintManager>& Manager() {
    static std::unique_ptr<TrpBackgroundPrintManager> manager;
    return manager;
}

void SetDevicesPageRequest(TrpProducer* Producer, TrpPageRequest* Request) {
    TrpPublisher* publisher = Producer->Publisher();
    for (int i = 0; i < publisher->DeviceCount(); ++i) publisher->Devices(i)->SetPageRequest(Request);
}

}  // namespace

std::shared_mutex& rpGlobalNameSpaceLock() {
    static std::shared_mutex lock;
    return lock;
}

void rpRegisterBackgroundOwner(const std::string& OwnerClassName, TrpBackgroundOwnerFactory Factory) {
    std::lock_guard<std::mutex> guard(FactoriesLock());
    Factories()[UpperCase(OwnerClassName)] = std::move(Factory);
}

void rpUnregisterBackgroundOwner(const std::string& OwnerClassName) {
    std::lock_guard<std::mutex> guard(FactoriesLock());
    Factories().erase(UpperCase(OwnerClassName));
}

void rpPostToWindowThread(std::function<void()> Work) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, [Work = std::move(Work)] { Work(); }, Qt::QueuedConnection);
        return;
    }
    std::lock_guard<std::mutex> guard(PostedLock());
    Posted().push_back(std::move(Work));
}

void rpProcessBackgroundEvents() {
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> guard(PostedLock());
        work.swap(Posted());
    }
    for (auto& w : work) w();
}

// --- Adapters ---

void TrpReportTemplateRTTI::SaveToStream(TrpProducer* Report, TStream* Stream) {
    if (Report == nullptr || Stream == nullptr) return;
    WriteComponent(*Stream, Report);
}

void TrpReportTemplateRTTI::LoadFromStream(TrpProducer* Report, TStream* Stream) {
    if (Report == nullptr || Stream == nullptr || Stream->Size() == 0) return;
    Stream->Seek(0, soBeginning);
    // The stored definition replaces the copy's own bands and groups.
    Report->FreeChildren();
    ReadComponent(*Stream, Report);
}

bool TrpAutoSearchRTTI::HasAutoSearchFields(TObject* Report) {
    auto* report = dynamic_cast<TrpReport*>(Report);
    return report != nullptr && report->AutoSearchFieldCount() > 0;
}

void TrpAutoSearchRTTI::GetAutoSearchFields(TObject* Report, TrpAutoSearchGroups& Fields) {
    Fields.clear();
    auto* report = dynamic_cast<TrpReport*>(Report);
    if (report == nullptr) return;
    for (int i = 0; i < report->AutoSearchFieldCount(); ++i) {
        TrpAutoSearchField* field = report->AutoSearchFields(i);
        std::unique_ptr<TObject> made(CreateInstance(field->ClassType(), nullptr));
        auto* copy = dynamic_cast<TrpAutoSearchField*>(made.get());
        if (copy == nullptr) continue;
        made.release();
        copy->Assign(field);
        copy->AssignCriteria(field);
        Fields.emplace_back(copy);
    }
}

void TrpAutoSearchRTTI::AssignAutoSearchFields(TObject* Report, const TrpAutoSearchGroups& Fields) {
    auto* report = dynamic_cast<TrpReport*>(Report);
    if (Fields.empty() || report == nullptr) return;
    if (report->AutoSearchFieldCount() == 0) {
        for (const auto& f : Fields) {
            auto* field = dynamic_cast<TrpAutoSearchField*>(CreateInstance(f->ClassType(), report->Owner()));
            if (field == nullptr) continue;
            field->Assign(f.get());
            field->AssignCriteria(f.get());
            report->AddAutoSearchField(field);
        }
        return;
    }
    if (report->AutoSearchFieldCount() != static_cast<int>(Fields.size()))
        throw EBackgroundPrintError(
            "TrpAutoSearchRTTI.CopyAutoSearchFields: The report in the background thread has different autosearch "
            "fields than the request.");
    for (int i = 0; i < report->AutoSearchFieldCount(); ++i) {
        report->AutoSearchFields(i)->Assign(Fields[static_cast<std::size_t>(i)].get());
        report->AutoSearchFields(i)->AssignCriteria(Fields[static_cast<std::size_t>(i)].get());
    }
}

// --- Request ---

TrpBackgroundPrintRequest::TrpBackgroundPrintRequest(TrpProducer* Producer, const std::string& TextFileName_,
                                                     const std::string& ArchiveFileName_,
                                                     const std::string& DeviceType_, TrpPageRequest* PageRequest_)
    : DeviceType(DeviceType_),
      ArchiveFileName(ArchiveFileName_),
      TextFileName(TextFileName_),
      PrinterSetup(std::make_unique<TrpPrinterSetup>(nullptr)),
      PageRequest(std::make_unique<TrpPageRequest>()),
      TemplateStream(std::make_unique<TMemoryStream>()) {
    if (Producer == nullptr)
        throw EBackgroundPrintError("TrpBackgroundPrintRequest.Create: Producer cannot be nil for background printing.");
    if (Producer->Owner() == nullptr)
        throw EBackgroundPrintError(
            "TrpBackgroundPrintRequest.Create: Owner of producer cannot be nil for background printing.");
    if (SameText(DeviceType, rpScreenDeviceName))
        throw EBackgroundPrintError(
            "TrpBackgroundPrintRequest.Create: The producer's device cannot be a screen device for background "
            "printing.");
    OwnerClass = Producer->Owner()->ClassName();
    // The copy is built by the application's factory: a form cannot be made off the window thread.
    if (!FactoryFor(OwnerClass))
        throw EBackgroundPrintError("TrpBackgroundPrintRequest.Create: Não há como criar em segundo plano uma cópia de " +
                                    OwnerClass + ".");
    ProducerName = Producer->Name();
    if (PageRequest_ != nullptr) PageRequest->Assign(PageRequest_);
    PrinterSetup->Assign(Producer->PrinterSetup());
    {
        std::unique_lock<std::shared_mutex> guard(rpGlobalNameSpaceLock());
        TrpReportTemplateRTTI::SaveToStream(Producer, TemplateStream.get());
    }
    TrpAutoSearchRTTI::GetAutoSearchFields(Producer, AutoSearchFields);
}

TrpBackgroundPrintRequest::~TrpBackgroundPrintRequest() = default;

// --- Container adapter ---

class TrpBackgroundContainerAdapter::Listener : public TrpCommunicator {
public:
    explicit Listener(TrpBackgroundContainerAdapter* Adapter) : TrpCommunicator(nullptr), adapter_(Adapter) {}
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        TrpProducer* producer = adapter_->producer_;
        if (producer == nullptr) return;
        if (EventNumber == rpevReportBegin && Sender == producer) {
            SetDevicesPageRequest(producer, adapter_->pageRequest_.get());
        } else if (EventNumber == rpevPrinterSetupRequest) {
            if (auto* report = dynamic_cast<TrpProducer*>(Sender)) {
                report->SetPrinterSetup(adapter_->printerSetup_.get());
                SetDevicesPageRequest(report, adapter_->pageRequest_.get());
            }
        }
    }

private:
    TrpBackgroundContainerAdapter* adapter_;
};

TrpBackgroundContainerAdapter::TrpBackgroundContainerAdapter(TrpBackgroundPrintRequest* Request)
    : pageRequest_(std::make_unique<TrpPageRequest>()),
      printerSetup_(std::make_unique<TrpPrinterSetup>(nullptr)),
      listener_(std::make_unique<Listener>(this)) {
    std::unique_lock<std::shared_mutex> guard(rpGlobalNameSpaceLock());
    CreateContainer(Request);
    if (producer_ == nullptr) return;
    try {
        PrepareProducer(Request);
    } catch (const std::exception& e) {
        errorText_ = e.what();
        producer_ = nullptr;
        container_.reset();
    }
}

TrpBackgroundContainerAdapter::~TrpBackgroundContainerAdapter() {
    std::unique_lock<std::shared_mutex> guard(rpGlobalNameSpaceLock());
    if (producer_ != nullptr) producer_->RemoveEventNotify(listener_.get());
    container_.reset();
    listener_.reset();
}

void TrpBackgroundContainerAdapter::CreateContainer(TrpBackgroundPrintRequest* Request) {
    if (Request == nullptr) {
        errorText_ = "TrpBackgroundContainerAdapter.CreateContainer: Request cannot be nil.";
        return;
    }
    if (Request->OwnerClass.empty()) {
        errorText_ = "TrpBackgroundContainerAdapter.CreateContainer: Request.OwnerClass cannot be nil.";
        return;
    }
    const TrpBackgroundOwnerFactory factory = FactoryFor(Request->OwnerClass);
    try {
        if (factory) container_.reset(factory());
    } catch (const Exception& e) {
        errorText_ = std::string(e.ClassName()) + ": " + e.what();
        container_.reset();
    } catch (const std::exception& e) {
        errorText_ = std::string("Exception: ") + e.what();
        container_.reset();
    }
    if (!container_) {
        if (errorText_.empty())
            errorText_ = "TrpBackgroundContainerAdapter.CreateContainer: Cannot create container: " + Request->OwnerClass;
        return;
    }
    TComponent* found = container_->FindComponent(Request->ProducerName);
    if (found == nullptr) {
        errorText_ = "TrpBackgroundContainerAdapter.CreateContainer: Cannot find producer in owner: " + Request->ProducerName;
        return;
    }
    producer_ = dynamic_cast<TrpProducer*>(found);
    if (producer_ == nullptr)
        errorText_ = "TrpBackgroundContainerAdapter.CreateContainer: Component found for " + Request->ProducerName +
                     " is not a TrpProducer: " + found->ClassName();
}

void TrpBackgroundContainerAdapter::PrepareProducer(TrpBackgroundPrintRequest* Request) {
    TrpReportTemplateRTTI::LoadFromStream(producer_, Request->TemplateStream.get());
    TrpAutoSearchRTTI::AssignAutoSearchFields(producer_, Request->AutoSearchFields);
    pageRequest_->Assign(Request->PageRequest.get());
    printerSetup_->Assign(Request->PrinterSetup.get());
    producer_->AddEventNotify(listener_.get());
    producer_->SetArchiveFileName(Request->ArchiveFileName);
    producer_->SetDeviceType(Request->DeviceType);
    producer_->SetEnableProcessMessages(false);
    producer_->SetPrinterSetup(printerSetup_.get());
    producer_->SetShowAutoSearchDialog(false);
    producer_->SetShowCancelDialog(false);
    producer_->SetShowPrintDialog(false);
    producer_->SetTextFileName(Request->TextFileName);
}

// --- Generator ---

// Stops the copy at its next page once the generator is cancelled; it runs
// on the worker, so the producer is only ever touched there.
class TrpBackgroundReportGenerator::CancelWatch : public TrpCommunicator {
public:
    CancelWatch(TrpBackgroundReportGenerator* Generator, TrpProducer* Producer)
        : TrpCommunicator(nullptr), generator_(Generator), producer_(Producer) {}
    void EventNotify(TObject* Sender, int EventNumber, TrsParamList* Params) override {
        TrpCommunicator::EventNotify(Sender, EventNumber, Params);
        if (generator_->cancelled_ && !producer_->Cancelled()) producer_->Cancel();
    }

private:
    TrpBackgroundReportGenerator* generator_;
    TrpProducer* producer_;
};

TrpBackgroundReportGenerator::TrpBackgroundReportGenerator() = default;

TrpBackgroundReportGenerator::~TrpBackgroundReportGenerator() = default;

void TrpBackgroundReportGenerator::ProcessRequest(TrpBackgroundPrintRequest* Request) {
    adapter_ = std::make_unique<TrpBackgroundContainerAdapter>(Request);
    if (adapter_->Error()) {
        errorText_ = adapter_->ErrorText();
        adapter_.reset();
    }
    if (OnContainerCreated) OnContainerCreated();
    TrpProducer* producer = adapter_ ? adapter_->Producer() : nullptr;
    if (producer == nullptr || cancelled_) return;
    producer->BackgroundPrintSettings()->SetEnabled(false);
    producer->BackgroundPrintSettings()->SetActive(false);
    CancelWatch watch(this, producer);
    producer->Publisher()->AddEventNotify(&watch);
    try {
        producer->PrintReport();
    } catch (const std::exception& e) {
        errorText_ = std::string("TrpBackgroundReportGenerator.ProcessRequest: Cannot Generate Report\r\n") + e.what();
    }
    producer->Publisher()->RemoveEventNotify(&watch);
}

// --- Thread ---

int TrpBackgroundPrintThread::WaitRounds() { return Rounds(); }
void TrpBackgroundPrintThread::SetWaitRounds(int Value) { Rounds() = Value > 0 ? Value : 40; }

TrpBackgroundPrintThread::TrpBackgroundPrintThread() : alive_(std::make_shared<int>(0)) {}

TrpBackgroundPrintThread::~TrpBackgroundPrintThread() {
    Cancel();
    Join();
}

void TrpBackgroundPrintThread::Join() {
    if (worker_.joinable()) worker_.join();
}

void TrpBackgroundPrintThread::Cancel() {
    cancelled_ = true;
    std::lock_guard<std::mutex> guard(lock_);
    if (generator_) generator_->Cancel();
}

std::string TrpBackgroundPrintThread::ErrorText() const {
    std::lock_guard<std::mutex> guard(lock_);
    return errorText_;
}

void TrpBackgroundPrintThread::PrintInBackground(TrpBackgroundPrintRequest* Request) {
    containerReady_ = false;
    request_ = Request;
    waiting_ = true;
    worker_ = std::thread([this] { Execute(); });
    const int rounds = WaitRounds();
    bool signalled = false;
    for (int i = 0; i < rounds; ++i) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            signalled = signal_.wait_for(guard, std::chrono::milliseconds(250), [this] { return signalled_; });
            signalled_ = false;
        }
        if (signalled || containerReady_) break;
        if (QCoreApplication::instance() != nullptr) QCoreApplication::processEvents();
    }
    if (!signalled && !containerReady_) {
        std::lock_guard<std::mutex> guard(lock_);
        signalled_ = false;
        errorText_ = Format("TrpBackgroundPrintThread.PrintInBackground: %d second timeout exceeded for background "
                            "printing thread to create report container",
                            rounds / 4);
    }
    waiting_ = false;
}

void TrpBackgroundPrintThread::Execute() {
    if (!cancelled_) {
        {
            std::lock_guard<std::mutex> guard(lock_);
            generator_ = std::make_unique<TrpBackgroundReportGenerator>();
            if (cancelled_) generator_->Cancel();
        }
        generator_->OnContainerCreated = [this] {
            containerReady_ = true;
            std::lock_guard<std::mutex> guard(lock_);
            signalled_ = true;
            signal_.notify_all();
        };
        printing_ = true;
        rpIncrementThreadCount();
        if (!cancelled_) generator_->ProcessRequest(request_);
        rpDecrementThreadCount();
        printing_ = false;
        std::unique_ptr<TrpBackgroundReportGenerator> done;
        {
            std::lock_guard<std::mutex> guard(lock_);
            // The generator's error replaces a time-out: it says more.
            if (generator_->Error()) errorText_ = generator_->ErrorText();
            done = std::move(generator_);
        }
    }
    finished_ = true;
    std::weak_ptr<int> alive = alive_;
    rpPostToWindowThread([this, alive] {
        if (!alive.expired()) Terminated();
    });
}

void TrpBackgroundPrintThread::Terminated() {
    // Still inside PrintInBackground's wait (a time-out): its end comes later.
    if (waiting_) {
        std::weak_ptr<int> alive = alive_;
        rpPostToWindowThread([this, alive] {
            if (!alive.expired()) Terminated();
        });
        return;
    }
    if (OnTerminate) OnTerminate(this);
}

// --- Queue ---

TrpBackgroundPrintQueue::TrpBackgroundPrintQueue() = default;

TrpBackgroundPrintQueue::~TrpBackgroundPrintQueue() { Clear(); }

int TrpBackgroundPrintQueue::Count() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return static_cast<int>(requests_.size());
}

void TrpBackgroundPrintQueue::Add(std::unique_ptr<TrpBackgroundPrintRequest> Request) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!Request) {
        errorText_ = "TrpBackgroundPrintQueue.Add: The background print request may not be nil.";
        return;
    }
    requests_.push_back(std::move(Request));
    if (requests_.size() == 1) StartNext();
}

void TrpBackgroundPrintQueue::Clear() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    clearing_ = true;
    if (thread_) {
        thread_->Cancel();
        thread_->Join();
        thread_.reset();
    }
    requests_.clear();
    clearing_ = false;
}

void TrpBackgroundPrintQueue::StartNext() {
    if (requests_.empty()) {
        thread_.reset();
        return;
    }
    thread_ = std::make_unique<TrpBackgroundPrintThread>();
    thread_->OnTerminate = [this](TrpBackgroundPrintThread* Thread) { ThreadTerminated(Thread); };
    thread_->PrintInBackground(requests_.front().get());
}

void TrpBackgroundPrintQueue::ThreadTerminated(TrpBackgroundPrintThread* Thread) {
    {
        std::lock_guard<std::recursive_mutex> guard(lock_);
        if (Thread != thread_.get()) {
            errorText_ = "TrpBackgroundPrintManager.PrintingThreadTerminateEvent: Sender of thread OnTerminate is not a "
                         "TrpBackgroundPrintThread";
        } else if (!clearing_ && !requests_.empty()) {
            Thread->Join();
            if (Thread->Error()) errorText_ = Thread->ErrorText();
            requests_.erase(requests_.begin());
            thread_.reset();
            StartNext();
        }
    }
    if (OnRequestDone) OnRequestDone();
}

// --- Manager ---

TrpBackgroundPrintManager::TrpBackgroundPrintManager() : queue_(std::make_unique<TrpBackgroundPrintQueue>()) {
    queue_->OnRequestDone = [this] { RequestDone(); };
}

TrpBackgroundPrintManager::~TrpBackgroundPrintManager() { Clear(); }

void TrpBackgroundPrintManager::Print(TrpProducer* Producer, TrpPageRequest* PageRequest,
                                      const std::string& TextFileName, const std::string& ArchiveFileName,
                                      const std::string& DeviceType) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (dynamic_cast<TrpCustomReport*>(Producer) == nullptr)
        throw EBackgroundPrintError("TrpBackgroundPrintManager.Print: Background printing not supported for " +
                                    std::string(Producer != nullptr ? Producer->ClassName() : "nil"));
    queue_->Add(std::make_unique<TrpBackgroundPrintRequest>(Producer, TextFileName, ArchiveFileName, DeviceType,
                                                            PageRequest));
}

void TrpBackgroundPrintManager::Clear() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    queue_->Clear();
}

int TrpBackgroundPrintManager::Count() const { return queue_->Count(); }

void TrpBackgroundPrintManager::RequestDone() {
    if (queue_->Error()) {
        const std::string text = queue_->ErrorText();
        // Reported once: a later good request must not report it again.
        queue_->ClearError();
        if (OnPrintError)
            OnPrintError(nullptr, EBackgroundPrintError(text));
        else
            rpShowUserMessage(text);
    }
    if (OnRequestComplete) OnRequestComplete(nullptr);
    if (queue_->Count() == 0 && OnQueueEmpty) OnQueueEmpty(nullptr);
}

TrpBackgroundPrintManager* rpBackgroundPrintManager() { return Manager().get(); }

namespace report_output {

void RegisterBackgroundPrinting() {
    Manager() = std::make_unique<TrpBackgroundPrintManager>();
    rpSetBackgroundPrintHandler([](TrpProducer* Producer, TrpPageRequest* Request, const std::string& DeviceType,
                                   const std::string& TextFileName, const std::string& ArchiveFileName) {
        if (Manager()) Manager()->Print(Producer, Request, TextFileName, ArchiveFileName, DeviceType);
    });
}

void UnregisterBackgroundPrinting() {
    rpSetBackgroundPrintHandler(nullptr);
    Manager().reset();
}

}  // namespace report_output
