#pragma once
// A row of a table: its section and its row within that section. Plain value, ordered by
// section, then row.

#include <compare>
#include <cstddef>
#include <string>

namespace jw::ui {

struct IndexPath {
    std::size_t section = 0;
    std::size_t row = 0;

    auto operator<=>(const IndexPath&) const = default;

    // "section.row", for messages.
    std::string text() const { return std::to_string(section) + "." + std::to_string(row); }
};

}  // namespace jw::ui
