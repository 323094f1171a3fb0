#include "platform/notifications/AuthorizationPromptText.h"

#include <vector>

namespace jw {

AuthorizationPromptText authorizationPromptText(const std::string& applicationName,
                                                AuthorizationOptions options) {
    AuthorizationPromptText text;
    text.title = applicationName + " Would Like to Send You Notifications";
    std::vector<std::string> doings;
    if (contains(options, AuthorizationOptions::alert)) {
        doings.emplace_back("show alerts");
    }
    if (contains(options, AuthorizationOptions::sound)) {
        doings.emplace_back("play sounds");
    }
    if (contains(options, AuthorizationOptions::badge)) {
        doings.emplace_back("mark the application's icon");
    }
    if (doings.empty()) {
        return text;
    }
    // "a", "a and b", "a, b and c".
    std::string list = doings.front();
    for (std::size_t i = 1; i < doings.size(); ++i) {
        list += (i + 1 == doings.size() ? " and " : ", ") + doings[i];
    }
    text.message = "Notifications may " + list + ".";
    return text;
}

}  // namespace jw
