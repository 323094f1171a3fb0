#include "platform/ui/TextField.h"

#include <stdexcept>

namespace jw::ui {

namespace {

void requireFocus(const Responder& responder) {
    if (!responder.isFirstResponder()) {
        throw std::logic_error("cannot type: the field does not hold the keyboard focus");
    }
}

}  // namespace

bool TextField::becomeFirstResponder() {
    if (isFirstResponder()) {
        return true;
    }
    if (!canBecomeFirstResponder() || !isOnScreen()) {
        return false;
    }
    // Held for the whole call: the delegate may drop its last other reference to the field.
    const auto self = shared_from_this();
    const auto delegate = delegate_.lock();
    if (delegate && !delegate->textFieldShouldBeginEditing(*this)) {
        return false;
    }
    if (!Responder::becomeFirstResponder()) {
        return false;
    }
    didChange();
    if (delegate) {
        delegate->textFieldDidBeginEditing(*this);
    }
    sendActions(ControlEvent::editingDidBegin);
    return true;
}

bool TextField::resignFirstResponder() {
    if (!isFirstResponder()) {
        return true;
    }
    const auto self = shared_from_this();
    Responder::resignFirstResponder();
    didChange();
    if (const auto delegate = delegate_.lock()) {
        delegate->textFieldDidEndEditing(*this);
    }
    sendActions(ControlEvent::editingDidEnd);
    return true;
}

void TextField::insertText(std::string_view text) {
    requireFocus(*this);
    const auto self = shared_from_this();
    for (std::size_t at = 0; at < text.size();) {
        if (!isFirstResponder()) {
            // A keystroke moved the focus: the rest of the keys go where it went.
            const auto holder = Application::shared().firstResponder();
            auto* input = dynamic_cast<KeyInput*>(holder.get());
            if (!input) {
                throw std::logic_error("cannot type: the keyboard went away while typing");
            }
            input->insertText(text.substr(at));
            return;
        }
        if (text[at] == '\n') {
            ++at;
            pressReturn();
            continue;
        }
        // One keystroke: one character, however many bytes it takes.
        std::size_t end = at + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            ++end;
        }
        text_.append(text.substr(at, end - at));
        at = end;
        didChange();
        sendActions(ControlEvent::editingChanged);
    }
}

void TextField::deleteBackward() {
    requireFocus(*this);
    if (text_.empty()) {
        return;
    }
    removeLastCharacter(text_);
    didChange();
    sendActions(ControlEvent::editingChanged);
}

void TextField::pressReturn() {
    const auto delegate = delegate_.lock();
    if (delegate && !delegate->textFieldShouldReturn(*this)) {
        return;
    }
    const bool endsOnExit = hasActions(ControlEvent::editingDidEndOnExit);
    sendActions(ControlEvent::editingDidEndOnExit);
    if (endsOnExit) {
        resignFirstResponder();
    }
    if (afterReturn_) {
        afterReturn_();
    }
}

}  // namespace jw::ui
