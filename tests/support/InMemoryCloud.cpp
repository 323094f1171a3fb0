#include "tests/support/InMemoryCloud.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

namespace jw::test {

using sync::CloudEntry;
using sync::CloudEntryKind;
using sync::CloudListing;
using sync::CloudRead;
using sync::CloudStatus;
using sync::isValidCloudPath;

namespace detail {

namespace {

constexpr std::size_t kOperationCount = 6;

struct Node {
    CloudEntryKind kind = CloudEntryKind::file;
    std::string contents;
    std::uint64_t version = 0;
    bool truncated = false;  // a prefix of the file of this version; the rest is on its way
};

// One copy of the folder tree: the true state, or what one device sees. Folders are explicit
// nodes; every node above a node is a folder.
struct Tree {
    std::map<std::string, Node> nodes;
    // The version of the last removal of each path, so that an older write arriving late does
    // not bring the file back.
    std::map<std::string, std::uint64_t> removals;
};

enum class ChangeKind { write, makeDirectory, remove };

struct Change {
    ChangeKind kind = ChangeKind::write;
    std::string path;
    std::string contents;
    std::uint64_t version = 0;
};

struct Delivery {
    std::string device;
    Change change;
    bool arrivedTruncated = false;
    bool duplicate = false;
    bool asConflictCopy = false;
};

struct ViewState {
    Tree tree;
    bool unavailable = false;
    std::set<std::string> unavailablePaths;  // for reads and listings
    // Offline: the device's file-sync service is not running. Its own changes wait in the
    // outbox; what others made waits in the pending deliveries.
    bool offline = false;
    std::vector<Change> outbox;
    std::array<std::deque<CloudStatus>, kOperationCount> failures;
    std::array<std::size_t, kOperationCount> calls{};
    std::weak_ptr<InMemoryCloudView> object;
};

}  // namespace

struct InMemoryCloudState {
    mutable std::mutex mutex;
    std::string location;
    std::uint64_t lastVersion = 0;
    Tree cloud;
    std::map<std::string, ViewState> views;
    std::vector<Delivery> pending;
    CloudDeliveryOptions options;
};

namespace {

// "a/b/c" gives "a" and "a/b".
std::vector<std::string> foldersAbove(const std::string& path) {
    std::vector<std::string> folders;
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        folders.push_back(path.substr(0, slash));
    }
    return folders;
}

const Node* find(const Tree& tree, const std::string& path) {
    const auto it = tree.nodes.find(path);
    return it == tree.nodes.end() ? nullptr : &it->second;
}

// Whether every folder above `path` is there, as FolderCloudFileSystem judges it: a missing
// folder or a file on the way means the path is absent, a link on the way is refused.
CloudStatus foldersOnTheWay(const Tree& tree, const std::string& path) {
    for (const std::string& folder : foldersAbove(path)) {
        const Node* node = find(tree, folder);
        if (node == nullptr || node->kind == CloudEntryKind::file) {
            return CloudStatus::notFound;
        }
        if (node->kind == CloudEntryKind::other) {
            return CloudStatus::invalid;
        }
    }
    return CloudStatus::ok;
}

std::uint64_t versionAt(const Tree& tree, const std::string& path) {
    std::uint64_t version = 0;
    if (const Node* node = find(tree, path)) {
        version = node->version;
    }
    if (const auto it = tree.removals.find(path); it != tree.removals.end()) {
        version = std::max(version, it->second);
    }
    return version;
}

// Makes the missing folders above `path`; false when something else is in the way.
bool makeFoldersAbove(Tree& tree, const std::string& path, std::uint64_t version) {
    for (const std::string& folder : foldersAbove(path)) {
        const auto [it, made] =
            tree.nodes.try_emplace(folder, Node{CloudEntryKind::directory, {}, version, false});
        if (!made && it->second.kind != CloudEntryKind::directory) {
            return false;
        }
    }
    return true;
}

void eraseSubtree(Tree& tree, const std::string& path) {
    tree.nodes.erase(path);
    const std::string prefix = path + '/';
    auto it = tree.nodes.lower_bound(prefix);
    while (it != tree.nodes.end() && it->first.starts_with(prefix)) {
        it = tree.nodes.erase(it);
    }
}

// Applies a change to one tree unless the tree already holds something newer. With
// `prefixLength`, a write arrives as only that many bytes of the file.
void apply(Tree& tree, const Change& change,
           std::optional<std::size_t> prefixLength = std::nullopt) {
    switch (change.kind) {
        case ChangeKind::write: {
            const Node* existing = find(tree, change.path);
            const std::uint64_t current = versionAt(tree, change.path);
            const bool completesTruncated = existing != nullptr &&
                                            existing->version == change.version &&
                                            existing->truncated && !prefixLength;
            if (current >= change.version && !completesTruncated) {
                return;
            }
            if (existing != nullptr && existing->kind != CloudEntryKind::file) {
                return;  // a folder or a link where the file should go: the change cannot land
            }
            if (!makeFoldersAbove(tree, change.path, change.version)) {
                return;
            }
            Node& node = tree.nodes[change.path];
            node.kind = CloudEntryKind::file;
            node.version = change.version;
            node.truncated = prefixLength.has_value();
            node.contents =
                prefixLength ? change.contents.substr(0, *prefixLength) : change.contents;
            tree.removals.erase(change.path);
            return;
        }
        case ChangeKind::makeDirectory: {
            if (!makeFoldersAbove(tree, change.path, change.version)) {
                return;
            }
            tree.nodes.try_emplace(change.path,
                                   Node{CloudEntryKind::directory, {}, change.version, false});
            return;
        }
        case ChangeKind::remove: {
            if (versionAt(tree, change.path) > change.version) {
                return;
            }
            if (const Node* node = find(tree, change.path);
                node != nullptr && node->kind == CloudEntryKind::file) {
                tree.nodes.erase(change.path);
            }
            tree.removals[change.path] = change.version;
            return;
        }
    }
}

std::map<std::string, std::string> filesOf(const Tree& tree) {
    std::map<std::string, std::string> files;
    for (const auto& [path, node] : tree.nodes) {
        if (node.kind == CloudEntryKind::file) {
            files.emplace(path, node.contents);
        }
    }
    return files;
}

ViewState& viewOf(InMemoryCloudState& state, const std::string& device) {
    const auto [it, made] = state.views.try_emplace(device);
    if (made) {
        it->second.tree = state.cloud;
    }
    return it->second;
}

// A change a device made: in its view and in the true state now, in every other view later.
// The change leaves `device` for the cloud service and every other device.
void publish(InMemoryCloudState& state, const std::string& device, const Change& change) {
    apply(state.cloud, change);
    for (const auto& [other, view] : state.views) {
        if (other != device) {
            state.pending.push_back(Delivery{other, change});
        }
    }
}

void makeChange(InMemoryCloudState& state, const std::string& device, Change change) {
    auto& view = state.views.at(device);
    apply(view.tree, change);
    if (view.offline) {
        view.outbox.push_back(std::move(change));
    } else {
        publish(state, device, change);
    }
}

// "notes.txt" gives "notes (conflict 1).txt", ".hidden" gives ".hidden (conflict 1)".
std::string conflictName(const std::string& path, int number) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) {
        dot = path.size();
    }
    return path.substr(0, dot) + " (conflict " + std::to_string(number) + ")" + path.substr(dot);
}

void deliverWhole(InMemoryCloudState& state, const Delivery& delivery) {
    Tree& tree = state.views.at(delivery.device).tree;
    if (!delivery.asConflictCopy) {
        apply(tree, delivery.change);
        return;
    }
    // The second arrival of a file, kept beside it under a new name by the receiving
    // device's sync service, which then syncs that copy like any file of its own. The name
    // is chosen from what that device sees, so two devices may make the same copy.
    if (foldersOnTheWay(tree, delivery.change.path) != CloudStatus::ok) {
        return;
    }
    std::string copy;
    for (int number = 1; copy.empty() || find(tree, copy) != nullptr; ++number) {
        copy = conflictName(delivery.change.path, number);
    }
    makeChange(state, delivery.device,
               Change{ChangeKind::write, copy, delivery.change.contents, ++state.lastVersion});
}

}  // namespace

}  // namespace detail

using detail::Change;
using detail::ChangeKind;
using detail::Node;

// --- InMemoryCloud -------------------------------------------------------------------------

InMemoryCloud::InMemoryCloud() : state_(std::make_shared<detail::InMemoryCloudState>()) {
    static std::atomic<int> made{0};
    state_->location = "memory-cloud-" + std::to_string(++made);
}

std::string InMemoryCloud::location() const {
    std::lock_guard lock(state_->mutex);
    return state_->location;
}

void InMemoryCloud::setLocation(std::string location) {
    std::lock_guard lock(state_->mutex);
    state_->location = std::move(location);
}

std::shared_ptr<InMemoryCloudView> InMemoryCloud::joiningView(const std::string& device) {
    {
        std::lock_guard lock(state_->mutex);
        if (state_->views.try_emplace(device).second) {
            // The tree's order puts every folder before what is in it.
            for (const auto& [path, node] : state_->cloud.nodes) {
                if (node.kind == CloudEntryKind::other) {
                    continue;
                }
                const auto kind = node.kind == CloudEntryKind::file ? ChangeKind::write
                                                                    : ChangeKind::makeDirectory;
                state_->pending.push_back(
                    detail::Delivery{device, Change{kind, path, node.contents, node.version}});
            }
        }
    }
    return view(device);
}

InMemoryCloud::~InMemoryCloud() = default;

std::shared_ptr<sync::CloudFileSystem> InMemoryCloud::deviceView(const std::string& device) {
    return view(device);
}

std::shared_ptr<InMemoryCloudView> InMemoryCloud::view(const std::string& device) {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = detail::viewOf(*state_, device);
    if (auto existing = view.object.lock()) {
        return existing;
    }
    std::shared_ptr<InMemoryCloudView> made(new InMemoryCloudView(state_, device));
    view.object = made;
    return made;
}

void InMemoryCloud::setOptions(const CloudDeliveryOptions& options) {
    std::lock_guard lock(state_->mutex);
    state_->options = options;
}

std::size_t InMemoryCloud::deliverAll() {
    std::lock_guard lock(state_->mutex);
    std::size_t delivered = 0;
    // A conflict copy arriving makes new deliveries; they are delivered too, until a round
    // delivers nothing. What is for an offline device waits.
    for (std::size_t before = 1; delivered != before;) {
        before = delivered;
        for (detail::Delivery& delivery : std::exchange(state_->pending, {})) {
            if (state_->views.at(delivery.device).offline) {
                state_->pending.push_back(std::move(delivery));
            } else {
                detail::deliverWhole(*state_, delivery);
                ++delivered;
            }
        }
    }
    return delivered;
}

std::size_t InMemoryCloud::deliverSome(std::mt19937& rng) {
    std::lock_guard lock(state_->mutex);
    const CloudDeliveryOptions& options = state_->options;
    std::bernoulli_distribution arrives(options.deliveryProbability);
    std::bernoulli_distribution truncated(options.truncateProbability);
    std::bernoulli_distribution duplicated(options.duplicateProbability);
    std::bernoulli_distribution asConflictCopy(options.conflictCopyProbability);

    std::vector<detail::Delivery> round = std::move(state_->pending);
    state_->pending.clear();
    std::vector<detail::Delivery> chosen;
    std::vector<detail::Delivery> later;
    for (detail::Delivery& delivery : round) {
        const bool now = !state_->views.at(delivery.device).offline && arrives(rng);
        (now ? chosen : later).push_back(std::move(delivery));
    }
    std::shuffle(chosen.begin(), chosen.end(), rng);

    // What waits stays first; what this round queues (rest of a truncated file, a second
    // arrival, the changes a conflict copy makes) comes after it.
    state_->pending = std::move(later);
    for (detail::Delivery& delivery : chosen) {
        const Change& change = delivery.change;
        if (change.kind == ChangeKind::write && !delivery.arrivedTruncated &&
            !delivery.asConflictCopy && !change.contents.empty() && truncated(rng)) {
            std::uniform_int_distribution<std::size_t> length(0, change.contents.size() - 1);
            detail::apply(state_->views.at(delivery.device).tree, change, length(rng));
            delivery.arrivedTruncated = true;
            state_->pending.push_back(std::move(delivery));
            continue;
        }
        detail::deliverWhole(*state_, delivery);
        if (!delivery.duplicate && duplicated(rng)) {
            detail::Delivery again = delivery;
            again.duplicate = true;
            again.arrivedTruncated = true;  // a second arrival comes whole
            again.asConflictCopy = change.kind == ChangeKind::write && asConflictCopy(rng);
            state_->pending.push_back(std::move(again));
        }
    }
    return chosen.size();
}

std::map<std::string, std::string> InMemoryCloud::files() const {
    std::lock_guard lock(state_->mutex);
    return detail::filesOf(state_->cloud);
}

// --- InMemoryCloudView ---------------------------------------------------------------------

namespace {

// Counts the call and answers for it when a fault says so.
std::optional<CloudStatus> answerFault(detail::ViewState& view, CloudOperation operation,
                                       const std::string& path) {
    const std::size_t index = std::size_t(operation);
    ++view.calls[index];
    if (auto& failures = view.failures[index]; !failures.empty()) {
        const CloudStatus status = failures.front();
        failures.pop_front();
        return status;
    }
    const bool readsPath = operation == CloudOperation::read || operation == CloudOperation::list;
    if (view.unavailable || (readsPath && view.unavailablePaths.count(path))) {
        return CloudStatus::unavailable;
    }
    return std::nullopt;
}

// What every call on a path answers before it looks at the path itself, as
// FolderCloudFileSystem does: a fault, a malformed path, or what is on the way there.
std::optional<CloudStatus> refusal(detail::ViewState& view, CloudOperation operation,
                                   const std::string& path) {
    if (const auto fault = answerFault(view, operation, path)) {
        return fault;
    }
    if (!isValidCloudPath(path)) {
        return CloudStatus::invalid;
    }
    if (const CloudStatus status = detail::foldersOnTheWay(view.tree, path);
        status != CloudStatus::ok) {
        return status;
    }
    return std::nullopt;
}

}  // namespace

InMemoryCloudView::InMemoryCloudView(std::shared_ptr<detail::InMemoryCloudState> state,
                                     std::string device)
    : state_(std::move(state)), device_(std::move(device)) {}

std::string InMemoryCloudView::location() const {
    std::lock_guard lock(state_->mutex);
    return state_->location;
}

CloudStatus InMemoryCloudView::checkRoot() {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = state_->views.at(device_);
    return answerFault(view, Operation::checkRoot, "").value_or(CloudStatus::ok);
}

CloudListing InMemoryCloudView::list(const std::string& folder) {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = state_->views.at(device_);
    const detail::Tree& tree = view.tree;
    if (const auto refused = folder.empty() ? answerFault(view, Operation::list, folder)
                                            : refusal(view, Operation::list, folder)) {
        return {*refused, {}};
    }
    if (!folder.empty()) {
        const Node* node = detail::find(tree, folder);
        if (node == nullptr || node->kind != CloudEntryKind::directory) {
            return {node == nullptr ? CloudStatus::notFound : CloudStatus::invalid, {}};
        }
    }
    const std::string prefix = folder.empty() ? std::string() : folder + '/';
    CloudListing listing;
    // The tree's order is the order of the names within a folder.
    for (auto it = tree.nodes.lower_bound(prefix);
         it != tree.nodes.end() && it->first.starts_with(prefix); ++it) {
        const std::string name = it->first.substr(prefix.size());
        if (name.find('/') == std::string::npos && !sync::isTemporaryCloudName(name)) {
            listing.entries.push_back(CloudEntry{name, it->second.kind});
        }
    }
    return listing;
}

CloudRead InMemoryCloudView::read(const std::string& path, std::size_t maxBytes) {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = state_->views.at(device_);
    if (const auto refused = refusal(view, Operation::read, path)) {
        return {*refused, {}};
    }
    const Node* node = detail::find(view.tree, path);
    if (node == nullptr || node->kind != CloudEntryKind::file) {
        return {node == nullptr ? CloudStatus::notFound : CloudStatus::invalid, {}};
    }
    if (node->contents.size() > maxBytes) {
        return {CloudStatus::tooLarge, {}};
    }
    return {CloudStatus::ok, node->contents};
}

CloudStatus InMemoryCloudView::writeAtomically(const std::string& path, std::string_view contents) {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = state_->views.at(device_);
    if (const auto refused = refusal(view, Operation::write, path)) {
        return *refused;
    }
    if (const Node* node = detail::find(view.tree, path);
        node != nullptr && node->kind != CloudEntryKind::file) {
        return CloudStatus::invalid;
    }
    detail::makeChange(
        *state_, device_,
        Change{ChangeKind::write, path, std::string(contents), ++state_->lastVersion});
    return CloudStatus::ok;
}

CloudStatus InMemoryCloudView::remove(const std::string& path) {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = state_->views.at(device_);
    if (const auto refused = refusal(view, Operation::remove, path)) {
        return *refused;
    }
    const Node* node = detail::find(view.tree, path);
    if (node == nullptr || node->kind != CloudEntryKind::file) {
        return node == nullptr ? CloudStatus::notFound : CloudStatus::invalid;
    }
    detail::makeChange(*state_, device_,
                       Change{ChangeKind::remove, path, {}, ++state_->lastVersion});
    return CloudStatus::ok;
}

CloudStatus InMemoryCloudView::makeDirectory(const std::string& path) {
    std::lock_guard lock(state_->mutex);
    detail::ViewState& view = state_->views.at(device_);
    if (const auto fault = answerFault(view, Operation::makeDirectory, path)) {
        return *fault;
    }
    if (!isValidCloudPath(path)) {
        return CloudStatus::invalid;
    }
    std::vector<std::string> folders = detail::foldersAbove(path);
    folders.push_back(path);
    for (const std::string& folder : folders) {
        const Node* node = detail::find(view.tree, folder);
        if (node == nullptr) {  // everything below is missing too
            detail::makeChange(*state_, device_,
                               Change{ChangeKind::makeDirectory, path, {}, ++state_->lastVersion});
            break;
        }
        if (node->kind != CloudEntryKind::directory) {
            return CloudStatus::invalid;
        }
    }
    return CloudStatus::ok;
}

void InMemoryCloudView::failNext(Operation operation, int count, CloudStatus status) {
    if (status == CloudStatus::ok) {
        throw std::invalid_argument("failNext needs a failing status");
    }
    std::lock_guard lock(state_->mutex);
    auto& failures = state_->views.at(device_).failures[std::size_t(operation)];
    failures.insert(failures.end(), count, status);
}

void InMemoryCloudView::setOffline(bool offline) {
    std::lock_guard lock(state_->mutex);
    auto& view = state_->views.at(device_);
    view.offline = offline;
    if (!offline) {
        for (const auto& change : std::exchange(view.outbox, {})) {
            detail::publish(*state_, device_, change);
        }
    }
}

void InMemoryCloudView::setUnavailable(bool unavailable, const std::string& path) {
    std::lock_guard lock(state_->mutex);
    auto& view = state_->views.at(device_);
    if (path.empty()) {
        view.unavailable = unavailable;
    } else if (unavailable) {
        view.unavailablePaths.insert(path);
    } else {
        view.unavailablePaths.erase(path);
    }
}

// Puts a node at `path` whatever was there, as a test arranging a hostile folder means it.
void InMemoryCloudView::plant(const std::string& path, CloudEntryKind kind,
                              std::string_view contents) {
    std::lock_guard lock(state_->mutex);
    detail::Tree& tree = state_->views.at(device_).tree;
    if (!isValidCloudPath(path)) {
        throw std::invalid_argument("cannot plant at the malformed path \"" + path + "\"");
    }
    for (const std::string& folder : detail::foldersAbove(path)) {
        const Node* node = detail::find(tree, folder);
        if (node != nullptr && node->kind != CloudEntryKind::directory) {
            throw std::invalid_argument("cannot plant \"" + path + "\": \"" + folder +
                                        "\" is not a folder");
        }
    }
    detail::eraseSubtree(tree, path);
    const auto version = ++state_->lastVersion;
    detail::makeFoldersAbove(tree, path, version);
    tree.removals.erase(path);
    tree.nodes[path] = Node{kind, std::string(contents), version, false};
}

void InMemoryCloudView::plantFile(const std::string& path, std::string_view contents) {
    plant(path, CloudEntryKind::file, contents);
}

void InMemoryCloudView::plantDirectory(const std::string& path) {
    plant(path, CloudEntryKind::directory, {});
}

void InMemoryCloudView::plantOther(const std::string& path) {
    plant(path, CloudEntryKind::other, {});
}

std::map<std::string, std::string> InMemoryCloudView::files() const {
    std::lock_guard lock(state_->mutex);
    return detail::filesOf(state_->views.at(device_).tree);
}

std::size_t InMemoryCloudView::calls(Operation operation) const {
    std::lock_guard lock(state_->mutex);
    return state_->views.at(device_).calls[std::size_t(operation)];
}

}  // namespace jw::test
