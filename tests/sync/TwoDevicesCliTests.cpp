// Devices as real jotwell-cli processes sharing one cloud folder on disk: what the program says
// and how it ends as a device attaches, loses its attachment or meets another folder, and the
// temporary files a killed write leaves.

#include <gtest/gtest.h>
#include <sys/time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/Paths.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestEnvironment.h"

namespace {

namespace fs = std::filesystem;

// Runs jotwell-cli with `arguments` on the resources of this build, with no cloud folder but
// the one given on the command line.
jw::test::ProgramOutcome runCli(const std::vector<std::string>& arguments) {
    setenv("JOTWELL_RESOURCE_DIR",
           jw::AppPaths::resolve(std::nullopt).resourceDirectory.string().c_str(), 1);
    unsetenv("JOTWELL_CLOUD_DIR");
    std::vector<std::string> argv{JOTWELL_CLI_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return jw::test::runProgram(argv);
}

class TwoDevicesCli : public ::testing::Test {
  protected:
    fs::path cloudFolder() const { return dir_.path() / "Shared cloud"; }
    fs::path devicesFolder() const { return cloudFolder() / "MainStore" / "devices"; }

    // A path whose first part is a device's name, in that device's folder of the shared one.
    fs::path inFolderOf(const std::string& path) {
        const auto slash = path.find('/');
        return devicesFolder() / folders_[path.substr(0, slash)] / path.substr(slash + 1);
    }

    // Runs a script, a step a line, fields separated by "|": a device's name and its command
    // line for jotwell-cli ("@" before the name: with the empty folder "Elsewhere" as its
    // cloud folder), or a step on the folders: "rmdir" and "mkdir" (the cloud folder), "rm
    // PATH", "leave PATH|AGE" (a cut-short temporary file, AGE seconds old), "exists PATH".
    // Answers what the commands printed, each line after its device's name and ": " (standard
    // output) or "! " (standard error; "(again)" for a message said before), an exit status
    // but 0 as "A exit 1", and the answers of "exists" and "mkdir"; the folders' paths start
    // with ".../".
    std::string run(const std::string& script) {
        std::string shown;
        std::istringstream steps(script);
        for (std::string line; std::getline(steps, line);) {
            std::vector<std::string> fields;
            std::istringstream in(line);
            for (std::string field; std::getline(in, field, '|');) {
                fields.push_back(field);
            }
            const auto& verb = fields[0];
            if (verb == "rmdir") {
                fs::remove(cloudFolder());
            } else if (verb == "mkdir") {
                shown += fs::create_directories(cloudFolder()) ? "" : "the folder was made\n";
            } else if (verb == "rm") {
                fs::remove(inFolderOf(fields[1]));
            } else if (verb == "leave") {
                const auto file = inFolderOf(fields[1]);
                std::ofstream(file) << "cut short";
                const auto when = time(nullptr) - std::stol(fields[2]);
                const timeval times[2] = {{when, 0}, {when, 0}};
                utimes(file.c_str(), times);
            } else if (verb == "exists") {
                shown +=
                    fields[1] + (fs::exists(inFolderOf(fields[1])) ? " is there\n" : " gone\n");
            } else {
                shown += command(fields);
            }
        }
        return shown;
    }

    // One command of a device; a folder the device made in the shared one is remembered as its.
    std::string command(std::vector<std::string> fields) {
        const bool elsewhere = fields[0].starts_with("@");
        const auto device = fields[0].substr(elsewhere ? 1 : 0);
        const auto cloud = elsewhere ? dir_.path() / "Elsewhere" : cloudFolder();
        fs::create_directories(dir_.path() / "Elsewhere");
        std::error_code none;  // before the first device, there is no folder yet
        const std::set<fs::path> before(fs::directory_iterator(devicesFolder(), none), {});
        fields.erase(fields.begin());
        fields.insert(fields.begin(), {"--data-dir", (dir_.path() / device).string(), "--cloud-dir",
                                       cloud.string()});
        const auto outcome = runCli(fields);
        for (const auto& entry : fs::directory_iterator(devicesFolder(), none)) {
            if (!before.count(entry.path())) {
                folders_[device] = entry.path().filename().string();
            }
        }
        std::string shown;
        for (const auto& [text, mark] : {std::pair{outcome.out, ": "}, {outcome.err, "! "}}) {
            std::istringstream lines(text);
            for (std::string line; std::getline(lines, line);) {
                const auto scratch = dir_.path().string() + "/";
                for (auto at = line.find(scratch); at != std::string::npos;
                     at = line.find(scratch)) {
                    line.replace(at, scratch.size(), ".../");
                }
                const bool again = mark == std::string("! ") && !said_.insert(line).second;
                shown += device + mark + (again ? "(again)" : line) + "\n";
            }
        }
        if (outcome.status != 0) {
            shown += device + " exit " + std::to_string(outcome.status) + "\n";
        }
        return shown;
    }

    jw::test::TempDir dir_;
    std::map<std::string, std::string> folders_;  // device name -> its folder in the shared one
    std::set<std::string> said_;                  // every message on standard error so far
};

struct Script {
    const char* name;
    const char* steps;
    const char* expected;
};

TEST_F(TwoDevicesCli, SaysWhatItDoesAndEndsWell) {
    const Script scripts[] = {
        // The folder the user named is not made; once it is there, the next command attaches,
        // and every command merges first unless told not to.
        {"attaching once the folder is there",
         "rmdir\nA|new-list|Groceries\nA|sync\nA|status\nmkdir\nA|add|Groceries|Bread "
         "\U0001F35E\nB|sync\nB|items|Groceries\nB|add|Groceries|Eggs\nA|items|--no-merge|"
         "Groceries\nA|items|Groceries\nA|status\nB|status",
         "A! jotwell-cli: not attached to the cloud folder .../Shared cloud: The cloud folder is "
         "not available, so the store cannot be attached. Your changes are kept here and sent "
         "once it attaches.\nA: not yet attached\nA! (again)\nA: state: not yet attached\n"
         "A: cloud folder: .../Shared cloud\nA: to export: 0 changed objects (0 files)\n"
         "A: to import: 0 files\nA! (again)\nB: attached\nB: Groceries (1)\n"
         "B: [ ] Bread \U0001F35E\nA: Groceries (1)\nA: [ ] Bread \U0001F35E\nA: Groceries (2)\n"
         "A: [ ] Eggs\nA: [ ] Bread \U0001F35E\nA: state: attached\n"
         "A: cloud folder: .../Shared cloud\nA: to export: 0 changed objects (0 files)\n"
         "A: to import: 0 files\nB: state: attached\nB: cloud folder: .../Shared cloud\n"
         "B: to export: 0 changed objects (0 files)\nB: to import: 0 files\n"},
        // Another folder proves nothing. A temporary file may still be written by another run
        // of its device; another device's files are its own. A lost attachment is said, and
        // attaching afresh brings the device back.
        {"another folder, temporary files of a killed write, a lost attachment",
         "A|new-list|Groceries\nB|sync\n@A|new-list|Made elsewhere\nA|sync\n"
         "leave|B/.device.json.0123456789abcdef.tmp|3600\n"
         "leave|B/changes/.000000000009.jwchanges.0123456789abcdef.tmp|3600\n"
         "leave|B/changes/.000000000010.jwchanges.fedcba9876543210.tmp|5\n"
         "leave|A/.device.json.0123456789abcdef.tmp|3600\nB|sync\n"
         "exists|B/.device.json.0123456789abcdef.tmp\n"
         "exists|B/changes/.000000000009.jwchanges.0123456789abcdef.tmp\n"
         "exists|B/changes/.000000000010.jwchanges.fedcba9876543210.tmp\n"
         "exists|A/.device.json.0123456789abcdef.tmp\nrm|B/device.json\nB|new-list|Made on B\n"
         "B|lists\nB|sync\nB|sync|--reattach\nA|sync\nA|lists\nB|lists",
         "B: attached\nA! jotwell-cli: not synced: This store is attached to the cloud folder "
         ".../Shared cloud, not to .../Elsewhere. Use that folder again (--cloud-dir), or run "
         "\"jotwell-cli sync --reattach\" to attach this store to .../Elsewhere.\nA: attached\n"
         "B: attached\nB/.device.json.0123456789abcdef.tmp gone\n"
         "B/changes/.000000000009.jwchanges.0123456789abcdef.tmp gone\n"
         "B/changes/.000000000010.jwchanges.fedcba9876543210.tmp is there\n"
         "A/.device.json.0123456789abcdef.tmp is there\n"
         "B! jotwell-cli: this device is no longer attached to the cloud folder (the folder "
         "holds other devices and no longer this one). Your lists are safe here; run "
         "\"jotwell-cli sync --reattach\" to attach them to .../Shared cloud again.\n"
         "B: Groceries\t\nB: Made elsewhere\t\nB: Made on B\t\nB! (again)\nB: attachment lost\n"
         "B! (again)\nB: attached\nA: attached\nA: Groceries\t\nA: Made elsewhere\t\n"
         "A: Made on B\t\nB: Groceries\t\nB: Made elsewhere\t\nB: Made on B\t\n"},
    };
    for (const auto& script : scripts) {
        folders_.clear();
        said_.clear();
        fs::remove_all(dir_.path());
        fs::create_directories(cloudFolder());
        EXPECT_EQ(run(script.steps), script.expected) << script.name;
    }
}

}  // namespace
