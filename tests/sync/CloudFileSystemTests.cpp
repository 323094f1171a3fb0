// The cloud folder as the sync engine sees it: the rules every cloud file system keeps (checked
// against the real folder and the in-memory one alike, so the tests of the engine run on a fake
// that behaves like the real thing), and what the real folder does on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/sync/CloudFileSystem.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "tests/support/InMemoryCloud.h"
#include "tests/support/TestEnvironment.h"

namespace jw::sync {
namespace {

namespace fs = std::filesystem;
using test::InMemoryCloud;
using test::InMemoryCloudView;

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

const char* kindName(CloudEntryKind kind) {
    switch (kind) {
        case CloudEntryKind::file:
            return "file";
        case CloudEntryKind::directory:
            return "directory";
        case CloudEntryKind::other:
            return "other";
    }
    return "?";
}

// "ok: a(directory) b.txt(file)", or just the status when the listing failed.
std::string describeListing(const CloudListing& listing) {
    std::string text = describe(listing.status);
    if (listing.status != CloudStatus::ok) {
        return text;
    }
    text += ":";
    for (const CloudEntry& entry : listing.entries) {
        text += " " + entry.name + "(" + kindName(entry.kind) + ")";
    }
    return text;
}

// The contents, or the status in brackets when the read failed.
std::string contentsOf(CloudFileSystem& cloud, const std::string& path) {
    CloudRead result = cloud.read(path, kNoLimit);
    if (result.status != CloudStatus::ok) {
        return std::string("[") + describe(result.status) + "]";
    }
    return result.contents;
}

std::string everyByteValue(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 256) % 256);
    }
    return bytes;
}

std::string fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

// Every name in a real folder, hidden ones included, without following anything.
std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Every path under a real folder, for proving that nothing was made or changed there.
std::string treeOf(const fs::path& folder) {
    std::string text;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        text += fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            text += " -> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            text += " = " + fileBytes(entry.path());
        }
        text += "\n";
    }
    return text;
}

const std::vector<std::string>& malformedPaths() {
    static const std::vector<std::string> paths = {".",
                                                   "..",
                                                   "../escape.txt",
                                                   "a/../../escape.txt",
                                                   "/escape.txt",
                                                   "a//b.txt",
                                                   "a/",
                                                   "/",
                                                   "./a",
                                                   "a/./b.txt",
                                                   "a/..",
                                                   "//escape.txt",
                                                   std::string("a\0b.txt", 7)};
    return paths;
}

// -----------------------------------------------------------------------------------------------
// Paths and statuses

TEST(CloudPaths, NamesMayBeAnythingButEmptyDotDotDotSlashOrNul) {
    for (const std::string path :
         {"a", "a/b/c.txt", ".hidden", "...", "a b", "a\\b", "x..y", "名前/リスト", "..a", "a.."}) {
        EXPECT_TRUE(isValidCloudPath(path)) << path;
    }
    EXPECT_FALSE(isValidCloudPath("")) << "the root itself is not a path to a file or folder";
    for (const std::string& path : malformedPaths()) {
        EXPECT_FALSE(isValidCloudPath(path)) << path;
    }
    EXPECT_FALSE(isValidCloudPath(std::string("\0", 1)));
}

TEST(CloudPaths, TemporaryNamesStartWithADotAndEndInTmp) {
    EXPECT_TRUE(isTemporaryCloudName(".notes.txt.1f2e.tmp"));
    EXPECT_TRUE(isTemporaryCloudName(".syncing.tmp"));
    EXPECT_FALSE(isTemporaryCloudName("notes.tmp")) << "an ordinary name that happens to end so";
    EXPECT_FALSE(isTemporaryCloudName(".hidden"));
    EXPECT_FALSE(isTemporaryCloudName(".notes.tmp.txt"));
}

// -----------------------------------------------------------------------------------------------
// What every cloud file system does, the real folder and the in-memory one alike

// A cloud file system under test, with the means to put into it what only the world outside
// the sync engine makes: links, and files under temporary names.
class Subject {
  public:
    virtual ~Subject() = default;
    virtual CloudFileSystem& cloud() = 0;
    // A symbolic link to a folder holding "secret.txt", and one to a file.
    virtual void plantLinkToFolder(const std::string& path) = 0;
    virtual void plantLinkToFile(const std::string& path) = 0;
    virtual void plantFile(const std::string& path, const std::string& contents) = 0;
};

class FolderSubject final : public Subject {
  public:
    FolderSubject() : root_(scratch_.path() / "cloud"), outside_(scratch_.path() / "outside") {
        fs::create_directory(root_);
        fs::create_directory(outside_);
        writeFile(outside_ / "secret.txt", "secret");
        cloud_ = std::make_unique<FolderCloudFileSystem>(root_);
    }
    CloudFileSystem& cloud() override { return *cloud_; }
    void plantLinkToFolder(const std::string& path) override {
        fs::create_directory_symlink(outside_, root_ / path);
    }
    void plantLinkToFile(const std::string& path) override {
        fs::create_symlink(outside_ / "secret.txt", root_ / path);
    }
    void plantFile(const std::string& path, const std::string& contents) override {
        writeFile(root_ / path, contents);
    }

  private:
    test::TempDir scratch_;
    fs::path root_;
    fs::path outside_;
    std::unique_ptr<FolderCloudFileSystem> cloud_;
};

class InMemorySubject final : public Subject {
  public:
    CloudFileSystem& cloud() override { return *view_; }
    void plantLinkToFolder(const std::string& path) override { view_->plantOther(path); }
    void plantLinkToFile(const std::string& path) override { view_->plantOther(path); }
    void plantFile(const std::string& path, const std::string& contents) override {
        view_->plantFile(path, contents);
    }

  private:
    InMemoryCloud memory_;
    std::shared_ptr<InMemoryCloudView> view_ = memory_.view("this device");
};

struct Implementation {
    std::string name;
    std::function<std::unique_ptr<Subject>()> make;
};

void PrintTo(const Implementation& implementation, std::ostream* out) {
    *out << implementation.name;
}

class EveryCloudFileSystem : public ::testing::TestWithParam<Implementation> {
  protected:
    std::unique_ptr<Subject> subject = GetParam().make();
    CloudFileSystem& cloud = subject->cloud();
};

TEST_P(EveryCloudFileSystem, WhatIsWrittenReadsBackByteForByte) {
    const std::string large = everyByteValue(200'000);  // more than one read's worth
    ASSERT_EQ(cloud.makeDirectory("changes/device"), CloudStatus::ok);
    EXPECT_EQ(cloud.writeAtomically("changes/device/large.bin", large), CloudStatus::ok);
    EXPECT_EQ(cloud.writeAtomically("empty", ""), CloudStatus::ok);
    EXPECT_EQ(cloud.writeAtomically("top.txt", "top"), CloudStatus::ok);

    const CloudRead read = cloud.read("changes/device/large.bin", large.size());
    EXPECT_EQ(read.status, CloudStatus::ok);
    EXPECT_TRUE(read.contents == large) << "the contents differ";
    EXPECT_EQ(contentsOf(cloud, "empty"), "");
    EXPECT_EQ(cloud.read("empty", 0).status, CloudStatus::ok);
    EXPECT_EQ(contentsOf(cloud, "top.txt"), "top");
}

TEST_P(EveryCloudFileSystem, WritingAgainReplacesTheWholeFile) {
    ASSERT_EQ(cloud.writeAtomically("device.json", "a much longer first version"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("device.json", "short"), CloudStatus::ok);
    EXPECT_EQ(contentsOf(cloud, "device.json"), "short");
    EXPECT_EQ(describeListing(cloud.list("")), "ok: device.json(file)");
}

TEST_P(EveryCloudFileSystem, ListingsAreSortedReportKindsAndLeaveOutTemporaryFiles) {
    ASSERT_EQ(cloud.writeAtomically("b.txt", "b"), CloudStatus::ok);
    ASSERT_EQ(cloud.makeDirectory("a"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("a/inside.txt", "not listed at the top"), CloudStatus::ok);
    subject->plantLinkToFolder("c");
    ASSERT_EQ(cloud.writeAtomically(".hidden", "h"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("x.tmp", "an ordinary name"), CloudStatus::ok);
    subject->plantFile(".b.txt.0123456789abcdef.tmp", "half writt");
    subject->plantFile(".syncthing.other.tmp", "another service's");

    EXPECT_EQ(describeListing(cloud.list("")),
              "ok: .hidden(file) a(directory) b.txt(file) c(other) x.tmp(file)");
    EXPECT_EQ(describeListing(cloud.list("a")), "ok: inside.txt(file)");
}

TEST_P(EveryCloudFileSystem, WhatIsNotThereIsNotFound) {
    ASSERT_EQ(cloud.writeAtomically("file.txt", "f"), CloudStatus::ok);
    EXPECT_EQ(cloud.read("nothing.txt", kNoLimit).status, CloudStatus::notFound);
    EXPECT_EQ(cloud.read("no/such.txt", kNoLimit).status, CloudStatus::notFound);
    EXPECT_EQ(cloud.list("no").status, CloudStatus::notFound);
    EXPECT_EQ(cloud.list("no/deeper").status, CloudStatus::notFound);
    EXPECT_EQ(cloud.remove("nothing.txt"), CloudStatus::notFound);
    EXPECT_EQ(cloud.writeAtomically("no/such.txt", "x"), CloudStatus::notFound)
        << "writing does not make folders";
    EXPECT_EQ(cloud.list("no").status, CloudStatus::notFound);

    // Nothing can be under a file.
    EXPECT_EQ(cloud.read("file.txt/x", kNoLimit).status, CloudStatus::notFound);
    EXPECT_EQ(cloud.list("file.txt/x").status, CloudStatus::notFound);
    EXPECT_EQ(cloud.writeAtomically("file.txt/x", "x"), CloudStatus::notFound);
    EXPECT_EQ(cloud.remove("file.txt/x"), CloudStatus::notFound);
    EXPECT_EQ(contentsOf(cloud, "file.txt"), "f");
}

TEST_P(EveryCloudFileSystem, AnEntryOfTheWrongKindIsInvalidAndLeftAsItIs) {
    ASSERT_EQ(cloud.makeDirectory("folder.txt"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("folder.txt/kept", "k"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("file.txt", "f"), CloudStatus::ok);

    // A folder where a file should be.
    EXPECT_EQ(cloud.read("folder.txt", kNoLimit).status, CloudStatus::invalid);
    EXPECT_EQ(cloud.writeAtomically("folder.txt", "over it"), CloudStatus::invalid);
    EXPECT_EQ(cloud.remove("folder.txt"), CloudStatus::invalid) << "folders are never removed";
    EXPECT_EQ(describeListing(cloud.list("folder.txt")), "ok: kept(file)");

    // A file where a folder should be.
    EXPECT_EQ(cloud.list("file.txt").status, CloudStatus::invalid);
    EXPECT_EQ(cloud.makeDirectory("file.txt"), CloudStatus::invalid);
    EXPECT_EQ(cloud.makeDirectory("file.txt/sub"), CloudStatus::invalid);
    EXPECT_EQ(contentsOf(cloud, "file.txt"), "f");
}

TEST_P(EveryCloudFileSystem, SymbolicLinksAreRefusedWhereverTheyAreOnThePath) {
    ASSERT_EQ(cloud.makeDirectory("a"), CloudStatus::ok);
    subject->plantLinkToFolder("linked");
    subject->plantLinkToFolder("a/linked");
    subject->plantLinkToFile("linked.txt");

    EXPECT_EQ(describeListing(cloud.list("a")), "ok: linked(other)");
    for (const std::string folder : {"linked", "a/linked"}) {
        SCOPED_TRACE(folder);
        EXPECT_EQ(cloud.list(folder).status, CloudStatus::invalid);
        EXPECT_EQ(cloud.read(folder + "/secret.txt", kNoLimit).status, CloudStatus::invalid);
        EXPECT_EQ(cloud.writeAtomically(folder + "/new.txt", "x"), CloudStatus::invalid);
        EXPECT_EQ(cloud.writeAtomically(folder + "/secret.txt", "x"), CloudStatus::invalid);
        EXPECT_EQ(cloud.remove(folder + "/secret.txt"), CloudStatus::invalid);
        EXPECT_EQ(cloud.makeDirectory(folder + "/sub"), CloudStatus::invalid);
        EXPECT_EQ(cloud.makeDirectory(folder), CloudStatus::invalid);
    }
    EXPECT_EQ(cloud.read("linked.txt", kNoLimit).status, CloudStatus::invalid);
    EXPECT_EQ(cloud.writeAtomically("linked.txt", "x"), CloudStatus::invalid);
    EXPECT_EQ(cloud.remove("linked.txt"), CloudStatus::invalid);
    EXPECT_EQ(describeListing(cloud.list("")), "ok: a(directory) linked(other) linked.txt(other)")
        << "the refused links are all still there";
}

TEST_P(EveryCloudFileSystem, RemovingTakesAFileAwayOnce) {
    ASSERT_EQ(cloud.writeAtomically("gone.txt", "g"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("stays.txt", "s"), CloudStatus::ok);
    EXPECT_EQ(cloud.remove("gone.txt"), CloudStatus::ok);
    EXPECT_EQ(cloud.read("gone.txt", kNoLimit).status, CloudStatus::notFound);
    EXPECT_EQ(cloud.remove("gone.txt"), CloudStatus::notFound);
    EXPECT_EQ(describeListing(cloud.list("")), "ok: stays.txt(file)");
}

TEST_P(EveryCloudFileSystem, MakingAFolderMakesEveryMissingFolderAbove) {
    EXPECT_EQ(cloud.makeDirectory("x/y/z"), CloudStatus::ok);
    EXPECT_EQ(describeListing(cloud.list("x")), "ok: y(directory)");
    EXPECT_EQ(describeListing(cloud.list("x/y")), "ok: z(directory)");
    EXPECT_EQ(describeListing(cloud.list("x/y/z")), "ok:");
    ASSERT_EQ(cloud.writeAtomically("x/y/z/file", "f"), CloudStatus::ok);

    EXPECT_EQ(cloud.makeDirectory("x/y/z"), CloudStatus::ok) << "already there is fine";
    EXPECT_EQ(cloud.makeDirectory("x"), CloudStatus::ok);
    EXPECT_EQ(contentsOf(cloud, "x/y/z/file"), "f") << "and changes nothing";
}

TEST_P(EveryCloudFileSystem, AReadBeyondTheLimitIsTooLargeAndReturnsNothing) {
    const std::string hundred(100, 'h');
    ASSERT_EQ(cloud.writeAtomically("hundred", hundred), CloudStatus::ok);

    const CloudRead atLimit = cloud.read("hundred", 100);
    EXPECT_EQ(atLimit.status, CloudStatus::ok);
    EXPECT_EQ(atLimit.contents, hundred);

    const CloudRead overLimit = cloud.read("hundred", 99);
    EXPECT_EQ(overLimit.status, CloudStatus::tooLarge);
    EXPECT_EQ(overLimit.contents, "");
    EXPECT_EQ(cloud.read("hundred", 0).status, CloudStatus::tooLarge);
}

TEST_P(EveryCloudFileSystem, MalformedPathsAreRefusedAndChangeNothing) {
    ASSERT_EQ(cloud.makeDirectory("a"), CloudStatus::ok);
    ASSERT_EQ(cloud.writeAtomically("a/b.txt", "b"), CloudStatus::ok);
    for (const std::string& path : malformedPaths()) {
        SCOPED_TRACE(testing::PrintToString(path));
        EXPECT_EQ(cloud.writeAtomically(path, "x"), CloudStatus::invalid);
        EXPECT_EQ(cloud.read(path, kNoLimit).status, CloudStatus::invalid);
        EXPECT_EQ(cloud.remove(path), CloudStatus::invalid);
        EXPECT_EQ(cloud.makeDirectory(path), CloudStatus::invalid);
        EXPECT_EQ(cloud.list(path).status, CloudStatus::invalid);
    }
    // The root is a folder to list, not a path to anything else.
    EXPECT_EQ(cloud.writeAtomically("", "x"), CloudStatus::invalid);
    EXPECT_EQ(cloud.read("", kNoLimit).status, CloudStatus::invalid);
    EXPECT_EQ(cloud.remove(""), CloudStatus::invalid);
    EXPECT_EQ(cloud.makeDirectory(""), CloudStatus::invalid);
    EXPECT_EQ(describeListing(cloud.list("")), "ok: a(directory)");
    EXPECT_EQ(describeListing(cloud.list("a")), "ok: b.txt(file)");
}

INSTANTIATE_TEST_SUITE_P(
    , EveryCloudFileSystem,
    ::testing::Values(Implementation{"Folder", [] { return std::make_unique<FolderSubject>(); }},
                      Implementation{"InMemory",
                                     [] { return std::make_unique<InMemorySubject>(); }}),
    [](const auto& info) { return info.param.name; });

// -----------------------------------------------------------------------------------------------
// The real folder on disk

class FolderCloud : public ::testing::Test {
  protected:
    FolderCloud() {
        fs::create_directory(root);
        fs::create_directory(outside);
        writeFile(outside / "secret.txt", "secret");
    }

    test::TempDir scratch;
    fs::path root = scratch.path() / "cloud";
    fs::path outside = scratch.path() / "outside";
    FolderCloudFileSystem cloud{root};
};

TEST_F(FolderCloud, AReplacedFileIsSwappedWholeAndLeavesNoTemporaryFileBehind) {
    ASSERT_EQ(cloud.writeAtomically("state.json", "old contents"), CloudStatus::ok);
    std::ifstream reader(root / "state.json", std::ios::binary);
    ASSERT_TRUE(reader.is_open());

    ASSERT_EQ(cloud.writeAtomically("state.json", "new"), CloudStatus::ok);
    // A reader that opened the old file keeps reading the old file: the new one was put in
    // its place, not written into it.
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old contents");
    EXPECT_EQ(fileBytes(root / "state.json"), "new");
    EXPECT_EQ(namesIn(root), std::set<std::string>{"state.json"});
}

TEST_F(FolderCloud, NothingOutsideTheRootIsReadOrChangedThroughALink) {
    fs::create_directory(root / "a");
    fs::create_directory_symlink(outside, root / "a" / "linked");
    fs::create_symlink(outside / "secret.txt", root / "linked.txt");
    fs::create_symlink(outside / "made-through-a-link.txt", root / "dangling.txt");
    const std::string outsideBefore = treeOf(outside);
    const std::string rootBefore = treeOf(root);

    EXPECT_EQ(cloud.read("linked.txt", kNoLimit).contents, "");
    EXPECT_EQ(cloud.read("a/linked/secret.txt", kNoLimit).contents, "");
    EXPECT_EQ(cloud.writeAtomically("linked.txt", "overwritten"), CloudStatus::invalid);
    EXPECT_EQ(cloud.writeAtomically("dangling.txt", "created"), CloudStatus::invalid);
    EXPECT_EQ(cloud.writeAtomically("a/linked/secret.txt", "x"), CloudStatus::invalid);
    EXPECT_EQ(cloud.writeAtomically("a/linked/new.txt", "x"), CloudStatus::invalid);
    EXPECT_EQ(cloud.makeDirectory("a/linked/made"), CloudStatus::invalid);
    EXPECT_EQ(cloud.remove("a/linked/secret.txt"), CloudStatus::invalid);
    EXPECT_EQ(cloud.remove("linked.txt"), CloudStatus::invalid);

    EXPECT_EQ(treeOf(outside), outsideBefore);
    EXPECT_EQ(treeOf(root), rootBefore);
}

TEST_F(FolderCloud, MalformedPathsWriteNothingOutsideTheRoot) {
    fs::create_directory(root / "a");
    const std::string scratchBefore = treeOf(scratch.path());
    for (const std::string& path :
         {std::string("../escape.txt"), std::string("a/../../escape.txt"),
          (scratch.path() / "escape.txt").string(), std::string("a/../escape.txt")}) {
        EXPECT_EQ(cloud.writeAtomically(path, "escaped"), CloudStatus::invalid) << path;
        EXPECT_EQ(cloud.makeDirectory(path + "-folder"), CloudStatus::invalid) << path;
    }
    EXPECT_EQ(cloud.remove("../outside/secret.txt"), CloudStatus::invalid);
    EXPECT_EQ(treeOf(scratch.path()), scratchBefore);
}

TEST_F(FolderCloud, AMissingRootIsUnavailableWhileAMissingFileIsNotFound) {
    EXPECT_EQ(cloud.read("absent.txt", kNoLimit).status, CloudStatus::notFound);

    fs::remove_all(root);
    EXPECT_EQ(cloud.checkRoot(), CloudStatus::unavailable);
    EXPECT_EQ(cloud.list("").status, CloudStatus::unavailable);
    EXPECT_EQ(cloud.list("changes").status, CloudStatus::unavailable);
    EXPECT_EQ(cloud.read("absent.txt", kNoLimit).status, CloudStatus::unavailable);
    EXPECT_EQ(cloud.writeAtomically("absent.txt", "x"), CloudStatus::unavailable);
    EXPECT_EQ(cloud.remove("absent.txt"), CloudStatus::unavailable);
    EXPECT_EQ(cloud.makeDirectory("changes"), CloudStatus::unavailable);
    EXPECT_FALSE(fs::exists(root)) << "the root is never made";

    fs::create_directory(root);  // the drive is mounted again
    EXPECT_EQ(cloud.checkRoot(), CloudStatus::ok);
    EXPECT_EQ(cloud.read("absent.txt", kNoLimit).status, CloudStatus::notFound);
}

TEST_F(FolderCloud, ARootThatIsAFileOrALinkIsUnavailable) {
    FolderCloudFileSystem onAFile(outside / "secret.txt");
    EXPECT_EQ(onAFile.checkRoot(), CloudStatus::unavailable);
    EXPECT_EQ(onAFile.list("").status, CloudStatus::unavailable);
    EXPECT_EQ(onAFile.writeAtomically("x", "x"), CloudStatus::unavailable);

    fs::create_directory_symlink(outside, scratch.path() / "linked-root");
    FolderCloudFileSystem onALink(scratch.path() / "linked-root");
    EXPECT_EQ(onALink.checkRoot(), CloudStatus::unavailable);
    EXPECT_EQ(onALink.list("").status, CloudStatus::unavailable);
    EXPECT_EQ(onALink.read("secret.txt", kNoLimit).status, CloudStatus::unavailable);
    EXPECT_EQ(onALink.writeAtomically("new.txt", "x"), CloudStatus::unavailable);
    EXPECT_FALSE(fs::exists(outside / "new.txt"));

    FolderCloudFileSystem nowhere("");
    EXPECT_EQ(nowhere.checkRoot(), CloudStatus::unavailable);
    EXPECT_EQ(nowhere.list("").status, CloudStatus::unavailable);
}

TEST_F(FolderCloud, ANamedPipeIsNotAFileAndReadingItDoesNotWaitForAWriter) {
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(cloud.read("pipe", kNoLimit).status, CloudStatus::invalid);
    EXPECT_EQ(cloud.writeAtomically("pipe", "x"), CloudStatus::invalid);
    EXPECT_EQ(cloud.remove("pipe"), CloudStatus::invalid);
    EXPECT_EQ(describeListing(cloud.list("")), "ok: pipe(other)");
}

TEST_F(FolderCloud, AnUnwritableRootIsUnavailableAndKeepsNoTemporaryFile) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "the superuser may write anywhere, whatever the permissions say";
    }
    fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(cloud.checkRoot(), CloudStatus::unavailable);
    EXPECT_EQ(cloud.writeAtomically("x.txt", "x"), CloudStatus::unavailable);
    EXPECT_EQ(cloud.makeDirectory("changes"), CloudStatus::unavailable);
    EXPECT_EQ(cloud.list("").status, CloudStatus::ok) << "it can still be read";
    fs::permissions(root, fs::perms::owner_all);
    EXPECT_TRUE(namesIn(root).empty());

    fs::permissions(root, fs::perms::none);
    EXPECT_EQ(cloud.list("").status, CloudStatus::unavailable);
    EXPECT_EQ(cloud.read("x.txt", kNoLimit).status, CloudStatus::unavailable)
        << "an unreadable root proves nothing about what is in it";
    fs::permissions(root, fs::perms::owner_all);
}

}  // namespace
}  // namespace jw::sync
