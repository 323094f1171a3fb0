// The settings dialog's side of sync over real folders: what it shows, choosing a folder, a
// folder that cannot be used, and the store attached to another folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/foundation/Paths.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "src/app/CloudSettings.h"
#include "src/app/JotwellApplication.h"
#include "src/model/Operations.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

namespace fs = std::filesystem;

class CloudSettingsTest : public ::testing::Test {
  protected:
    CloudSettingsTest() {
        paths_ = AppPaths::resolve(folder_.path() / "device");
        paths_.createDirectories();
        fs::create_directories(folder_.path() / "old");
        fs::create_directories(folder_.path() / "new");
        open(folder_.path() / "old");
    }
    ~CloudSettingsTest() override { db_.reset(); }

    // The store over the cloud folder, synced.
    void open(const fs::path& cloud) {
        db_.reset();
        model::JWDatabase::Locations locations{paths_.dataDirectory,
                                               AppPaths::resolve(std::nullopt).resourceDirectory};
        locations.cloudDirectory = cloud;
        locations.settings = &defaults_;
        db_ = std::make_unique<model::JWDatabase>(locations);
        db_->sync();
        settle();
    }

    void settle() {
        for (int round = 0; round < 100 && db_->operationsInFlight() > 0; ++round) {
            if (auto* ensemble = db_->ensemble()) {
                ensemble->waitUntilIdle();
            }
            platform_.loop().drain();
        }
        ASSERT_EQ(db_->operationsInFlight(), 0);
    }
    static std::string shown(const CloudSettings::Summary& s) {
        return s.folder + " | " + s.state + " | " + s.waiting + " | " + s.problem + " | " +
               (s.canReattach ? "reattach" : "-") + (s.busy ? " busy" : "") +
               (s.note.empty() ? "" : " | " + s.note);
    }
    std::string choose(CloudSettings& settings, const fs::path& folder) {
        std::optional<std::optional<std::string>> outcome;
        settings.chooseFolder(folder,
                              [&](const std::optional<std::string>& whyNot) { outcome = whyNot; });
        settle();
        return !outcome ? "not finished" : outcome->value_or("moved");
    }

    test::ManualPlatform platform_;
    test::TempDir folder_;
    AppPaths paths_;
    UserDefaults defaults_{fs::path{}};
    std::unique_ptr<model::JWDatabase> db_;
};

TEST_F(CloudSettingsTest, AChosenFolderTakesTheStoreAlongAndIsRememberedForTheNextStart) {
    CloudSettings settings(*db_, paths_, folder_.path() / "old", false);
    const auto old = (folder_.path() / "old").string();
    const auto moved = (folder_.path() / "new").string();
    EXPECT_EQ(
        shown(settings.summary()),
        old + " | attached | to export: 0 changed objects (0 files)\nto import: 0 files |  | -");
    model::newList(*db_, "Groceries");  // saved; the merge it starts is still running
    EXPECT_TRUE(settings.summary().busy);

    EXPECT_EQ(choose(settings, folder_.path() / "new"), "moved");
    EXPECT_EQ(
        shown(settings.summary()),
        moved + " | attached | to export: 0 changed objects (0 files)\nto import: 0 files |  | -");
    EXPECT_EQ(paths_.savedCloudDirectoryChoice(), folder_.path() / "new");
    EXPECT_EQ(paths_.cloudDirectory(std::nullopt), folder_.path() / "new");
    EXPECT_FALSE(fs::is_empty(folder_.path() / "new"));
    // The same folder again changes nothing.
    EXPECT_EQ(choose(settings, folder_.path() / "new" / "."), "moved");
}

TEST_F(CloudSettingsTest, AFolderThatCannotBeUsedLeavesEverythingAsItWas) {
    CloudSettings settings(*db_, paths_, folder_.path() / "old", true);
    const auto outcome = choose(settings, folder_.path() / "missing");
    EXPECT_EQ(outcome.rfind("Jotwell stays with " + (folder_.path() / "old").string() + ": ", 0),
              0u)
        << outcome;
    EXPECT_EQ(paths_.savedCloudDirectoryChoice(), std::nullopt);
    EXPECT_EQ(
        shown(settings.summary()),
        (folder_.path() / "old").string() +
            " | attached | to export: 0 changed objects (0 files)\nto import: 0 files |  | - | "
            "Jotwell was started with --cloud-dir, which wins at every start: a folder "
            "chosen here is used now, and at the next start without --cloud-dir.");
}

TEST_F(CloudSettingsTest, AFolderOtherThanTheAttachedOneOffersAttachingAgain) {
    open(folder_.path() / "new");  // attached to "old": told so, and offered to attach again
    CloudSettings settings(*db_, paths_, folder_.path() / "new", false);
    auto summary = settings.summary();
    EXPECT_TRUE(summary.canReattach);
    EXPECT_NE(summary.problem.find("Choose that folder again, or choose \"Attach Again\" to "
                                   "attach this store to " +
                                   (folder_.path() / "new").string()),
              std::string::npos)
        << summary.problem;

    settings.reattach();
    settle();
    summary = settings.summary();
    EXPECT_EQ(summary.problem, "");
    EXPECT_FALSE(summary.canReattach);
    EXPECT_EQ(summary.state, "attached");
}

}  // namespace
}  // namespace jw
