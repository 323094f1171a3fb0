#pragma once
// The settings dialog's side of sync, without a toolkit: what it shows about the cloud folder
// and what its buttons do.
//
// summary() gives the folder in use, the sync state, what waits in each direction and the last
// problem in words (the texts of SyncStatusText.h, with this dialog's own buttons named as the
// remedies), whether attaching again is offered (after a lost attachment, or when the folder is
// not the one the store attached to or not recognised), and whether sync is busy. What waits
// is counted only while no sync operation runs (counting waits for the sync worker, and the
// window must not wait for a merge); meanwhile the last count stands.
//
// chooseFolder moves sync to another folder so that nothing is lost
// (JWDatabase::moveToCloudFolder) and, once moved, saves it as this data folder's choice for
// the next start (AppPaths::saveCloudDirectoryChoice; --cloud-dir still wins there, and the
// summary says so when the folder in use came from it). A failed move keeps the folder there
// was and saves nothing. reattach is `jotwell-cli sync --reattach`.
//
// Main thread only; the database outlives this object.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Paths.h"
#include "src/model/JWDatabase.h"

namespace jw {

class CloudSettings {
  public:
    struct Summary {
        std::string folder;
        std::string state;
        std::string waiting;
        std::string problem;  // empty when all is well
        std::string note;     // how the choice applies; empty when nothing needs saying
        bool canReattach = false;
        bool busy = false;
    };
    // Told with none once moved, else why the folder stayed as it was.
    using MoveCompletion = std::function<void(const std::optional<std::string>& whyNot)>;

    CloudSettings(model::JWDatabase& database, AppPaths paths, std::filesystem::path cloudDirectory,
                  bool folderFromCommandLine);
    // A move under way goes on; its completion is then not told.
    ~CloudSettings();
    CloudSettings(const CloudSettings&) = delete;
    CloudSettings& operator=(const CloudSettings&) = delete;

    Summary summary();
    void reattach();
    // A folder equal to the one in use changes nothing and completes at once.
    void chooseFolder(const std::filesystem::path& folder, MoveCompletion completion);

  private:
    model::JWDatabase& database_;
    AppPaths paths_;
    std::filesystem::path cloudDirectory_;
    bool folderFromCommandLine_;
    std::optional<std::string> waiting_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace jw
