#include "Commands.h"

#include <fmt/format.h>

#include <charconv>

#include "CliError.h"
#include "Lookup.h"
#include "platform/foundation/OneLineText.h"
#include "platform/sync/PersistentStoreEnsemble.h"
#include "src/model/DoneCounts.h"
#include "src/model/JWListSortMode.h"
#include "src/model/ListOrder.h"
#include "src/model/Operations.h"
#include "src/model/ShareText.h"
#include "src/model/SyncStatusText.h"
#include "src/themes/JWThemesDB.h"

namespace jw::cli {

using model::JWListFilter;

namespace {

std::vector<model::Item*> raw(const std::vector<std::shared_ptr<model::Item>>& items) {
    std::vector<model::Item*> out;
    for (const auto& item : items) {
        out.push_back(item.get());
    }
    return out;
}

void requireText(const std::string& text, const char* what) {
    if (text.empty()) {
        throw CommandError(fmt::format("{} cannot be empty", what));
    }
}

// The items screen's title: the name and " (done/count)" or " (count)"; empty for a list
// without items.
std::string titleLine(const model::List& list) {
    const auto [counts, fraction] = list.progressInfo(" (", ")");
    return counts ? list.name().value_or("") + *counts : std::string();
}

}  // namespace

JWListFilter parseFilter(const std::string& text) {
    if (text == "all") {
        return JWListFilter::none;
    }
    if (text == "checked") {
        return JWListFilter::checked;
    }
    if (text == "unchecked") {
        return JWListFilter::unchecked;
    }
    throw UsageError(fmt::format("unknown filter \"{}\" (use all, checked or unchecked)", text));
}

// Recounts the lists and saves what changed.
void settleCounts(CommandContext& c, const std::vector<model::List*>& lists) {
    if (model::recountLists(lists)) {
        c.db.saveContext(false);
    }
}

void listLists(CommandContext& c) {
    const auto lists = orderedLists(c.db);
    std::vector<model::List*> shown;
    for (const auto& list : lists) {
        shown.push_back(list.get());
    }
    settleCounts(c, shown);
    for (const auto& list : lists) {
        const auto [counts, fraction] = list->progressInfo("", "");
        c.out << oneLineText(list->name().value_or("")) << '\t' << counts.value_or("") << '\n';
    }
}

void newList(CommandContext& c, const std::string& name) {
    requireText(name, "a list name");
    model::newList(c.db, name);
}

void renameList(CommandContext& c, const std::string& list, const std::string& name) {
    requireText(name, "a list name");
    auto target = findList(c.db, list);
    model::renameList(c.db, *target, name);
}

void deleteList(CommandContext& c, const std::string& list) {
    auto target = findList(c.db, list);
    model::deleteList(c.db, *target);
}

void sortLists(CommandContext&, const std::string& order) {
    if (order != "alphabetical" && order != "manual") {
        throw UsageError(
            fmt::format("unknown list order \"{}\" (use alphabetical or manual)", order));
    }
    model::setManualSortLists(order == "manual");
}

void moveList(CommandContext& c, const std::string& list, const std::string& position) {
    std::size_t to = 0;
    auto [end, ec] = std::from_chars(position.data(), position.data() + position.size(), to);
    if (position.empty() || ec != std::errc() || end != position.data() + position.size() ||
        to == 0) {
        throw UsageError(fmt::format("\"{}\" is not a position (use 1, 2, ...)", position));
    }
    if (!model::manualSortLists()) {
        throw CommandError("lists are in alphabetical order; run \"sort-lists manual\" first");
    }
    auto target = findList(c.db, list);
    const auto count = orderedLists(c.db).size();
    if (to > count) {
        throw CommandError(
            fmt::format("position {} is past the last list (there are {})", to, count));
    }
    model::moveListInScreenOrder(c.db, *target, to - 1);
}

void listItems(CommandContext& c, const std::string& list, JWListFilter filter) {
    auto target = findList(c.db, list);
    c.out << oneLineText(titleLine(*target)) << '\n';
    for (const auto& item : shownItems(c.db, *target, filter)) {
        c.out << (item->isDone() ? "[x] " : "[ ] ") << oneLineText(item->body().value_or(""))
              << '\n';
    }
}

void addItem(CommandContext& c, const std::string& list, const std::string& text) {
    requireText(text, "an item");
    auto target = findList(c.db, list);
    model::newItem(c.db, *target, text);
}

void toggleItem(CommandContext& c, const std::string& list, const std::string& item) {
    auto target = findList(c.db, list);
    model::toggleItem(c.db, *findItem(c.db, *target, item));
}

void editItem(CommandContext& c, const std::string& list, const std::string& item,
              const std::string& text) {
    requireText(text, "an item");
    auto target = findList(c.db, list);
    model::editItemText(c.db, *findItem(c.db, *target, item), text);
}

void deleteItem(CommandContext& c, const std::string& list, const std::string& item) {
    auto target = findList(c.db, list);
    model::deleteItem(c.db, *findItem(c.db, *target, item));
    settleCounts(c, {target.get()});
}

void sortItems(CommandContext& c, const std::string& list, const std::string& mode) {
    static const std::pair<const char*, model::JWListSortMode> kModes[] = {
        {"alphabetical", model::JWListSortMode::alphabetical},
        {"latest-created", model::JWListSortMode::latestCreated},
        {"checked-first", model::JWListSortMode::checkedFirst},
        {"checked-last", model::JWListSortMode::checkedLast},
        {"manual", model::JWListSortMode::manual},
    };
    for (const auto& [name, value] : kModes) {
        if (mode == name) {
            auto target = findList(c.db, list);
            model::chooseSortMode(target.get(), std::int16_t(value));
            c.db.saveContext(false);
            return;
        }
    }
    throw UsageError(
        fmt::format("unknown sort order \"{}\" (use alphabetical, latest-created, "
                    "checked-first, checked-last or manual)",
                    mode));
}

void moveItem(CommandContext& c, const std::string& list, const std::string& item,
              const std::string& target) {
    auto source = findList(c.db, list);
    auto destination = findList(c.db, target);
    model::moveItem(c.db, *findItem(c.db, *source, item), *destination);
    settleCounts(c, {source.get(), destination.get()});
}

void copyItem(CommandContext& c, const std::string& list, const std::string& item,
              const std::string& target) {
    auto source = findList(c.db, list);
    auto destination = findList(c.db, target);
    model::copyItem(c.db, *findItem(c.db, *source, item), *destination);
}

void resetChecked(CommandContext& c, const std::string& list) {
    auto target = findList(c.db, list);
    model::resetChecked(c.db, target.get(), raw(shownItems(c.db, *target, JWListFilter::none)));
}

void deleteChecked(CommandContext& c, const std::string& list) {
    auto target = findList(c.db, list);
    model::deleteChecked(c.db, target.get(), raw(shownItems(c.db, *target, JWListFilter::none)));
}

void setTheme(CommandContext& c, const std::string& list, const std::string& theme) {
    if (!JWThemesDB::shared().findTheme(theme)) {
        std::string names;
        for (const auto& known : JWThemesDB::shared().all()) {
            names += (names.empty() ? "" : ", ") + known->name();
        }
        throw UsageError(fmt::format("there is no theme \"{}\" (themes: {})", theme, names));
    }
    auto target = findList(c.db, list);
    model::chooseTheme(c.db, target.get(), theme);
}

void shareList(CommandContext& c, const std::string& list, JWListFilter filter) {
    auto target = findList(c.db, list);
    c.out << model::shareText(raw(shownItems(c.db, *target, filter)));
}

std::string syncStateText(model::SyncState state) {
    return model::syncStateText(state);
}

void syncNow(CommandContext& c, bool reattach) {
    reattach ? c.db.reattach() : c.db.sync();
    // The result is known only once the operations complete; the program prints it then.
    c.printAfterSync = true;
}

void printStatus(CommandContext& c) {
    c.out << "state: " << model::syncStateText(c.db.syncState()) << '\n';
    c.out << "cloud folder: " << c.cloudDirectory.string() << '\n';
    sync::PersistentStoreEnsemble::Status status;
    if (auto* ensemble = c.db.ensemble()) {
        status = ensemble->status();
    }
    c.out << model::pendingChangesText(status) << '\n';
}

std::optional<std::string> syncProblem(const CommandContext& c) {
    static const model::SyncRemedies remedies{
        "run \"jotwell-cli sync --reattach\" to attach them to",
        "run \"jotwell-cli sync --reattach\"",
        "Use that folder again (--cloud-dir)",
    };
    return model::syncProblemText(c.db.syncState(), c.db.lastSyncError(), c.cloudDirectory,
                                  remedies);
}

void demo(CommandContext& c) {
    if (orderedLists(c.db).empty()) {
        auto groceries = model::newList(c.db, "Groceries");
        for (const char* text : {"Milk", "Bread", "Tomatoes \U0001F345", "Coffee"}) {
            model::newItem(c.db, *groceries, text);
        }
        auto items = shownItems(c.db, *groceries, JWListFilter::none);
        model::toggleItem(c.db, *items.back());
        auto trip = model::newList(c.db, "Weekend trip");
        for (const char* text : {"Book the train", "Pack the tent"}) {
            model::newItem(c.db, *trip, text);
        }
        model::newList(c.db, "Ideas");
    }
    c.out << "Lists:\n";
    listLists(c);
    c.out << "\nItems of the first list:\n";
    listItems(c, "#1", JWListFilter::none);
}

}  // namespace jw::cli
