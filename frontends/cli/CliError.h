#pragma once
// Errors of jotwell-cli. A UsageError is a command line that does not make sense (exit status
// 2); a CommandError is a command that cannot be carried out (exit status 1). Either way the
// message goes to standard error and nothing has been written.

#include <stdexcept>
#include <string>

namespace jw::cli {

class CommandError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace jw::cli
