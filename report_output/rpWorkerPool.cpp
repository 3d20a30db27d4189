#include "report_output/rpWorkerPool.h"

namespace rpworkers {

WorkerPool::WorkerPool(int Threads) {
    threads_.reserve(Threads > 0 ? static_cast<size_t>(Threads) : 0);
    for (int i = 0; i < Threads; ++i) threads_.emplace_back([this] { Work(); });
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
    if (threads_.empty()) {
        task();
        return result;
    }
    {
        std::lock_guard<std::mutex> g(lock_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
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
