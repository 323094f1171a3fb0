#include "EngineContext.h"

#include <fmt/format.h>

#include <sqlite3.h>

#include <nlohmann/json.hpp>

#include "SyncState.h"
#include "SyncTables.h"
#include "platform/foundation/DebugLog.h"
#include "platform/store/StoreError.h"

namespace jw::sync {

namespace {
std::atomic<int> gLoggingLevel{0};
}  // namespace

void setCurrentLoggingLevel(int level) {
    gLoggingLevel.store(level);
}

void engineLog(int level, const std::string& text) {
    if (level <= gLoggingLevel.load()) {
        debugLog("sync: " + text);
    }
}

EngineContext::EngineContext(std::string identifier, std::filesystem::path storeURL,
                             std::shared_ptr<const store::ObjectModel> model,
                             std::shared_ptr<CloudFileSystem> fs, EnsembleTuning tuning,
                             bool leeched, Deliver deliver)
    : identifier(std::move(identifier)),
      storeURL(std::move(storeURL)),
      model(std::move(model)),
      fs(std::move(fs)),
      tuning(tuning),
      layout{this->identifier},
      leeched(leeched),
      deliver_(std::move(deliver)) {}

store::StoreConnection& EngineContext::connection() {
    if (!connection_) {
        connection_ = std::make_unique<store::StoreConnection>(storeURL, model);
        connection_->database().execute(
            fmt::format("PRAGMA cache_size = -{}", kEngineCacheKibibytes));
        connection_->database().setBackgroundWriter();
        SyncTables::create(connection_->database());
        setDevice(SyncState(connection_->database()).get(state::device));
    }
    return *connection_;
}

void EngineContext::releaseFreePages() {
    auto& db = connection().database();
    auto pragma = [&](const char* name) {
        auto& s = db.cached(std::string("PRAGMA ") + name);
        const auto value = s.step() ? s.columnInt(0) : 0;
        s.reset();
        return value;
    };
    // A few free pages are kept for the next writes; what a whole attach staged is not. The
    // store is rebuilt rather than laid out for incremental vacuum: keeping the pointer maps
    // that needs makes every insert of a large import markedly slower.
    constexpr std::int64_t kKeptBytes = 1 << 20;
    const auto free = pragma("freelist_count");
    if (free * pragma("page_size") <= kKeptBytes || free * 4 <= pragma("page_count")) {
        return;
    }
    try {
        db.execute(pragma("auto_vacuum") == 2 ? "PRAGMA incremental_vacuum" : "VACUUM");
        engineLog(2, fmt::format("gave {} free pages back", free));
    } catch (const store::StoreError& e) {
        engineLog(1, fmt::format("free pages kept for now: {}", e.what()));
    }
}

void EngineContext::checkpointIfGrown() {
    std::error_code error;
    const auto logBytes = std::filesystem::file_size(storeURL.string() + "-wal", error);
    if (error || std::int64_t(logBytes) <= store::SqliteDatabase::kLogBytesKept) {
        return;
    }
    try {
        connection().database().checkpoint();
    } catch (const store::StoreError& e) {
        engineLog(1, fmt::format("log left for now: {}", e.what()));
    }
}

void EngineContext::closeConnection() {
    connection_.reset();
}

std::string EngineContext::device() {
    std::lock_guard lock(deviceMutex_);
    return device_;
}

void EngineContext::setDevice(std::string device) {
    std::lock_guard lock(deviceMutex_);
    device_ = std::move(device);
}

void EngineContext::postNotification(store::ContextDidSaveNotification note) {
    if (note.inserted.empty() && note.updated.empty() && note.deleted.empty()) {
        return;
    }
    deliver_(std::move(note));
}

void EngineContext::reportStray(const std::string& path, const std::string& reason) {
    std::lock_guard lock(strayMutex_);
    if (reportedStrays_.insert(path).second) {
        engineLog(0, fmt::format("skipped {}: {}", path, reason));
    }
}

const std::vector<BaselineInfo>& EngineContext::ownBaselines() {
    if (!ownBaselines_) {
        ownBaselines_.emplace();
        try {
            for (const auto& b :
                 nlohmann::json::parse(SyncState(connection().database()).get(state::baselines))) {
                ownBaselines_->push_back(
                    {b.at("sequence").get<std::int64_t>(),
                     b.at("coverage").get<std::map<std::string, std::int64_t>>()});
            }
        } catch (const nlohmann::json::exception&) {
            // A damaged list only keeps old baselines around longer.
        }
    }
    return *ownBaselines_;
}

void EngineContext::setOwnBaselines(const std::vector<BaselineInfo>& baselines) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& b : baselines) {
        list.push_back({{"sequence", b.sequence}, {"coverage", b.coverage}});
    }
    SyncState(connection().database()).set(state::baselines, list.dump());
}

void EngineContext::commitOwnBaselines(std::vector<BaselineInfo> baselines) {
    store::SqliteTransaction transaction(connection().database());
    setOwnBaselines(baselines);
    transaction.commit();
    ownBaselines_ = std::move(baselines);
}

std::set<std::int64_t>* EngineContext::ownChangeFiles() {
    if (!ownFiles_) {
        const auto listing = fs->list(layout.changesFolder(device()));
        if (listing.status != CloudStatus::ok) {
            return nullptr;
        }
        ownFiles_.emplace();
        for (const auto& entry : listing.entries) {
            if (auto seq = CloudLayout::changeFileSequence(entry.name)) {
                ownFiles_->insert(*seq);
            }
        }
    }
    return &*ownFiles_;
}

void EngineContext::noteOwnChangeFileWritten(std::int64_t sequence) {
    if (ownFiles_) {
        ownFiles_->insert(sequence);
    }
}

void EngineContext::forgetOwnChangeFiles() {
    ownFiles_.reset();
}

void EngineContext::forgetAttachment() {
    ownFiles_.reset();
    ownBaselines_.reset();
    lastRegistration.clear();
    objectCount = 0;
}

}  // namespace jw::sync
