#pragma once
// A one-line editable text. It edits while it holds the keyboard focus: taking the focus asks
// the delegate whether to begin, then tells it editing began (and sends editing-did-begin);
// losing it, for any reason, tells the delegate editing ended (and sends editing-did-end).
//
// Typing sends editing-changed after each character. A keystroke that moves the focus (an
// action taking it elsewhere) sends the rest of the typed text where the focus went.
// The return key (a line feed typed through KeyInput) asks the delegate textFieldShouldReturn
// (true without a delegate). On true, the editing-did-end-on-exit actions are sent, and when
// there were any the field then gives up the focus, as the platform does.
//
// The text is what was typed, exactly: nothing is trimmed; the empty string stands for "no
// text". Setting the text in code sends no events. The delegate is held weakly. Main thread.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Control.h"
#include "platform/ui/KeyInput.h"
#include "platform/ui/Typography.h"

namespace jw::ui {

class TextField;

class TextFieldDelegate {
  public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField& /*textField*/) { return true; }
    virtual void textFieldDidBeginEditing(TextField& /*textField*/) {}
    virtual bool textFieldShouldReturn(TextField& /*textField*/) { return true; }
    virtual void textFieldDidEndEditing(TextField& /*textField*/) {}
};

enum class BorderStyle { none = 0, line = 1, bezel = 2, roundedRect = 3 };
enum class ReturnKeyType { defaultKey = 0, go = 1, next = 4, search = 6, send = 7, done = 9 };
enum class AutocapitalizationType { none = 0, words = 1, sentences = 2, allCharacters = 3 };
enum class AutocorrectionType { defaultType = 0, no = 1, yes = 2 };

class TextField : public Control, public KeyInput {
  public:
    const std::string& text() const { return text_; }
    void setText(std::string text) { update(text_, std::move(text)); }
    const std::string& placeholder() const { return placeholder_; }
    void setPlaceholder(std::string placeholder) { update(placeholder_, std::move(placeholder)); }
    TextAlignment textAlignment() const { return textAlignment_; }
    void setTextAlignment(TextAlignment alignment) { update(textAlignment_, alignment); }
    Font font() const { return font_; }
    void setFont(Font font) { update(font_, font); }
    BorderStyle borderStyle() const { return borderStyle_; }
    void setBorderStyle(BorderStyle style) { update(borderStyle_, style); }
    ReturnKeyType returnKeyType() const { return returnKeyType_; }
    void setReturnKeyType(ReturnKeyType type) { update(returnKeyType_, type); }
    AutocapitalizationType autocapitalizationType() const { return autocapitalization_; }
    void setAutocapitalizationType(AutocapitalizationType type) {
        update(autocapitalization_, type);
    }
    AutocorrectionType autocorrectionType() const { return autocorrection_; }
    void setAutocorrectionType(AutocorrectionType type) { update(autocorrection_, type); }

    std::shared_ptr<TextFieldDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { delegate_ = std::move(delegate); }

    bool isEditing() const { return isFirstResponder(); }

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;

    void insertText(std::string_view text) override;
    void deleteBackward() override;
    bool hasText() const override { return !text_.empty(); }

  private:
    friend class AlertController;
    void pressReturn();

    std::string text_;
    std::string placeholder_;
    TextAlignment textAlignment_ = TextAlignment::natural;
    Font font_;
    BorderStyle borderStyle_ = BorderStyle::none;
    ReturnKeyType returnKeyType_ = ReturnKeyType::defaultKey;
    AutocapitalizationType autocapitalization_ = AutocapitalizationType::sentences;
    AutocorrectionType autocorrection_ = AutocorrectionType::defaultType;
    std::weak_ptr<TextFieldDelegate> delegate_;
    // Run after the return key was handled (an alert closes itself with it).
    std::function<void()> afterReturn_;
};

}  // namespace jw::ui
