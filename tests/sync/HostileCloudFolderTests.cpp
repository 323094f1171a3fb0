// A cloud folder holds whatever a file-sync service, other programs and the user leave there.
// The engine skips each bad entry with a log line ("sync: skipped <path>: <reason>"), never
// loses what the good files bring, and merges a bad file once a good one replaces it.

#include <fmt/format.h>

#include <functional>

#include "SyncTestSupport.h"

namespace jw::sync {
namespace {

using nlohmann::json;
using testing::SimulatedDevice;

const CloudLayout kLayout{"MainStore"};
const std::string kStranger = "3f1e2d4c-5b6a-4798-8a9b-0c1d2e3f4a5b";  // a device never seen

class HostileCloudFolder : public testing::SharedCloudTest {
  protected:
    HostileCloudFolder()
        : writer_(addDevice("writer")),
          reader_(addDevice("reader")),
          writerID_(writer_.deviceID()) {}

    std::int64_t lastWriterSequence() {
        std::int64_t last = 0;
        for (const auto& [path, contents] : writer_.recorder->changeFiles()) {
            last = std::max(last, decodeChangeFile(contents, 1).header.sequence);
        }
        return last;
    }

    std::string changePath(const std::string& device, std::int64_t sequence) const {
        return kLayout.changesFolder(device) + "/" + CloudLayout::changeFileName(sequence);
    }

    // What the writer wrote as its file `sequence`.
    std::string writerChangeFile(std::int64_t sequence) {
        const auto files = cloud_.files();
        const auto it = files.find(changePath(writerID_, sequence));
        return it == files.end() ? std::string() : it->second;
    }

    std::string readerMerges() {
        merge(reader_);
        return testing::contents(*reader_.db);
    }

    // How often a line said `path` was skipped, with `reason` in it.
    int timesSkipped(const std::string& path, const std::string& reason) {
        int n = 0;
        for (const auto& line : testing::skippedLines(platform_)) {
            n += line.starts_with("sync: skipped " + path + ": ") &&
                 line.find(reason) != std::string::npos;
        }
        return n;
    }

    SimulatedDevice& writer_;
    SimulatedDevice& reader_;
    std::string writerID_;
};

// A copy of a real file with its header changed by `edit` (length and checksum kept right).
std::string withHeaderEdited(const std::string& bytes, const std::function<void(json&)>& edit) {
    json header = json::parse(bytes.substr(0, bytes.find('\n')));
    edit(header);
    return header.dump() + bytes.substr(bytes.find('\n'));
}

// One hostile entry: where it is, a word of the reason it is skipped for, and how often it is
// skipped in two merges (0: at least once). A bad change file is tried again at every merge; a
// link, a folder or a name that is not a change file's is skipped once.
struct Hostile {
    std::string path;
    std::string reason;
    int times;
};

// Every entry is made from the writer's rename, still on its way to the reader: were any of
// them applied, the reader would see the new name early, or the list twice.
TEST_F(HostileCloudFolder, EveryEntryIsSkippedWithItsReasonWhileTheGoodFilesMerge) {
    model::newList(*writer_.db, "Groceries");
    settle();
    cloud_.deliverAll();
    ASSERT_EQ(readerMerges(), "Groceries (0):\n");
    // Garbage in the place of the writer's next file, which then replaces it.
    const auto next = lastWriterSequence() + 1;
    reader_.view->plantFile(changePath(writerID_, next),
                            fmt::format("{{\"jotwell-sync\": {}}}\n[garbage", kChangeFileFormat));
    model::renameList(*writer_.db, *testing::listNamed(*writer_.db, "Groceries"), "Renamed");
    settle();
    const auto good = writerChangeFile(next);
    ASSERT_FALSE(good.empty());
    std::vector<Hostile> hostile = {{changePath(writerID_, next), "", 0}};
    auto file = [&](const std::string& path, const std::string& contents, const char* reason,
                    int times) {
        reader_.view->plantFile(path, contents);
        hostile.push_back({path, reason, times});
    };

    // Damaged, cut short, of a newer version, too large.
    const auto newline = good.find('\n');
    std::string damaged = good;
    damaged[newline + 5] ^= 0x20;
    file(changePath(writerID_, 90), std::string("\0\1\2 not a sync file at all", 26), "no header",
         2);
    file(changePath(writerID_, 91), good.substr(0, newline + (good.size() - newline) / 2),
         "cut short", 2);
    file(changePath(writerID_, 92), damaged, "checksum", 2);
    file(changePath(writerID_, 93),
         withHeaderEdited(good, [](json& h) { h["jotwell-sync"] = kChangeFileFormat + 1; }),
         "newer format", 2);
    file(changePath(writerID_, 96),
         withHeaderEdited(good, [](json& h) { h["jotwell-sync"] = kChangeFileFormat - 1; }),
         "not a format this program reads", 2);
    file(changePath(writerID_, 94), withHeaderEdited(good, [](json& h) { h["model"] = 2; }),
         "newer object model", 2);
    file(changePath(writerID_, 95), "", "", 2);
    file(changePath(writerID_, 80),
         std::string(PersistentStoreEnsemble::kMaxChangeFileBytes + 1, '['), "too large", 2);
    file(kLayout.registrationFile(kStranger), std::string((1 << 20) + 1, ' '), "too large", 0);
    // A damaged registration does not keep its device's files out.
    file(kLayout.registrationFile(writerID_), "{\"jotwell-device\": ", "malformed", 0);

    // Files of another ensemble, device or number, and a baseline among the change files.
    auto otherEnsemble = decodeChangeFile(good, 1);
    otherEnsemble.header.ensemble = "0d0c0b0a-0908-4706-8504-030201000000";
    otherEnsemble.header.sequence = 70;
    auto baseline = decodeChangeFile(good, 1);
    baseline.header.kind = "baseline";
    baseline.header.sequence = 72;
    const char* foreign = "not this ensemble's file";
    file(changePath(kStranger, next), good, foreign, 2);
    file(changePath(writerID_, 70), encodeChangeFile(otherEnsemble), foreign, 2);
    file(changePath(writerID_, 71), good, foreign, 2);
    file(changePath(writerID_, 72), encodeChangeFile(baseline), foreign, 2);

    // Names that only look right.
    const auto folder = kLayout.changesFolder(writerID_) + "/";
    for (const char* name :
         {"000000000001 (conflict 1).jwchanges",  // what a file-sync service makes of a clash
          "0000000000001.jwchanges", "00000000001.jwchanges", "00000000000a.jwchanges",
          "000000000000.jwchanges", "-00000000001.jwchanges", " 000000000001.jwchanges",
          "000000000001.jwchanges.part", "000000000001.JWCHANGES", "..000000000001.jwchanges",
          "...", "000000000001.jwchanges\\..", "\xff\xfe.jwchanges"}) {
        file(folder + name, good, "not the name of a change file", 0);
    }
    for (const char* name : {"not-a-device",
                             "3F1E2D4C-5B6A-4798-8A9B-0C1D2E3F4A5B",  // not as written
                             "3f1e2d4c5b6a47988a9b0c1d2e3f4a5b"}) {
        const auto device = kLayout.devicesFolder() + "/" + name;
        reader_.view->plantFile(device + "/changes/" + CloudLayout::changeFileName(1), good);
        hostile.push_back({device, "not a device's folder", 0});
    }
    file(kLayout.devicesFolder() + "/notes.txt", "hello", "", 0);

    // Links and folders where files should be.
    for (const auto& path :
         {changePath(writerID_, 60), kLayout.deviceFolder("a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d"),
          kLayout.changesFolder("b1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d")}) {
        reader_.view->plantOther(path);
        hostile.push_back({path, "", 1});
    }
    reader_.view->plantDirectory(changePath(writerID_, 61));
    hostile.push_back({changePath(writerID_, 61), "", 1});
    const auto folderRegistration =
        kLayout.registrationFile("c1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d");
    reader_.view->plantDirectory(folderRegistration);
    hostile.push_back({folderRegistration, "invalid", 0});

    readerMerges();
    EXPECT_EQ(readerMerges(), "Groceries (0):\n");
    for (const auto& [path, reason, times] : hostile) {
        const int n = timesSkipped(path, reason);
        EXPECT_TRUE(times > 0 ? n == times : n > 0) << path << " skipped " << n << " times";
    }
    // A bad file fails nothing.
    EXPECT_EQ(reader_.db->syncState(), model::SyncState::attached);
    EXPECT_FALSE(testing::anyLineContains(platform_.logLines(), "CloudDB: merge error"));
    EXPECT_EQ(reader_.ensemble().status().filesToImport, 13)
        << "the thirteen bad change files, a link or folder not among them, wait to be tried";

    cloud_.deliverAll();
    EXPECT_EQ(readerMerges(), "Renamed (0):\n");
}

}  // namespace
}  // namespace jw::sync
