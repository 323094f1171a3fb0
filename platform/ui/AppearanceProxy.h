#pragma once
// The application-wide defaults of one kind of bar (every navigation bar, every toolbar): a
// bar uses the proxy's tint colour unless it was given its own. Changing it tells the
// observer (applicationDidChange). Main thread.

#include <functional>
#include <optional>

#include "platform/ui/Color.h"

namespace jw::ui {

class AppearanceProxy {
  public:
    explicit AppearanceProxy(std::function<void()> changed) : changed_(std::move(changed)) {}

    std::optional<Color> tintColor() const { return tintColor_; }
    void setTintColor(std::optional<Color> color) {
        tintColor_ = color;
        changed_();
    }

  private:
    std::function<void()> changed_;
    std::optional<Color> tintColor_;
};

}  // namespace jw::ui
