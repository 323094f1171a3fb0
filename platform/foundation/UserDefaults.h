#pragma once
// The user defaults: small typed values under string keys, kept in one JSON file.
//
// Every set/remove that changes something writes the whole file at once (temporary file +
// rename), so a crash leaves either the old or the new file; setting the value a key already
// has writes nothing (unless an earlier write failed). A write that fails (a full disk, a
// missing folder that cannot be made) is reported through debugLog and is not an error: the
// value stays set in memory for the rest of the run. A value stored with another type reads
// as absent. A file that cannot be read or parsed is moved aside (to "<file>.corrupt-<n>",
// the first n not taken) rather than overwritten, reported through debugLog, and the defaults
// start empty. A member of the file whose shape is not understood reads as absent and is
// dropped at the next write.
// Main thread only.

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "Date.h"

namespace jw {

class UserDefaults {
  public:
    using Value = std::variant<bool, double, std::string, Date>;

    // Reads `file` if it exists. An empty path keeps the values in memory only.
    explicit UserDefaults(std::filesystem::path file);

    std::optional<bool> boolForKey(const std::string& key) const;
    std::optional<double> numberForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    std::optional<Date> dateForKey(const std::string& key) const;
    bool contains(const std::string& key) const { return values_.count(key) != 0; }

    void setBool(const std::string& key, bool value);
    void setNumber(const std::string& key, double value);
    void setString(const std::string& key, std::string value);
    void setDate(const std::string& key, Date value);
    void removeObjectForKey(const std::string& key);

    const std::filesystem::path& file() const { return file_; }

    // The standard user defaults of the process. Until one is installed, an in-memory one.
    // installStandard is thread-safe and returns the previous defaults (empty if none was made
    // yet); installing nothing brings back a fresh in-memory one at the next standard().
    static UserDefaults& standard();
    static std::shared_ptr<UserDefaults> installStandard(std::shared_ptr<UserDefaults> d);

  private:
    void set(const std::string& key, Value value);
    void load();
    void persist();

    std::filesystem::path file_;
    std::map<std::string, Value> values_;
    bool unsaved_ = false;  // the last write failed: the file lags behind values_
};

}  // namespace jw
