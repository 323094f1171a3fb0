#include "Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace jw {

namespace {
// EX_SOFTWARE from <sysexits.h>: an internal software error.
constexpr int fatalExitStatus = 70;
}  // namespace

void fatalError(std::string_view description, std::string_view userInfo) {
    std::string message = "Unresolved error ";
    message += description;
    message += ", ";
    message += userInfo;
    message += '\n';
    std::fflush(stdout);
    std::fwrite(message.data(), 1, message.size(), stderr);
    std::fflush(stderr);
    // _Exit, not exit: no static destructors or atexit handlers run on a broken state (other
    // threads may still be using the objects they would destroy).
    std::_Exit(fatalExitStatus);
}

}  // namespace jw
