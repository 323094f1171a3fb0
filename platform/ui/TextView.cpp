#include "platform/ui/TextView.h"

#include <stdexcept>

namespace jw::ui {

bool TextView::resignFirstResponder() {
    const bool had = isFirstResponder();
    Responder::resignFirstResponder();
    if (had) {
        didChange();
    }
    return true;
}

void TextView::insertText(std::string_view text) {
    if (!isFirstResponder()) {
        throw std::logic_error("cannot type: the text view does not hold the keyboard focus");
    }
    text_.append(text);
    didChange();
}

void TextView::deleteBackward() {
    if (!isFirstResponder()) {
        throw std::logic_error("cannot type: the text view does not hold the keyboard focus");
    }
    removeLastCharacter(text_);
    didChange();
}

}  // namespace jw::ui
