#include "RunLoop.h"

#include <mutex>

#include "ThreadRunLoop.h"

namespace jw {

namespace {

std::mutex& mainLoopMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<RunLoop>& installedMainLoop() {
    static std::shared_ptr<RunLoop> loop;
    return loop;
}

std::shared_ptr<RunLoop> sharedMainRunLoop() {
    std::lock_guard lock(mainLoopMutex());
    auto& loop = installedMainLoop();
    if (!loop) {
        loop = std::make_shared<ThreadRunLoop>();
    }
    return loop;
}

}  // namespace

RunLoop& mainRunLoop() {
    return *sharedMainRunLoop();
}

std::shared_ptr<RunLoop> installMainRunLoop(std::shared_ptr<RunLoop> loop) {
    std::lock_guard lock(mainLoopMutex());
    installedMainLoop().swap(loop);
    return loop;
}

void runOnMain(RunLoop::Task task) {
    // Hold the loop for the duration of the post, so a concurrent install on another thread
    // cannot destroy it under us.
    const auto loop = sharedMainRunLoop();
    loop->post(std::move(task));
}

}  // namespace jw
