#pragma once
// A cloud file system that passes every call to another one and that a test scripts: it
// records what the sync engine wrote and removed, holds calls at a gate, runs hooks around
// calls, and can be pointed at another cloud. One wrapper for every test that needs to watch
// or steer the engine's traffic; the in-memory cloud's views inject the failures.
//
// Thread-safe: the engine's worker calls it while the test thread scripts and reads it. Hooks
// and the gate run on the calling thread, outside the wrapper's lock.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/sync/CloudFileSystem.h"
#include "tests/support/InMemoryCloud.h"

namespace jw::test {

class ScriptableCloud final : public sync::CloudFileSystem {
  public:
    // Called before a call reaches the inner cloud, and after it with the status it gave. A
    // hook may throw or end the process, standing for a process that stops at that point.
    using BeforeHook = std::function<void(CloudOperation, const std::string& path)>;
    using AfterHook =
        std::function<void(CloudOperation, const std::string& path, sync::CloudStatus)>;

    explicit ScriptableCloud(std::shared_ptr<sync::CloudFileSystem> inner);

    // From now on the calls go to `inner`: the device was pointed at another folder, or its
    // folder was swapped for a moment.
    void redirect(std::shared_ptr<sync::CloudFileSystem> inner);
    // While the gate is closed every call waits before it starts, so a test can hold the
    // engine's worker in the middle of an operation. Open at first.
    void closeGate();
    void openGate();
    void setBefore(BeforeHook hook);
    void setAfter(AfterHook hook);

    // Every change file (".jwchanges") written successfully, in order, as (path, contents);
    // every path removed successfully.
    std::vector<std::pair<std::string, std::string>> changeFiles() const;
    std::vector<std::string> removed() const;

    sync::CloudStatus checkRoot() override;
    sync::CloudListing list(const std::string& folder) override;
    sync::CloudRead read(const std::string& path, std::size_t maxBytes) override;
    sync::CloudStatus writeAtomically(const std::string& path, std::string_view contents) override;
    sync::CloudStatus remove(const std::string& path) override;
    sync::CloudStatus makeDirectory(const std::string& path) override;
    std::string location() const override;

  private:
    // Waits at the gate, runs the before hook, and hands back the cloud to call.
    std::shared_ptr<sync::CloudFileSystem> enter(CloudOperation operation, const std::string& path);
    sync::CloudStatus leave(CloudOperation operation, const std::string& path,
                            sync::CloudStatus status);

    mutable std::mutex mutex_;
    std::condition_variable gateOpened_;
    bool gateOpen_ = true;
    std::shared_ptr<sync::CloudFileSystem> inner_;
    BeforeHook before_;
    AfterHook after_;
    std::vector<std::pair<std::string, std::string>> changeFiles_;
    std::vector<std::string> removed_;
};

// Opens the gate when the scope ends, so that a failed check cannot leave a worker waiting
// forever at a closed gate.
struct OpenGateAtExit {
    ScriptableCloud& cloud;
    ~OpenGateAtExit() { cloud.openGate(); }
};

}  // namespace jw::test
