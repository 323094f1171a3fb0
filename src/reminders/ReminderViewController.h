#pragma once
// The reminder screen: one item's text above a date-and-time picker, "Cancel" on the left and
// "Set" on the right.
//
// Made by the "Reminder" scene of the "Main" storyboard. The presenter sets `item` before the
// view loads, wraps the screen as the root of a new navigation controller and presents that as
// a form sheet. On loading, the screen is titled "Reminder", its bars take the "Default" theme,
// its background is grey92, the text view shows the list's name, ": " and the item's text (": "
// and the text for an item without a list), and the picker starts at now plus 5 minutes. The
// text view is for reading only: whatever is typed into it never reaches the reminder.
//
// - Cancel closes the screen. A "Set" press already under way goes on (see below).
// - Set takes the item's identifier, list name and text and the picked date at the press and
//   hands them to ReminderScheduler, which asks for permission when needed and adds the
//   request. Once the request is added the screen closes; every failure shows an "Error" alert
//   with one "OK" button and leaves the screen open with its date.
// - The flow holds the screen until its last step, so an answer may come back after the
//   screen has gone (Cancel while the permission prompt shows, or a second "Set" press whose
//   first one already closed it). Such an answer changes nothing on screen: the screen closes
//   and shows alerts only while its navigation controller is still presented, and it closes
//   only itself, never the screen it was presented over. The request of a press is still added
//   when its permission comes after Cancel: the press captured its values and "Set" was the
//   person's word; Cancel only closes the screen.
//
// Without an item (a programming error of the presenter) the text view shows nothing and "Set"
// is disabled, so the screen can only be cancelled. Owned by its navigation controller while it
// shows, and by the scheduling flow while a press is under way. Main thread only.

#include <memory>
#include <string>

#include "platform/ui/DatePicker.h"
#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "src/model/Entities.h"
#include "src/reminders/ReminderScreen.h"

namespace jw {

class ReminderViewController : public ui::ViewController, public ReminderScreen {
  public:
    // Outlets, connected when the view is made.
    std::weak_ptr<ui::TextView> bodyTextView;
    std::weak_ptr<ui::DatePicker> datePicker;

    // The item to remind of; set by the presenter before the screen loads.
    std::shared_ptr<model::Item> item;

    void loadView() override;
    void viewDidLoad() override;

    void cancelTapped();
    void saveTapped();

    // ReminderScreen: both do nothing once the screen is no longer presented. An alert is not
    // shown while another one is up over the screen (that one is read first).
    void showErrorAlert(const std::string& message) override;
    void dismissReminderScreen() override;

  private:
    // The controller this screen was presented as (its navigation controller, or itself when
    // presented bare), while it is still presented; nullptr once it has gone.
    std::shared_ptr<ui::ViewController> presentedLevel();
};

}  // namespace jw
