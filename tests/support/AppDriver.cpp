#include "tests/support/AppDriver.h"

#include <fmt/chrono.h>
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <functional>
#include <future>
#include <map>
#include <utility>

#include "platform/ads/TrackingAuthorization.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Paths.h"
#include "platform/notifications/NotificationText.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Button.h"
#include "platform/ui/Carousel.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/KeyInput.h"
#include "platform/ui/Label.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "src/app/AdScreenPresenter.h"
#include "src/app/QZIntroHomeViewController.h"
#include "src/items/DetailViewController.h"
#include "src/items/EmptyDetailViewController.h"
#include "src/items/ItemEditorViewController.h"
#include "src/lists/ListSelectViewController.h"
#include "src/lists/MasterViewController.h"
#include "src/model/ListOrder.h"
#include "src/reminders/ReminderViewController.h"
#include "src/themes/ThemeSelectViewController.h"

namespace jw::test {

namespace {

// What a person's failed attempt is reported as: the test fails here, with what was missing.
[[noreturn]] void cannot(const std::string& what) {
    throw std::logic_error(what);
}

bool isContainer(const ui::ViewController& controller) {
    return dynamic_cast<const ui::NavigationController*>(&controller) ||
           dynamic_cast<const ui::SplitViewController*>(&controller);
}

// The outermost container holding `controller`: the level of the screen it belongs to.
const ui::ViewController* levelOf(const ui::ViewController& controller) {
    const ui::ViewController* level = &controller;
    while (const auto parent = level->parentViewController()) {
        level = parent.get();
    }
    return level;
}

std::string buttonLabel(const ui::BarButtonItem& item, const ui::ViewController& owner) {
    if (const auto split = owner.splitViewController();
        split && split->displayModeButtonItem().get() == &item) {
        return "Columns";
    }
    if (!item.systemItem()) {
        return item.title();
    }
    static const std::map<ui::SystemItem, std::string> labels{
        {ui::SystemItem::done, "Done"},       {ui::SystemItem::cancel, "Cancel"},
        {ui::SystemItem::edit, "Edit"},       {ui::SystemItem::save, "Save"},
        {ui::SystemItem::add, "+"},           {ui::SystemItem::action, "Share"},
        {ui::SystemItem::compose, "Compose"}, {ui::SystemItem::reply, "Reply"}};
    const auto label = labels.find(*item.systemItem());
    return label == labels.end() ? "" : label->second;  // spaces show nothing
}

// The bar buttons a screen shows, labelled, each marked when in the toolbar.
struct BarItem {
    std::string label;
    std::shared_ptr<ui::BarButtonItem> item;
    bool inToolbar;
};
std::vector<BarItem> barItems(ui::ViewController& screen) {
    std::vector<BarItem> items;
    for (const auto& item : {screen.navigationItem().leftBarButtonItem(),
                             screen.navigationItem().rightBarButtonItem()}) {
        if (item) {
            items.push_back({buttonLabel(*item, screen), item, false});
        }
    }
    if (const auto navigation = screen.navigationController();
        navigation && !navigation->isToolbarHidden()) {
        for (const auto& item : screen.toolbarItems()) {
            if (const auto label = buttonLabel(*item, screen); !label.empty()) {
                items.push_back({label, item, true});
            }
        }
    }
    return items;
}

// The texts a person reads in a view and its subviews, in order; hidden views show nothing.
std::vector<std::string> textsIn(const ui::View& view) {
    std::vector<std::string> texts;
    if (view.isHidden()) {
        return texts;
    }
    if (const auto* label = dynamic_cast<const ui::Label*>(&view);
        label && !label->text().empty()) {
        texts.push_back(label->text());
    } else if (const auto* field = dynamic_cast<const ui::TextField*>(&view);
               field && !field->text().empty()) {
        texts.push_back(field->text());
    } else if (const auto* area = dynamic_cast<const ui::TextView*>(&view);
               area && !area->text().empty()) {
        texts.push_back(area->text());
    } else if (const auto* button = dynamic_cast<const ui::Button*>(&view)) {
        // A button with only an image reads as what it does.
        texts.push_back(
            "[" + (button->title().empty() ? button->accessibilityLabel() : button->title()) + "]");
    }
    for (const auto& subview : view.subviews()) {
        const auto inner = textsIn(*subview);
        texts.insert(texts.end(), inner.begin(), inner.end());
    }
    return texts;
}

// The first view of type Found in `view`'s tree (itself included) that `fits`.
template <class Found>
std::shared_ptr<Found> findView(
    ui::View& view, const std::function<bool(Found&)>& fits = [](Found&) { return true; }) {
    if (auto* found = dynamic_cast<Found*>(&view); found && fits(*found)) {
        return std::static_pointer_cast<Found>(found->shared_from_this());
    }
    for (const auto& subview : view.subviews()) {
        if (auto found = findView<Found>(*subview, fits)) {
            return found;
        }
    }
    return nullptr;
}

// The name a screen goes by in AppDriver::screens().
template <class Screen>
bool is(const ui::ViewController& controller) {
    return dynamic_cast<const Screen*>(&controller) != nullptr;
}

std::string screenName(const ui::ViewController& controller) {
    static const std::pair<bool (*)(const ui::ViewController&), const char*> named[] = {
        {is<MasterViewController>, "Lists"},       {is<EmptyDetailViewController>, "Empty"},
        {is<QZIntroHomeViewController>, "Intro"},  {is<ThemeSelectViewController>, "Themes"},
        {is<ItemEditorViewController>, "Editor"},  {is<ReminderViewController>, "Reminder"},
        {is<ui::ActivityViewController>, "Share"}, {is<HouseAdViewController>, "Ad"}};
    for (const auto& [isIt, name] : named) {
        if (isIt(controller)) {
            return name;
        }
    }
    if (const auto* items = dynamic_cast<const DetailViewController*>(&controller)) {
        return "Items(" + (items->list() ? items->list()->name().value_or("") : "") + ")";
    }
    if (is<ListSelectViewController>(controller)) {
        return "Picker(" + controller.title() + ")";
    }
    if (const auto* alert = dynamic_cast<const ui::AlertController*>(&controller)) {
        return (alert->preferredStyle() == ui::AlertControllerStyle::alert ? "Alert(" : "Sheet(") +
               alert->title() + ")";
    }
    if (const auto* navigation = dynamic_cast<const ui::NavigationController*>(&controller)) {
        return navigation->topViewController() ? screenName(*navigation->topViewController())
                                               : "Navigation";
    }
    return isContainer(controller) ? "Split" : "Screen";
}

std::string nameOfShown(ui::ViewController& controller) {
    return screenName(*ui::topViewController(
        std::static_pointer_cast<ui::ViewController>(controller.shared_from_this())));
}

// The last presented controller over the window, or none.
std::shared_ptr<ui::ViewController> topPresented(ui::Window& window) {
    std::shared_ptr<ui::ViewController> top;
    for (auto level = window.rootViewController(); level;
         level = level->presentedViewController()) {
        if (level != window.rootViewController()) {
            top = level;
        }
    }
    return top;
}

// A date as the person's wall clock shows it: "2027-01-15 11:05:00".
std::string localDateText(Date date) {
    const auto seconds = static_cast<std::time_t>(std::floor(date.secondsSinceEpoch));
    return fmt::format("{:%Y-%m-%d %H:%M:%S}", fmt::localtime(seconds));
}

}  // namespace

// What the screens went through, as the front end would be told it.
class HistoryRecorder final : public ui::Observer {
  public:
    void didPresent(ui::ViewController&, ui::ViewController& presented, bool) override {
        events.push_back("present " + nameOfShown(presented));
    }
    void didDismiss(ui::ViewController&, ui::ViewController& dismissed, bool) override {
        events.push_back("dismiss " + nameOfShown(dismissed));
    }
    void containerDidChange(ui::ViewController& container) override {
        auto* split = dynamic_cast<ui::SplitViewController*>(&container);
        if (!split || split->isCollapsed()) {
            return;
        }
        const auto columns = split->viewControllers();
        const std::string second =
            columns.size() > 1 ? screenName(*ui::topViewController(columns.back())) : "none";
        if (second != lastSecondColumn) {
            events.push_back("second column " + second);
            lastSecondColumn = second;
        }
    }
    void tableViewDidUpdate(ui::TableView& table, const ui::TableUpdate& update) override {
        const auto delegate = table.delegate();
        const char* name = dynamic_cast<MasterViewController*>(delegate.get())   ? "lists"
                           : dynamic_cast<DetailViewController*>(delegate.get()) ? "items"
                                                                                 : nullptr;
        if (!name) {
            return;
        }
        if (update.reloadedAll) {
            events.push_back(std::string(name) + " reloaded");
            return;
        }
        std::string change = std::string(name) + " rows";
        for (const auto& row : update.deletedRows) {
            change += " -" + std::to_string(row.row);
        }
        for (const auto& row : update.insertedRows) {
            change += " +" + std::to_string(row.row);
        }
        for (const auto& [from, to] : update.movedRows) {
            change += " " + std::to_string(from.row) + ">" + std::to_string(to.row);
        }
        events.push_back(change);
    }

    std::vector<std::string> events;
    std::string lastSecondColumn;
};

// The person in front of the "allow notifications?" prompt, and of the notifications put in
// front of the user (kept as lines).
class PersonsNotifications final : public AuthorizationPrompt, public NotificationPresenter {
  public:
    explicit PersonsNotifications(std::shared_ptr<HistoryRecorder> history)
        : history(std::move(history)) {}
    void askForAuthorization(AuthorizationOptions, std::function<void(bool)> answer) override {
        history->events.push_back("asked");
        if (answering == AppDriver::PromptAnswer::later) {
            waiting = std::move(answer);
            return;
        }
        answer(answering == AppDriver::PromptAnswer::allow);
    }
    void presentNotification(const Notification& notification, PresentationOptions options,
                             std::function<void()> activated) override {
        activations.push_back(std::move(activated));
        std::string how;
        if (contains(options, PresentationOptions::alert)) {
            how += "alert";
        }
        if (contains(options, PresentationOptions::sound)) {
            how += how.empty() ? "sound" : " sound";
        }
        // As a front end draws it: a late one says when it was due.
        const auto text =
            notificationText(notification, currentClock().now().value_or(notification.date));
        shown.push_back(text.title + ": " + text.body + " [" + how + "]");
    }

    AppDriver::PromptAnswer answering = AppDriver::PromptAnswer::allow;
    std::function<void(bool)> waiting;
    std::shared_ptr<HistoryRecorder> history;
    std::vector<std::string> shown;
    std::vector<std::function<void()>> activations;
};

// --- ScreenDriver ------------------------------------------------------------------------------

ScreenDriver::ScreenDriver(std::string name, Finder find, std::function<void()> settle)
    : name_(std::move(name)), find_(std::move(find)), settle_(std::move(settle)) {}

ui::ViewController& ScreenDriver::controller() const {
    const auto screen = find_();
    if (!screen || !screen->isOnScreen()) {
        cannot("the " + name_ + " screen is not on screen");
    }
    return *screen;
}

std::string ScreenDriver::title() const {
    return controller().title();
}

std::string ScreenDriver::barButtons() const {
    std::vector<std::string> bar, toolbar;
    for (const auto& [label, item, inToolbar] : barItems(controller())) {
        (inToolbar ? toolbar : bar).push_back(label);
    }
    const std::string shownBar = bar.empty() ? "" : "bar: " + joined(bar, ", ");
    return toolbar.empty()
               ? shownBar
               : shownBar + (bar.empty() ? "" : "; ") + "toolbar: " + joined(toolbar, ", ");
}

ui::TableViewController& ScreenDriver::table() const {
    auto* table = dynamic_cast<ui::TableViewController*>(&controller());
    if (!table) {
        cannot("the " + name_ + " screen has no rows");
    }
    return *table;
}

std::string ScreenDriver::rows() const {
    auto& tableView = table().tableView();
    std::vector<std::string> rows;
    for (const auto& path : tableView.indexPathsForVisibleRows()) {
        rows.push_back("[" + joined(textsIn(*tableView.cellForRowAtIndexPath(path)), " · ") + "]");
    }
    return joined(rows, " ");
}

std::string ScreenDriver::texts() const {
    return joined(textsIn(controller().view()), " / ");
}

ui::IndexPath ScreenDriver::rowShowing(std::string_view shown) const {
    auto& tableView = table().tableView();
    for (const auto& path : tableView.indexPathsForVisibleRows()) {
        const auto texts = textsIn(*tableView.cellForRowAtIndexPath(path));
        // Named by its first text that is not a button's.
        const auto name = std::find_if(texts.begin(), texts.end(), [](const std::string& text) {
            return !text.starts_with('[');
        });
        if (name != texts.end() && *name == shown) {
            return path;
        }
    }
    cannot("no row showing \"" + std::string(shown) + "\" on the " + name_ + " screen");
}

void ScreenDriver::tapBarButton(std::string_view shown, int taps) {
    for (const auto& bar : barItems(controller())) {
        if (bar.label == shown) {
            for (int tap = 0; tap < taps; ++tap) {
                bar.item->sendAction();
            }
            settle_();
            return;
        }
    }
    cannot("no bar button \"" + std::string(shown) + "\" on the " + name_ + " screen");
}

void ScreenDriver::tapRow(std::string_view shown, std::string_view part) {
    auto& tableView = table().tableView();
    const auto row = rowShowing(shown);
    if (part.empty()) {
        tableView.tapRow(row);
    } else if (part == "accessory") {
        tableView.tapAccessoryButton(row);
    } else if (part == "delete") {
        tableView.deleteRowWithEditingControl(row);
    } else {
        cannot("a row has no part \"" + std::string(part) + "\"");
    }
    settle_();
}

void ScreenDriver::dragRow(std::string_view shown, std::size_t toPosition) {
    table().tableView().dragRow(rowShowing(shown), ui::IndexPath{0, toPosition});
    settle_();
}

std::string ScreenDriver::swipeRow(std::string_view shown, std::string_view action) {
    auto& tableView = table().tableView();
    std::vector<std::string> titles;
    for (const auto& button : tableView.swipeRow(rowShowing(shown))) {
        titles.push_back(button->title());
    }
    settle_();
    if (action.empty()) {
        return joined(titles, ", ");
    }
    for (const auto& button : tableView.shownRowActions()) {
        if (button->title() == action) {
            tableView.tapRowAction(*button);
            settle_();
            return joined(titles, ", ");
        }
    }
    cannot("no row action \"" + std::string(action) + "\" is shown");
}

void ScreenDriver::tapTextView() {
    const auto area = findView<ui::TextView>(controller().view());
    if (!area || !area->becomeFirstResponder()) {
        cannot("no text view to type in on the " + name_ + " screen");
    }
    settle_();
}

void ScreenDriver::tapButton(std::string_view title, std::string_view row) {
    auto& within = row.empty() ? controller().view()
                               : *table().tableView().cellForRowAtIndexPath(rowShowing(row));
    const auto button = findView<ui::Button>(within, [title](ui::Button& button) {
        return button.title() == title || button.accessibilityLabel() == title;
    });
    if (!button) {
        cannot("no button \"" + std::string(title) + "\" " +
               (row.empty() ? "on the " + name_ + " screen"
                            : "in the row \"" + std::string(row) + "\""));
    }
    button->tap();
    settle_();
}

void ScreenDriver::goBack() {
    std::shared_ptr<ui::ViewController> child = find_();
    for (auto parent = child ? child->parentViewController() : nullptr; parent;
         child = parent, parent = parent->parentViewController()) {
        const auto navigation = std::dynamic_pointer_cast<ui::NavigationController>(parent);
        if (navigation && navigation->viewControllers().front() != child) {
            navigation->popViewController(true);
            settle_();
            return;
        }
    }
    cannot("no back button on the " + name_ + " screen");
}

void ScreenDriver::tapField(std::string_view shown) {
    // A visible text field showing `shown`: its text, else (when empty) its placeholder.
    const auto showing = [shown](ui::TextField& field) {
        return !field.isHidden() &&
               (field.text() == shown || (field.text().empty() && field.placeholder() == shown));
    };
    auto& screen = controller();
    auto field = findView<ui::TextField>(screen.view(), showing);
    if (auto* table = dynamic_cast<ui::TableViewController*>(&screen); table && !field) {
        for (const auto& path : table->tableView().indexPathsForVisibleRows()) {
            auto& cell = *table->tableView().cellForRowAtIndexPath(path);
            if ((field = findView<ui::TextField>(cell, showing))) {
                break;
            }
        }
    }
    if (!field || !field->becomeFirstResponder()) {
        cannot("no field showing \"" + std::string(shown) + "\" on the " + name_ + " screen");
    }
    settle_();
}

Date ScreenDriver::pickDate(std::optional<Date> date) {
    const auto picker = findView<ui::DatePicker>(controller().view());
    if (!picker) {
        cannot("no date picker on the " + name_ + " screen");
    }
    if (date) {
        picker->pick(*date);
        settle_();
    }
    return picker->date();
}

// --- AppDriver ---------------------------------------------------------------------------------

AppDriver::AppDriver()
    : dataFolder_(folder_.path() / "data"),
      defaultsFile_(folder_.path() / "config" / "defaults.json"),
      history_(std::make_shared<HistoryRecorder>()),
      notifications_(std::make_shared<PersonsNotifications>(history_)) {}

AppDriver::~AppDriver() {
    if (app_) {
        try {
            quit();
        } catch (const std::exception& error) {
            ADD_FAILURE() << "quitting: " << error.what();
        }
    }
    waitForTrackingAnswers();
}

void AppDriver::launch(ui::Size windowSize, std::shared_ptr<sync::CloudFileSystem> cloud) {
    LaunchSettings settings;
    settings.dataDirectory = dataFolder_;
    settings.resourceDirectory = AppPaths::resolve(std::nullopt).resourceDirectory;
    settings.cloudFileSystem = std::move(cloud);
    settings.clock = platform_.sharedClock();
    settings.runLoop = platform_.sharedLoop();
    settings.userDefaults = std::make_shared<UserDefaults>(defaultsFile_);
    settings.notificationPrompt = notifications_;
    settings.notificationPresenter = notifications_;
    settings.advertising = std::make_shared<ads::MobileAds>(
        ads::HouseAdNetworkOptions{settings.resourceDirectory / "ads", 1.0, 0.0, 7});
    settings.observer = history_;
    settings.windowSize = windowSize;
    app_ = JotwellApplication::launch(std::move(settings));
    settle();
}

void AppDriver::launchSignedIn(ui::Size windowSize) {
    launch(windowSize, cloud_.deviceView("here"));
    if (screens() == "Intro") {
        wait(QZIntroHomeViewController::recheckInterval);
        front().tapButton("Start");
    }
}

void AppDriver::quit() {
    settle();
    app_.reset();
}

JotwellApplication& AppDriver::app() {
    if (!app_) {
        cannot("the application is not running");
    }
    return *app_;
}

void AppDriver::setActive(bool active) {
    active ? app().application().becomeActive() : app().application().resignActive();
    settle();
}

void AppDriver::resize(ui::Size windowSize) {
    app().window().setSize(windowSize);
    settle();
}

void AppDriver::waitForTrackingAnswers() {
    // The tracking service answers one request at a time, in order, on its own thread: once a
    // request made now is answered, every earlier answer has been handled to its end. The
    // bound only keeps a broken build from hanging.
    auto answered = std::make_shared<std::promise<void>>();
    auto done = answered->get_future();
    ads::TrackingManager::requestTrackingAuthorization(
        [answered](ads::TrackingAuthorizationStatus) { answered->set_value(); });
    if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the tracking service did not answer";
    }
}

void AppDriver::settle() {
    // The screens' own work comes first, as on a device where it takes a moment and the
    // cloud takes longer: only then is the work on other threads waited for and its
    // completions run, until nothing more happens.
    for (int round = 0; round < 100; ++round) {
        int ran = platform_.loop().drain();
        waitForTrackingAnswers();
        if (!app_) {
            platform_.loop().drain();
            return;
        }
        app_->notificationCenter().waitUntilIdle();
        auto* db = model::sharedDatabase();
        if (db && db->ensemble()) {
            db->ensemble()->waitUntilIdle();
        }
        ran += platform_.loop().drain();
        if (ran == 0 && (!db || db->operationsInFlight() == 0)) {
            return;
        }
    }
    ADD_FAILURE() << "the application never settled";
}

void AppDriver::wait(double seconds) {
    platform_.loop().advance(seconds);
    settle();
}

ScreenDriver AppDriver::screen(std::string name, ScreenDriver::Finder find) {
    return ScreenDriver(std::move(name), std::move(find), [this] { settle(); });
}

ScreenDriver AppDriver::lists() {
    return screen("lists", [this]() -> std::shared_ptr<ui::ViewController> {
        const auto split =
            std::dynamic_pointer_cast<ui::SplitViewController>(app().window().rootViewController());
        const auto navigation =
            std::dynamic_pointer_cast<ui::NavigationController>(split->viewControllers().front());
        return navigation->viewControllers().front();
    });
}

ScreenDriver AppDriver::items() {
    return screen("items", [this]() -> std::shared_ptr<ui::ViewController> {
        for (const auto& screen : app().window().visibleViewControllers()) {
            if (std::dynamic_pointer_cast<DetailViewController>(screen)) {
                return screen;
            }
        }
        return nullptr;
    });
}

ScreenDriver AppDriver::front() {
    return screen("front", [this]() -> std::shared_ptr<ui::ViewController> {
        if (const auto presented = topPresented(app().window())) {
            return ui::topViewController(presented);
        }
        const auto visible = app().window().visibleViewControllers();
        return visible.empty() ? nullptr : visible.back();
    });
}

std::string AppDriver::screens() const {
    if (!app_) {
        return "";
    }
    std::string text;
    const ui::ViewController* currentLevel = nullptr;
    for (const auto& screen : app_->window().visibleViewControllers()) {
        if (isContainer(*screen)) {
            continue;
        }
        const auto* level = levelOf(*screen);
        if (!text.empty()) {
            text += level == currentLevel ? " | " : " > ";
        }
        currentLevel = level;
        text += screenName(*screen);
    }
    return text;
}

std::shared_ptr<ui::AlertController> AppDriver::frontAlert() const {
    return app_ ? std::dynamic_pointer_cast<ui::AlertController>(topPresented(app_->window()))
                : nullptr;
}

std::string AppDriver::alert() const {
    const auto alert = frontAlert();
    if (!alert) {
        return "";
    }
    std::vector<std::string> parts{
        (alert->preferredStyle() == ui::AlertControllerStyle::alert ? "alert " : "sheet ") +
        alert->title() + (alert->message().value_or("").empty() ? "" : ": " + *alert->message())};
    for (const auto& field : alert->textFields()) {
        parts.push_back("field \"" + field->text() + "\" (" + field->placeholder() + ")");
    }
    for (const auto& action : alert->actions()) {
        parts.push_back(action->title() +
                        (action->style() == ui::AlertActionStyle::cancel ? " (cancel)" : ""));
    }
    return joined(parts, " | ");
}

void AppDriver::tapAlertAction(std::string_view title) {
    const auto alert = frontAlert();
    if (!alert) {
        cannot("no alert or sheet shows");
    }
    for (const auto& action : alert->actions()) {
        if (action->title() == title) {
            alert->tapAction(*action);
            settle();
            return;
        }
    }
    cannot("the alert \"" + alert->title() + "\" has no button \"" + std::string(title) + "\"");
}

ui::KeyInput& AppDriver::focusedInput() {
    auto* input = dynamic_cast<ui::KeyInput*>(app().application().firstResponder().get());
    if (!input) {
        cannot("no field holds the keyboard focus");
    }
    return *input;
}

void AppDriver::type(std::string_view keys) {
    focusedInput().insertText(keys);
    settle();
}

void AppDriver::eraseText() {
    while (focusedInput().hasText()) {
        focusedInput().deleteBackward();
    }
    settle();
}

void AppDriver::scrollCarouselTo(std::size_t index) {
    const auto carousel = findView<ui::Carousel>(front().controller().view());
    if (!carousel) {
        cannot("no carousel on the screen in front");
    }
    carousel->scrollToItemAtIndex(index, true);
    settle();
}

std::string AppDriver::takeHistory() {
    auto events = std::move(history_->events);
    history_->events.clear();
    return joined(events, "\n");
}

std::vector<std::string> AppDriver::shownNotifications() const {
    return notifications_->shown;
}

void AppDriver::openNotification(std::size_t index) {
    if (index >= notifications_->activations.size()) {
        cannot("no notification " + std::to_string(index) + " was shown");
    }
    notifications_->activations[index]();
    settle();
}

std::vector<std::string> AppDriver::pendingNotifications() {
    // The answer comes on the centre's thread, and only after every request added before.
    auto answered = std::make_shared<std::promise<std::vector<PendingNotificationRequest>>>();
    auto answer = answered->get_future();
    app().notificationCenter().getPendingNotificationRequests(
        [answered](std::vector<PendingNotificationRequest> pending) {
            answered->set_value(std::move(pending));
        });
    settle();
    std::vector<std::string> lines;
    for (const auto& pending : answer.get()) {
        const auto& request = pending.request;
        lines.push_back(fmt::format("{}: {} at {} in {}s ({})", request.content.title,
                                    request.content.body, localDateText(pending.fireDate),
                                    request.trigger.timeInterval, request.identifier));
    }
    return lines;
}

void AppDriver::answerNotificationPrompts(PromptAnswer answer) {
    notifications_->answering = answer;
    if (answer != PromptAnswer::later && notifications_->waiting) {
        std::exchange(notifications_->waiting, nullptr)(answer == PromptAnswer::allow);
        settle();
    }
}

bool AppDriver::notificationPromptShows() const {
    return static_cast<bool>(notifications_->waiting);
}

// --- OtherDevice -------------------------------------------------------------------------------

OtherDevice::OtherDevice(AppDriver& app, const std::string& name) : app_(app) {
    model::JWDatabase::Locations where{app.dataFolder().parent_path() / name,
                                       AppPaths::resolve(std::nullopt).resourceDirectory};
    where.cloudFileSystem = app.cloud().deviceView(name);
    where.settings = &settings_;
    db_ = std::make_unique<model::JWDatabase>(where);
}

OtherDevice::~OtherDevice() = default;

void OtherDevice::sync() {
    db_->sync();
    for (int round = 0; round < 100; ++round) {
        db_->ensemble()->waitUntilIdle();
        if (app_.platform().loop().drain() == 0 && db_->operationsInFlight() == 0) {
            return;
        }
    }
    ADD_FAILURE() << "the other device never settled";
}

std::shared_ptr<model::List> OtherDevice::listNamed(const std::string& name) {
    for (const auto& list : model::listsInScreenOrder(*db_, settings_)) {
        if (list->name() == name) {
            return list;
        }
    }
    return nullptr;
}

}  // namespace jw::test
