#pragma once
// The fatal stop for conditions the program cannot recover from (a store that cannot load,
// a failed save, a failed first fetch): writes
//   "Unresolved error " + description + ", " + userInfo
// and a line feed to standard error, then ends the process with status 70.

#include <string_view>

namespace jw {

[[noreturn]] void fatalError(std::string_view description, std::string_view userInfo);

}  // namespace jw
