#pragma once
// Whether the app may post notifications, and the options an app asks for.

#include <string_view>

namespace jw {

enum class AuthorizationStatus : int {
    notDetermined = 0,  // never asked
    denied = 1,         // the user said no (or turned them off later)
    authorized = 2,     // the user allowed them
};

std::string_view authorizationStatusName(AuthorizationStatus status);

// What an app asks to be allowed to do; combine with |.
enum class AuthorizationOptions : unsigned {
    none = 0,
    badge = 1,
    sound = 2,
    alert = 4,
};

constexpr AuthorizationOptions operator|(AuthorizationOptions a, AuthorizationOptions b) {
    return static_cast<AuthorizationOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool contains(AuthorizationOptions set, AuthorizationOptions option) {
    return (static_cast<unsigned>(set) & static_cast<unsigned>(option)) ==
           static_cast<unsigned>(option);
}

struct NotificationSettings {
    AuthorizationStatus authorizationStatus = AuthorizationStatus::notDetermined;
};

}  // namespace jw
