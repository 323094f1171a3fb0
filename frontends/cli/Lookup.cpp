#include "Lookup.h"

#include <fmt/format.h>

#include <charconv>

#include "CliError.h"
#include "platform/foundation/OneLineText.h"
#include "src/model/ListOrder.h"
#include "src/model/Ordering.h"

namespace jw::cli {

namespace {

template <typename T>
std::vector<std::shared_ptr<T>> fetchAs(model::JWDatabase& db, const store::FetchRequest& r) {
    std::vector<std::shared_ptr<T>> out;
    for (auto& object : db.viewContext().executeFetchRequest(r)) {
        out.push_back(std::static_pointer_cast<T>(object));
    }
    return out;
}

// A whole positive number, or nothing.
std::optional<std::size_t> positiveNumber(std::string_view text) {
    std::size_t value = 0;
    const auto* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value == 0) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::vector<std::shared_ptr<model::List>> orderedLists(model::JWDatabase& db) {
    return model::listsInScreenOrder(db);
}

std::shared_ptr<model::List> findList(model::JWDatabase& db, const std::string& reference) {
    const auto lists = orderedLists(db);
    if (reference.starts_with('#')) {
        const auto position = positiveNumber(std::string_view(reference).substr(1));
        if (!position) {
            throw UsageError(
                fmt::format("\"{}\" is not a list position (use #1, #2, ...)", reference));
        }
        if (*position > lists.size()) {
            throw CommandError(
                fmt::format("there is no list {} (there are {} lists)", reference, lists.size()));
        }
        return lists[*position - 1];
    }
    std::vector<std::size_t> matches;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        if (lists[i]->name().value_or("") == reference) {
            matches.push_back(i);
        }
    }
    if (matches.empty()) {
        throw CommandError(fmt::format("there is no list named \"{}\"", reference));
    }
    if (matches.size() > 1) {
        std::string choices;
        for (auto i : matches) {
            choices += fmt::format("{}#{}", choices.empty() ? "" : ", ", i + 1);
        }
        throw CommandError(fmt::format("{} lists are named \"{}\"; name one by position: {}",
                                       matches.size(), reference, choices));
    }
    return lists[matches.front()];
}

std::vector<std::shared_ptr<model::Item>> shownItems(model::JWDatabase& db, model::List& list,
                                                     model::JWListFilter filter) {
    return fetchAs<model::Item>(db, model::itemsFetchRequest(&list, filter));
}

std::shared_ptr<model::Item> findItem(model::JWDatabase& db, model::List& list,
                                      const std::string& row, model::JWListFilter filter) {
    const auto number = positiveNumber(row);
    if (!number) {
        throw UsageError(fmt::format("\"{}\" is not an item row (use 1, 2, ...)", row));
    }
    const auto items = shownItems(db, list, filter);
    if (*number > items.size()) {
        throw CommandError(fmt::format("list \"{}\" has no row {} (it shows {} items)",
                                       oneLineText(list.name().value_or("")), *number,
                                       items.size()));
    }
    return items[*number - 1];
}

}  // namespace jw::cli
