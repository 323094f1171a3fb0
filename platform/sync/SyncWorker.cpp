#include "SyncWorker.h"

#include <utility>

namespace jw::sync {

SyncWorker::SyncWorker(std::function<void()> atExit)
    : atExit_(std::move(atExit)), thread_([this] { run(); }) {}

SyncWorker::~SyncWorker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void SyncWorker::enqueue(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void SyncWorker::run() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) {
                break;  // stopping, and nothing left to finish
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
    if (atExit_) {
        atExit_();
    }
}

}  // namespace jw::sync
