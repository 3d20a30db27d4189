#pragma once
// Background printing: a report printed on a worker thread while the
// window stays responsive.
//
// The producer hands its job to the one TrpBackgroundPrintManager, which
// queues a self-contained TrpBackgroundPrintRequest: the report's
// definition written through the component stream, its owner's class
// name, the producer's name, the device, file names, printer setup, page
// request and auto-search values. One worker at a time takes the first
// request, builds a fresh copy of the owner, reads the definition into the
// copy's report and prints it there.
//
// Qt forbids widgets off the window thread, so the copy is never the form
// itself: the application registers, per owner class name, a factory that
// builds a headless owner with its report, datasets and own SQLite
// connection (rpRegisterBackgroundOwner). An owner class without one is
// refused when the request is made.
//
// The window thread waits for the copy to exist at most WaitRounds rounds
// of 250 ms (40: ten seconds), processing its events between rounds; the
// handshake is a condition variable of this process (a named system event
// would let two running programs release each other's waits). The worker
// never raises across threads: its errors are texts carried adapter →
// generator → thread → queue, and its end is posted to the window thread,
// where the manager reports them.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rtl/Streams.h"
#include "report/rpComm.h"
#include "report/rpPage.h"
#include "report/rpPrinterSetup.h"

class TrpProducer;

// Creation and destruction of the copies, and component streaming done
// here, hold this lock for writing.
std::shared_mutex& rpGlobalNameSpaceLock();

using TrpBackgroundOwnerFactory = std::function<TComponent*()>;
void rpRegisterBackgroundOwner(const std::string& OwnerClassName, TrpBackgroundOwnerFactory Factory);
void rpUnregisterBackgroundOwner(const std::string& OwnerClassName);

// Saves a report's definition into a stream and reads it back into
// another report (the copy's bands and groups are replaced).
class TrpReportTemplateRTTI {
public:
    static void SaveToStream(TrpProducer* Report, TStream* Stream);
    static void LoadFromStream(TrpProducer* Report, TStream* Stream);
};

class TrpAutoSearchField;

// Copies of a report's auto-search fields, by value.
using TrpAutoSearchGroups = std::vector<std::unique_ptr<TrpAutoSearchField>>;

class TrpAutoSearchRTTI {
public:
    static bool HasAutoSearchFields(TObject* Report);
    static void GetAutoSearchFields(TObject* Report, TrpAutoSearchGroups& Fields);
    // Raises EBackgroundPrintError when the report already has fields and
    // their number differs.
    static void AssignAutoSearchFields(TObject* Report, const TrpAutoSearchGroups& Fields);
};

class TrpBackgroundPrintRequest {
public:
    // Raises EBackgroundPrintError for what cannot print in the background.
    TrpBackgroundPrintRequest(TrpProducer* Producer, const std::string& TextFileName,
                              const std::string& ArchiveFileName, const std::string& DeviceType,
                              TrpPageRequest* PageRequest);
    ~TrpBackgroundPrintRequest();

    std::string DeviceType;
    std::string ArchiveFileName;
    std::string TextFileName;
    std::unique_ptr<TrpPrinterSetup> PrinterSetup;
    std::string OwnerClass;
    std::string ProducerName;
    TrpAutoSearchGroups AutoSearchFields;
    std::unique_ptr<TrpPageRequest> PageRequest;
    std::unique_ptr<TMemoryStream> TemplateStream;
};

// The copy of the owner, made on the worker thread, and its producer
// prepared to print the request without any dialog.
class TrpBackgroundContainerAdapter {
public:
    explicit TrpBackgroundContainerAdapter(TrpBackgroundPrintRequest* Request);
    ~TrpBackgroundContainerAdapter();

    TrpProducer* Producer() const { return producer_; }
    TComponent* Container() const { return container_.get(); }
    bool Error() const { return !errorText_.empty(); }
    const std::string& ErrorText() const { return errorText_; }

private:
    class Listener;
    void CreateContainer(TrpBackgroundPrintRequest* Request);
    void PrepareProducer(TrpBackgroundPrintRequest* Request);

    std::unique_ptr<TrpPageRequest> pageRequest_;
    std::unique_ptr<TrpPrinterSetup> printerSetup_;
    std::unique_ptr<TComponent> container_;
    TrpProducer* producer_ = nullptr;
    std::unique_ptr<Listener> listener_;
    std::string errorText_;
};

class TrpBackgroundReportGenerator {
public:
    TrpBackgroundReportGenerator();
    ~TrpBackgroundReportGenerator();

    void ProcessRequest(TrpBackgroundPrintRequest* Request);
    // From any thread: the producer stops at its next page.
    void Cancel() { cancelled_ = true; }
    std::function<void()> OnContainerCreated;
    bool Error() const { return !errorText_.empty(); }
    const std::string& ErrorText() const { return errorText_; }

private:
    class CancelWatch;
    std::unique_ptr<TrpBackgroundContainerAdapter> adapter_;
    std::atomic<bool> cancelled_{false};
    std::string errorText_;
};

class TrpBackgroundPrintThread {
public:
    TrpBackgroundPrintThread();
    // Waits for the worker to end.
    ~TrpBackgroundPrintThread();

    // On the window thread: starts the worker on Request and waits for its
    // copy of the owner (bounded, processing events).
    void PrintInBackground(TrpBackgroundPrintRequest* Request);
    void Cancel();
    void Join();
    bool Finished() const { return finished_; }
    bool Printing() const { return printing_; }
    bool Error() const { return !ErrorText().empty(); }
    std::string ErrorText() const;
    // Runs on the window thread once the worker ended.
    std::function<void(TrpBackgroundPrintThread*)> OnTerminate;

    // Rounds of 250 ms the window thread waits (40; tests shorten it).
    static int WaitRounds();
    static void SetWaitRounds(int Value);

private:
    void Execute();
    // On the window thread, once the worker ended.
    void Terminated();

    TrpBackgroundPrintRequest* request_ = nullptr;
    // Posted ends of a thread already freed find this expired.
    std::shared_ptr<int> alive_;
    std::atomic<bool> waiting_{false};
    std::unique_ptr<TrpBackgroundReportGenerator> generator_;
    mutable std::mutex lock_;
    std::condition_variable signal_;
    bool signalled_ = false;
    std::atomic<bool> containerReady_{false};
    std::atomic<bool> printing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    std::string errorText_;
    std::thread worker_;
};

class TrpBackgroundPrintQueue {
public:
    TrpBackgroundPrintQueue();
    ~TrpBackgroundPrintQueue();

    // A nullptr request only records the queue's error.
    void Add(std::unique_ptr<TrpBackgroundPrintRequest> Request);
    // Cancels the running request and drops every other.
    void Clear();
    int Count() const;
    bool Error() const { return !errorText_.empty(); }
    const std::string& ErrorText() const { return errorText_; }
    void ClearError() { errorText_.clear(); }
    std::function<void()> OnRequestDone;

private:
    void StartNext();
    void ThreadTerminated(TrpBackgroundPrintThread* Thread);

    mutable std::recursive_mutex lock_;
    std::vector<std::unique_ptr<TrpBackgroundPrintRequest>> requests_;
    std::unique_ptr<TrpBackgroundPrintThread> thread_;
    bool clearing_ = false;
    std::string errorText_;
};

class TrpBackgroundPrintManager {
public:
    TrpBackgroundPrintManager();
    ~TrpBackgroundPrintManager();

    void Print(TrpProducer* Producer, TrpPageRequest* PageRequest, const std::string& TextFileName,
               const std::string& ArchiveFileName, const std::string& DeviceType);
    void Clear();
    int Count() const;

    std::function<void(TObject* Sender)> OnQueueEmpty;
    std::function<void(TObject* Sender, const std::exception& Error)> OnPrintError;
    std::function<void(TObject* Sender)> OnRequestComplete;

private:
    void RequestDone();

    std::unique_ptr<TrpBackgroundPrintQueue> queue_;
    // Recursive: the wait for a copy processes events, which may print again.
    std::recursive_mutex lock_;
};

// The manager of this process (nullptr outside registration).
TrpBackgroundPrintManager* rpBackgroundPrintManager();

// Runs Work on the window thread: posted to the application's event loop,
// or kept until rpProcessBackgroundEvents without an application.
void rpPostToWindowThread(std::function<void()> Work);
// Runs what was kept (for programs without an event loop).
void rpProcessBackgroundEvents();

namespace report_output {
// The manager, and the producer's hand-off to it.
void RegisterBackgroundPrinting();
void UnregisterBackgroundPrinting();
}  // namespace report_output
