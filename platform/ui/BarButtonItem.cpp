#include "platform/ui/BarButtonItem.h"

#include <stdexcept>

#include "platform/ui/Application.h"

namespace jw::ui {

std::shared_ptr<BarButtonItem> BarButtonItem::withSystemItem(SystemItem item, Action action) {
    return std::make_shared<BarButtonItem>(item, std::string(), BarButtonItemStyle::plain,
                                           std::move(action));
}

std::shared_ptr<BarButtonItem> BarButtonItem::withTitle(std::string title, BarButtonItemStyle style,
                                                        Action action) {
    return std::make_shared<BarButtonItem>(std::nullopt, std::move(title), style,
                                           std::move(action));
}

BarButtonItem::BarButtonItem(std::optional<SystemItem> systemItem, std::string title,
                             BarButtonItemStyle style, Action action)
    : systemItem_(systemItem),
      title_(std::move(title)),
      style_(style),
      action_(std::move(action)) {}

bool BarButtonItem::isSpace() const {
    return systemItem_ == SystemItem::flexibleSpace || systemItem_ == SystemItem::fixedSpace;
}

void BarButtonItem::setTitle(std::string title) {
    if (title_ != title) {
        title_ = std::move(title);
        changed();
    }
}

void BarButtonItem::setStyle(BarButtonItemStyle style) {
    if (style_ != style) {
        style_ = style;
        changed();
    }
}

void BarButtonItem::setEnabled(bool enabled) {
    if (enabled_ != enabled) {
        enabled_ = enabled;
        changed();
    }
}

void BarButtonItem::sendAction() {
    if (isSpace()) {
        throw std::logic_error("a space in a bar cannot be tapped");
    }
    if (!enabled_) {
        throw std::logic_error("the bar button item '" + title_ + "' is disabled");
    }
    action_.send(*this);
}

void BarButtonItem::changed() {
    Application::shared().observer().barButtonItemDidChange(*this);
}

}  // namespace jw::ui
