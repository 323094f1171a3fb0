#pragma once
// What the keyboard types into: the responder holding the focus, when it takes text (a text
// field, a text view). Typing into a responder that does not hold the focus is a programming
// error in the caller (std::logic_error): a person cannot do it.

#include <string>
#include <string_view>

namespace jw::ui {

class KeyInput {
  public:
    virtual ~KeyInput() = default;

    // Types `text` (UTF-8) at the end of the current text. A line feed is the return key.
    virtual void insertText(std::string_view text) = 0;
    // The backspace key: removes the last character (one code point).
    virtual void deleteBackward() = 0;
    virtual bool hasText() const = 0;

  protected:
    static void removeLastCharacter(std::string& text) {
        while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80) {
            text.pop_back();
        }
        if (!text.empty()) {
            text.pop_back();
        }
    }
};

}  // namespace jw::ui
