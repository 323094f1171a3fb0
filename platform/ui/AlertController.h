#pragma once
// An alert (a box in the middle, possibly with text fields) or an action sheet (a list of
// choices, shown as a popover anchored at a bar button item in a regular-width window), with
// buttons (actions). It is presented like any controller and leaves the screen under it on
// screen.
//
// A person taps a button with tapAction(): the alert is dismissed, animated, and the action's
// handler runs after the dismissal, so the handler may present something else. When the alert
// appears its first text field takes the keyboard focus. The return key in one of its text
// fields sends that field's actions as usual (TextField.h), then dismisses the alert; the
// preferred action's handler, if one is set, runs after that dismissal as if tapped.
//
// Errors (std::logic_error): a second cancel action, a text field on an action sheet, a
// preferred action that is not one of the alert's, tapping an action that is not the
// alert's, is disabled, or while the alert is not on screen. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

namespace jw::ui {

enum class AlertControllerStyle { actionSheet = 0, alert = 1 };
enum class AlertActionStyle { defaultStyle = 0, cancel = 1, destructive = 2 };

class AlertAction {
  public:
    using Handler = std::function<void(AlertAction&)>;

    static std::shared_ptr<AlertAction> make(std::string title, AlertActionStyle style,
                                             Handler handler = {}) {
        return std::make_shared<AlertAction>(std::move(title), style, std::move(handler));
    }
    AlertAction(std::string title, AlertActionStyle style, Handler handler)
        : title_(std::move(title)), style_(style), handler_(std::move(handler)) {}

    const std::string& title() const { return title_; }
    AlertActionStyle style() const { return style_; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    const Handler& handler() const { return handler_; }

  private:
    std::string title_;
    AlertActionStyle style_;
    bool enabled_ = true;
    Handler handler_;
};

class AlertController : public ViewController {
  public:
    static std::shared_ptr<AlertController> make(std::optional<std::string> title,
                                                 std::optional<std::string> message,
                                                 AlertControllerStyle style);
    AlertController(std::optional<std::string> title, std::optional<std::string> message,
                    AlertControllerStyle style);

    // The title is the controller's title(); hasTitle() tells an empty one from none.
    bool hasTitle() const { return hasTitle_; }
    const std::optional<std::string>& message() const { return message_; }
    AlertControllerStyle preferredStyle() const { return style_; }

    void addAction(std::shared_ptr<AlertAction> action);
    // In the order they were added.
    const std::vector<std::shared_ptr<AlertAction>>& actions() const { return actions_; }
    const std::shared_ptr<AlertAction>& preferredAction() const { return preferredAction_; }
    void setPreferredAction(std::shared_ptr<AlertAction> action);

    // Adds a text field and lets `configure` set it up (placeholder, traits, targets).
    void addTextField(const std::function<void(TextField&)>& configure);
    const std::vector<std::shared_ptr<TextField>>& textFields() const { return textFields_; }

    // A person's tap on a button (see above).
    void tapAction(const AlertAction& action);

    void loadView() override;
    void viewDidAppear(bool animated) override;

  private:
    void dismissWith(std::shared_ptr<AlertAction> action);

    bool hasTitle_;
    std::optional<std::string> message_;
    AlertControllerStyle style_;
    std::vector<std::shared_ptr<AlertAction>> actions_;
    std::shared_ptr<AlertAction> preferredAction_;
    std::vector<std::shared_ptr<TextField>> textFields_;
};

}  // namespace jw::ui
