#pragma once
// A few threads that take queued jobs in the order given. The PDF writer
// deflates page contents on them while later pages are drawn; the results
// come back through futures, so the caller decides the order in which they
// are used (and sees a job's exception when it asks for its result).
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace rpworkers {

class WorkerPool {
public:
    // No threads: every job runs at once on the caller's thread. Threads
    // start with the jobs, one a job, so that a short job starts few.
    explicit WorkerPool(int Threads);
    // Jobs not yet started are dropped (their futures report a broken
    // promise); running ones are waited for.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    std::future<void> Run(std::function<void()> Job);
    // Runs the oldest job not yet started on the caller's thread; false
    // when there is none. A caller about to wait for a result lends a hand
    // this way instead of sleeping.
    bool RunOne();
    int Threads() const { return wanted_; }

private:
    void Work();

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void()>> queue_;
    bool stopping_ = false;
    int wanted_;
    std::vector<std::thread> threads_;
};

}  // namespace rpworkers
