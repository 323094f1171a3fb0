#pragma once
// A button with a title and an image per control state; a state without its own falls back to
// the normal state's. A tap sends the touch-up-inside actions. Main thread.

#include <map>
#include <optional>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/Image.h"

namespace jw::ui {

class Button : public Control {
  public:
    void setTitle(std::string title, ControlState state = ControlState::normal);
    std::string title(ControlState state = ControlState::normal) const;
    void setImage(std::optional<Image> image, ControlState state = ControlState::normal);
    std::optional<Image> image(ControlState state = ControlState::normal) const;

    // A person's tap. Throws std::logic_error when the button is disabled, hidden or not on
    // screen: nobody can tap it then.
    void tap();

  private:
    std::map<ControlState, std::string> titles_;
    std::map<ControlState, Image> images_;
};

}  // namespace jw::ui
