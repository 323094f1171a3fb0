#pragma once
// Where the program keeps its files.
// - data directory: the store (and later the sync state): $XDG_DATA_HOME/jotwell, else
//   ~/.local/share/jotwell;
// - config directory: the user defaults: $XDG_CONFIG_HOME/jotwell, else ~/.config/jotwell
//   (as the XDG rules say, a relative or empty XDG_* value is ignored; without $HOME, the
//   home directory from the password database is used);
// - resource directory: the object model and artwork: $JOTWELL_RESOURCE_DIR, else the folder
//   chosen at build time.
// A data-directory override (the programs' --data-dir option) puts both the data and the
// config under that one folder, so several "devices" can run side by side.

#include <filesystem>
#include <optional>
#include <string_view>

namespace jw {

struct AppPaths {
    std::filesystem::path dataDirectory;
    std::filesystem::path configDirectory;
    std::filesystem::path resourceDirectory;

    // Resolves the paths from the environment, or from `dataDirectoryOverride` when given
    // (then config lives in "<override>/config"). Creates nothing.
    static AppPaths resolve(const std::optional<std::filesystem::path>& dataDirectoryOverride);
    // Creates the data and config directories. Throws std::filesystem::filesystem_error.
    void createDirectories() const;
    std::filesystem::path userDefaultsFile() const { return configDirectory / "defaults.json"; }
    // The cloud folder shared with the other devices: `chosen` (the programs' --cloud-dir) when
    // given, else the folder saved with saveCloudDirectoryChoice, else $JOTWELL_CLOUD_DIR when
    // set, else "Cloud" in the data directory. Only that last one is ours, and it is created
    // here (throws std::filesystem::filesystem_error when it cannot be); a folder the user
    // names is not created: attaching to one that is missing fails and says so. Always
    // absolute.
    std::filesystem::path cloudDirectory(const std::optional<std::filesystem::path>& chosen) const;
    // The cloud folder chosen for this data folder by the application's settings (one absolute
    // path in the file "cloud-folder" of the config directory): none when none was saved or the
    // file is empty. saveCloudDirectoryChoice writes it atomically (throws what
    // writeFileAtomically throws).
    std::optional<std::filesystem::path> savedCloudDirectoryChoice() const;
    void saveCloudDirectoryChoice(const std::filesystem::path& folder) const;
    std::filesystem::path cloudDirectoryChoiceFile() const {
        return configDirectory / "cloud-folder";
    }
};

// Writes `contents` to `file` through a temporary file in the same folder and a rename, so
// readers see the old or the new contents, never a mix. The data and the rename are synced
// to disk before it returns. The temporary file is ".<name>.tmp-<pid>-<n>" (hidden) and is
// removed when the write fails. Throws std::runtime_error, naming `file` and the cause, on
// failure.
void writeFileAtomically(const std::filesystem::path& file, std::string_view contents);

}  // namespace jw
