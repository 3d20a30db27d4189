#include "report_output/rpWorkerPool.h"

namespace rpworkers {

WorkerPool::WorkerPool(int Threads) : wanted_(Threads > 0 ? Threads : 0) {
    threads_.reserve(static_cast<size_t>(wanted_));
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
}

std::future<void> WorkerPool::Run(std::function<void()> Job) {
    std::packaged_task<void()> task(std::move(Job));
    std::future<void> result = task.get_future();
    if (wanted_ == 0) {
        task();
        return result;
    }
    {
        std::lock_guard<std::mutex> g(lock_);
        queue_.push_back(std::move(task));
    }
    if (static_cast<int>(threads_.size()) < wanted_) threads_.emplace_back([this] { Work(); });
    else wake_.notify_one();
    return result;
}

bool WorkerPool::RunOne() {
    std::packaged_task<void()> task;
    {
        std::lock_guard<std::mutex> g(lock_);
        if (queue_.empty()) return false;
        task = std::move(queue_.front());
        queue_.pop_front();
    }
    task();
    return true;
}

void WorkerPool::Work() {
    for (;;) {
        std::packaged_task<void()> task;
        {
            std::unique_lock<std::mutex> g(lock_);
            wake_.wait(g, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
    }
}

}  // namespace rpworkers
