#pragma once
// Which items the items screen shows. The tag is the case's position; a tap on the filter
// button walks none -> unchecked -> checked -> none.

#include <cstdint>
#include <string_view>

namespace jw::model {

enum class JWListFilter : std::uint8_t { none = 0, checked = 1, unchecked = 2 };

// "All", "✔︎ Checked" (U+2714 U+FE0E), "☐ Unchecked" (U+2610).
std::string_view filterButtonTitle(JWListFilter filter);
JWListFilter nextFilter(JWListFilter filter);
// Whether an item with this checked state passes the filter.
constexpr bool filterShows(JWListFilter filter, bool isDone) {
    return filter == JWListFilter::none || (filter == JWListFilter::checked) == isDone;
}

}  // namespace jw::model
