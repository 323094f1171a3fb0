// Devices as real jotwell-cli processes: each has its own data folder, and they share one
// cloud folder on disk. Whatever a device does reaches the others. (What each command does is
// the CLI's own tests; that every model operation syncs is the convergence run's.) (Devices on
// copies of the folder that a file-sync service brings in step now and then are
// CompactionOnOwnCopies.)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/Paths.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestEnvironment.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs jotwell-cli with `arguments` and collects what it prints and how it ended. Standard
// error goes to a file, so that reading the one pipe to its end cannot stall the program.
Outcome runCli(const std::vector<std::string>& arguments) {
    jw::test::TempDir scratch;
    const auto errors = scratch.path() / "stderr";
    std::vector<std::string> argvStrings{JOTWELL_CLI_PATH};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argvStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // The same environment, with the resources of this build and no cloud folder but the one
    // given on the command line.
    const std::string resources =
        "JOTWELL_RESOURCE_DIR=" + jw::AppPaths::resolve(std::nullopt).resourceDirectory.string();
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry(*e);
        if (!entry.starts_with("JOTWELL_RESOURCE_DIR=") &&
            !entry.starts_with("JOTWELL_CLOUD_DIR=")) {
            env.push_back(*e);
        }
    }
    env.push_back(const_cast<char*>(resources.c_str()));
    env.push_back(nullptr);

    jw::test::ChildProcess child([&](int out) {
        dup2(out, STDOUT_FILENO);
        dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        execve(argv[0], argv.data(), env.data());
    });
    Outcome outcome;
    while (auto line = child.nextLine()) {
        outcome.out += *line + "\n";
    }
    outcome.status = child.wait();
    std::ifstream in(errors, std::ios::binary);
    outcome.err.assign(std::istreambuf_iterator<char>(in), {});
    return outcome;
}

class TwoDevicesCli : public ::testing::Test {
  protected:
    TwoDevicesCli() { fs::create_directories(cloudFolder()); }

    fs::path cloudFolder() const { return dir_.path() / "Shared cloud"; }

    // One command on a device; a failure is reported with what the program said.
    Outcome on(const std::string& device, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--data-dir", (dir_.path() / device).string(),
                                             "--cloud-dir", cloudFolder().string()});
        return runCli(arguments);
    }
    std::string output(const std::string& device, const std::vector<std::string>& arguments) {
        const auto outcome = on(device, arguments);
        EXPECT_EQ(outcome.status, 0)
            << device << " " << ::testing::PrintToString(arguments) << ": " << outcome.err;
        return outcome.out;
    }
    void run(const std::string& device, const std::vector<std::string>& arguments) {
        output(device, arguments);
    }
    // What a user of the device sees: the lists, then each list's items.
    std::string everything(const std::string& device) {
        const auto lists = output(device, {"lists"});
        std::string text = lists;
        for (std::size_t at = 0; at < lists.size();) {
            const auto end = lists.find('\n', at);
            const auto name = lists.substr(at, lists.find('\t', at) - at);
            text += output(device, {"items", name});
            at = end == std::string::npos ? lists.size() : end + 1;
        }
        return text;
    }

    // Runs `arguments` on a device that attaches with them; answers its folder's name in the
    // shared folder.
    std::string join(const std::string& device, const std::vector<std::string>& arguments) {
        const auto devices = cloudFolder() / "MainStore" / "devices";
        std::error_code none;  // before the first device, there is no folder yet
        std::set<fs::path> before(fs::directory_iterator(devices, none), {});
        run(device, arguments);
        for (const auto& entry : fs::directory_iterator(devices)) {
            if (!before.count(entry.path())) {
                return entry.path().filename().string();
            }
        }
        return "";
    }

    jw::test::TempDir dir_;
};

TEST_F(TwoDevicesCli, ChangesOnEitherDeviceReachTheOtherOnceTheFolderIsThere) {
    fs::remove(cloudFolder());
    run("A", {"new-list", "Groceries"});
    EXPECT_EQ(output("A", {"sync"}), "not yet attached\n");
    EXPECT_EQ(output("A", {"status"}).rfind("state: not yet attached\n", 0), 0u);
    EXPECT_FALSE(fs::exists(cloudFolder())) << "the folder the user named must not be made";
    fs::create_directories(cloudFolder());
    run("A", {"add", "Groceries", "Milk"});
    run("A", {"add", "Groceries", "Bread \U0001F35E"});
    run("A", {"new-list", "Weekend trip"});
    run("A", {"add", "Weekend trip", "Pack the tent"});
    run("A", {"toggle", "Groceries", "1"});
    const auto onA = everything("A");
    ASSERT_NE(onA.find("Bread \U0001F35E"), std::string::npos) << onA;

    EXPECT_EQ(output("B", {"sync"}), "attached\n");
    EXPECT_EQ(everything("B"), onA);

    run("B", {"add", "Groceries", "Eggs"});
    run("B", {"rename-list", "Weekend trip", "Trip to the lake"});
    const auto onB = everything("B");
    ASSERT_NE(onB.find("Trip to the lake"), std::string::npos) << onB;

    EXPECT_EQ(output("A", {"sync"}), "attached\n");
    EXPECT_EQ(everything("A"), onB);

    // Both settled: attached, nothing waiting either way.
    for (const char* device : {"A", "B"}) {
        const auto status = output(device, {"status"});
        EXPECT_EQ(status, "state: attached\ncloud folder: " + cloudFolder().string() +
                              "\nto export: 0 changed objects (0 files)\nto import: 0 files\n")
            << device;
    }
    // Every command merges first, unless told not to.
    run("A", {"add", "Groceries", "Tea"});
    EXPECT_EQ(output("B", {"items", "--no-merge", "Groceries"}).find("Tea"), std::string::npos);
    EXPECT_NE(output("B", {"items", "Groceries"}).find("[ ] Tea"), std::string::npos);
}

TEST_F(TwoDevicesCli, DevicesWorkingAtTheSameTimeConverge) {
    run("A", {"new-list", "Shared"});
    EXPECT_EQ(output("B", {"sync"}), "attached\n");

    // Both devices change the shared list at once, in separate processes, each command merging
    // with the cloud folder as it ends; both also write the same item's text.
    run("A", {"add", "Shared", "Contested"});
    EXPECT_EQ(output("B", {"sync"}), "attached\n");
    auto work = [this](const std::string& device) {
        // First, while "Contested" is still the list's only item on this device (row 1).
        run(device, {"edit", "Shared", "1", "Contested, written by " + device});
        for (int i = 1; i <= 4; ++i) {
            run(device, {"add", "Shared", device + " item " + std::to_string(i)});
        }
        run(device, {"new-list", "Only on " + device});
    };
    std::thread a(work, "A");
    std::thread b(work, "B");
    a.join();
    b.join();

    for (const char* device : {"A", "B", "A"}) {
        EXPECT_EQ(output(device, {"sync"}), "attached\n");
    }
    const auto onA = everything("A");
    EXPECT_EQ(everything("B"), onA);
    for (const char* expected : {"A item 4", "B item 4", "Only on A", "Only on B"}) {
        EXPECT_NE(onA.find(expected), std::string::npos) << expected << " is missing:\n" << onA;
    }
    // One of the two texts won, the same on both devices; the item was not duplicated.
    const bool byA = onA.find("Contested, written by A") != std::string::npos;
    const bool byB = onA.find("Contested, written by B") != std::string::npos;
    EXPECT_TRUE(byA != byB) << onA;
    EXPECT_EQ(output("A", {"lists"}), "Only on A\t\nOnly on B\t\nShared\t9\n");
    for (const char* device : {"A", "B"}) {
        EXPECT_NE(output(device, {"status"})
                      .find("to export: 0 changed objects (0 files)\nto "
                            "import: 0 files\n"),
                  std::string::npos)
            << device;
    }
}

TEST_F(TwoDevicesCli, ALostAttachmentIsSaidAndAttachingAfreshBringsTheDeviceBack) {
    run("A", {"new-list", "Groceries"});
    const auto b = join("B", {"sync"});
    ASSERT_FALSE(b.empty());
    fs::remove(cloudFolder() / "MainStore" / "devices" / b / "device.json");

    run("B", {"new-list", "Made on B"});
    const auto lost = on("B", {"lists"});
    EXPECT_EQ(lost.status, 0);
    EXPECT_EQ(lost.out, "Groceries\t\nMade on B\t\n");
    EXPECT_NE(lost.err.find("no longer attached"), std::string::npos) << lost.err;
    EXPECT_NE(lost.err.find("sync --reattach"), std::string::npos) << lost.err;
    EXPECT_EQ(output("B", {"sync"}), "attachment lost\n");

    EXPECT_EQ(output("B", {"sync", "--reattach"}), "attached\n");
    run("A", {"sync"});
    EXPECT_EQ(output("A", {"lists"}), "Groceries\t\nMade on B\t\n");
    EXPECT_EQ(on("B", {"lists"}).err, "");
}

TEST_F(TwoDevicesCli, AnotherFolderProvesNothingAndIsSaid) {
    run("A", {"new-list", "Groceries"});
    const auto other = dir_.path() / "empty folder";
    fs::create_directories(other);
    auto elsewhere = runCli({"--data-dir", (dir_.path() / "A").string(), "--cloud-dir",
                             other.string(), "new-list", "Made elsewhere"});
    EXPECT_EQ(elsewhere.status, 0);
    EXPECT_NE(elsewhere.err.find("attached to the cloud folder " + cloudFolder().string()),
              std::string::npos)
        << elsewhere.err;
    EXPECT_EQ(output("A", {"sync"}), "attached\n");
    EXPECT_EQ(output("B", {"lists"}), "Groceries\t\nMade elsewhere\t\n");
}

TEST_F(TwoDevicesCli, TemporaryFilesLeftByAKilledWriteAreRemovedByTheirDeviceOnly) {
    const auto aDevice = join("A", {"new-list", "Groceries"});
    const auto b = join("B", {"sync"});
    const auto devices = cloudFolder() / "MainStore" / "devices";
    auto leave = [&](const fs::path& file, int ageSeconds) {
        std::ofstream(file) << "cut short";
        const timeval when[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
        utimes(file.c_str(), when);
        return file;
    };
    const auto old = leave(devices / b / ".device.json.0123456789abcdef.tmp", 3600);
    const auto oldChanges =
        leave(devices / b / "changes" / ".000000000009.jwchanges.0123456789abcdef.tmp", 3600);
    const auto recent =
        leave(devices / b / "changes" / ".000000000010.jwchanges.fedcba9876543210.tmp", 5);
    const auto anothers = leave(devices / aDevice / ".device.json.0123456789abcdef.tmp", 3600);

    run("B", {"sync"});
    EXPECT_FALSE(fs::exists(old));
    EXPECT_FALSE(fs::exists(oldChanges));
    EXPECT_TRUE(fs::exists(recent)) << "a write of another run may still own it";
    EXPECT_TRUE(fs::exists(anothers)) << "another device's files are its own";
}

}  // namespace
