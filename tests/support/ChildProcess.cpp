#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "TestEnvironment.h"

namespace jw::test {

ChildProcess::ChildProcess(const std::function<void(int reportFd)>& body) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {  // not inherited by a program another thread starts
        throw std::runtime_error("pipe");
    }
    std::fflush(nullptr);  // nothing buffered here may be written twice
    pid_ = fork();
    if (pid_ == 0) {
        close(fds[0]);
        body(fds[1]);
        _exit(2);
    }
    close(fds[1]);
    output_ = fds[0];
    if (pid_ < 0) {
        close(output_);
        throw std::runtime_error("fork");
    }
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(output_);
}

std::optional<std::string> ChildProcess::nextLine(int timeoutMs) {
    for (;;) {
        if (auto at = buffer_.find('\n'); at != std::string::npos) {
            std::string line = buffer_.substr(0, at);
            buffer_.erase(0, at + 1);
            return line;
        }
        pollfd p{output_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        char chunk[4096];
        const auto n = read(output_, chunk, sizeof chunk);
        if (n <= 0) {
            return std::nullopt;
        }
        buffer_.append(chunk, std::size_t(n));
    }
}

bool ChildProcess::killAndWait() {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

int ChildProcess::wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ProgramOutcome runProgram(const std::vector<std::string>& arguments) {
    TempDir scratch;
    const auto out = scratch.path() / "stdout", err = scratch.path() / "stderr";
    std::vector<std::string> strings = arguments;
    std::vector<char*> argv;
    for (auto& a : strings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    ChildProcess child([&](int) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        execv(argv[0], argv.data());
    });
    ProgramOutcome outcome;
    outcome.status = child.wait();
    outcome.out = readFile(out);
    outcome.err = readFile(err);
    return outcome;
}

}  // namespace jw::test
