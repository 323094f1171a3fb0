// A cloud folder is shared with a file-sync service, other programs and the user, so it holds
// whatever they leave there: garbage, files cut short or damaged, files of a newer version of
// the program, huge files, links, folders where files should be, names that only look right,
// conflict copies, files of another ensemble or device. The engine skips each with a log line
// ("sync: skipped <path>: <reason>"), never crashes, never loses what the good files bring,
// and merges a bad file once it is replaced by a good one.
//
// Two devices: the writer makes lists and exports them; the hostile entries are put where the
// reader sees them, and the reader merges.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "SyncTestSupport.h"
#include "platform/sync/ChangeFile.h"
#include "platform/sync/CloudLayout.h"
#include "src/model/Entities.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"

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

    // The writer makes a list (which exports it); answers the file it went out in.
    std::string writerAddsList(const std::string& name) {
        model::newList(*writer_.db, name);
        settle();
        return writerChangeFile(lastWriterSequence());
    }

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

    void readerMerges() { merge(reader_); }

    std::string readerLists() { return testing::contents(*reader_.db); }

    std::vector<std::string> skipped() { return testing::skippedLines(platform_); }

    // Whether a line says `path` was skipped, with `reason` in it.
    bool wasSkipped(const std::string& path, const std::string& reason = "") {
        return testing::anyLineContains(skipped(), "sync: skipped " + path + ": ", reason);
    }

    int timesSkipped(const std::string& path) {
        int n = 0;
        for (const auto& line : skipped()) {
            n += line.starts_with("sync: skipped " + path + ": ") ? 1 : 0;
        }
        return n;
    }

    void expectReaderStillAttached() {
        EXPECT_EQ(reader_.db->syncState(), model::SyncState::attached);
        EXPECT_FALSE(testing::anyLineContains(platform_.logLines(), "CloudDB: merge error"))
            << "a bad file fails nothing";
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

// Each bad file, where it is put and a word of the reason it is skipped for.
TEST_F(HostileCloudFolder, BadFilesAreSkippedEveryMergeWhileTheGoodOnesMerge) {
    const auto good = writerAddsList("Groceries");
    ASSERT_FALSE(good.empty());
    const auto newline = good.find('\n');
    std::string damaged = good;
    damaged[newline + 5] ^= 0x20;
    const std::string writerRegistration = kLayout.registrationFile(writerID_);
    const std::string strangerRegistration = kLayout.registrationFile(kStranger);
    const std::tuple<std::string, std::string, const char*> bad[] = {
        {changePath(writerID_, 90), std::string("\0\1\2 not a sync file at all", 26), "no header"},
        {changePath(writerID_, 91), good.substr(0, newline + (good.size() - newline) / 2),
         "cut short"},
        {changePath(writerID_, 92), damaged, "checksum"},
        {changePath(writerID_, 93), withHeaderEdited(good, [](json& h) { h["jotwell-sync"] = 2; }),
         "newer format"},
        {changePath(writerID_, 94), withHeaderEdited(good, [](json& h) { h["model"] = 2; }),
         "newer object model"},
        {changePath(writerID_, 95), "", ""},
        {changePath(writerID_, 80),
         std::string(PersistentStoreEnsemble::kMaxChangeFileBytes + 1, '['), "too large"},
        {strangerRegistration, std::string((1 << 20) + 1, ' '), "too large"},
        // A damaged registration does not keep its device's files out.
        {writerRegistration, "{\"jotwell-device\": ", "malformed"},
    };
    for (const auto& [path, contents, reason] : bad) {
        reader_.view->plantFile(path, contents);
    }
    cloud_.deliverAll();
    readerMerges();

    EXPECT_EQ(readerLists(), "Groceries (0):\n");
    for (const auto& [path, contents, reason] : bad) {
        EXPECT_TRUE(wasSkipped(path, reason)) << path;
    }
    expectReaderStillAttached();
    EXPECT_EQ(reader_.ensemble().status().filesToImport, 7) << "they wait to be tried again";

    // The change files are tried again at the next merge, and again skipped.
    platform_.clearLog();
    readerMerges();
    for (const auto& [path, contents, reason] : bad) {
        EXPECT_TRUE(wasSkipped(path) || path.ends_with("device.json")) << path;
    }
}

TEST_F(HostileCloudFolder, GarbageInTheNextFilesPlaceMergesOnceTheRealFileReplacesIt) {
    writerAddsList("Groceries");
    const auto next = lastWriterSequence() + 1;
    reader_.view->plantFile(changePath(writerID_, next), "{\"jotwell-sync\": 1}\n[garbage");
    cloud_.deliverAll();
    readerMerges();
    EXPECT_TRUE(wasSkipped(changePath(writerID_, next)));

    writerAddsList("Hardware");
    ASSERT_EQ(lastWriterSequence(), next);
    cloud_.deliverAll();
    readerMerges();
    EXPECT_EQ(readerLists(), "Groceries (0):\nHardware (0):\n");
}

TEST_F(HostileCloudFolder, LinksAndFoldersWhereFilesShouldBeAreSkippedOnce) {
    writerAddsList("Groceries");
    const std::string linkedDevice = "a1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d";
    const std::string deviceWithLinkedChanges = "b1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d";
    const std::string deviceWithFolderRegistration = "c1b2c3d4-e5f6-4a7b-8c9d-0e1f2a3b4c5d";
    const std::vector<std::string> links = {
        changePath(writerID_, 60),
        kLayout.deviceFolder(linkedDevice),
        kLayout.changesFolder(deviceWithLinkedChanges),
    };
    const std::vector<std::string> folders = {
        changePath(writerID_, 61),
        kLayout.registrationFile(deviceWithFolderRegistration),
    };
    for (const auto& path : links) {
        reader_.view->plantOther(path);
    }
    for (const auto& path : folders) {
        reader_.view->plantDirectory(path);
    }
    cloud_.deliverAll();
    readerMerges();
    readerMerges();

    EXPECT_EQ(readerLists(), "Groceries (0):\n");
    for (const auto& path : links) {
        EXPECT_EQ(timesSkipped(path), 1) << path;
    }
    EXPECT_EQ(timesSkipped(changePath(writerID_, 61)), 1);
    EXPECT_TRUE(wasSkipped(kLayout.registrationFile(deviceWithFolderRegistration), "invalid"));
    expectReaderStillAttached();
}

TEST_F(HostileCloudFolder, NamesThatOnlyLookRightAreIgnored) {
    const auto good = writerAddsList("Groceries");
    const auto folder = kLayout.changesFolder(writerID_) + "/";
    const std::vector<std::string> names = {
        "000000000001 (conflict 1).jwchanges",  // what a file-sync service makes of a clash
        "0000000000001.jwchanges",
        "00000000001.jwchanges",
        "00000000000a.jwchanges",
        "000000000000.jwchanges",
        "-00000000001.jwchanges",
        " 000000000001.jwchanges",
        "000000000001.jwchanges.part",
        "000000000001.JWCHANGES",
        "..000000000001.jwchanges",
        "...",
        "000000000001.jwchanges\\..",
        "\xff\xfe.jwchanges",
    };
    for (const auto& name : names) {
        reader_.view->plantFile(folder + name, good);
    }
    const std::vector<std::string> deviceFolders = {
        "not-a-device",
        "3F1E2D4C-5B6A-4798-8A9B-0C1D2E3F4A5B",  // a device name, but not as written
        "3f1e2d4c5b6a47988a9b0c1d2e3f4a5b",
    };
    for (const auto& name : deviceFolders) {
        reader_.view->plantFile(
            kLayout.devicesFolder() + "/" + name + "/changes/" + CloudLayout::changeFileName(1),
            good);
    }
    reader_.view->plantFile(kLayout.devicesFolder() + "/notes.txt", "hello");
    cloud_.deliverAll();
    readerMerges();

    EXPECT_EQ(readerLists(), "Groceries (0):\n") << "no list twice";
    for (const auto& name : names) {
        EXPECT_TRUE(wasSkipped(folder + name, "not the name of a change file")) << name;
    }
    for (const auto& name : deviceFolders) {
        EXPECT_TRUE(wasSkipped(kLayout.devicesFolder() + "/" + name, "not a device's folder"))
            << name;
    }
    EXPECT_TRUE(wasSkipped(kLayout.devicesFolder() + "/notes.txt"));
    EXPECT_EQ(reader_.ensemble().status().filesToImport, 0) << "none of them counts as a file";
    expectReaderStillAttached();
}

TEST_F(HostileCloudFolder, FilesOfAnotherEnsembleOrDeviceAreSkipped) {
    const auto good = writerAddsList("Groceries");
    cloud_.deliverAll();
    readerMerges();
    ASSERT_EQ(readerLists(), "Groceries (0):\n");
    // Bring the list back under other names: were any of these applied, there would be more.
    model::renameList(
        *writer_.db,
        *std::static_pointer_cast<model::List>(
            writer_.db->viewContext().executeFetchRequest(model::listsFetchRequest(false))[0]),
        "Renamed");
    settle();
    const auto renamed = writerChangeFile(lastWriterSequence());
    auto otherEnsemble = decodeChangeFile(renamed, 1);
    otherEnsemble.header.ensemble = "0d0c0b0a-0908-4706-8504-030201000000";
    otherEnsemble.header.sequence = 70;
    const std::string strangerFile = changePath(kStranger, lastWriterSequence());
    reader_.view->plantFile(strangerFile, renamed);  // another device's
    reader_.view->plantFile(changePath(writerID_, 70), encodeChangeFile(otherEnsemble));
    reader_.view->plantFile(changePath(writerID_, 71), renamed);  // another number's
    auto baseline = decodeChangeFile(renamed, 1);
    baseline.header.kind = "baseline";
    baseline.header.sequence = 72;
    reader_.view->plantFile(changePath(writerID_, 72), encodeChangeFile(baseline));
    readerMerges();  // the rename itself has not been delivered

    EXPECT_EQ(readerLists(), "Groceries (0):\n");
    for (const auto& path : {strangerFile, changePath(writerID_, 70), changePath(writerID_, 71),
                             changePath(writerID_, 72)}) {
        EXPECT_TRUE(wasSkipped(path, "not this ensemble's file")) << path;
    }
    expectReaderStillAttached();
    cloud_.deliverAll();
    readerMerges();
    EXPECT_EQ(readerLists(), "Renamed (0):\n");
}

}  // namespace
}  // namespace jw::sync
