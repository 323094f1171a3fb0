#pragma once
// The background thread on which the notification centre does its file work and runs its
// completions, as the platform's centre answers on a queue of its own. One per process, in
// order, for every centre; it is never torn down (at exit it is parked and idle).

#include <functional>

namespace jw::notification_queue {

// Queues `task`; it runs on the background thread after everything queued before it.
void post(std::function<void()> task);

// Blocks until the background thread has nothing left to do: everything queued before this
// call has run, and so has everything that work queued in turn. Must not be called from the
// background thread itself.
void waitUntilIdle();

// True on the background thread.
bool isCurrentThread();

}  // namespace jw::notification_queue
