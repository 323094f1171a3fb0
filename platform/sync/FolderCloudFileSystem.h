#pragma once
// The cloud folder as a real directory on this machine, kept in step with other devices by
// whatever file-sync service the user points at it.
//
// - The root is given, never made: a root that is missing, is a symbolic link, is not a folder
//   or cannot be opened makes every call answer unavailable, since an unmounted drive or a
//   service that has not started yet looks just the same. The folders above the root are
//   resolved as usual; below it nothing is ever followed: each folder on the way is opened on
//   its own with O_NOFOLLOW, so a symbolic link anywhere in a path makes the call invalid and
//   nothing outside the root is read or written through it.
// - Below an existing root, a path (or a folder on the way) that is not there is notFound; a
//   regular file on the way to a file also makes it notFound (nothing can be under a file),
//   but a file where a folder is to be listed or made (anywhere in makeDirectory's path) is
//   invalid, as is a folder, link, pipe or device where a regular file is wanted. Permission and
//   I/O errors, a full disk and anything unexpected are unavailable.
// - read() checks the size before reading and never holds more than maxBytes + 1 bytes, so a
//   file that grows while being read cannot exhaust memory.
// - writeAtomically() writes a temporary file in the same folder (named ".<name>.<random>.tmp",
//   a name listings leave out), flushes it to the disk, renames it over the target and
//   flushes the folder. Any failure before the rename removes the temporary file and leaves
//   the target as it was. unavailable after the rename (the folder could not be flushed)
//   means the new contents may or may not survive a crash.
//
// Holds nothing but the root's path: any number of threads may call one instance at once.

#include <filesystem>

#include "platform/sync/CloudFileSystem.h"

namespace jw::sync {

class FolderCloudFileSystem final : public CloudFileSystem {
  public:
    explicit FolderCloudFileSystem(std::filesystem::path root);

    const std::filesystem::path& root() const { return root_; }

    // ok when the root exists, is a folder (not a link to one) and this process may list,
    // create and remove entries in it.
    CloudStatus checkRoot() override;
    CloudListing list(const std::string& folder) override;
    CloudRead read(const std::string& path, std::size_t maxBytes) override;
    CloudStatus writeAtomically(const std::string& path, std::string_view contents) override;
    CloudStatus remove(const std::string& path) override;
    CloudStatus makeDirectory(const std::string& path) override;
    // The root as an absolute path with links above it resolved.
    std::string location() const override;
    // Looks at the modification times of ".<name>.<random>.tmp" files; never follows links.
    std::size_t removeStaleTemporaryFiles(const std::string& folder,
                                          double olderThanSeconds) override;

  private:
    std::filesystem::path root_;
};

}  // namespace jw::sync
