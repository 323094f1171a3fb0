#include "tests/support/ScriptableCloud.h"

namespace jw::test {

using sync::CloudStatus;

ScriptableCloud::ScriptableCloud(std::shared_ptr<sync::CloudFileSystem> inner)
    : inner_(std::move(inner)) {}

void ScriptableCloud::redirect(std::shared_ptr<sync::CloudFileSystem> inner) {
    std::lock_guard lock(mutex_);
    inner_ = std::move(inner);
}

void ScriptableCloud::closeGate() {
    std::lock_guard lock(mutex_);
    gateOpen_ = false;
}

void ScriptableCloud::openGate() {
    {
        std::lock_guard lock(mutex_);
        gateOpen_ = true;
    }
    gateOpened_.notify_all();
}

void ScriptableCloud::setBefore(BeforeHook hook) {
    std::lock_guard lock(mutex_);
    before_ = std::move(hook);
}

void ScriptableCloud::setAfter(AfterHook hook) {
    std::lock_guard lock(mutex_);
    after_ = std::move(hook);
}

std::vector<std::pair<std::string, std::string>> ScriptableCloud::changeFiles() const {
    std::lock_guard lock(mutex_);
    return changeFiles_;
}

std::vector<std::string> ScriptableCloud::removed() const {
    std::lock_guard lock(mutex_);
    return removed_;
}

std::shared_ptr<sync::CloudFileSystem> ScriptableCloud::enter(CloudOperation operation,
                                                              const std::string& path) {
    BeforeHook before;
    std::shared_ptr<sync::CloudFileSystem> inner;
    {
        std::unique_lock lock(mutex_);
        gateOpened_.wait(lock, [&] { return gateOpen_; });
        before = before_;
        inner = inner_;
    }
    if (before) {
        before(operation, path);
    }
    return inner;
}

CloudStatus ScriptableCloud::leave(CloudOperation operation, const std::string& path,
                                   CloudStatus status) {
    AfterHook after;
    {
        std::lock_guard lock(mutex_);
        after = after_;
    }
    if (after) {
        after(operation, path, status);
    }
    return status;
}

CloudStatus ScriptableCloud::checkRoot() {
    return leave(CloudOperation::checkRoot, "", enter(CloudOperation::checkRoot, "")->checkRoot());
}

sync::CloudListing ScriptableCloud::list(const std::string& folder) {
    auto listing = enter(CloudOperation::list, folder)->list(folder);
    leave(CloudOperation::list, folder, listing.status);
    return listing;
}

sync::CloudRead ScriptableCloud::read(const std::string& path, std::size_t maxBytes) {
    auto result = enter(CloudOperation::read, path)->read(path, maxBytes);
    leave(CloudOperation::read, path, result.status);
    return result;
}

CloudStatus ScriptableCloud::writeAtomically(const std::string& path, std::string_view contents) {
    const auto status = enter(CloudOperation::write, path)->writeAtomically(path, contents);
    if (status == CloudStatus::ok && path.ends_with(".jwchanges")) {
        std::lock_guard lock(mutex_);
        changeFiles_.emplace_back(path, std::string(contents));
    }
    return leave(CloudOperation::write, path, status);
}

CloudStatus ScriptableCloud::remove(const std::string& path) {
    const auto status = enter(CloudOperation::remove, path)->remove(path);
    if (status == CloudStatus::ok) {
        std::lock_guard lock(mutex_);
        removed_.push_back(path);
    }
    return leave(CloudOperation::remove, path, status);
}

CloudStatus ScriptableCloud::makeDirectory(const std::string& path) {
    return leave(CloudOperation::makeDirectory, path,
                 enter(CloudOperation::makeDirectory, path)->makeDirectory(path));
}

std::string ScriptableCloud::location() const {
    std::lock_guard lock(mutex_);
    return inner_->location();
}

}  // namespace jw::test
