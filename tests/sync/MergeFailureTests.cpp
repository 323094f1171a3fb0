// How a merge fails. A refused file (damaged, cut short, foreign) is skipped with a log line and
// the merge succeeds; anything else thrown on the way fails the merge and its completion says
// why, with the file left to be applied at the next merge. Opening an ensemble says why not.

#include <stdexcept>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

std::string kindName(SyncError::Kind kind) {
    const char* names[] = {"unavailable",   "notFound", "refused", "otherFolder",
                           "notRecognised", "lost",     "failed"};
    return names[int(kind)];
}

class MergeFailure : public testing::SharedCloudTest {
  protected:
    // The reader's state after a merge, as one line: the merge's error, whether a file was
    // logged as skipped, and the lists it holds.
    std::string readerMerges(SimulatedDevice& reader) {
        platform_.clearLog();
        merge(reader);
        const auto& error = reader.db->lastSyncError();
        return "error=" +
               (error ? kindName(error->kind) + " (" + error->localizedDescription + ")"
                      : std::string("none")) +
               " skipped=" + (testing::skippedLines(platform_).empty() ? "no" : "yes") +
               " lists=" + testing::contents(*reader.db);
    }
};

// A fault of the program, not of the file, fails the merge loudly (it must not pass for a bad
// file skipped for ever), whatever the log level; the next merge applies the file, so nothing
// was marked applied that was not. (A refused file is skipped: the hostile-folder test.)
TEST_F(MergeFailure, AnythingButARefusedFileFailsTheMergeAndIsRetried) {
    auto& writer = addDevice("writer");
    auto& reader = addDevice("reader");
    model::newList(*writer.db, "Groceries");
    settle();
    cloud_.deliverAll();
    reader.recorder->setBefore([](test::CloudOperation operation, const std::string& path) {
        if (operation == test::CloudOperation::read && path.ends_with(".jwchanges")) {
            throw std::invalid_argument("unforeseen");
        }
    });
    EXPECT_EQ(readerMerges(reader), "error=failed (Syncing failed: unforeseen) skipped=no lists=");
    EXPECT_TRUE(testing::anyLineContains(platform_.logLines(), "sync: merge failed: unforeseen"));

    reader.recorder->setBefore(nullptr);
    EXPECT_EQ(readerMerges(reader), "error=none skipped=no lists=Groceries (0):\n");
}

TEST(EnsembleCreate, SaysWhyItCannotOpen) {
    testing::ScratchDir dir;
    test::InMemoryCloud cloud;
    SyncError why;
    const auto ensemble = PersistentStoreEnsemble::create(
        "MainStore", dir.path() / "Jotwell.sqlite", dir.path() / "no such model",
        cloud.deviceView("a"), {}, &why);
    EXPECT_EQ(ensemble, nullptr);
    EXPECT_EQ(kindName(why.kind), "failed");
    EXPECT_NE(why.localizedDescription.find("could not be opened"), std::string::npos)
        << why.localizedDescription;
}

}  // namespace
}  // namespace jw::sync
