// How a merge fails. A refused file (damaged, cut short, foreign) is skipped with a log line and
// the merge succeeds; anything else thrown on the way fails the merge and its completion says
// why, with the file left to be applied at the next merge. Opening an ensemble says why not.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "SyncTestSupport.h"
#include "src/model/Entities.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

namespace jw::sync {
namespace {

using testing::SimulatedDevice;

const CloudLayout kLayout{"MainStore"};

std::string kindName(SyncError::Kind kind) {
    const char* names[] = {"unavailable",   "notFound", "refused", "otherFolder",
                           "notRecognised", "lost",     "failed"};
    return names[int(kind)];
}

struct FailureCase {
    std::string fault;
    std::function<void(SimulatedDevice&, const std::string& path)> inject;
    std::string expected;
    std::string loggedFailure;  // a log line the failure leaves, whatever the level
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.fault;
}

class MergeFailure : public testing::SharedCloudTest,
                     public ::testing::WithParamInterface<FailureCase> {
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

TEST_P(MergeFailure, OnlyARefusedFileIsSkippedAnythingElseFailsTheMergeAndIsRetried) {
    const auto& c = GetParam();
    auto& writer = addDevice("writer");
    auto& reader = addDevice("reader");
    model::newList(*writer.db, "Groceries");
    settle();
    cloud_.deliverAll();
    // The writer's last file: the one that brings the list.
    const auto folder = kLayout.changesFolder(writer.deviceID()) + "/";
    std::string path;
    std::int64_t last = 0;
    for (const auto& [file, contents] : cloud_.files()) {
        if (file.starts_with(folder) && decodeChangeFile(contents, 1).header.sequence > last) {
            last = decodeChangeFile(contents, 1).header.sequence;
            path = file;
        }
    }
    ASSERT_FALSE(path.empty());
    const auto good = cloud_.files().at(path);

    c.inject(reader, path);
    EXPECT_EQ(readerMerges(reader), c.expected);
    if (!c.loggedFailure.empty()) {
        EXPECT_TRUE(testing::anyLineContains(platform_.logLines(), c.loggedFailure));
    }

    // Put right, the file merges: nothing was marked applied that was not.
    reader.recorder->setBefore(nullptr);
    reader.view->plantFile(path, good);
    EXPECT_EQ(readerMerges(reader), "error=none skipped=no lists=Groceries (0):\n");
}

INSTANTIATE_TEST_SUITE_P(
    Faults, MergeFailure,
    ::testing::Values(FailureCase{"refused",
                                  [](SimulatedDevice& d, const std::string& path) {
                                      d.view->plantFile(path, "not a sync file");
                                  },
                                  "error=none skipped=yes lists=", ""},
                      FailureCase{"unforeseen",
                                  // a fault of the program, not of the file
                                  [](SimulatedDevice& d, const std::string& path) {
                                      d.recorder->setBefore(
                                          [path](test::CloudOperation op, const std::string& p) {
                                              if (op == test::CloudOperation::read && p == path) {
                                                  throw std::invalid_argument("unforeseen");
                                              }
                                          });
                                  },
                                  "error=failed (Syncing failed: unforeseen) skipped=no lists=",
                                  "sync: merge failed: unforeseen"}),
    [](const auto& info) { return info.param.fault; });

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
