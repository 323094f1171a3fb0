#pragma once
// What every test of the system stands on: a scratch folder, and the platform replaced by
// its manual stand-ins (a clock that moves only when told, a run loop that runs only when
// told, in-memory user defaults, and the debug log captured as lines).

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/Clock.h"
#include "platform/foundation/DebugLog.h"
#include "platform/foundation/ManualRunLoop.h"
#include "platform/foundation/RunLoop.h"
#include "platform/foundation/UserDefaults.h"

namespace jw::test {

// A new, empty directory under the system's temporary directory (with `inMemory`, on /dev/shm
// when there is one, so that many small stores cost no disk writes), removed with everything
// in it when the TempDir is destroyed.
class TempDir {
  public:
    explicit TempDir(bool inMemory = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// The texts in order with `separator` between them: "a, b" for {"a", "b"} and ", ".
template <typename Texts>
std::string joined(const Texts& texts, std::string_view separator) {
    std::string text;
    bool first = true;
    for (const auto& part : texts) {
        text.append(std::exchange(first, false) ? "" : separator).append(part);
    }
    return text;
}

// A file's whole contents as bytes (empty when it cannot be read), and a file written whole.
std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& contents);

// Sets (or, given nothing, unsets) an environment variable for the lifetime of the object,
// then puts back what was there. Not thread-safe, like setenv itself.
class ScopedEnvironmentVariable {
  public:
    ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

  private:
    std::string name_;
    std::optional<std::string> previous_;
};

// While it lives, the process runs on manual stand-ins:
// - currentClock() is clock(), a ManualClock starting at `start`
//   (default 2027-01-15 10:00:00 UTC);
// - mainRunLoop() is loop(), a ManualRunLoop on that clock;
// - UserDefaults::standard() is defaults(), fresh and in memory;
// - debugLog lines are recorded (and also go to standard error when JOTWELL_DEBUG=1).
// Its destruction puts back whatever it replaced, so instances nest. Create and destroy it on
// the test's main thread; logLines() and clearLog() may be called from any thread.
class ManualPlatform {
  public:
    static constexpr Date defaultStart{1'800'007'200.0};

    explicit ManualPlatform(Date start = defaultStart);
    ~ManualPlatform();
    ManualPlatform(const ManualPlatform&) = delete;
    ManualPlatform& operator=(const ManualPlatform&) = delete;

    ManualClock& clock() { return *clock_; }
    ManualRunLoop& loop() { return *loop_; }
    UserDefaults& defaults() { return *defaults_; }
    std::shared_ptr<ManualClock> sharedClock() const { return clock_; }
    std::shared_ptr<ManualRunLoop> sharedLoop() const { return loop_; }

    // The lines logged so far, in order.
    std::vector<std::string> logLines() const;
    void clearLog();

  private:
    struct LogRecord {
        mutable std::mutex mutex;
        std::vector<std::string> lines;
    };

    std::shared_ptr<LogRecord> log_;
    std::shared_ptr<ManualClock> clock_;
    std::shared_ptr<ManualRunLoop> loop_;
    std::shared_ptr<UserDefaults> defaults_;

    std::shared_ptr<Clock> previousClock_;
    std::shared_ptr<RunLoop> previousLoop_;
    std::shared_ptr<UserDefaults> previousDefaults_;
    DebugLogSink previousSink_;
};

}  // namespace jw::test
