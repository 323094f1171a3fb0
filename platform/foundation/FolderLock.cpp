#include "platform/foundation/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include <fmt/format.h>

namespace jw {

namespace {

std::string readAll(int fd) {
    std::string text;
    char buffer[256];
    ::lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

std::unique_ptr<FolderLock> FolderLock::acquire(const std::filesystem::path& folder,
                                                std::string_view program) {
    const auto file = lockFile(folder);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error(fmt::format("cannot open {}: {}", file.string(),
                                             std::generic_category().message(errno)));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        // The holder wrote "<program> <pid>"; it may be writing it just now (then it is empty).
        const std::string holder = readAll(fd);
        ::close(fd);
        if (error != EWOULDBLOCK) {
            throw std::runtime_error(fmt::format("cannot lock {}: {}", file.string(),
                                                 std::generic_category().message(error)));
        }
        const auto space = holder.find(' ');
        const std::string name = holder.substr(0, space);
        std::string pid = space == std::string::npos ? std::string() : holder.substr(space + 1);
        while (!pid.empty() && (pid.back() == '\n' || pid.back() == ' ')) {
            pid.pop_back();
        }
        const std::string who = name.empty()
                                    ? "another program"
                                    : fmt::format("{} (process {})", name, pid.empty() ? "?" : pid);
        throw FolderInUse(fmt::format("the data folder {} is in use by {}; only one program at a "
                                      "time can open it",
                                      folder.string(), who),
                          name);
    }
    const std::string holder = fmt::format("{} {}\n", program, ::getpid());
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, holder.data(), holder.size(), 0) != static_cast<ssize_t>(holder.size())) {
        // Only the message for others suffers; the lock itself is held.
    }
    return std::unique_ptr<FolderLock>(new FolderLock(fd));
}

FolderLock::~FolderLock() {
    // Emptied first, so no one reads a holder that has gone.
    if (::ftruncate(fd_, 0) != 0) {
        // The next holder rewrites it anyway.
    }
    ::close(fd_);
}

}  // namespace jw
