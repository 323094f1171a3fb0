#pragma once
// Turns at a store file's write lock among this process's connections to it.
//
// SQLite lets one connection write at a time and leaves the others to poll. A background
// writer that runs one short transaction after another (the sync engine applying a file in
// slices) takes the lock again within microseconds of giving it up, so a save on the main
// thread, polling every few milliseconds, could wait for the whole file: half a second and
// more while another device's 100,000 items arrived. With turns, a background connection
// waits before each transaction while a foreground one waits for the lock, so a save waits
// for one slice at most.
//
// Every SqliteDatabase of one file shares that file's WriteTurns (forFile). Connections are
// foreground unless made background (SqliteDatabase::setBackgroundWriter).

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

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    int waiting_ = 0;
};

}  // namespace jw::store
