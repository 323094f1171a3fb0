#include "platform/ui/AlertController.h"

#include <algorithm>
#include <stdexcept>

namespace jw::ui {

std::shared_ptr<AlertController> AlertController::make(std::optional<std::string> title,
                                                       std::optional<std::string> message,
                                                       AlertControllerStyle style) {
    return std::make_shared<AlertController>(std::move(title), std::move(message), style);
}

AlertController::AlertController(std::optional<std::string> title,
                                 std::optional<std::string> message, AlertControllerStyle style)
    : hasTitle_(title.has_value()), message_(std::move(message)), style_(style) {
    setTitle(title.value_or(""));
    setModalPresentationStyle(style == AlertControllerStyle::actionSheet
                                  ? ModalPresentationStyle::popover
                                  : ModalPresentationStyle::overFullScreen);
}

void AlertController::addAction(std::shared_ptr<AlertAction> action) {
    if (!action) {
        throw std::invalid_argument("addAction: no action");
    }
    if (action->style() == AlertActionStyle::cancel &&
        std::any_of(actions_.begin(), actions_.end(), [](const auto& existing) {
            return existing->style() == AlertActionStyle::cancel;
        })) {
        throw std::logic_error("an alert can only have one action of the cancel style");
    }
    actions_.push_back(std::move(action));
}

void AlertController::setPreferredAction(std::shared_ptr<AlertAction> action) {
    if (action && std::find(actions_.begin(), actions_.end(), action) == actions_.end()) {
        throw std::logic_error("the preferred action must be one of the alert's actions");
    }
    preferredAction_ = std::move(action);
}

void AlertController::addTextField(const std::function<void(TextField&)>& configure) {
    if (style_ != AlertControllerStyle::alert) {
        throw std::logic_error("text fields can only be added to an alert, not an action sheet");
    }
    auto field = std::make_shared<TextField>();
    field->setBorderStyle(BorderStyle::roundedRect);
    field->afterReturn_ = [weak = weak_from_this()] {
        const auto alert = std::static_pointer_cast<AlertController>(weak.lock());
        if (alert && alert->isOnScreen() && alert->presentingViewController()) {
            alert->dismissWith(alert->preferredAction_);
        }
    };
    if (configure) {
        configure(*field);
    }
    if (isViewLoaded()) {
        view().addSubview(field);
    }
    textFields_.push_back(std::move(field));
}

void AlertController::loadView() {
    ViewController::loadView();
    for (const auto& field : textFields_) {
        view().addSubview(field);
    }
}

void AlertController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    if (!textFields_.empty()) {
        textFields_.front()->becomeFirstResponder();
    }
}

void AlertController::tapAction(const AlertAction& action) {
    const auto found =
        std::find_if(actions_.begin(), actions_.end(),
                     [&action](const auto& candidate) { return candidate.get() == &action; });
    if (found == actions_.end()) {
        throw std::logic_error("the action '" + action.title() + "' is not one of this alert's");
    }
    if (!action.isEnabled()) {
        throw std::logic_error("the action '" + action.title() + "' is disabled");
    }
    if (!isOnScreen() || !presentingViewController()) {
        throw std::logic_error("the alert '" + title() + "' is not on screen");
    }
    dismissWith(*found);
}

void AlertController::dismissWith(std::shared_ptr<AlertAction> action) {
    // The alert stays alive until the handler has run: the handler may read its text fields.
    auto self = std::static_pointer_cast<AlertController>(shared_from_this());
    dismiss(true, [self, action] {
        if (action && action->handler()) {
            action->handler()(*action);
        }
    });
}

}  // namespace jw::ui
