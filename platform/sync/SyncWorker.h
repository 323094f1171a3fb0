#pragma once
// A serial worker: one thread that runs the tasks it is given one at a time, in the order they
// were given. Destroying it lets the tasks already given finish, runs `atExit` on the worker
// thread (to close what belongs to it), and joins the thread.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace jw::sync {

class SyncWorker {
  public:
    explicit SyncWorker(std::function<void()> atExit);
    ~SyncWorker();
    SyncWorker(const SyncWorker&) = delete;
    SyncWorker& operator=(const SyncWorker&) = delete;

    // Any thread.
    void enqueue(std::function<void()> task);

  private:
    void run();

    std::function<void()> atExit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;  // last: started once the rest is in place
};

}  // namespace jw::sync
