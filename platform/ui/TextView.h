#pragma once
// A multi-line text, editable while it holds the keyboard focus when `editable`. The return
// key types a line feed. Setting the text in code sends nothing. Main thread.

#include <string>

#include "platform/ui/KeyInput.h"
#include "platform/ui/Typography.h"
#include "platform/ui/View.h"

namespace jw::ui {

class TextView : public View, public KeyInput {
  public:
    const std::string& text() const { return text_; }
    void setText(std::string text) { update(text_, std::move(text)); }
    bool isEditable() const { return editable_; }
    void setEditable(bool editable) { update(editable_, editable); }
    Font font() const { return font_; }
    void setFont(Font font) { update(font_, font); }

    bool canBecomeFirstResponder() const override { return editable_; }
    bool resignFirstResponder() override;

    void insertText(std::string_view text) override;
    void deleteBackward() override;
    bool hasText() const override { return !text_.empty(); }

  private:
    std::string text_;
    bool editable_ = true;
    Font font_;
};

}  // namespace jw::ui
