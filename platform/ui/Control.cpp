#include "platform/ui/Control.h"

#include <stdexcept>
#include <string>

namespace jw::ui {

void Control::addTarget(Action action, ControlEvent event) {
    actions_.emplace_back(event, std::move(action));
}

bool Control::hasActions(ControlEvent event) const {
    for (const auto& [registered, action] : actions_) {
        if (registered == event) {
            return true;
        }
    }
    return false;
}

void Control::sendActions(ControlEvent event) {
    // A copy: an action may add or remove targets.
    const auto actions = actions_;
    for (const auto& [registered, action] : actions) {
        if (registered == event) {
            action.send(*this);
        }
    }
}

void Control::requireReachable(const char* what) const {
    if (!isOnScreen() || !isVisibleInTree()) {
        throw std::logic_error(std::string("cannot ") + what + ": the control is not on screen");
    }
    if (!enabled_) {
        throw std::logic_error(std::string("cannot ") + what + ": the control is disabled");
    }
}

}  // namespace jw::ui
