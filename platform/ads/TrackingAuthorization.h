#pragma once
// The tracking-consent service the application asks each time it becomes active. Desktop
// systems have no such prompt, so the answer is always "not determined"; it arrives the way
// the platform's does, on another thread, so callers are written for that.

#include <functional>

namespace jw::ads {

enum class TrackingAuthorizationStatus : int {
    notDetermined = 0,
    restricted = 1,
    denied = 2,
    authorized = 3,
};

class TrackingManager {
  public:
    using Completion = std::function<void(TrackingAuthorizationStatus status)>;

    // Any thread. The completion runs once, on a background thread (never the caller's, never
    // before this returns); it must not block for long, as answers are delivered one at a time.
    static void requestTrackingAuthorization(Completion completion);

    // The current status, without asking.
    static TrackingAuthorizationStatus trackingAuthorizationStatus();
};

}  // namespace jw::ads
