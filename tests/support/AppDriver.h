#pragma once
// Using the whole application the way a person does, without a display: launch it on a
// phone-sized or tablet-sized window, read what is on screen, tap, swipe, drag and type, and
// let time pass. Screen tests read as the steps a person takes:
//
//   AppDriver app;
//   app.launch();
//   app.lists().tapBarButton("+");
//   app.type("Groceries\n");
//   EXPECT_EQ(app.screens(), "Items(Groceries)");
//
// Everything runs on the manual platform (clock, run loop, captured debugLog). The application
// keeps its store and its file-backed user defaults in a scratch folder that outlives quit(),
// so a relaunch finds them as a restart would. Every action lets the application settle
// before it returns: the run loop is drained, and the work the sync engine, the notification
// centre and the tracking prompt do on their own threads is waited for. Time passes only
// through wait().
//
// What a person cannot do (tap a row that is not on screen, type with no field focused, tap
// an action no alert shows) fails the test with a message naming what was not found.
// Main thread only.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sync/CloudFileSystem.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/KeyInput.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "src/app/JotwellApplication.h"
#include "src/model/Entities.h"
#include "tests/support/InMemoryCloud.h"
#include "tests/support/ScriptCase.h"
#include "tests/support/TestEnvironment.h"

namespace jw::test {

class HistoryRecorder;
class PersonsNotifications;

// One screen, as a person sees it and acts on it. The screen is looked up again at each call,
// so a driver for "the items screen" follows whichever items screen shows.
class ScreenDriver {
  public:
    using Finder = std::function<std::shared_ptr<ui::ViewController>()>;
    ScreenDriver(std::string name, Finder find, std::function<void()> settle);

    // The screen; the test fails when it is not on screen.
    ui::ViewController& controller() const;

    // --- Reading ---
    std::string title() const;
    // "bar: <left>, <right>; toolbar: <items>", each button as shown ("+", "Menu", "Edit",
    // "Cancel", "Save", "Share", "Columns" for the split view's button); parts without
    // buttons are left out.
    std::string barButtons() const;
    // The rows on screen, each in brackets with the texts it shows joined by " · ":
    // "[Zoo] [apple · 3/10]".
    std::string rows() const;
    // The visible texts of the screen's own labels, fields, text views and buttons, joined by
    // " / ".
    std::string texts() const;

    // --- Acting (rows are named by the first text they show) ---
    // `taps` taps in a row, all before the application answers the first.
    void tapBarButton(std::string_view shown, int taps = 1);
    // The row showing `shown`, or a part of it: "accessory" (the button at its trailing edge)
    // or "delete" (its delete control in editing mode).
    void tapRow(std::string_view shown, std::string_view part = {});
    // Drags the row by its reorder control so that it ends at `toPosition` (from 0).
    void dragRow(std::string_view shown, std::size_t toPosition);
    // Swipes the row and, given `action`, taps the button of that title; the buttons the swipe
    // shows, joined by ", ".
    std::string swipeRow(std::string_view shown, std::string_view action = {});
    // A button named by its title or, for an image, what it does ("Check"): the screen's own,
    // or, given `row`, one in the row showing `row`.
    void tapButton(std::string_view title, std::string_view row = {});
    // The back button of the navigation bar (a phone's way back to the lists).
    void goBack();
    // Puts the keyboard in the text field showing `shown` (its text, else its placeholder):
    // one of the screen's own or one in a row on screen.
    void tapField(std::string_view shown);
    // Spins the screen's date picker to `date`, when given; the date it shows.
    Date pickDate(std::optional<Date> date = std::nullopt);
    // Taps into the screen's (first) multi-line text view, which takes the keyboard focus.
    void tapTextView();

  private:
    ui::TableViewController& table() const;
    ui::IndexPath rowShowing(std::string_view shown) const;

    std::string name_;
    Finder find_;
    std::function<void()> settle_;
};

class AppDriver {
  public:
    AppDriver();
    ~AppDriver();
    AppDriver(const AppDriver&) = delete;
    AppDriver& operator=(const AppDriver&) = delete;

    // --- Starting and stopping ---
    // `cloud`: the device's view of a cloud folder; none plays a device signed out of it.
    void launch(ui::Size windowSize = ui::Window::phoneSize,
                std::shared_ptr<sync::CloudFileSystem> cloud = nullptr);
    // A person signed in to the cloud: launches on this device's view of cloud() and, when the
    // intro shows, waits for "iCloud Ready" and taps "Start".
    void launchSignedIn(ui::Size windowSize);
    // The cloud folder this device and any other simulated device share.
    InMemoryCloud& cloud() { return cloud_; }
    std::shared_ptr<InMemoryCloudView> cloudView() { return cloud_.view("here"); }
    // The process ends: nothing more is saved. The folder and the defaults file stay.
    void quit();
    JotwellApplication& app();
    ManualPlatform& platform() { return platform_; }
    const std::filesystem::path& dataFolder() const { return dataFolder_; }
    const std::filesystem::path& defaultsFile() const { return defaultsFile_; }

    // --- The platform's events ---
    // The application becomes active, or resigns (goes to the background).
    void setActive(bool active);
    void resize(ui::Size windowSize);

    // --- Time: the clock moves on, timers fire, and what they start is waited for ---
    void wait(double seconds);
    void settle();

    // --- Screens ---
    ScreenDriver lists();
    // The items screen on screen (in the secondary column or pushed).
    ScreenDriver items();
    // The screen in front: the top presented one (the top of it, when it is a navigation
    // controller), else the last one on screen.
    ScreenDriver front();
    // What is on screen: the screens side by side joined by " | ", each presentation over
    // them after " > ". Screens: Lists, Items(<list name>), Empty, Intro, Themes, Picker(<title>),
    // Editor, Reminder, Alert(<title>), Sheet(<title>), Share, Ad.
    std::string screens() const;

    // --- The alert or sheet in front ---
    // "alert <title>[: <message>] | field \"<text>\" (<placeholder>) | <actions...>" or
    // "sheet <title>[: <message>] | <actions...>"; actions of the cancel style end in
    // " (cancel)". Empty when none shows.
    std::string alert() const;
    void tapAlertAction(std::string_view title);

    // --- Keyboard: into the field holding the focus; "\n" is the return key ---
    void type(std::string_view keys);
    // Backspace until the focused field is empty.
    void eraseText();

    // --- The carousel in front, scrolled by a swipe to the item, which then comes to rest ---
    void scrollCarouselTo(std::size_t index);

    // --- What happened on screen since the last call: presentations, the split view's second
    // column, the lists table's row changes and notification prompts ("asked"), one event per
    // line ---
    std::string takeHistory();

    // Notifications the application put in front of the user: "<title>: <body> [alert sound]",
    // title and body as shown (notificationText: a late one ends "\nMissed at <time>").
    std::vector<std::string> shownNotifications() const;
    // The person clicks the notification shown `index`-th.
    void openNotification(std::size_t index);
    // The notification centre's pending requests in the order they were first added, one line
    // each: "<title>: <body> at <local date and time> in <seconds>s (<identifier>)", the
    // seconds being the trigger's interval.
    std::vector<std::string> pendingNotifications();

    // --- The "allow notifications?" prompt; the centre remembers its answer ---
    // How the person answers the prompts from now on: at once (allow, as a person would who
    // wants reminders, or refuse), or only when told again (later). Told to allow or refuse,
    // the person also answers the prompt that waits, if one does.
    enum class PromptAnswer { allow, refuse, later };
    void answerNotificationPrompts(PromptAnswer answer);
    // A prompt waiting for an answer.
    bool notificationPromptShows() const;

  private:
    void waitForTrackingAnswers();
    ScreenDriver screen(std::string name, ScreenDriver::Finder find);
    std::shared_ptr<ui::AlertController> frontAlert() const;
    ui::KeyInput& focusedInput();

    ManualPlatform platform_;
    TempDir folder_;
    InMemoryCloud cloud_;
    std::filesystem::path dataFolder_;
    std::filesystem::path defaultsFile_;
    std::shared_ptr<HistoryRecorder> history_;
    std::shared_ptr<PersonsNotifications> notifications_;
    std::unique_ptr<JotwellApplication> app_;
};

// Another device of the same person on the same cloud folder: a database of its own (its own
// folder and settings) without screens, changed through the model's operations.
class OtherDevice {
  public:
    OtherDevice(AppDriver& app, const std::string& name);
    ~OtherDevice();
    model::JWDatabase& db() { return *db_; }
    // The device becomes active (attaches or merges) and its sync work is waited for.
    void sync();
    std::shared_ptr<model::List> listNamed(const std::string& name);

  private:
    AppDriver& app_;
    UserDefaults settings_{std::filesystem::path()};
    std::unique_ptr<model::JWDatabase> db_;
};

}  // namespace jw::test
