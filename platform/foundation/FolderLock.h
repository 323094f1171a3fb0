#pragma once
// One program at a time over a data folder, across processes: the application and jotwell-cli
// each hold this lock for as long as they have the folder's store open, so two of them never
// open one store side by side.
//
// The lock is an advisory lock (flock) on the file "jotwell.lock" in the folder, which holds
// the holder's program name and process id for whoever finds it taken. The system drops the
// lock when the holder's process ends however it ends, so a crash leaves nothing to clean up;
// the file itself stays.
//
// A lock is held by its object: destroying it releases it. Not thread-safe; one object per
// folder per process (a second acquire in the same process finds the folder taken).

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace jw {

// The folder is held by another program; the text names the folder and the holder.
class FolderInUse : public std::runtime_error {
  public:
    FolderInUse(const std::string& text, std::string holder)
        : std::runtime_error(text), holder_(std::move(holder)) {}
    // The holder's program name, as it wrote it ("jotwell", "jotwell-cli"); empty if unknown.
    const std::string& holder() const { return holder_; }

  private:
    std::string holder_;
};

class FolderLock {
  public:
    // Takes the lock on `folder` (which must exist) for `program`. Throws FolderInUse when
    // another holds it, std::runtime_error (naming the file and the cause) when the lock file
    // cannot be opened.
    static std::unique_ptr<FolderLock> acquire(const std::filesystem::path& folder,
                                               std::string_view program);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    static std::filesystem::path lockFile(const std::filesystem::path& folder) {
        return folder / "jotwell.lock";
    }

  private:
    explicit FolderLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace jw
