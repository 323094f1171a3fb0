#include "Paths.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#ifndef JOTWELL_RESOURCE_DIR
#define JOTWELL_RESOURCE_DIR "resources"
#endif

namespace jw {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> environmentValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

// The XDG base directory rules ignore relative values.
std::optional<fs::path> xdgDirectory(const char* name) {
    auto value = environmentValue(name);
    if (!value || !fs::path(*value).is_absolute()) {
        return std::nullopt;
    }
    return fs::path(*value);
}

fs::path homeDirectory() {
    if (auto home = environmentValue("HOME")) {
        return *home;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
        return found->pw_dir;
    }
    // No home at all (a stripped-down service account): the working directory it is.
    return fs::current_path();
}

std::string errorText(int error) {
    return std::generic_category().message(error);
}

[[noreturn]] void throwWriteError(const fs::path& file, std::string_view step, int error) {
    throw std::runtime_error(
        fmt::format("cannot write {}: {}: {}", file.string(), step, errorText(error)));
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now and reports close's own error (0 when fine).
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Creates a temporary file next to `file` that no one else uses. O_EXCL rather than mkstemp
// so the file gets the usual permissions (0666 less the umask), as the renamed file should.
std::pair<fs::path, int> createTemporaryFile(const fs::path& file) {
    static std::atomic<unsigned long> counter{0};
    const fs::path directory = file.has_parent_path() ? file.parent_path() : fs::path(".");
    for (int attempt = 0;; ++attempt) {
        const fs::path candidate =
            directory / fmt::format(".{}.tmp-{}-{}", file.filename().string(), ::getpid(),
                                    counter.fetch_add(1));
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            return {candidate, fd};
        }
        const int error = errno;
        if (error != EEXIST || attempt >= 100) {
            throwWriteError(file, "cannot create a temporary file", error);
        }
    }
}

}  // namespace

AppPaths AppPaths::resolve(const std::optional<fs::path>& dataDirectoryOverride) {
    AppPaths paths;
    if (dataDirectoryOverride) {
        paths.dataDirectory = *dataDirectoryOverride;
        paths.configDirectory = *dataDirectoryOverride / "config";
    } else {
        const auto dataHome = xdgDirectory("XDG_DATA_HOME");
        const auto configHome = xdgDirectory("XDG_CONFIG_HOME");
        paths.dataDirectory =
            (dataHome ? *dataHome : homeDirectory() / ".local" / "share") / "jotwell";
        paths.configDirectory =
            (configHome ? *configHome : homeDirectory() / ".config") / "jotwell";
    }
    const auto resources = environmentValue("JOTWELL_RESOURCE_DIR");
    paths.resourceDirectory = resources ? fs::path(*resources) : fs::path(JOTWELL_RESOURCE_DIR);
    return paths;
}

void AppPaths::createDirectories() const {
    fs::create_directories(dataDirectory);
    fs::create_directories(configDirectory);
}

fs::path AppPaths::cloudDirectory(const std::optional<fs::path>& chosen) const {
    if (chosen && !chosen->empty()) {
        return fs::absolute(*chosen);
    }
    if (auto saved = savedCloudDirectoryChoice()) {
        return fs::absolute(*saved);
    }
    if (auto fromEnvironment = environmentValue("JOTWELL_CLOUD_DIR")) {
        return fs::absolute(*fromEnvironment);
    }
    const fs::path ours = fs::absolute(dataDirectory / "Cloud");
    fs::create_directories(ours);
    return ours;
}

std::optional<fs::path> AppPaths::savedCloudDirectoryChoice() const {
    std::ifstream in(cloudDirectoryChoiceFile(), std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || line.empty()) {
        return std::nullopt;
    }
    return fs::path(line);
}

void AppPaths::saveCloudDirectoryChoice(const fs::path& folder) const {
    writeFileAtomically(cloudDirectoryChoiceFile(), fs::absolute(folder).string() + "\n");
}

void writeFileAtomically(const fs::path& file, std::string_view contents) {
    auto created = createTemporaryFile(file);
    const auto temporary = std::move(created.first);
    FileDescriptor fd(created.second);
    // Until the rename succeeds, any failure removes the temporary file.
    const auto fail = [&temporary, &file](std::string_view step, int error) {
        ::unlink(temporary.c_str());
        throwWriteError(file, step, error);
    };

    std::string_view remaining = contents;
    while (!remaining.empty()) {
        const ssize_t written = ::write(fd.get(), remaining.data(), remaining.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write failed", errno);
        }
        remaining.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(fd.get()) != 0) {
        fail("fsync failed", errno);
    }
    if (const int error = fd.close(); error != 0) {
        fail("close failed", error);
    }
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        fail("rename failed", errno);
    }

    // Make the rename itself durable. Some file systems cannot sync a directory (EINVAL);
    // the contents are in place all the same.
    const fs::path directory = file.has_parent_path() ? file.parent_path() : fs::path(".");
    FileDescriptor directoryFd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryFd.get() < 0) {
        throwWriteError(file, "cannot open its directory to sync it", errno);
    }
    if (::fsync(directoryFd.get()) != 0 && errno != EINVAL) {
        throwWriteError(file, "fsync of its directory failed", errno);
    }
}

}  // namespace jw
