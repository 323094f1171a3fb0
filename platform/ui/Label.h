#pragma once
// A line (or lines) of text that the user reads but does not edit. Main thread.

#include <optional>
#include <string>

#include "platform/ui/Typography.h"
#include "platform/ui/View.h"

namespace jw::ui {

class Label : public View {
  public:
    const std::string& text() const { return text_; }
    void setText(std::string text) { update(text_, std::move(text)); }
    // None: the platform's default text colour.
    std::optional<Color> textColor() const { return textColor_; }
    void setTextColor(std::optional<Color> color) { update(textColor_, color); }
    TextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(TextAlignment alignment) { update(textAlignment_, alignment); }
    Font font() const { return font_; }
    void setFont(Font font) { update(font_, font); }

  private:
    std::string text_;
    std::optional<Color> textColor_;
    TextAlignment textAlignment_ = TextAlignment::natural;
    Font font_;
};

}  // namespace jw::ui
