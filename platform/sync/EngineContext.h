#pragma once
// What the parts of the sync engine share: the store connection of the worker thread, the
// cloud folder and its layout, this device's identity, the record of its own files and
// baselines, and the way back to the main thread. The parts (Attacher, Importer, Exporter,
// Compactor) each hold a reference to one context and run on the worker thread only; the
// ensemble owns the context and the parts.
//
// Thread: everything here is for the worker thread, except `leeched`, device() and the
// logging, which any thread may use.

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Baselines.h"
#include "CloudFileSystem.h"
#include "CloudLayout.h"
#include "PersistentStoreEnsemble.h"
#include "SyncError.h"
#include "platform/store/ChangeNotifications.h"
#include "platform/store/ObjectModel.h"
#include "platform/store/StoreConnection.h"

namespace jw::sync {

// Hands debugLog a line when `level` is at most the current logging level.
void engineLog(int level, const std::string& text);

inline SyncError failure(SyncError::Kind kind, std::string text) {
    return SyncError{kind, std::move(text)};
}

// The page cache of the worker's connection, in KiB. An import or an attach writes pages all
// over the store's tables in one transaction; with SQLite's default cache (2 MB) the dirty
// pages spill to the WAL mid-transaction and are written again at the commit. This holds a
// 100,000-item store's tables whole; the pages are taken only as they are used.
inline constexpr int kEngineCacheKibibytes = 64 * 1024;

class EngineContext {
  public:
    using Deliver = std::function<void(store::ContextDidSaveNotification)>;

    EngineContext(std::string identifier, std::filesystem::path storeURL,
                  std::shared_ptr<const store::ObjectModel> model,
                  std::shared_ptr<CloudFileSystem> fs, EnsembleTuning tuning, bool leeched,
                  Deliver deliver);

    const std::string identifier;
    const std::filesystem::path storeURL;
    const std::shared_ptr<const store::ObjectModel> model;
    const std::shared_ptr<CloudFileSystem> fs;
    const EnsembleTuning tuning;
    const CloudLayout layout;
    std::atomic<bool> leeched;

    // The worker's connection, opened (with the sync tables, and a page cache of
    // kEngineCacheKibibytes) on first use; closeConnection()
    // closes it, on the worker thread, before the worker ends.
    store::StoreConnection& connection();
    void closeConnection();
    // Gives the store file's free pages back to the file system when they are many (an attach
    // that staged the whole store leaves them), so that the file stays near the size of what
    // it holds: the file is rebuilt (VACUUM). Outside any transaction; a store busy just now is
    // left for the next time (not an error).
    void releaseFreePages();

    // Saves to the store leave checkpoints to the engine (store/CommitHooks.h): after each
    // operation the worker copies a write-ahead log grown past its usual size
    // (SqliteDatabase::kLogBytesKept) back into the store file. A failure is logged, not
    // thrown: the next operation tries again.
    void checkpointIfGrown();

    // This device's identifier; empty until attached.
    std::string device();
    void setDevice(std::string device);

    // Merged changes saved to the store, for the main context (dropped when empty).
    void postNotification(store::ContextDidSaveNotification note);

    // What is not of the engine's making in the folder is ignored and reported once.
    void reportStray(const std::string& path, const std::string& reason);

    // This device's baselines as kept in the store: read once, then kept here (only this
    // engine changes them). setOwnBaselines writes them inside the caller's transaction;
    // commitOwnBaselines in a transaction of its own, and keeps the copy here.
    const std::vector<BaselineInfo>& ownBaselines();
    void setOwnBaselines(const std::vector<BaselineInfo>& baselines);
    void commitOwnBaselines(std::vector<BaselineInfo> baselines);

    // This device's change files in the folder: listed once, then kept up to date as files
    // are written and removed here (no other device touches this device's folder). None
    // when the folder cannot be listed just now.
    std::set<std::int64_t>* ownChangeFiles();
    void noteOwnChangeFileWritten(std::int64_t sequence);
    void forgetOwnChangeFiles();

    // The registration last written (its substance, see Exporter::writeRegistration) and
    // when; the store's object count when compaction last took it.
    std::string lastRegistration;
    double lastRegistrationWrite = 0;
    std::int64_t objectCount = 0;

    // A new attachment: what was known of the last one's files no longer holds.
    void forgetAttachment();

  private:
    Deliver deliver_;
    std::unique_ptr<store::StoreConnection> connection_;
    std::mutex deviceMutex_;
    std::string device_;
    std::mutex strayMutex_;
    std::set<std::string> reportedStrays_;
    std::optional<std::set<std::int64_t>> ownFiles_;
    std::optional<std::vector<BaselineInfo>> ownBaselines_;
};

}  // namespace jw::sync
