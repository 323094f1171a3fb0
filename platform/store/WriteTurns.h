#pragma once
// Turns at a store file's write lock among this process's connections to it.
//
// SQLite lets one connection write at a time and leaves the others to poll. A background
// writer that runs one short transaction after another (the sync engine applying a file in
// slices) takes the lock again within microseconds of giving it up, so a save on the main
// thread, polling every few milliseconds, could wait for the whole file: half a second and
// more while another device's 100,000 items arrived. With turns, a background connection
// waits before each transaction while a foreground one waits for the lock, and may end the
// transaction under way early when asked (foregroundWaits), so a save waits for one slice at
// most, or for the few rows that slice applies once it has seen the save waiting.
//
// Every SqliteDatabase of one file shares that file's WriteTurns (forFile). Connections are
// foreground unless made background (SqliteDatabase::setBackgroundWriter).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

namespace jw::store {

class WriteTurns {
  public:
    // The turns of the file at `file` (one object per file while anything holds it).
    static std::shared_ptr<WriteTurns> forFile(const std::filesystem::path& file);

    // A foreground connection waits for the write lock from construction to destruction.
    class ForegroundWait {
      public:
        explicit ForegroundWait(WriteTurns& turns);
        ~ForegroundWait();
        ForegroundWait(const ForegroundWait&) = delete;
        ForegroundWait& operator=(const ForegroundWait&) = delete;

      private:
        WriteTurns& turns_;
    };

    // Returns once no foreground connection waits for the lock, or after `limit` (a foreground
    // writer that never gets the lock must not stop the background for good).
    void letForegroundGoFirst(std::chrono::milliseconds limit);
    // Whether a foreground connection waits for the lock just now: a background writer in the
    // middle of a long transaction may end it early (cheap enough to ask every few rows).
    bool foregroundWaits() const { return waiting_.load(std::memory_order_relaxed) > 0; }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    std::atomic<int> waiting_{0};  // changed under mutex_
};

}  // namespace jw::store
