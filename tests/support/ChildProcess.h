#pragma once
// A child process that a test lets run and then kills or waits for, with the read end of what
// the child reports, line by line. Destroying it kills the child if it still runs.

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace jw::test {

class ChildProcess {
  public:
    // Forks; the child runs `body` with the write end of the pipe, then exits with status 2.
    explicit ChildProcess(const std::function<void(int reportFd)>& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next complete line, or nothing once the child is gone or has said nothing for
    // `timeoutMs` (a safety net for a child that hangs, not part of any check).
    std::optional<std::string> nextLine(int timeoutMs = 60'000);

    // Kills the child and waits for it; true when SIGKILL is what ended it.
    bool killAndWait();
    // Waits for the child to end by itself; its exit status, or -1 when a signal ended it.
    int wait();

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffer_;
};

// A program run to its end: what it wrote to standard output and to standard error (each kept in
// a file, so that neither can stall it) and its exit status (-1 when a signal ended it).
struct ProgramOutcome {
    int status = -1;
    std::string out;
    std::string err;
};
ProgramOutcome runProgram(const std::vector<std::string>& argv);

}  // namespace jw::test
