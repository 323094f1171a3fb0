#pragma once
// A cloud folder in memory, shared by several simulated devices, that misbehaves on command.
//
// InMemoryCloud holds what the cloud service holds (the "true" state). Each device reaches it
// through its own view, a CloudFileSystem. What a device writes, removes or makes is in its
// own view at once and in the true state at once, and reaches every other device's view only
// when the test delivers it:
// - deliverAll() delivers everything pending, in the order it was made, whole and once; after
//   it every view holds exactly the true state (but for devices offline, see setOffline).
// - deliverSome(rng) delivers a random subset of what is pending in a random order, and applies
//   the faults of the delivery options: a file whose first arrival is a prefix of it (the
//   rest comes with a later delivery), a delivery that arrives again later, and such a second
//   arrival as a conflict copy ("name (conflict 1).ext" beside the file, which the receiving
//   device then syncs to everyone as if it had written it).
// Every change carries a number, in the order changes were made; a view never lets an older
// change replace a newer one, so deliveries out of order, duplicates and late arrivals can
// delay a device but never make it diverge: the last change made to a path wins everywhere.
//
// A device's view starts as a copy of the true state when it is first asked for. The same
// device name always gives the same view.
//
// Views answer like FolderCloudFileSystem: the same path rules and statuses, an "other" entry
// (what a symbolic link is there) refused as a file and as a folder on the way, listings
// sorted and without temporary names.
//
// Deterministic: given the same calls in the same order and the same seeds, the same results.
// Thread-safe: every call on the cloud and on any view is guarded by one mutex, so an engine's
// worker thread may use a view while the test thread delivers.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>

#include "platform/sync/CloudFileSystem.h"

namespace jw::test {

enum class CloudOperation { list, read, write, remove, makeDirectory, checkRoot };

struct CloudDeliveryOptions {
    // deliverSome: the chance that each pending delivery arrives in this round.
    double deliveryProbability = 0.5;
    // deliverSome: the chance that a file arrives first as a prefix of itself (possibly empty).
    double truncateProbability = 0.0;
    // deliverSome: the chance that a delivery is queued to arrive once more later.
    double duplicateProbability = 0.0;
    // The chance that such a second arrival comes as a conflict copy of a file.
    double conflictCopyProbability = 0.0;
};

namespace detail {
struct InMemoryCloudState;
}

class InMemoryCloudView;

class InMemoryCloud {
  public:
    using Operation = CloudOperation;

    InMemoryCloud();
    ~InMemoryCloud();
    InMemoryCloud(const InMemoryCloud&) = delete;
    InMemoryCloud& operator=(const InMemoryCloud&) = delete;

    // The device's view of the cloud (made on first use). A view stays valid, and keeps
    // working, after the cloud object is destroyed.
    std::shared_ptr<sync::CloudFileSystem> deviceView(const std::string& device);
    // The same view, with its faults and counters.
    std::shared_ptr<InMemoryCloudView> view(const std::string& device);
    // A view for a device that joins now and whose file-sync service has not brought it
    // anything yet: it starts empty, and everything in the true state is pending for it (a
    // folder before what is in it), to arrive with the deliveries like any change.
    std::shared_ptr<InMemoryCloudView> joiningView(const std::string& device);

    // What every view answers to location(): "memory-cloud-<n>", n counting clouds made in
    // this process, unless set (two clouds with one location are one folder seen twice).
    std::string location() const;
    void setLocation(std::string location);

    void setOptions(const CloudDeliveryOptions& options);

    // Each returns the number of deliveries that arrived (a truncated arrival counts).
    std::size_t deliverAll();
    std::size_t deliverSome(std::mt19937& rng);

    // The true state: every file and its contents.
    std::map<std::string, std::string> files() const;

  private:
    std::shared_ptr<detail::InMemoryCloudState> state_;
};

class InMemoryCloudView final : public sync::CloudFileSystem {
  public:
    using Operation = CloudOperation;

    const std::string& device() const { return device_; }

    sync::CloudStatus checkRoot() override;
    sync::CloudListing list(const std::string& folder) override;
    sync::CloudRead read(const std::string& path, std::size_t maxBytes) override;
    sync::CloudStatus writeAtomically(const std::string& path, std::string_view contents) override;
    sync::CloudStatus remove(const std::string& path) override;
    sync::CloudStatus makeDirectory(const std::string& path) override;
    std::string location() const override;

    // The next `count` calls of `operation` on this view fail with `status` (which must not be
    // ok) and change nothing. Queued after failures already asked for.
    void failNext(Operation operation, int count, sync::CloudStatus status);
    // While set, every call on this view answers unavailable and changes nothing, as when the
    // drive is unmounted; deliveries still arrive and are seen once it is cleared. Given a
    // path, only reads of that file or listings of that folder answer so (an I/O error there).
    void setUnavailable(bool unavailable, const std::string& path = {});
    // While set, the device's file-sync service does not run: the view works, but what this
    // device writes or removes reaches the cloud and the others only once it is cleared, and
    // nothing made elsewhere arrives here meanwhile.
    void setOffline(bool offline);

    // Puts an entry into this view only (nothing is delivered to anyone), replacing whatever
    // was at the path (and under it) and making missing folders above it. `other` stands for
    // a symbolic link: listed as other, refused as a file and as a folder. Throws
    // std::invalid_argument for a malformed path or a path under a file.
    void plantFile(const std::string& path, std::string_view contents);
    void plantDirectory(const std::string& path);
    void plantOther(const std::string& path);

    // What this device sees now: every file and its contents.
    std::map<std::string, std::string> files() const;
    // Calls of `operation` made on this view so far, failed ones included.
    std::size_t calls(Operation operation) const;

  private:
    friend class InMemoryCloud;
    void plant(const std::string& path, sync::CloudEntryKind kind, std::string_view contents);
    InMemoryCloudView(std::shared_ptr<detail::InMemoryCloudState> state, std::string device);

    std::shared_ptr<detail::InMemoryCloudState> state_;
    std::string device_;
};

}  // namespace jw::test
