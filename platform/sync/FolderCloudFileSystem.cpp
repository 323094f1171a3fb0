#include "platform/sync/FolderCloudFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <limits>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include <fmt/format.h>

namespace jw::sync {

namespace {

class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // Closes and reports whether the close went well: on some file systems (network shares
    // above all) a failed write is only reported here.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        return fd < 0 || ::close(fd) == 0;
    }

  private:
    int fd_ = -1;
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int openAt(int folder, const char* name, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::openat(folder, name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

CloudStatus statusForErrno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return CloudStatus::notFound;
        case ELOOP:
        case EISDIR:
        case ENAMETOOLONG:
        case ENXIO:  // a socket, or a device with nothing behind it
            return CloudStatus::invalid;
        default:
            return CloudStatus::unavailable;
    }
}

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos) {
            names.emplace_back(path.substr(start));
            return names;
        }
        names.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
}

// Why `name` in `folder` could not be opened as a folder. O_NOFOLLOW | O_DIRECTORY reports a
// link and a plain file alike (ELOOP or ENOTDIR, depending on the kernel), and the two must be
// told apart: a link is refused, while a file on the way only shows that the path is absent.
CloudStatus folderOpenFailure(int folder, const std::string& name, int error,
                              bool fileMeansInvalid) {
    if (error != ENOTDIR && error != ELOOP) {
        return statusForErrno(error);
    }
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return statusForErrno(errno);
    }
    if (S_ISLNK(status.st_mode) || fileMeansInvalid) {
        return CloudStatus::invalid;
    }
    return CloudStatus::notFound;
}

CloudStatus openRoot(const std::filesystem::path& root, FileDescriptor& out) {
    if (root.empty()) {
        return CloudStatus::unavailable;
    }
    FileDescriptor fd(openAt(AT_FDCWD, root.c_str(), kFolderFlags));
    if (!fd) {
        // Missing, a link, unreadable: none of it proves anything about the cloud's contents.
        return CloudStatus::unavailable;
    }
    out = std::move(fd);
    return CloudStatus::ok;
}

// Opens the folder made of the first `count` names under the root, one name at a time, so
// that no link on the way is ever followed. With `lastIsTarget`, a file as the last name is
// the wrong kind (invalid) rather than a sign that the path is absent.
CloudStatus openFolder(const std::filesystem::path& root, const std::vector<std::string>& names,
                       std::size_t count, bool lastIsTarget, FileDescriptor& out) {
    FileDescriptor current;
    if (const CloudStatus status = openRoot(root, current); status != CloudStatus::ok) {
        return status;
    }
    for (std::size_t i = 0; i < count; ++i) {
        FileDescriptor next(openAt(current.get(), names[i].c_str(), kFolderFlags));
        if (!next) {
            return folderOpenFailure(current.get(), names[i], errno,
                                     lastIsTarget && i + 1 == count);
        }
        current = std::move(next);
    }
    out = std::move(current);
    return CloudStatus::ok;
}

// What stands at `name` in `folder`, without following a link: ok for a regular file,
// notFound for nothing, invalid for anything else.
CloudStatus regularFileOrNothing(int folder, const std::string& name) {
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return statusForErrno(errno);
    }
    return S_ISREG(status.st_mode) ? CloudStatus::ok : CloudStatus::invalid;
}

// fsync that treats "this file system cannot sync this" as done: some network and FUSE file
// systems refuse fsync on folders, and every write would fail otherwise.
bool flush(int fd) {
    while (::fsync(fd) != 0) {
        if (errno == EINVAL || errno == ENOTSUP || errno == EROFS) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::string temporaryNameFor(const std::string& name) {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 generator{std::random_device{}()};
    const std::uint64_t unique = generator() ^ counter.fetch_add(1);
    // Only the start of the name, so a long name cannot make the temporary one too long.
    return fmt::format(".{}.{:016x}.tmp", name.substr(0, 64), unique);
}

CloudEntryKind kindOf(mode_t mode) {
    if (S_ISREG(mode)) {
        return CloudEntryKind::file;
    }
    if (S_ISDIR(mode)) {
        return CloudEntryKind::directory;
    }
    return CloudEntryKind::other;
}

}  // namespace

FolderCloudFileSystem::FolderCloudFileSystem(std::filesystem::path root) : root_(std::move(root)) {}

CloudStatus FolderCloudFileSystem::checkRoot() {
    struct stat status {};
    if (root_.empty() || ::lstat(root_.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return CloudStatus::unavailable;
    }
    if (::faccessat(AT_FDCWD, root_.c_str(), R_OK | W_OK | X_OK, AT_EACCESS) != 0) {
        return CloudStatus::unavailable;
    }
    return CloudStatus::ok;
}

CloudListing FolderCloudFileSystem::list(const std::string& folder) {
    FileDescriptor fd;
    if (folder.empty()) {
        if (const CloudStatus status = openRoot(root_, fd); status != CloudStatus::ok) {
            return {status, {}};
        }
    } else {
        if (!isValidCloudPath(folder)) {
            return {CloudStatus::invalid, {}};
        }
        const auto names = splitPath(folder);
        if (const CloudStatus status = openFolder(root_, names, names.size(), true, fd);
            status != CloudStatus::ok) {
            return {status, {}};
        }
    }
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::fdopendir(fd.get()), &::closedir);
    if (!directory) {
        return {CloudStatus::unavailable, {}};
    }
    fd.release();  // the DIR owns it now

    CloudListing listing;
    while (true) {
        errno = 0;
        const dirent* entry = ::readdir(directory.get());
        if (entry == nullptr) {
            if (errno != 0) {
                return {CloudStatus::unavailable, {}};
            }
            break;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || isTemporaryCloudName(name)) {
            continue;
        }
        CloudEntryKind kind = CloudEntryKind::other;
        switch (entry->d_type) {
            case DT_REG:
                kind = CloudEntryKind::file;
                break;
            case DT_DIR:
                kind = CloudEntryKind::directory;
                break;
            case DT_UNKNOWN: {
                // Some file systems do not fill in d_type.
                struct stat status {};
                if (::fstatat(::dirfd(directory.get()), entry->d_name, &status,
                              AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT) {
                        continue;  // removed since readdir saw it
                    }
                    return {CloudStatus::unavailable, {}};
                }
                kind = kindOf(status.st_mode);
                break;
            }
            default:
                break;
        }
        listing.entries.push_back({std::string(name), kind});
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const CloudEntry& a, const CloudEntry& b) { return a.name < b.name; });
    return listing;
}

CloudRead FolderCloudFileSystem::read(const std::string& path, std::size_t maxBytes) {
    if (!isValidCloudPath(path)) {
        return {CloudStatus::invalid, {}};
    }
    const auto names = splitPath(path);
    FileDescriptor folder;
    if (const CloudStatus status = openFolder(root_, names, names.size() - 1, false, folder);
        status != CloudStatus::ok) {
        return {status, {}};
    }
    // Looking first means a pipe or a device is never even opened. O_NONBLOCK covers one that
    // replaces the file between the look and the open: the open cannot hang on it, and fstat
    // refuses it below.
    if (const CloudStatus status = regularFileOrNothing(folder.get(), names.back());
        status != CloudStatus::ok) {
        return {status, {}};
    }
    FileDescriptor file(openAt(folder.get(), names.back().c_str(),
                               O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file) {
        return {statusForErrno(errno), {}};
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return {CloudStatus::unavailable, {}};
    }
    if (!S_ISREG(status.st_mode)) {
        return {CloudStatus::invalid, {}};
    }
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) {
        return {CloudStatus::tooLarge, {}};
    }
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK);
    }

    // The file may grow after fstat; reading one byte past the limit is enough to tell.
    const std::size_t limit =
        maxBytes == std::numeric_limits<std::size_t>::max() ? maxBytes : maxBytes + 1;
    constexpr std::size_t kChunk = 64 * 1024;
    CloudRead result;
    result.contents.reserve(static_cast<std::size_t>(status.st_size));
    while (result.contents.size() < limit) {
        const std::size_t before = result.contents.size();
        const std::size_t wanted = std::min(kChunk, limit - before);
        result.contents.resize(before + wanted);
        const ssize_t got = ::read(file.get(), result.contents.data() + before, wanted);
        if (got < 0) {
            result.contents.resize(before);
            if (errno == EINTR) {
                continue;
            }
            return {CloudStatus::unavailable, {}};
        }
        result.contents.resize(before + static_cast<std::size_t>(got));
        if (got == 0) {
            break;
        }
    }
    if (result.contents.size() > maxBytes) {
        return {CloudStatus::tooLarge, {}};
    }
    return result;
}

CloudStatus FolderCloudFileSystem::writeAtomically(const std::string& path,
                                                   std::string_view contents) {
    if (!isValidCloudPath(path)) {
        return CloudStatus::invalid;
    }
    const auto names = splitPath(path);
    const std::string& name = names.back();
    FileDescriptor folder;
    if (const CloudStatus status = openFolder(root_, names, names.size() - 1, false, folder);
        status != CloudStatus::ok) {
        return status;
    }
    // rename() would replace a link or a pipe by a file without complaint; refuse instead, as
    // read() does, so an entry of the wrong kind is reported rather than silently replaced.
    if (const CloudStatus status = regularFileOrNothing(folder.get(), name);
        status != CloudStatus::ok && status != CloudStatus::notFound) {
        return status;
    }

    std::string temporary;
    FileDescriptor file;
    for (int attempt = 0; attempt < 8 && !file; ++attempt) {
        temporary = temporaryNameFor(name);
        file = FileDescriptor(openAt(folder.get(), temporary.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (!file && errno != EEXIST) {
            return statusForErrno(errno);
        }
    }
    if (!file) {
        return CloudStatus::unavailable;
    }
    const auto fail = [&](CloudStatus status) {
        file.reset();
        ::unlinkat(folder.get(), temporary.c_str(), 0);
        return status;
    };

    std::size_t written = 0;
    while (written < contents.size()) {
        const ssize_t done =
            ::write(file.get(), contents.data() + written, contents.size() - written);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(CloudStatus::unavailable);
        }
        written += static_cast<std::size_t>(done);
    }
    if (!flush(file.get()) || !file.close()) {
        return fail(CloudStatus::unavailable);
    }
    if (::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0) {
        const int error = errno;
        // A folder that appeared under the name since the check above is still the wrong kind.
        return fail(error == EISDIR || error == ENOTEMPTY || error == EEXIST
                        ? CloudStatus::invalid
                        : statusForErrno(error));
    }
    return flush(folder.get()) ? CloudStatus::ok : CloudStatus::unavailable;
}

CloudStatus FolderCloudFileSystem::remove(const std::string& path) {
    if (!isValidCloudPath(path)) {
        return CloudStatus::invalid;
    }
    const auto names = splitPath(path);
    FileDescriptor folder;
    if (const CloudStatus status = openFolder(root_, names, names.size() - 1, false, folder);
        status != CloudStatus::ok) {
        return status;
    }
    if (const CloudStatus status = regularFileOrNothing(folder.get(), names.back());
        status != CloudStatus::ok) {
        return status;
    }
    if (::unlinkat(folder.get(), names.back().c_str(), 0) != 0) {
        return statusForErrno(errno);
    }
    return CloudStatus::ok;
}

CloudStatus FolderCloudFileSystem::makeDirectory(const std::string& path) {
    if (!isValidCloudPath(path)) {
        return CloudStatus::invalid;
    }
    FileDescriptor current;
    if (const CloudStatus status = openRoot(root_, current); status != CloudStatus::ok) {
        return status;
    }
    for (const std::string& name : splitPath(path)) {
        FileDescriptor next(openAt(current.get(), name.c_str(), kFolderFlags));
        if (!next && errno == ENOENT) {
            if (::mkdirat(current.get(), name.c_str(), 0777) == 0) {
                // Without this a crash could lose the folder and the files written into it.
                if (!flush(current.get())) {
                    return CloudStatus::unavailable;
                }
            } else if (errno != EEXIST) {
                return statusForErrno(errno) == CloudStatus::invalid ? CloudStatus::invalid
                                                                     : CloudStatus::unavailable;
            }
            next = FileDescriptor(openAt(current.get(), name.c_str(), kFolderFlags));
        }
        if (!next) {
            // Something other than a folder is in the way, and nothing can be made through it.
            const CloudStatus status = folderOpenFailure(current.get(), name, errno, true);
            return status == CloudStatus::notFound ? CloudStatus::unavailable : status;
        }
        current = std::move(next);
    }
    return CloudStatus::ok;
}

std::string FolderCloudFileSystem::location() const {
    std::error_code error;
    auto resolved = std::filesystem::weakly_canonical(std::filesystem::absolute(root_, error), error);
    return (error || resolved.empty() ? root_.lexically_normal() : resolved).string();
}

std::size_t FolderCloudFileSystem::removeStaleTemporaryFiles(const std::string& folder,
                                                             double olderThanSeconds) {
    if (!isValidCloudPath(folder)) {
        return 0;
    }
    const auto names = splitPath(folder);
    FileDescriptor fd;
    if (openFolder(root_, names, names.size(), true, fd) != CloudStatus::ok) {
        return 0;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> directory(::fdopendir(fd.get()), &::closedir);
    if (!directory) {
        return 0;
    }
    fd.release();
    std::vector<std::string> stale;
    const double now = double(::time(nullptr));
    while (const dirent* entry = ::readdir(directory.get())) {
        if (!isTemporaryCloudName(entry->d_name)) {
            continue;
        }
        struct stat status {};
        if (::fstatat(::dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) ==
                0 &&
            S_ISREG(status.st_mode) && now - double(status.st_mtime) > olderThanSeconds) {
            stale.emplace_back(entry->d_name);
        }
    }
    std::size_t removed = 0;
    for (const auto& name : stale) {
        removed += ::unlinkat(::dirfd(directory.get()), name.c_str(), 0) == 0 ? 1 : 0;
    }
    return removed;
}

}  // namespace jw::sync
