#include "platform/notifications/NotificationStateFile.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <system_error>

#include <nlohmann/json.hpp>

#include "platform/foundation/DebugLog.h"
#include "platform/foundation/Paths.h"

namespace jw {

namespace {

constexpr int stateFormat = 1;

using nlohmann::json;

std::optional<AuthorizationStatus> statusFromName(const std::string& name) {
    for (auto status : {AuthorizationStatus::notDetermined, AuthorizationStatus::denied,
                        AuthorizationStatus::authorized}) {
        if (authorizationStatusName(status) == name) {
            return status;
        }
    }
    return std::nullopt;
}

json encodeRequest(const PendingNotificationRequest& pending) {
    const auto& request = pending.request;
    json sound = nullptr;
    if (request.content.sound) {
        sound = request.content.sound->name;
    }
    return json{
        {"identifier", request.identifier},
        {"title", request.content.title},
        {"body", request.content.body},
        {"sound", sound},
        {"timeInterval", request.trigger.timeInterval},
        {"repeats", request.trigger.repeats},
        {"fireDate", pending.fireDate.secondsSinceEpoch},
    };
}

std::optional<PendingNotificationRequest> decodeRequest(const json& entry) {
    if (!entry.is_object()) {
        return std::nullopt;
    }
    const auto string = [&entry](const char* key) -> std::optional<std::string> {
        const auto found = entry.find(key);
        if (found == entry.end() || !found->is_string()) {
            return std::nullopt;
        }
        return found->get<std::string>();
    };
    const auto number = [&entry](const char* key) -> std::optional<double> {
        const auto found = entry.find(key);
        if (found == entry.end() || !found->is_number()) {
            return std::nullopt;
        }
        const double value = found->get<double>();
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    };
    const auto identifier = string("identifier");
    const auto title = string("title");
    const auto body = string("body");
    const auto interval = number("timeInterval");
    const auto fireDate = number("fireDate");
    if (!identifier || !title || !body || !interval || !fireDate) {
        return std::nullopt;
    }
    PendingNotificationRequest pending;
    pending.request.identifier = *identifier;
    pending.request.content.title = *title;
    pending.request.content.body = *body;
    if (const auto sound = string("sound")) {
        pending.request.content.sound = NotificationSound{*sound};
    }
    pending.request.trigger.timeInterval = *interval;
    const auto repeats = entry.find("repeats");
    pending.request.trigger.repeats =
        repeats != entry.end() && repeats->is_boolean() && repeats->get<bool>();
    pending.fireDate = Date{*fireDate};
    return pending;
}

std::filesystem::path freeCorruptName(const std::filesystem::path& file) {
    for (int n = 1;; ++n) {
        auto candidate = file;
        candidate += ".corrupt-" + std::to_string(n);
        std::error_code ignored;
        if (!std::filesystem::exists(candidate, ignored)) {
            return candidate;
        }
    }
}

}  // namespace

std::string_view authorizationStatusName(AuthorizationStatus status) {
    switch (status) {
        case AuthorizationStatus::denied:
            return "denied";
        case AuthorizationStatus::authorized:
            return "authorized";
        case AuthorizationStatus::notDetermined:
            break;
    }
    return "notDetermined";
}

std::string encodeNotificationState(const NotificationCenterState& state) {
    json requests = json::array();
    for (const auto& pending : state.pending) {
        requests.push_back(encodeRequest(pending));
    }
    const json document{
        {"format", stateFormat},
        {"authorizationStatus", std::string(authorizationStatusName(state.authorizationStatus))},
        {"pendingRequests", requests},
    };
    return document.dump(2) + "\n";
}

std::optional<NotificationCenterState> decodeNotificationState(std::string_view text) {
    const auto document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object() ||
        document.value("format", 0) != stateFormat) {
        return std::nullopt;
    }
    NotificationCenterState state;
    const auto status = document.find("authorizationStatus");
    if (status == document.end() || !status->is_string()) {
        return std::nullopt;
    }
    const auto decodedStatus = statusFromName(status->get<std::string>());
    if (!decodedStatus) {
        return std::nullopt;
    }
    state.authorizationStatus = *decodedStatus;
    const auto requests = document.find("pendingRequests");
    if (requests == document.end() || !requests->is_array()) {
        return std::nullopt;
    }
    for (const auto& entry : *requests) {
        if (auto pending = decodeRequest(entry)) {
            state.pending.push_back(std::move(*pending));
        } else {
            debugLog("notifications: skipped a malformed pending request");
        }
    }
    return state;
}

NotificationCenterState NotificationStateFile::load() const {
    if (file_.empty()) {
        return {};
    }
    std::error_code error;
    if (!std::filesystem::exists(file_, error)) {
        return {};
    }
    std::ifstream stream(file_, std::ios::binary);
    std::ostringstream text;
    if (stream) {
        text << stream.rdbuf();
    }
    if (stream) {
        if (auto state = decodeNotificationState(text.str())) {
            return *state;
        }
    }
    // Keep the unreadable file for inspection instead of overwriting it with the next save.
    const auto aside = freeCorruptName(file_);
    std::filesystem::rename(file_, aside, error);
    debugLog("notifications: " + file_.string() + " is unreadable; moved to " + aside.string() +
             (error ? " (failed: " + error.message() + ")" : std::string()));
    return {};
}

void NotificationStateFile::save(const NotificationCenterState& state) const {
    if (file_.empty()) {
        return;
    }
    if (file_.has_parent_path()) {
        std::filesystem::create_directories(file_.parent_path());
    }
    writeFileAtomically(file_, encodeNotificationState(state));
}

}  // namespace jw
