// The cloud folder as the sync engine sees it: the rules every cloud file system keeps (checked
// against the real folder and the in-memory one alike, so the tests of the engine run on a fake
// that behaves like the real thing), and what the real folder does on disk.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/sync/CloudFileSystem.h"
#include "platform/sync/FolderCloudFileSystem.h"
#include "tests/support/InMemoryCloud.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw::sync {
namespace {

using ::jw::test::PrintTo;

namespace fs = std::filesystem;
using test::writeFile;

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

const char* const kKinds[] = {"file", "directory", "other"};  // by CloudEntryKind

// "ok: a(directory) b.txt(file)", or just the status when the listing failed.
std::string describeListing(const CloudListing& listing) {
    std::string text = describe(listing.status);
    if (listing.status != CloudStatus::ok) {
        return text;
    }
    text += ":";
    for (const CloudEntry& entry : listing.entries) {
        text += " " + entry.name + "(" + kKinds[int(entry.kind)] + ")";
    }
    return text;
}

std::string everyByteValue(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 256) % 256);
    }
    return bytes;
}

// Every path under a real folder, hidden ones included, for proving that nothing was made or
// changed there.
std::string treeOf(const fs::path& folder) {
    std::string text;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        text += fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            text += " -> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            text += " = " + test::readFile(entry.path());
        }
        text += "\n";
    }
    return text;
}

// -----------------------------------------------------------------------------------------------
// The rules every cloud file system keeps, checked on the real folder and the in-memory cloud
// alike (so the engine's tests run on a fake that behaves like the real thing), and what the
// real folder does on disk

class FolderCloud : public ::testing::Test {
  protected:
    FolderCloud() {
        fs::create_directory(root);
        fs::create_directory(outside);
        writeFile(outside / "secret.txt", "secret");
    }
    std::string runScript(CloudFileSystem& on, const std::string& script);

    // Puts into `on` what only the world outside the engine makes: a link to a folder or a
    // file, or a file under any name (in memory, a link is one that leads nowhere).
    void plant(CloudFileSystem& on, const std::string& verb, const std::string& path,
               const std::string& contents) {
        if (&on == memory.get()) {
            verb == "plant" ? memory->plantFile(path, contents) : memory->plantOther(path);
        } else if (verb == "link") {
            fs::create_directory_symlink(outside, root / path);
        } else if (verb == "filelink") {
            fs::create_symlink(outside / "secret.txt", root / path);
        } else if (verb == "deadlink") {
            fs::create_symlink(outside / "made-through-a-link.txt", root / path);
        } else {
            writeFile(root / path, contents);
        }
    }

    test::TempDir scratch;
    fs::path root = scratch.path() / "cloud";
    fs::path outside = scratch.path() / "outside";
    FolderCloudFileSystem cloud{root};
    test::InMemoryCloud memoryCloud;
    std::shared_ptr<test::InMemoryCloudView> memory = memoryCloud.view("device");
    CloudFileSystem* const both[2] = {&cloud, memory.get()};
};

// Runs a script of calls, "; " between them, and answers what each gave, " | " between:
//   write P C, read P, read P N (at most N bytes), list [P] (the root without P), remove P,
//   mkdir P: the call's status, the contents read ("[status]" and whatever came with a
//   failed read), or the listing;
//   link P, filelink P, deadlink P, plant P C: put a link to a folder, to a file or to nothing,
//   or a file under any name, where only the world outside the engine would; they answer
//   nothing.
std::string FolderCloud::runScript(CloudFileSystem& on, const std::string& script) {
    std::string results;
    int calls = 0;
    std::size_t at = 0;
    while (at < script.size()) {
        auto end = script.find("; ", at);
        end = end == std::string::npos ? script.size() : end;
        std::istringstream call(script.substr(at, end - at));
        at = end + 2;
        std::string verb, path, rest;
        call >> verb >> path;
        std::getline(call >> std::ws, rest);
        std::string result;
        if (verb == "write") {
            result = describe(on.writeAtomically(path, rest));
        } else if (verb == "read") {
            const auto read = on.read(path, rest.empty() ? kNoLimit : std::stoul(rest));
            result = read.status == CloudStatus::ok
                         ? read.contents
                         : "[" + std::string(describe(read.status)) + "]" + read.contents;
        } else if (verb == "list") {
            result = describeListing(on.list(path));
        } else if (verb == "remove") {
            result = describe(on.remove(path));
        } else if (verb == "mkdir") {
            result = describe(on.makeDirectory(path));
        } else if (verb == "link" || verb == "filelink" || verb == "deadlink" || verb == "plant") {
            plant(on, verb, path, rest);
            continue;
        } else {
            ADD_FAILURE() << "no such call in a script: " << verb;
        }
        results += (calls++ ? " | " : "") + result;
    }
    return results;
}

TEST_F(FolderCloud, WhatIsWrittenReadsBackByteForByte) {
    const std::string large = everyByteValue(200'000);  // more than one read's worth
    for (CloudFileSystem* on : both) {
        ASSERT_EQ(on->makeDirectory("changes/device"), CloudStatus::ok);
        EXPECT_EQ(on->writeAtomically("changes/device/large.bin", large), CloudStatus::ok);
        const CloudRead read = on->read("changes/device/large.bin", large.size());
        EXPECT_EQ(read.status, CloudStatus::ok);
        EXPECT_TRUE(read.contents == large) << "the contents differ";
    }
}

// One rule each: a script and what its calls give.
struct Rule {
    const char* name;
    const char* script;
    const char* expected;
};
const Rule kRules[] = {
    {"WritingAgainReplacesTheWholeFile",
     "write device.json a much longer first version; write device.json short; "
     "read device.json; list",
     "ok | ok | short | ok: device.json(file)"},
    {"ListingsAreSortedReportKindsAndLeaveOutTemporaryFiles",
     "write b.txt b; mkdir a; write a/inside.txt not listed at the top; link c; write .hidden h; "
     "write x.tmp an ordinary name; write .n.tmp.txt not temporary either; "
     "plant .b.txt.0123456789abcdef.tmp half writt; plant .syncthing.other.tmp another service's; "
     "list; list a",
     "ok | ok | ok | ok | ok | ok | "
     "ok: .hidden(file) .n.tmp.txt(file) a(directory) b.txt(file) c(other) x.tmp(file) | "
     "ok: inside.txt(file)"},
    {"WhatIsNotThereIsNotFound",
     "write file.txt f; read nothing.txt; read no/such.txt; list no; list no/deeper; "
     "remove nothing.txt; write no/such.txt x; list no; "
     "read file.txt/x; list file.txt/x; write file.txt/x x; remove file.txt/x; read file.txt",
     "ok | [not found] | [not found] | not found | not found | not found | not found | "
     "not found | [not found] | not found | not found | not found | f"},
    {"AnEntryOfTheWrongKindIsInvalidAndLeftAsItIs",
     "mkdir folder.txt; write folder.txt/kept k; write file.txt f; read folder.txt; "
     "write folder.txt over it; remove folder.txt; list folder.txt; list file.txt; "
     "mkdir file.txt; mkdir file.txt/sub; read file.txt",
     "ok | ok | ok | [invalid] | invalid | invalid | ok: kept(file) | invalid | invalid | "
     "invalid | f"},
    {"SymbolicLinksAreRefusedWhereverTheyAreOnThePath",
     "mkdir a; link linked; link a/linked; filelink linked.txt; list a; "
     "list linked; read linked/secret.txt; write linked/new.txt x; write linked/secret.txt x; "
     "remove linked/secret.txt; mkdir linked/sub; mkdir linked; "
     "list a/linked; read a/linked/secret.txt; write a/linked/new.txt x; "
     "write a/linked/secret.txt x; remove a/linked/secret.txt; mkdir a/linked/sub; "
     "mkdir a/linked; read linked.txt; write linked.txt x; remove linked.txt; "
     "deadlink dangling.txt; write dangling.txt made through it; list",
     "ok | ok: linked(other) | "
     "invalid | [invalid] | invalid | invalid | invalid | invalid | invalid | "
     "invalid | [invalid] | invalid | invalid | invalid | invalid | invalid | "
     "[invalid] | invalid | invalid | invalid | "
     "ok: a(directory) dangling.txt(other) linked(other) linked.txt(other)"},
    {"RemovingTakesAFileAwayOnce",
     "write gone.txt g; write stays.txt s; remove gone.txt; read gone.txt; remove gone.txt; list",
     "ok | ok | ok | [not found] | not found | ok: stays.txt(file)"},
    {"MakingAFolderMakesEveryMissingFolderAboveAndAgainChangesNothing",
     "mkdir x/y/z; list x; list x/y; list x/y/z; write x/y/z/file f; mkdir x/y/z; mkdir x; "
     "read x/y/z/file",
     "ok | ok: y(directory) | ok: z(directory) | ok: | ok | ok | ok | f"},
    {"AReadBeyondTheLimitIsTooLargeAndReturnsNothing",
     "write five 12345; read five 5; read five 4; read five 0; write empty; read empty 0",
     "ok | 12345 | [too large] | [too large] | ok | "},
};

class CloudRule : public FolderCloud, public ::testing::WithParamInterface<Rule> {};

TEST_P(CloudRule, HoldsForTheFolderAndInMemory) {
    for (CloudFileSystem* on : both) {
        EXPECT_EQ(runScript(*on, GetParam().script), GetParam().expected) << (on != &cloud);
    }
    // Nothing outside the root was read or changed through a link or a path.
    EXPECT_EQ(treeOf(outside), "secret.txt = secret\n");
}

INSTANTIATE_TEST_SUITE_P(, CloudRule, ::testing::ValuesIn(kRules), jw::test::caseName);

// A name may be anything but empty, ".", "..", or hold "/" or NUL; a malformed path is refused
// and changes nothing.
TEST_F(FolderCloud, MalformedPathsAreRefusedAndChangeNothing) {
    for (const std::string path :
         {"a", "a/b/c.txt", ".hidden", "...", "a b", "a\\b", "x..y", "名前/リスト", "..a", "a.."}) {
        EXPECT_TRUE(isValidCloudPath(path)) << path;
    }
    using namespace std::string_literals;  // for the NULs
    const std::string malformed[] = {
        ".",         "..", "../escape.txt", "a/../../escape.txt", "/escape.txt", "a//b.txt",
        "a/",        "/",  "./a",           "a/./b.txt",          "a/..",        "//escape.txt",
        "a\0b.txt"s, "\0"s};
    for (CloudFileSystem* on : both) {
        ASSERT_EQ(runScript(*on, "mkdir a; write a/b.txt b"), "ok | ok");
        for (const std::string& path : malformed) {
            SCOPED_TRACE(testing::PrintToString(path));
            EXPECT_FALSE(isValidCloudPath(path));
            EXPECT_EQ(on->writeAtomically(path, "x"), CloudStatus::invalid);
            EXPECT_EQ(on->read(path, kNoLimit).status, CloudStatus::invalid);
            EXPECT_EQ(on->remove(path), CloudStatus::invalid);
            EXPECT_EQ(on->makeDirectory(path), CloudStatus::invalid);
            EXPECT_EQ(on->list(path).status, CloudStatus::invalid);
        }
        // The root is a folder to list, not a path to anything else.
        EXPECT_FALSE(isValidCloudPath(""));
        EXPECT_EQ(on->writeAtomically("", "x"), CloudStatus::invalid);
        EXPECT_EQ(on->read("", kNoLimit).status, CloudStatus::invalid);
        EXPECT_EQ(on->remove(""), CloudStatus::invalid);
        EXPECT_EQ(on->makeDirectory(""), CloudStatus::invalid);
        EXPECT_EQ(runScript(*on, "list; list a"), "ok: a(directory) | ok: b.txt(file)");
    }
}

TEST_F(FolderCloud, AReplacedFileIsSwappedWholeAndLeavesNoTemporaryFileBehind) {
    ASSERT_EQ(cloud.writeAtomically("state.json", "old contents"), CloudStatus::ok);
    std::ifstream reader(root / "state.json", std::ios::binary);
    ASSERT_TRUE(reader.is_open());

    ASSERT_EQ(cloud.writeAtomically("state.json", "new"), CloudStatus::ok);
    // A reader that opened the old file keeps reading the old file: the new one was put in
    // its place, not written into it.
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old contents");
    EXPECT_EQ(treeOf(root), "state.json = new\n");
}

// A root that is missing (an unmounted drive), a file, a link or nothing at all is unavailable,
// and the engine never makes it; a missing file under a root that is there is not found.
TEST_F(FolderCloud, ARootThatIsMissingAFileALinkOrNothingIsUnavailable) {
    EXPECT_EQ(runScript(cloud, "read absent.txt"), "[not found]");
    fs::remove_all(root);
    fs::create_directory_symlink(outside, scratch.path() / "linked-root");
    FolderCloudFileSystem onAFile(outside / "secret.txt");
    FolderCloudFileSystem onALink(scratch.path() / "linked-root");
    FolderCloudFileSystem nowhere("");
    for (auto* on : {&cloud, &onAFile, &onALink, &nowhere}) {
        EXPECT_EQ(on->checkRoot(), CloudStatus::unavailable);
        EXPECT_EQ(runScript(*on,
                            "list; list changes; read secret.txt; write new.txt x; "
                            "remove secret.txt; mkdir changes"),
                  "unavailable | unavailable | [unavailable] | unavailable | unavailable | "
                  "unavailable");
    }
    EXPECT_EQ(treeOf(outside), "secret.txt = secret\n");
    EXPECT_FALSE(fs::exists(root)) << "the root is never made";

    fs::create_directory(root);  // the drive is mounted again
    EXPECT_EQ(cloud.checkRoot(), CloudStatus::ok);
    EXPECT_EQ(runScript(cloud, "read absent.txt"), "[not found]");
}

TEST_F(FolderCloud, ANamedPipeIsNotAFileAndReadingItDoesNotWaitForAWriter) {
    ASSERT_EQ(::mkfifo((root / "pipe").c_str(), 0600), 0);
    EXPECT_EQ(runScript(cloud, "read pipe; write pipe x; remove pipe; list"),
              "[invalid] | invalid | invalid | ok: pipe(other)");
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
    EXPECT_EQ(treeOf(root), "");

    fs::permissions(root, fs::perms::none);
    EXPECT_EQ(cloud.list("").status, CloudStatus::unavailable);
    EXPECT_EQ(cloud.read("x.txt", kNoLimit).status, CloudStatus::unavailable)
        << "an unreadable root proves nothing about what is in it";
    fs::permissions(root, fs::perms::owner_all);
}

}  // namespace
}  // namespace jw::sync
