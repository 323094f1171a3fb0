#include "platform/ui/Button.h"

namespace jw::ui {

void Button::setTitle(std::string title, ControlState state) {
    const auto found = titles_.find(state);
    if (found != titles_.end() && found->second == title) {
        return;
    }
    titles_[state] = std::move(title);
    didChange();
}

std::string Button::title(ControlState state) const {
    auto found = titles_.find(state);
    if (found == titles_.end()) {
        found = titles_.find(ControlState::normal);
    }
    return found == titles_.end() ? std::string() : found->second;
}

void Button::setImage(std::optional<Image> image, ControlState state) {
    const auto found = images_.find(state);
    if (!image) {
        if (found != images_.end()) {
            images_.erase(found);
            didChange();
        }
        return;
    }
    if (found != images_.end() && found->second == *image) {
        return;
    }
    images_[state] = std::move(*image);
    didChange();
}

std::optional<Image> Button::image(ControlState state) const {
    auto found = images_.find(state);
    if (found == images_.end()) {
        found = images_.find(ControlState::normal);
    }
    if (found == images_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void Button::tap() {
    requireReachable("tap the button");
    sendActions(ControlEvent::touchUpInside);
}

}  // namespace jw::ui
