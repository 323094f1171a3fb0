#include "CommitHooks.h"

#include <map>
#include <mutex>

namespace jw::store {

namespace {

std::mutex gMutex;
// Never destroyed: ensembles may still let go of their hook while the program exits.
std::map<std::filesystem::path, CommitHook>& hooks() {
    static auto* map = new std::map<std::filesystem::path, CommitHook>();
    return *map;
}

}  // namespace

std::filesystem::path normalisedStorePath(const std::filesystem::path& file) {
    std::error_code ec;
    auto absolute = std::filesystem::weakly_canonical(file, ec);
    return ec ? std::filesystem::absolute(file).lexically_normal() : absolute;
}

void setCommitHook(const std::filesystem::path& storeFile, CommitHook hook) {
    const auto key = normalisedStorePath(storeFile);
    std::lock_guard lock(gMutex);
    if (hook) {
        hooks()[key] = std::move(hook);
    } else {
        hooks().erase(key);
    }
}

CommitHook commitHookFor(const std::filesystem::path& normalisedPath) {
    std::lock_guard lock(gMutex);
    if (hooks().empty()) {
        return {};
    }
    auto it = hooks().find(normalisedPath);
    return it == hooks().end() ? CommitHook{} : it->second;
}

}  // namespace jw::store
