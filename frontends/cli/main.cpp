// jotwell-cli: the lists and items of Jotwell from a terminal.

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>

#include "CliError.h"
#include "Commands.h"
#include "platform/foundation/FolderLock.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/ThreadRunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "src/model/JWDatabase.h"

namespace {

constexpr int kUsageStatus = 2;
constexpr int kFailureStatus = 1;
constexpr double kSyncWaitSeconds = 300;

const char* kDescription =
    "Jotwell keeps named lists of checkable items.\n"
    "LIST names a list by its name, or by its position in `lists` as #1, #2, ...\n"
    "ITEM is a row number (from 1) in the order `items LIST` prints.\n"
    "The data lives under $XDG_DATA_HOME/jotwell (or ~/.local/share/jotwell), the settings\n"
    "under $XDG_CONFIG_HOME/jotwell; --data-dir puts both in one folder.";

}  // namespace

int main(int argc, char** argv) {
    using namespace jw;
    CLI::App app{kDescription, "jotwell-cli"};
    app.require_subcommand(1);
    app.fallthrough();  // the options above may also follow the command
    std::string dataDir, cloudDir;
    app.add_option("--data-dir", dataDir, "Folder for the store and settings of this device");
    app.add_option("--cloud-dir", cloudDir,
                   "The cloud folder shared with your other devices (default: $JOTWELL_CLOUD_DIR, "
                   "else a folder \"Cloud\" in the data folder)");
    bool noMerge = false;
    app.add_flag("--no-merge", noMerge,
                 "Do not merge with the cloud folder before the command (it then shows only what "
                 "this device has; a change is still saved and sent)");

    // The command to run once the line is parsed and the database is open.
    std::function<void(cli::CommandContext&)> command;
    std::string list, name, item, text, target, order, position, filter = "all";
    bool reattach = false;

    auto sub = [&](const char* verb, const char* help) { return app.add_subcommand(verb, help); };
    auto addList = [&](CLI::App* s) { s->add_option("LIST", list, "A list")->required(); };
    auto addItem = [&](CLI::App* s) { s->add_option("ITEM", item, "An item row")->required(); };
    auto addFilter = [&](CLI::App* s) {
        s->add_option("--filter", filter, "all, checked or unchecked")->capture_default_str();
    };

    sub("lists", "Print the lists in order, each with its counts (done/items)")->callback([&] {
        command = [](auto& c) { cli::listLists(c); };
    });
    {
        auto s = sub("new-list", "Add a list");
        s->add_option("NAME", name, "Its name")->required();
        s->callback([&] { command = [&](auto& c) { cli::newList(c, name); }; });
    }
    {
        auto s = sub("rename-list", "Rename a list");
        addList(s);
        s->add_option("NAME", name, "The new name")->required();
        s->callback([&] { command = [&](auto& c) { cli::renameList(c, list, name); }; });
    }
    {
        auto s = sub("delete-list", "Delete a list and its items");
        addList(s);
        s->callback([&] { command = [&](auto& c) { cli::deleteList(c, list); }; });
    }
    {
        auto s = sub("sort-lists", "Order the lists alphabetically or by hand");
        s->add_option("ORDER", order, "alphabetical or manual")->required();
        s->callback([&] { command = [&](auto& c) { cli::sortLists(c, order); }; });
    }
    {
        auto s = sub("move-list", "Move a list to a position (1 = top) in manual order");
        addList(s);
        s->add_option("POSITION", position, "The new position")->required();
        s->callback([&] { command = [&](auto& c) { cli::moveList(c, list, position); }; });
    }
    {
        auto s = sub("items", "Print a list's title line, then its items in their order");
        addList(s);
        addFilter(s);
        s->callback([&] {
            const auto f = cli::parseFilter(filter);
            command = [&, f](auto& c) { cli::listItems(c, list, f); };
        });
    }
    {
        auto s = sub("add", "Add an item to a list");
        addList(s);
        s->add_option("TEXT", text, "The item's text")->required();
        s->callback([&] { command = [&](auto& c) { cli::addItem(c, list, text); }; });
    }
    {
        auto s = sub("toggle", "Check or uncheck an item");
        addList(s);
        addItem(s);
        s->callback([&] { command = [&](auto& c) { cli::toggleItem(c, list, item); }; });
    }
    {
        auto s = sub("edit", "Change an item's text");
        addList(s);
        addItem(s);
        s->add_option("TEXT", text, "The new text")->required();
        s->callback([&] { command = [&](auto& c) { cli::editItem(c, list, item, text); }; });
    }
    {
        auto s = sub("delete", "Delete an item");
        addList(s);
        addItem(s);
        s->callback([&] { command = [&](auto& c) { cli::deleteItem(c, list, item); }; });
    }
    {
        auto s = sub("sort", "Choose the order of a list's items");
        addList(s);
        s->add_option("ORDER", order,
                      "alphabetical, latest-created, checked-first, checked-last or manual")
            ->required();
        s->callback([&] { command = [&](auto& c) { cli::sortItems(c, list, order); }; });
    }
    {
        auto s = sub("move-item", "Move an item to another list");
        addList(s);
        addItem(s);
        s->add_option("TO-LIST", target, "The list to move it to")->required();
        s->callback([&] { command = [&](auto& c) { cli::moveItem(c, list, item, target); }; });
    }
    {
        auto s = sub("copy-item", "Copy an item (unchecked) to another list");
        addList(s);
        addItem(s);
        s->add_option("TO-LIST", target, "The list to copy it to")->required();
        s->callback([&] { command = [&](auto& c) { cli::copyItem(c, list, item, target); }; });
    }
    {
        auto s = sub("reset-checked", "Uncheck every checked item of a list");
        addList(s);
        s->callback([&] { command = [&](auto& c) { cli::resetChecked(c, list); }; });
    }
    {
        auto s = sub("delete-checked", "Delete every checked item of a list");
        addList(s);
        s->callback([&] { command = [&](auto& c) { cli::deleteChecked(c, list); }; });
    }
    {
        auto s = sub("theme", "Choose a list's colour theme");
        addList(s);
        s->add_option("NAME", name, "The theme's name")->required();
        s->callback([&] { command = [&](auto& c) { cli::setTheme(c, list, name); }; });
    }
    {
        auto s = sub("share", "Print a list as the text it is shared as");
        addList(s);
        addFilter(s);
        s->callback([&] {
            const auto f = cli::parseFilter(filter);
            command = [&, f](auto& c) { cli::shareList(c, list, f); };
        });
    }
    {
        auto s =
            sub("sync", "Attach to the cloud folder or merge with it, then print the sync state");
        s->add_flag("--reattach", reattach,
                    "Attach this store afresh to the cloud folder as it is now (after \"attachment "
                    "lost\", or to move to another folder); nothing is doubled");
        s->callback([&] { command = [&](auto& c) { cli::syncNow(c, reattach); }; });
    }
    sub("status", "Print the sync state, the cloud folder and the changes waiting")->callback([&] {
        command = [](auto& c) { cli::printStatus(c); };
    });
    sub("demo", "Fill an empty store with example lists and show them")->callback([&] {
        command = [](auto& c) { cli::demo(c); };
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "jotwell-cli: " << e.what() << "\nRun jotwell-cli --help for the commands.\n";
        return kUsageStatus;
    } catch (const cli::UsageError& e) {
        std::cerr << "jotwell-cli: " << e.what() << '\n';
        return kUsageStatus;
    }

    try {
        const auto paths = AppPaths::resolve(
            dataDir.empty() ? std::nullopt : std::optional<std::filesystem::path>(dataDir));
        paths.createDirectories();
        // The store is opened by one program at a time; the lock goes last, at exit.
        const auto folderLock = FolderLock::acquire(paths.dataDirectory, "jotwell-cli");
        UserDefaults::installStandard(std::make_shared<UserDefaults>(paths.userDefaultsFile()));
        auto loop = std::make_shared<ThreadRunLoop>();
        installMainRunLoop(loop);

        // However the command ends, the database (and its sync worker) goes before the run
        // loop and the settings it uses.
        struct ReleaseDatabase {
            ~ReleaseDatabase() { model::setSharedDatabase(nullptr); }
        } releaseDatabase;

        model::JWDatabase::Locations locations{paths.dataDirectory, paths.resourceDirectory};
        locations.cloudDirectory = paths.cloudDirectory(
            cloudDir.empty() ? std::nullopt : std::optional<std::filesystem::path>(cloudDir));
        auto db = std::make_shared<model::JWDatabase>(locations);
        model::setSharedDatabase(db);
        cli::CommandContext context{*db, std::cout, *locations.cloudDirectory};
        // What the command started (an attach, a merge) finishes before the program ends, so
        // that scripts on several devices stay in step.
        auto waitForSync = [&] {
            return loop->runUntil([&] { return db->operationsInFlight() == 0; }, kSyncWaitSeconds);
        };
        const bool syncCommand = app.got_subcommand("sync");
        // Like the application becoming active: what the other devices did is merged before
        // the command reads anything.
        if (!noMerge && !syncCommand) {
            db->sync();
            if (!waitForSync()) {
                std::cerr << "jotwell-cli: merging took too long; showing what this device "
                             "has\n";
            }
        }
        command(context);
        std::cout.flush();
        if (!waitForSync()) {
            std::cerr << "jotwell-cli: syncing did not finish in time; your changes are saved "
                         "and will be sent next time\n";
            return kFailureStatus;
        }
        if (context.printAfterSync) {
            std::cout << cli::syncStateText(db->syncState()) << '\n';
        }
        if (const auto problem = cli::syncProblem(context)) {
            std::cerr << "jotwell-cli: " << *problem << '\n';
        }
    } catch (const cli::UsageError& e) {
        std::cerr << "jotwell-cli: " << e.what() << '\n';
        return kUsageStatus;
    } catch (const std::exception& e) {
        std::cerr << "jotwell-cli: " << e.what() << '\n';
        return kFailureStatus;
    }
    return 0;
}
