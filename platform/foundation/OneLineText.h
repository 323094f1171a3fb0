#pragma once
// Text a person or another device wrote, made safe to print as one line of a terminal or of a
// line-per-row listing: every control character shows as its picture from Unicode's Control
// Pictures block ("a␊b" for a line break, "␛[2J" for an escape sequence, "␡" for delete), and
// a C1 control (U+0080 to U+009F, which some terminals obey) as U+FFFD. Everything else, valid
// UTF-8 or not, is left as it is.

#include <string>
#include <string_view>

namespace jw {

std::string oneLineText(std::string_view text);

}  // namespace jw
