#include "platform/notifications/CompletionQueue.h"

#include <atomic>
#include <future>
#include <thread>

#include "platform/foundation/ThreadRunLoop.h"

namespace jw::notification_queue {

namespace {

struct Queue {
    ThreadRunLoop loop;
    std::thread::id threadId;
    std::atomic<unsigned long long> tasksRun{0};
};

// Made once and deliberately never destroyed: destroying it at exit would race completions
// still queued by other static objects' destructors.
Queue& queue() {
    static Queue* instance = [] {
        auto* created = new Queue();
        std::promise<std::thread::id> started;
        auto id = started.get_future();
        std::thread([created, &started] {
            started.set_value(std::this_thread::get_id());
            created->loop.run();
        }).detach();
        created->threadId = id.get();
        return created;
    }();
    return *instance;
}

}  // namespace

void post(std::function<void()> task) {
    auto& q = queue();
    q.loop.post([&q, task = std::move(task)] {
        task();
        ++q.tasksRun;
    });
}

void waitUntilIdle() {
    auto& q = queue();
    // A marker that finds no task run since it was queued found the queue empty; work that
    // ran meanwhile may have queued more behind it, so go round again.
    for (;;) {
        const auto before = q.tasksRun.load();
        std::promise<void> done;
        auto finished = done.get_future();
        q.loop.post([&done] { done.set_value(); });
        finished.wait();
        if (q.tasksRun.load() == before) {
            return;
        }
    }
}

bool isCurrentThread() {
    return std::this_thread::get_id() == queue().threadId;
}

}  // namespace jw::notification_queue
