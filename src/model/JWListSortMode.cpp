#include "JWListSortMode.h"

namespace jw::model {

const std::vector<JWListSortMode>& menuSortModes() {
    static const std::vector<JWListSortMode> modes = {
        JWListSortMode::checkedFirst, JWListSortMode::checkedLast, JWListSortMode::latestCreated,
        JWListSortMode::manual, JWListSortMode::alphabetical};
    return modes;
}

JWListSortMode effectiveSortMode(std::int64_t v) {
    switch (v) {
        case 1:
            return JWListSortMode::alphabetical;
        case 5:
            return JWListSortMode::checkedFirst;
        case 6:
            return JWListSortMode::checkedLast;
        case 7:
            return JWListSortMode::manual;
        default:
            return JWListSortMode::latestCreated;
    }
}

std::optional<JWListSortMode> markedSortMode(std::optional<std::int64_t> v) {
    if (v && (*v == 2 || *v == 4)) {
        return std::nullopt;
    }
    return effectiveSortMode(v.value_or(3));
}

std::string_view sortModeName(JWListSortMode mode) {
    switch (mode) {
        case JWListSortMode::alphabetical:
            return "alphabetical";
        case JWListSortMode::latestCreated:
            return "latestCreated";
        case JWListSortMode::checkedFirst:
            return "checkedFirst";
        case JWListSortMode::checkedLast:
            return "checkedLast";
        case JWListSortMode::manual:
            return "manual";
    }
    return "latestCreated";
}

std::string_view sortModeMenuLabel(JWListSortMode mode) {
    switch (mode) {
        case JWListSortMode::alphabetical:
            return "Sort: Alphabetical";
        case JWListSortMode::latestCreated:
            return "Sort: Latest Created";
        case JWListSortMode::checkedFirst:
            return "Sort: Checked First";
        case JWListSortMode::checkedLast:
            return "Sort: Checked Last";
        case JWListSortMode::manual:
            return "Sort: Manual";
    }
    return "Sort: Latest Created";
}

std::vector<store::SortDescriptor> itemSortDescriptors(std::int64_t storedValue) {
    switch (effectiveSortMode(storedValue)) {
        case JWListSortMode::alphabetical:
            return {{"body", true}, {"created", false}};
        case JWListSortMode::checkedFirst:
            return {{"isDone", false}, {"doneDate", false}, {"created", false}};
        case JWListSortMode::checkedLast:
            return {{"isDone", true}, {"doneDate", false}, {"created", false}};
        case JWListSortMode::manual:
            return {{"sortNumber", true}, {"created", false}};
        case JWListSortMode::latestCreated:
            break;
    }
    return {{"created", false}};
}

}  // namespace jw::model
