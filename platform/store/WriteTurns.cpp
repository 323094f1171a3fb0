#include "WriteTurns.h"

#include <map>
#include <string>
#include <system_error>

namespace jw::store {

std::shared_ptr<WriteTurns> WriteTurns::forFile(const std::filesystem::path& file) {
    static std::mutex mutex;
    static std::map<std::string, std::weak_ptr<WriteTurns>> byFile;
    std::error_code error;
    auto key = std::filesystem::weakly_canonical(file, error).string();
    if (error) {
        key = file.string();
    }
    std::lock_guard lock(mutex);
    // Files no connection holds any more leave the map as others are opened.
    std::erase_if(byFile, [](const auto& entry) { return entry.second.expired(); });
    auto& slot = byFile[key];
    auto turns = slot.lock();
    if (!turns) {
        turns = std::make_shared<WriteTurns>();
        slot = turns;
    }
    return turns;
}

WriteTurns::ForegroundWait::ForegroundWait(WriteTurns& turns) : turns_(turns) {
    std::lock_guard lock(turns_.mutex_);
    ++turns_.waiting_;
}

WriteTurns::ForegroundWait::~ForegroundWait() {
    {
        std::lock_guard lock(turns_.mutex_);
        --turns_.waiting_;
    }
    turns_.done_.notify_all();
}

void WriteTurns::letForegroundGoFirst(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    done_.wait_for(lock, limit, [&] { return waiting_ == 0; });
}

}  // namespace jw::store
