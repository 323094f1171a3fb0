#include "UserDefaults.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "DebugLog.h"
#include "Paths.h"

namespace jw {

namespace fs = std::filesystem;
using nlohmann::json;

// The file is one JSON object; each member is an object naming the value's type:
//   {"sound": {"bool": true}, "volume": {"number": 0.5}, "theme": {"string": "Dark"},
//    "lastOpened": {"date": 1800000000.0}}
// Dates are seconds since 1970 UTC. JSON has no NaN or infinities, so those numbers are
// written as the strings "nan", "inf" and "-inf". A member of any other shape (hand-edited, or
// from a later version) reads as absent and is dropped the next time the file is written.

namespace {

json encodeNumber(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value > 0 ? "inf" : "-inf";
    }
    return value;
}

std::optional<double> decodeNumber(const json& value) {
    if (value.is_number()) {
        return value.get<double>();
    }
    if (value.is_string()) {
        const auto& text = value.get_ref<const std::string&>();
        if (text == "nan") {
            return std::nan("");
        }
        if (text == "inf") {
            return HUGE_VAL;
        }
        if (text == "-inf") {
            return -HUGE_VAL;
        }
    }
    return std::nullopt;
}

json encode(const UserDefaults::Value& value) {
    struct Encoder {
        json operator()(bool b) const { return {{"bool", b}}; }
        json operator()(double d) const { return {{"number", encodeNumber(d)}}; }
        json operator()(const std::string& s) const { return {{"string", s}}; }
        json operator()(Date d) const { return {{"date", encodeNumber(d.secondsSinceEpoch)}}; }
    };
    return std::visit(Encoder{}, value);
}

std::optional<UserDefaults::Value> decode(const json& member) {
    if (!member.is_object() || member.size() != 1) {
        return std::nullopt;
    }
    const auto only = member.begin();
    const std::string& type = only.key();
    const json& value = only.value();
    if (type == "bool" && value.is_boolean()) {
        return value.get<bool>();
    }
    if (type == "number") {
        if (auto number = decodeNumber(value)) {
            return *number;
        }
    }
    if (type == "string" && value.is_string()) {
        return value.get<std::string>();
    }
    if (type == "date") {
        if (auto seconds = decodeNumber(value)) {
            return Date{*seconds};
        }
    }
    return std::nullopt;
}

// Moves an unusable file out of the way, keeping it for whoever wants to look at it.
void moveAside(const fs::path& file) {
    for (int n = 1;; ++n) {
        fs::path aside = file;
        aside += fmt::format(".corrupt-{}", n);
        std::error_code error;
        if (fs::exists(fs::symlink_status(aside, error))) {
            continue;
        }
        fs::rename(file, aside, error);
        if (error) {
            debugLog(fmt::format("UserDefaults: could not move {} aside to {}: {}", file.string(),
                                 aside.string(), error.message()));
        } else {
            debugLog(fmt::format("UserDefaults: moved unreadable {} aside to {}", file.string(),
                                 aside.string()));
        }
        return;
    }
}

}  // namespace

UserDefaults::UserDefaults(fs::path file) : file_(std::move(file)) {
    if (!file_.empty()) {
        load();
    }
}

std::optional<bool> UserDefaults::boolForKey(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    if (const auto* value = std::get_if<bool>(&found->second)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<double> UserDefaults::numberForKey(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    if (const auto* value = std::get_if<double>(&found->second)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    if (const auto* value = std::get_if<std::string>(&found->second)) {
        return *value;
    }
    return std::nullopt;
}

std::optional<Date> UserDefaults::dateForKey(const std::string& key) const {
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    if (const auto* value = std::get_if<Date>(&found->second)) {
        return *value;
    }
    return std::nullopt;
}

void UserDefaults::setBool(const std::string& key, bool value) {
    set(key, value);
}
void UserDefaults::setNumber(const std::string& key, double value) {
    set(key, value);
}
void UserDefaults::setString(const std::string& key, std::string value) {
    set(key, std::move(value));
}
void UserDefaults::setDate(const std::string& key, Date value) {
    set(key, value);
}

void UserDefaults::removeObjectForKey(const std::string& key) {
    if (values_.erase(key) != 0) {
        persist();
    }
}

void UserDefaults::set(const std::string& key, Value value) {
    auto it = values_.find(key);
    if (it != values_.end() && it->second == value && !unsaved_) {
        return;  // already so, on disk too
    }
    values_[key] = std::move(value);
    persist();
}

void UserDefaults::load() {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(file_, error))) {
        return;  // nothing saved yet
    }
    json document;
    std::string problem;
    std::string text;
    try {
        std::ifstream in(file_, std::ios::binary);
        if (!in.is_open()) {
            problem = "cannot be opened";
        } else {
            // A read error may come back as an exception (libstdc++ throws from underflow,
            // e.g. for a folder) or as badbit.
            text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            if (in.bad()) {
                problem = "cannot be read";
            }
        }
    } catch (const std::exception& e) {
        problem = fmt::format("cannot be read ({})", e.what());
    }
    if (problem.empty()) {
        document = json::parse(text, nullptr, /*allow_exceptions=*/false);
        if (document.is_discarded()) {
            problem = "is not valid JSON";
        } else if (!document.is_object()) {
            problem = "is not a JSON object";
        }
    }
    if (!problem.empty()) {
        debugLog(fmt::format("UserDefaults: {} {}; starting empty", file_.string(), problem));
        moveAside(file_);
        return;
    }
    for (const auto& [key, member] : document.items()) {
        if (auto value = decode(member)) {
            values_.emplace(key, std::move(*value));
        } else {
            debugLog(fmt::format("UserDefaults: ignoring {} in {}: {}", key, file_.string(),
                                 member.dump()));
        }
    }
}

void UserDefaults::persist() {
    if (file_.empty()) {
        return;
    }
    json document = json::object();
    for (const auto& [key, value] : values_) {
        document[key] = encode(value);
    }
    try {
        if (file_.has_parent_path()) {
            std::error_code ignored;  // a failure shows up as the write's own error
            fs::create_directories(file_.parent_path(), ignored);
        }
        writeFileAtomically(file_, document.dump(2) + "\n");
        unsaved_ = false;
    } catch (const std::exception& e) {
        // The value stays set in memory for the rest of the run; only its persistence failed,
        // and the next change tries again.
        unsaved_ = true;
        debugLog(fmt::format("UserDefaults: could not save: {}", e.what()));
    }
}

namespace {

std::mutex& standardMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<UserDefaults>& installedStandard() {
    static std::shared_ptr<UserDefaults> defaults;
    return defaults;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
    std::lock_guard lock(standardMutex());
    auto& defaults = installedStandard();
    if (!defaults) {
        defaults = std::make_shared<UserDefaults>(fs::path());
    }
    return *defaults;
}

std::shared_ptr<UserDefaults> UserDefaults::installStandard(std::shared_ptr<UserDefaults> d) {
    std::lock_guard lock(standardMutex());
    installedStandard().swap(d);
    return d;
}

}  // namespace jw
