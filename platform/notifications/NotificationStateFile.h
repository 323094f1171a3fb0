#pragma once
// The notification centre's memory across restarts: the user's authorisation answer and the
// pending requests with the dates they fall due, as one JSON file under the data directory,
// always replaced whole (temporary file + rename).
//
// Not thread-safe by itself: the centre calls it from one thread at a time.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Date.h"
#include "platform/notifications/NotificationRequest.h"
#include "platform/notifications/NotificationSettings.h"

namespace jw {

struct PendingNotificationRequest {
    NotificationRequest request;
    Date fireDate;  // when it falls due
    bool operator==(const PendingNotificationRequest&) const = default;
};

struct NotificationCenterState {
    AuthorizationStatus authorizationStatus = AuthorizationStatus::notDetermined;
    std::vector<PendingNotificationRequest> pending;
    bool operator==(const NotificationCenterState&) const = default;
};

std::string encodeNotificationState(const NotificationCenterState& state);
// Nothing when `text` is not a state of this format; single malformed requests are skipped.
std::optional<NotificationCenterState> decodeNotificationState(std::string_view text);

class NotificationStateFile {
  public:
    // An empty path keeps nothing: load gives an empty state and save does nothing.
    explicit NotificationStateFile(std::filesystem::path file) : file_(std::move(file)) {}

    // A missing file is an empty state. A file that cannot be read or decoded is moved aside
    // to "<file>.corrupt-<n>" (reported through debugLog) so that it is neither lost nor
    // overwritten, and the state starts empty.
    NotificationCenterState load() const;

    // Writes the whole state, creating the folder if needed. Throws std::runtime_error (or
    // std::filesystem::filesystem_error) when it cannot; the old file is then unchanged, except
    // when only the final sync of the folder failed: the file may then hold the new state.
    void save(const NotificationCenterState& state) const;

    const std::filesystem::path& file() const { return file_; }

  private:
    std::filesystem::path file_;
};

}  // namespace jw
