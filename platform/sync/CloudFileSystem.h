#pragma once
// The cloud folder as the sync engine sees it: a tree of files under one root that a file-sync
// service (a cloud drive, Syncthing, a network share) keeps in step between devices, with all
// the untidiness that brings: files that arrive late, partly, twice, or not at all, entries
// that are not what they should be, and a root that is sometimes not there.
//
// Paths are relative to the root, made of '/'-separated names; a name is never empty, ".",
// "..", and never holds a '/' or a NUL. A path that breaks these rules is refused with
// CloudStatus::invalid and touches nothing. Symbolic links are never followed: they read and
// list as `other`.
//
// Implementations: FolderCloudFileSystem (a real directory) and, for tests, the in-memory one
// in tests/support. Calls are made from the sync engine's worker thread; an implementation
// need not be thread-safe unless it says so.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace jw::sync {

enum class CloudStatus {
    ok,
    notFound,     // the path (or a folder on the way) does not exist: proof of absence
    unavailable,  // the root is missing or unreadable, or an I/O error: proves nothing
    invalid,      // a bad path, or an entry of the wrong kind (a folder or link for a file...)
    tooLarge,     // a read beyond the caller's limit
};

const char* describe(CloudStatus status);

enum class CloudEntryKind { file, directory, other };

struct CloudEntry {
    std::string name;
    CloudEntryKind kind = CloudEntryKind::other;
};

struct CloudListing {
    CloudStatus status = CloudStatus::ok;
    std::vector<CloudEntry> entries;  // sorted by name; never "." or ".."
};

struct CloudRead {
    CloudStatus status = CloudStatus::ok;
    std::string contents;
};

class CloudFileSystem {
  public:
    virtual ~CloudFileSystem() = default;

    // ok when the root exists, is a folder and can be read and written; unavailable otherwise.
    virtual CloudStatus checkRoot() = 0;
    // The entries of a folder ("" is the root).
    virtual CloudListing list(const std::string& folder) = 0;
    // A regular file's contents; tooLarge (and no contents) when it is bigger than maxBytes.
    virtual CloudRead read(const std::string& path, std::size_t maxBytes) = 0;
    // Replaces the file as a whole: readers on this device see the old or the new contents,
    // never a mix. The folder must exist (notFound otherwise).
    virtual CloudStatus writeAtomically(const std::string& path, std::string_view contents) = 0;
    // Removes a file; notFound when there is none. Never removes folders.
    virtual CloudStatus remove(const std::string& path) = 0;
    // Makes the folder and any missing parents; ok when it already exists.
    virtual CloudStatus makeDirectory(const std::string& path) = 0;

    // Where this file system reaches the cloud folder, for telling one folder from another
    // (the same folder always gives the same text); empty when it cannot tell.
    virtual std::string location() const { return {}; }
    // Removes the temporary files (see isTemporaryCloudName) directly in `folder` that were
    // last written more than `olderThanSeconds` ago: what writes cut short by a crash left
    // behind. Answers how many went; 0 when there is nothing of the kind to look at.
    virtual std::size_t removeStaleTemporaryFiles(const std::string& folder,
                                                  double olderThanSeconds) {
        (void)folder;
        (void)olderThanSeconds;
        return 0;
    }
};

// Whether `path` is well formed in the sense above. The empty path (the root itself) is not a
// path to a file or folder; only list() accepts it.
bool isValidCloudPath(std::string_view path);

// Whether `name` (one name, not a path) is that of a file still being written: it starts with
// '.' and ends with ".tmp", as the temporary files of FolderCloudFileSystem and of many
// file-sync services do. Listings leave such names out, so a file meant to be listed must not
// be named like this.
bool isTemporaryCloudName(std::string_view name);

}  // namespace jw::sync
