#pragma once
// The commands of jotwell-cli over the model's operations. Each reads what it needs, checks
// every argument before it changes anything, and prints its result to `out`. Commands that
// change data end with the database's saveContext(false), as the screens do. Having no screen
// that recounts when it closes, a command that changes items recounts the lists it touched,
// and `lists` recounts what it shows, so no count printed disagrees with the items.

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "src/model/JWDatabase.h"
#include "src/model/JWListFilter.h"

namespace jw::cli {

struct CommandContext {
    model::JWDatabase& db;
    std::ostream& out;
    std::filesystem::path cloudDirectory = {};
    // Set by `sync`: the program prints the sync state once what it started has finished.
    bool printAfterSync = false;
};

// Parses "all", "checked" or "unchecked"; throws UsageError otherwise.
model::JWListFilter parseFilter(const std::string& text);

void listLists(CommandContext& c);
void newList(CommandContext& c, const std::string& name);
void renameList(CommandContext& c, const std::string& list, const std::string& name);
void deleteList(CommandContext& c, const std::string& list);
void sortLists(CommandContext& c, const std::string& order);
void moveList(CommandContext& c, const std::string& list, const std::string& position);

void listItems(CommandContext& c, const std::string& list, model::JWListFilter filter);
void addItem(CommandContext& c, const std::string& list, const std::string& text);
void toggleItem(CommandContext& c, const std::string& list, const std::string& item);
void editItem(CommandContext& c, const std::string& list, const std::string& item,
              const std::string& text);
void deleteItem(CommandContext& c, const std::string& list, const std::string& item);
void sortItems(CommandContext& c, const std::string& list, const std::string& mode);
void moveItem(CommandContext& c, const std::string& list, const std::string& item,
              const std::string& target);
void copyItem(CommandContext& c, const std::string& list, const std::string& item,
              const std::string& target);
void resetChecked(CommandContext& c, const std::string& list);
void deleteChecked(CommandContext& c, const std::string& list);
void setTheme(CommandContext& c, const std::string& list, const std::string& theme);
void shareList(CommandContext& c, const std::string& list, model::JWListFilter filter);

// The becoming-active sequence of the application (attach or merge, and the sync timer); the
// caller waits for what it started, then prints the state (syncStateText). With `reattach`,
// the store is attached afresh to the cloud folder as it is now instead.
void syncNow(CommandContext& c, bool reattach = false);
// "attached", "not yet attached" or "attachment lost".
std::string syncStateText(model::SyncState state);
// The sync state, the cloud folder, and the changes waiting to be exported and imported.
void printStatus(CommandContext& c);
// What the user should know after a command about syncing: why the store is not attached or
// why the last attach or merge failed, and what to do. Nothing when all is well.
std::optional<std::string> syncProblem(const CommandContext& c);

// Fills an empty store with a few example lists, then prints them and the first one's items.
void demo(CommandContext& c);

}  // namespace jw::cli
