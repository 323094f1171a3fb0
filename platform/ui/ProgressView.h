#pragma once
// A bar filled to a fraction. The fraction is shown as given: a value above 1 is not an error
// (the bar is simply full). Main thread.

#include <optional>

#include "platform/ui/View.h"

namespace jw::ui {

class ProgressView : public View {
  public:
    float progress() const { return progress_; }
    void setProgress(float progress) { update(progress_, progress); }
    // None: the platform's default tint.
    std::optional<Color> progressTintColor() const { return progressTintColor_; }
    void setProgressTintColor(std::optional<Color> color) { update(progressTintColor_, color); }

  private:
    float progress_ = 0.0f;
    std::optional<Color> progressTintColor_;
};

}  // namespace jw::ui
