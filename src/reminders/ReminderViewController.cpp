#include "src/reminders/ReminderViewController.h"

#include "platform/foundation/Clock.h"
#include "platform/ui/AlertController.h"
#include "src/reminders/ItemReminderSubject.h"
#include "src/reminders/ReminderDates.h"
#include "src/reminders/ReminderScheduler.h"
#include "src/reminders/ReminderTexts.h"
#include "src/themes/ApplyTheme.h"
#include "src/themes/Palette.h"

namespace jw {

void ReminderViewController::loadView() {
    // The scene's layout: the item's text at the top, the picker under it.
    ViewController::loadView();
    auto text = std::make_shared<ui::TextView>();
    text->setFrame(ui::Rect{{20.0, 20.0}, {500.0, 120.0}});
    auto picker = std::make_shared<ui::DatePicker>();
    picker->setFrame(ui::Rect{{20.0, 160.0}, {500.0, 216.0}});
    picker->setDatePickerMode(ui::DatePickerMode::dateAndTime);
    view().addSubview(text);
    view().addSubview(picker);
    bodyTextView = text;
    datePicker = picker;
}

void ReminderViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    setTitle(reminder_texts::screenTitle);
    applyTheme(*this, nullptr);
    view().setBackgroundColor(grey92);
    if (const auto text = bodyTextView.lock()) {
        text->setText(item ? reminderBodyText(reminderSubjectFor(*item)) : std::string());
    }
    navigationItem().setLeftBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::cancel, {this, &ReminderViewController::cancelTapped}));
    auto set =
        ui::BarButtonItem::withTitle(reminder_texts::setButton, ui::BarButtonItemStyle::plain,
                                     {this, &ReminderViewController::saveTapped});
    set->setEnabled(item != nullptr);
    navigationItem().setRightBarButtonItem(std::move(set));
    // A clock that gives no time leaves the picker where it was; "Set" then refuses the date.
    const auto now = currentClock().now();
    const auto preset = now ? presetReminderDate(*now) : std::nullopt;
    if (const auto picker = datePicker.lock(); picker && preset) {
        picker->setDate(*preset);
    }
}

void ReminderViewController::cancelTapped() {
    dismissReminderScreen();
}

void ReminderViewController::saveTapped() {
    const auto picker = datePicker.lock();
    if (!item || !picker) {
        return;
    }
    // The values are taken now: later edits of the item do not change this press's reminder.
    // The flow holds the screen until it is done with it.
    ReminderScheduler().scheduleReminder(
        reminderDraft(reminderSubjectFor(*item), picker->date()),
        std::static_pointer_cast<ReminderViewController>(shared_from_this()));
}

std::shared_ptr<ui::ViewController> ReminderViewController::presentedLevel() {
    auto level = std::static_pointer_cast<ui::ViewController>(shared_from_this());
    while (auto parent = level->parentViewController()) {
        level = std::move(parent);
    }
    // The presenter must still present this very level: after a dismissal it may present
    // something else, which is not ours to close.
    const auto presenting = level->presentingViewController();
    if (!presenting || presenting->presentedViewController() != level) {
        return nullptr;
    }
    return level;
}

void ReminderViewController::showErrorAlert(const std::string& message) {
    const auto level = presentedLevel();
    if (!level || level->presentedViewController()) {
        return;
    }
    auto alert = ui::AlertController::make(reminder_texts::errorAlertTitle, message,
                                           ui::AlertControllerStyle::alert);
    alert->addAction(
        ui::AlertAction::make(reminder_texts::errorAlertButton, ui::AlertActionStyle::cancel));
    present(std::move(alert), true);
}

void ReminderViewController::dismissReminderScreen() {
    // Dismissed from the presenter, so that an alert up over this screen goes with it instead of
    // being the only thing closed.
    if (const auto level = presentedLevel()) {
        level->presentingViewController()->dismiss(true);
    }
}

}  // namespace jw
