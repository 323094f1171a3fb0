#include "frontends/qt/SceneBridge.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QMetaObject>

#include <algorithm>
#include <stdexcept>

#include "frontends/qt/HouseAdParts.h"
#include "platform/foundation/DebugLog.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bars.h"
#include "platform/ui/Button.h"
#include "platform/ui/Carousel.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/TableViewController.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"
#include "platform/ui/Window.h"
#include "src/app/AdScreenPresenter.h"
#include "src/lists/MasterViewController.h"
#include "src/model/ListsScreenHook.h"

namespace jw::qt {

namespace {

// Colours the platform draws with where the tree sets none.
const QColor defaultBarColor("#f7f7f7");
const QColor defaultTitleColor("#000000");
const QColor defaultTint("#007aff");
const QColor defaultBackground("#ffffff");

template <class T>
void assign(T& field, const T& value, bool& changed) {
    if (!(field == value)) {
        field = value;
        changed = true;
    }
}

// A person's action that the tree refuses (the control went away or is disabled now) is a
// miss: logged, nothing else.
template <class Call>
void attempt(const char* what, Call&& call) {
    try {
        call();
    } catch (const std::logic_error& error) {
        debugLog(std::string(what) + " not possible: " + error.what());
    }
}

QString systemItemLabel(ui::SystemItem item) {
    switch (item) {
        case ui::SystemItem::done:
            return QStringLiteral("Done");
        case ui::SystemItem::cancel:
            return QStringLiteral("Cancel");
        case ui::SystemItem::edit:
            return QStringLiteral("Edit");
        case ui::SystemItem::save:
            return QStringLiteral("Save");
        case ui::SystemItem::add:
            return QStringLiteral("Add");
        case ui::SystemItem::action:
            return QStringLiteral("Share");
        case ui::SystemItem::compose:
            return QStringLiteral("Compose");
        case ui::SystemItem::reply:
            return QStringLiteral("Reply");
        case ui::SystemItem::flexibleSpace:
        case ui::SystemItem::fixedSpace:
            return {};
    }
    return {};
}

QString systemItemName(ui::SystemItem item) {
    switch (item) {
        case ui::SystemItem::add:
            return QStringLiteral("add");
        case ui::SystemItem::action:
            return QStringLiteral("share");
        case ui::SystemItem::flexibleSpace:
            return QStringLiteral("flexibleSpace");
        case ui::SystemItem::fixedSpace:
            return QStringLiteral("fixedSpace");
        default:
            return QStringLiteral("text");
    }
}

QString alertStyleName(ui::AlertActionStyle style) {
    switch (style) {
        case ui::AlertActionStyle::cancel:
            return QStringLiteral("cancel");
        case ui::AlertActionStyle::destructive:
            return QStringLiteral("destructive");
        default:
            return QStringLiteral("default");
    }
}

}  // namespace

// --- The observer --------------------------------------------------------------------------

class SceneBridge::Reporter final : public ui::Observer {
  public:
    explicit Reporter(SceneBridge* bridge) : bridge_(bridge) {}
    void detach() { bridge_ = nullptr; }

    void viewDidChange(ui::View& view) override {
        if (bridge_) {
            bridge_->viewDidChange(view);
        }
    }
    void tableViewDidUpdate(ui::TableView& table, const ui::TableUpdate& update) override {
        if (bridge_) {
            bridge_->tableViewDidUpdate(table, update);
        }
    }
    void viewControllerDidChange(ui::ViewController&) override { changed(); }
    void barButtonItemDidChange(ui::BarButtonItem&) override { changed(); }
    void containerDidChange(ui::ViewController&) override { changed(); }
    void didPresent(ui::ViewController&, ui::ViewController&, bool) override { changed(); }
    void didDismiss(ui::ViewController&, ui::ViewController&, bool) override { changed(); }
    void firstResponderDidChange(ui::Responder* responder) override {
        if (bridge_) {
            bridge_->firstResponderDidChange(responder);
        }
    }
    void applicationDidChange(ui::Application&) override { changed(); }
    void openURL(const ui::Url& url) override {
        if (bridge_) {
            emit bridge_->urlOpened(QString::fromStdString(url.absoluteString));
        }
    }

  private:
    void changed() {
        if (bridge_) {
            bridge_->scheduleRefresh();
        }
    }
    SceneBridge* bridge_;
};

// --- ScreenObject --------------------------------------------------------------------------

ScreenObject::ScreenObject(std::shared_ptr<ui::ViewController> controller, SceneBridge& bridge)
    : QObject(&bridge), controller_(controller), bridge_(bridge) {}

std::shared_ptr<ui::Carousel> ScreenObject::carousel() const {
    const auto controller = this->controller();
    if (!controller || !controller->isViewLoaded()) {
        return nullptr;
    }
    for (const auto& subview : controller->view().subviews()) {
        if (auto carousel = std::dynamic_pointer_cast<ui::Carousel>(subview)) {
            return carousel;
        }
    }
    return nullptr;
}

void ScreenObject::refresh() {
    const auto controller = this->controller();
    if (!controller) {
        return;
    }
    bool changed = false;
    auto& view = controller->view();
    QString kind = QStringLiteral("plain");
    TableModel* table = nullptr;
    QVariantList header;
    double headerHeight = 0;
    QVariantList views;
    if (auto* tableController = dynamic_cast<ui::TableViewController*>(controller.get())) {
        kind = QStringLiteral("table");
        auto& tableView = tableController->tableView();
        table = bridge_.tableModelFor(
            std::static_pointer_cast<ui::TableView>(tableView.shared_from_this()));
        // The header scrolls with the rows (the ListView's header); other views stay put.
        const auto headerView = tableView.tableHeaderView();
        if (headerView && !headerView->isHidden()) {
            header = describeSubviews(*headerView, bridge_.images(), bridge_.handles());
            headerHeight = headerView->frame().size.height;
        }
        for (const auto& subview : tableView.subviews()) {
            if (subview != headerView) {
                for (auto& part : describeSubviews(*subview, bridge_.images(), bridge_.handles())) {
                    auto map = part.toMap();
                    map["x"] = map["x"].toDouble() + subview->frame().origin.x;
                    map["y"] = map["y"].toDouble() + subview->frame().origin.y;
                    views.push_back(map);
                }
            }
        }
    } else {
        views = describeSubviews(view, bridge_.images(), bridge_.handles());
    }
    QVariantList colors;
    int index = 0;
    double spacing = 0;
    if (const auto carousel = this->carousel()) {
        kind = QStringLiteral("carousel");
        for (std::size_t i = 0; i < carousel->numberOfItems(); ++i) {
            const auto item = carousel->itemViewAtIndex(i);
            colors.push_back(item ? toQColor(item->backgroundColor()) : QColor());
        }
        index = static_cast<int>(carousel->currentItemIndex());
        spacing = carousel->itemWidth();
    }
    QColor background = toQColor(view.backgroundColor());
    if (!background.isValid()) {
        background = defaultBackground;
    }
    assign(kind_, kind, changed);
    assign(title_, QString::fromStdString(controller->title()), changed);
    assign(background_, background, changed);
    if (table_ != table) {
        table_ = table;
        changed = true;
    }
    assign(views_, views, changed);
    assign(header_, header, changed);
    assign(headerHeight_, headerHeight, changed);
    assign(carouselColors_, colors, changed);
    assign(carouselIndex_, index, changed);
    assign(carouselSpacing_, spacing, changed);
    if (changed) {
        emit this->changed();
    }
}

void ScreenObject::scrollCarouselTo(int index) {
    const auto carousel = this->carousel();
    if (!carousel || index < 0 || static_cast<std::size_t>(index) >= carousel->numberOfItems()) {
        return;
    }
    if (carousel->currentItemIndex() != static_cast<std::size_t>(index)) {
        carousel->scrollToItemAtIndex(static_cast<std::size_t>(index), true);
    }
    bridge_.refresh();
}

// --- ColumnObject --------------------------------------------------------------------------

ColumnObject::ColumnObject(std::shared_ptr<ui::ViewController> controller, SceneBridge& bridge)
    : QObject(&bridge), controller_(controller), bridge_(bridge) {}

std::shared_ptr<ui::NavigationController> ColumnObject::stackToPop() const {
    const auto top = ui::topViewController(controller_.lock());
    if (!top) {
        return nullptr;
    }
    // The stack holding the top screen first, then the stack that holds that stack (a
    // collapsed split view pushes the items' stack onto the lists').
    for (auto stack = top->navigationController(); stack;) {
        if (stack->viewControllers().size() > 1) {
            return stack;
        }
        const auto parent = stack->parentViewController();
        stack = parent ? std::dynamic_pointer_cast<ui::NavigationController>(parent) : nullptr;
    }
    return nullptr;
}

void ColumnObject::refresh() {
    const auto controller = controller_.lock();
    if (!controller) {
        return;
    }
    bool changed = false;
    const auto top = ui::topViewController(controller);
    ScreenObject* screen = top ? bridge_.screenFor(top) : nullptr;
    if (screen_ != screen) {
        screen_ = screen;
        changed = true;
    }
    if (screen) {
        screen->refresh();
    }
    const auto outer = std::dynamic_pointer_cast<ui::NavigationController>(controller);
    const auto inner = top ? top->navigationController() : nullptr;
    const bool barVisible =
        outer && !outer->isNavigationBarHidden() && inner && !inner->isNavigationBarHidden();
    assign(barVisible_, barVisible, changed);
    QColor barColor = defaultBarColor, titleColor = defaultTitleColor, tint = defaultTint;
    QVariantList left, right, toolbar;
    QString backTitle;
    bool toolbarVisible = false;
    QColor toolbarColor = defaultBarColor, toolbarTint = defaultTint;
    if (inner && top) {
        auto& bar = inner->navigationBar();
        if (const auto& look = bar.standardAppearance(); look && look->backgroundColor) {
            barColor = toQColor(look->backgroundColor);
        } else if (bar.barTintColor()) {
            barColor = toQColor(bar.barTintColor());
        }
        if (const auto& look = bar.standardAppearance();
            look && look->titleTextAttributes.foregroundColor) {
            titleColor = toQColor(look->titleTextAttributes.foregroundColor);
        }
        if (bar.tintColor()) {
            tint = toQColor(bar.tintColor());
        }
        auto& item = top->navigationItem();
        // The split view's own button has nothing to do while one column shows.
        const auto split = top->splitViewController();
        const bool columnsButtonShown = !split || !split->isCollapsed();
        const auto shownItem = [&](const std::shared_ptr<ui::BarButtonItem>& button) {
            return button &&
                   (columnsButtonShown || !split || split->displayModeButtonItem() != button);
        };
        if (shownItem(item.leftBarButtonItem())) {
            left.push_back(bridge_.describeBarItem(item.leftBarButtonItem(), *top));
        }
        if (shownItem(item.rightBarButtonItem())) {
            right.push_back(bridge_.describeBarItem(item.rightBarButtonItem(), *top));
        }
        if (!shownItem(item.leftBarButtonItem()) || item.leftItemsSupplementBackButton()) {
            if (const auto stack = stackToPop()) {
                const auto& screens = stack->viewControllers();
                const auto previous = ui::topViewController(screens[screens.size() - 2]);
                backTitle = QString::fromStdString(previous->title());
                if (backTitle.isEmpty()) {
                    backTitle = QStringLiteral("Back");
                }
            }
        }
        toolbarVisible = !inner->isToolbarHidden() && !top->toolbarItems().empty();
        for (const auto& button : top->toolbarItems()) {
            toolbar.push_back(bridge_.describeBarItem(button, *top));
        }
        if (inner->toolbar().barTintColor()) {
            toolbarColor = toQColor(inner->toolbar().barTintColor());
        }
        if (inner->toolbar().tintColor()) {
            toolbarTint = toQColor(inner->toolbar().tintColor());
        }
    }
    assign(title_, top ? QString::fromStdString(top->title()) : QString(), changed);
    assign(barColor_, barColor, changed);
    assign(titleColor_, titleColor, changed);
    assign(barTint_, tint, changed);
    assign(backTitle_, backTitle, changed);
    assign(leftItems_, left, changed);
    assign(rightItems_, right, changed);
    assign(toolbarVisible_, toolbarVisible, changed);
    assign(toolbarItems_, toolbar, changed);
    assign(toolbarColor_, toolbarColor, changed);
    assign(toolbarTint_, toolbarTint, changed);
    if (changed) {
        emit this->changed();
    }
}

void ColumnObject::goBack() {
    if (const auto stack = stackToPop()) {
        stack->popViewController(true);
    }
    bridge_.refresh();
}

// --- SceneBridge ---------------------------------------------------------------------------

SceneBridge::SceneBridge(QObject* parent)
    : QObject(parent),
      observer_(std::make_shared<Reporter>(this)),
      images_(std::make_shared<ImageStore>()) {}

std::shared_ptr<ui::Observer> SceneBridge::observer() const {
    return observer_;
}

SceneBridge::~SceneBridge() {
    observer_->detach();
}

void SceneBridge::scheduleRefresh() {
    if (refreshScheduled_) {
        return;
    }
    refreshScheduled_ = true;
    // After the event that changed the tree: the tree may not be read half-way through a change,
    // and one refresh covers all the reports of one event.
    QMetaObject::invokeMethod(this, &SceneBridge::refresh, Qt::QueuedConnection);
}

void SceneBridge::viewDidChange(ui::View& view) {
    std::shared_ptr<ui::View> top = std::static_pointer_cast<ui::View>(view.shared_from_this());
    while (const auto parent = top->superview()) {
        top = parent;
    }
    if (const auto cell = std::dynamic_pointer_cast<ui::TableViewCell>(top)) {
        dirtyCells_.push_back(cell);
    } else if (const auto table = std::dynamic_pointer_cast<ui::TableView>(top);
               table && table.get() == &view) {
        dirtyTables_.push_back(table);
    }
    scheduleRefresh();
}

void SceneBridge::tableViewDidUpdate(ui::TableView& table, const ui::TableUpdate& update) {
    // Insertions and removals go to the model at once: the rows the model counts must follow
    // the table's batch by batch.
    for (const auto& model : tables_) {
        if (model && model->holds(table)) {
            model->applyUpdate(update);
        }
    }
    scheduleRefresh();
}

void SceneBridge::firstResponderDidChange(ui::Responder* responder) {
    int handle = -1;
    if (responder) {
        handle = handles_.handleFor(responder->shared_from_this());
    }
    if (handle != focusedHandle_) {
        focusedHandle_ = handle;
        emit focusChanged();
    }
    scheduleRefresh();
}

ScreenObject* SceneBridge::screenFor(const std::shared_ptr<ui::ViewController>& controller) {
    auto& slot = screens_[controller.get()];
    if (!slot || !slot->isAlive() || slot->controller() != controller) {
        slot = new ScreenObject(controller, *this);
    }
    return slot;
}

ColumnObject* SceneBridge::columnFor(const std::shared_ptr<ui::ViewController>& controller) {
    auto& slot = columns_[controller.get()];
    if (!slot || !slot->isAlive()) {
        slot = new ColumnObject(controller, *this);
    }
    return slot;
}

TableModel* SceneBridge::tableModelFor(const std::shared_ptr<ui::TableView>& table) {
    for (const auto& model : tables_) {
        if (model && model->holds(*table)) {
            return model;
        }
    }
    auto* model = new TableModel(table, *images_, handles_, this);
    tables_.push_back(model);
    return model;
}

QVariantMap SceneBridge::describeBarItem(const std::shared_ptr<ui::BarButtonItem>& item,
                                         const ui::ViewController& owner) {
    QVariantMap entry;
    entry["handle"] = handles_.handleFor(item);
    entry["enabled"] = item->isEnabled();
    entry["bold"] = item->style() == ui::BarButtonItemStyle::done;
    QString kind = QStringLiteral("text");
    QString label = QString::fromStdString(item->title());
    if (const auto split = owner.splitViewController();
        split && split->displayModeButtonItem() == item) {
        kind = QStringLiteral("columns");
        label = QStringLiteral("Columns");
    } else if (item->systemItem()) {
        kind = systemItemName(*item->systemItem());
        label = systemItemLabel(*item->systemItem());
        entry["bold"] = item->systemItem() == ui::SystemItem::done ||
                        item->systemItem() == ui::SystemItem::save;
    }
    entry["kind"] = kind;
    entry["label"] = label;
    return entry;
}

QVariantMap SceneBridge::describePresented(const std::shared_ptr<ui::ViewController>& controller) {
    QVariantMap entry;
    const auto window = controller->window();
    const bool wide = window && window->horizontalSizeClass() == ui::SizeClass::regular;
    entry["wide"] = wide;
    if (const auto ad = std::dynamic_pointer_cast<HouseAdViewController>(controller)) {
        entry.insert(describeHouseAd(*ad, *images_, handles_));
        return entry;
    }
    if (const auto alert = std::dynamic_pointer_cast<ui::AlertController>(controller)) {
        const bool sheet = alert->preferredStyle() == ui::AlertControllerStyle::actionSheet;
        entry["kind"] = sheet ? QStringLiteral("sheet") : QStringLiteral("alert");
        entry["title"] = alert->hasTitle() ? QString::fromStdString(alert->title()) : QString();
        entry["message"] = alert->message() ? QString::fromStdString(*alert->message()) : QString();
        QVariantList fields;
        for (const auto& field : alert->textFields()) {
            QVariantMap f;
            f["handle"] = handles_.handleFor(std::static_pointer_cast<ui::Responder>(field));
            f["placeholder"] = QString::fromStdString(field->placeholder());
            fields.push_back(f);
        }
        entry["fields"] = fields;
        QVariantList actions;
        for (const auto& action : alert->actions()) {
            QVariantMap a;
            a["handle"] = handles_.handleFor(action);
            a["title"] = QString::fromStdString(action->title());
            a["style"] = alertStyleName(action->style());
            a["enabled"] = action->isEnabled();
            a["preferred"] = alert->preferredAction() == action;
            actions.push_back(a);
        }
        entry["actions"] = actions;
        // Where a sheet shown beside its button points: which column (0 the lists, 1 the
        // items), the bar holding the button ("bar" at the top, "toolbar" at the bottom) and
        // the button's place along it, from 0 (left) to 1 (right).
        if (const auto* popover = alert->popoverPresentationController();
            popover && popover->barButtonItem()) {
            const int anchor = handles_.handleFor(popover->barButtonItem());
            int columnIndex = 0;
            for (const auto* column : {primary_.data(), secondary_.data()}) {
                if (column) {
                    const auto place = [&](const QVariantList& items, const char* bar, double from,
                                           double to) {
                        for (int i = 0; i < items.size(); ++i) {
                            if (items[i].toMap()["handle"].toInt() == anchor) {
                                entry["anchorColumn"] = columnIndex;
                                entry["anchorBar"] = QString::fromUtf8(bar);
                                entry["anchorAlong"] =
                                    items.size() > 1 ? from + (to - from) * i / (items.size() - 1)
                                                     : from;
                            }
                        }
                    };
                    place(column->leftItems(), "bar", 0.0, 0.0);
                    place(column->rightItems(), "bar", 1.0, 1.0);
                    place(column->toolbarItems(), "toolbar", 0.0, 1.0);
                }
                ++columnIndex;
            }
        }
        return entry;
    }
    if (const auto share = std::dynamic_pointer_cast<ui::ActivityViewController>(controller)) {
        entry["kind"] = QStringLiteral("share");
        entry["text"] = QString::fromStdString(share->sharedText());
        // The activities offered, by kind ("copy", "save", "print", "mail") and title.
        QVariantList activities;
        for (const auto type : share->availableActivities()) {
            static const std::map<ui::ActivityType, QString> kinds{
                {ui::ActivityType::copyToPasteboard, QStringLiteral("copy")},
                {ui::ActivityType::saveToFile, QStringLiteral("save")},
                {ui::ActivityType::print, QStringLiteral("print")},
                {ui::ActivityType::mail, QStringLiteral("mail")},
            };
            activities.push_back(QVariantMap{
                {QStringLiteral("kind"), kinds.at(type)},
                {QStringLiteral("title"), QString::fromStdString(ui::activityTitle(type))}});
        }
        entry["activities"] = activities;
        return entry;
    }
    entry["kind"] = QStringLiteral("screen");
    auto* column = columnFor(controller);
    column->refresh();
    entry["column"] = QVariant::fromValue<QObject*>(column);
    entry["fullScreen"] =
        ui::hidesPresentingScreens(controller->modalPresentationStyle()) ||
        controller->modalPresentationStyle() == ui::ModalPresentationStyle::overFullScreen;
    return entry;
}

void SceneBridge::refresh() {
    refreshScheduled_ = false;
    const auto& window = ui::Application::shared().window();
    if (!window) {
        return;
    }
    // Rows first: the cells that changed, then the tables that scrolled or laid out anew.
    for (const auto& weak : std::exchange(dirtyCells_, {})) {
        if (const auto cell = weak.lock()) {
            for (const auto& model : tables_) {
                if (model && model->cellDidChange(*cell)) {
                    break;
                }
            }
        }
    }
    for (const auto& weak : std::exchange(dirtyTables_, {})) {
        if (const auto table = weak.lock()) {
            for (const auto& model : tables_) {
                if (model && model->holds(*table)) {
                    model->tableDidChange();
                }
            }
        }
    }

    ColumnObject* primary = nullptr;
    ColumnObject* secondary = nullptr;
    const auto root = window->rootViewController();
    if (const auto split = std::dynamic_pointer_cast<ui::SplitViewController>(root)) {
        const auto columns = split->viewControllers();
        if (!columns.empty()) {
            primary = columnFor(columns.front());
        }
        if (columns.size() > 1 && !split->isCollapsed()) {
            secondary = columnFor(columns.back());
        }
    } else if (root) {
        primary = columnFor(root);
    }
    if (primary) {
        primary->refresh();
    }
    if (secondary) {
        secondary->refresh();
    }
    if (primary_ != primary || secondary_ != secondary) {
        primary_ = primary;
        secondary_ = secondary;
        emit columnsChanged();
    }

    QVariantList presented;
    for (auto level = root ? root->presentedViewController() : nullptr; level;
         level = level->presentedViewController()) {
        presented.push_back(describePresented(level));
    }
    // Screens presented elsewhere than over the root (over a column) follow theirs.
    for (auto* column : {primary, secondary}) {
        if (!column || !column->screen()) {
            continue;
        }
        const auto shown = static_cast<ScreenObject*>(column->screen())->controller();
        if (shown && shown->presentedViewController() &&
            (!root || shown->presentedViewController() != root->presentedViewController())) {
            for (auto level = shown->presentedViewController(); level;
                 level = level->presentedViewController()) {
                presented.push_back(describePresented(level));
            }
        }
    }
    if (presented != presented_) {
        presented_ = presented;
        emit presentedChanged();
    }
    ++revision_;
    emit revisionChanged();
    prune();
}

void SceneBridge::prune() {
    for (auto it = screens_.begin(); it != screens_.end();) {
        if (!it->second || !it->second->isAlive()) {
            if (it->second) {
                it->second->deleteLater();
            }
            it = screens_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto it = columns_.begin(); it != columns_.end();) {
        if (!it->second || !it->second->isAlive()) {
            if (it->second) {
                it->second->deleteLater();
            }
            it = columns_.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(tables_, [](const QPointer<TableModel>& model) {
        if (model && !model->isAlive()) {
            model->deleteLater();
            return true;
        }
        return !model;
    });
    handles_.prune();
}

// --- What a person does ---------------------------------------------------------------------

void SceneBridge::tapBarItem(int handle) {
    if (const auto item = handles_.find<ui::BarButtonItem>(handle)) {
        attempt("bar button", [&] { item->sendAction(); });
    }
    refresh();
}

void SceneBridge::tapButton(int handle) {
    if (const auto button = handles_.findView<ui::Button>(handle)) {
        attempt("button", [&] { button->tap(); });
    }
    refresh();
}

void SceneBridge::tapAlertAction(int handle) {
    const auto action = handles_.find<ui::AlertAction>(handle);
    if (!action) {
        return;
    }
    // The alert showing it: the presented controller that lists it.
    const auto& window = ui::Application::shared().window();
    for (auto level = window ? window->rootViewController() : nullptr; level;
         level = level->presentedViewController()) {
        if (const auto alert = std::dynamic_pointer_cast<ui::AlertController>(level)) {
            const auto& actions = alert->actions();
            if (std::find(actions.begin(), actions.end(), action) != actions.end()) {
                attempt("alert action", [&] { alert->tapAction(*action); });
                break;
            }
        }
    }
    refresh();
}

namespace {

std::shared_ptr<ui::Responder> responderFor(Handles& handles, int handle) {
    return handles.find<ui::Responder>(handle);
}

ui::KeyInput* keyInputOf(ui::Responder& responder) {
    return dynamic_cast<ui::KeyInput*>(&responder);
}

std::string textOf(ui::Responder& responder) {
    if (auto* field = dynamic_cast<ui::TextField*>(&responder)) {
        return field->text();
    }
    if (auto* textView = dynamic_cast<ui::TextView*>(&responder)) {
        return textView->text();
    }
    return {};
}

}  // namespace

void SceneBridge::focusField(int handle) {
    qmlFocusedHandle_ = handle;
    if (const auto responder = responderFor(handles_, handle);
        responder && !responder->isFirstResponder()) {
        responder->becomeFirstResponder();
    }
}

void SceneBridge::blurField(int handle) {
    if (qmlFocusedHandle_ == handle) {
        qmlFocusedHandle_ = -1;
    }
    // Decided once the focus has settled: while a screen moves from one column to the other
    // (a resize), the field is drawn twice for a moment and the focus passes from one drawing
    // to the other; the field keeps editing then.
    QMetaObject::invokeMethod(
        this,
        [this, handle] {
            if (qmlFocusedHandle_ == handle) {
                return;
            }
            if (const auto responder = responderFor(handles_, handle);
                responder && responder->isFirstResponder()) {
                responder->resignFirstResponder();
            }
        },
        Qt::QueuedConnection);
}

void SceneBridge::editField(int handle, const QString& text) {
    const auto responder = responderFor(handles_, handle);
    if (!responder) {
        return;
    }
    if (!responder->isFirstResponder() && !responder->becomeFirstResponder()) {
        return;
    }
    auto* input = keyInputOf(*responder);
    if (!input) {
        return;
    }
    // Typing is what differs from the text the field has: backspaces back to the common start,
    // then the rest, as keys.
    const QString current = QString::fromStdString(textOf(*responder));
    int common = 0;
    while (common < current.size() && common < text.size() && current[common] == text[common]) {
        ++common;
    }
    const auto removed = current.mid(common).toUcs4().size();
    for (qsizetype i = 0; i < removed; ++i) {
        input->deleteBackward();
    }
    const QString added = text.mid(common);
    if (!added.isEmpty() && responder->isFirstResponder()) {
        input->insertText(added.toStdString());
    }
    ++revision_;
    emit revisionChanged();
}

void SceneBridge::pressReturn(int handle) {
    const auto responder = responderFor(handles_, handle);
    if (!responder || (!responder->isFirstResponder() && !responder->becomeFirstResponder())) {
        return;
    }
    if (auto* input = keyInputOf(*responder)) {
        input->insertText("\n");
    }
    refresh();
}

QString SceneBridge::fieldText(int handle) const {
    const auto responder = const_cast<Handles&>(handles_).find<ui::Responder>(handle);
    return responder ? QString::fromStdString(textOf(*responder)) : QString();
}

void SceneBridge::pickDate(int handle, const QDateTime& date) {
    if (const auto picker = handles_.findView<ui::DatePicker>(handle)) {
        attempt("date picker", [&] {
            picker->pick(Date::fromSeconds(static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0));
        });
    }
    refresh();
}

void SceneBridge::dismissPresented() {
    const auto& window = ui::Application::shared().window();
    std::shared_ptr<ui::ViewController> top;
    for (auto level = window ? window->rootViewController() : nullptr; level;
         level = level->presentedViewController()) {
        top = level;
    }
    if (!top || top == window->rootViewController()) {
        return;
    }
    // An alert closes only through its buttons: its cancel button, if it has one.
    if (const auto alert = std::dynamic_pointer_cast<ui::AlertController>(top)) {
        for (const auto& action : alert->actions()) {
            if (action->style() == ui::AlertActionStyle::cancel) {
                attempt("cancel", [&] { alert->tapAction(*action); });
            }
        }
    } else if (const auto share = std::dynamic_pointer_cast<ui::ActivityViewController>(top)) {
        // Closed without an activity: the sheet tells its completion so.
        share->finish(std::nullopt, false);
    } else if (const auto ad = std::dynamic_pointer_cast<HouseAdViewController>(top)) {
        // Escape closes an ad as its close button does, telling the pacer the same way.
        if (const auto close = ad->closeButton.lock()) {
            attempt("close the ad", [&] { close->tap(); });
        }
    } else if (const auto screen = ui::topViewController(top)) {
        // A presented screen closes through its Cancel button, so it hears a cancel.
        auto& item = screen->navigationItem();
        for (const auto& button : {item.leftBarButtonItem(), item.rightBarButtonItem()}) {
            if (button && button->systemItem() == ui::SystemItem::cancel && button->isEnabled()) {
                attempt("cancel", [&] { button->sendAction(); });
                break;
            }
        }
    }
    refresh();
}

void SceneBridge::startNewList() {
    const auto& window = ui::Application::shared().window();
    if (!window || !window->rootViewController() ||
        window->rootViewController()->presentedViewController()) {
        return;
    }
    auto* lists = dynamic_cast<MasterViewController*>(model::listsScreen());
    if (const auto add = lists ? lists->navigationItem().rightBarButtonItem() : nullptr;
        add && add->isEnabled()) {
        attempt("new list", [&] { add->sendAction(); });
    }
    refresh();
}

void SceneBridge::setWindowSize(double width, double height) {
    const auto& window = ui::Application::shared().window();
    if (!window || width <= 0 || height <= 0) {
        return;
    }
    const ui::Size size{width, height};
    if (window->size() != size) {
        window->setSize(size);
        refresh();
    }
}

void SceneBridge::setWindowActive(bool active) {
    if (active == windowActive_) {
        return;
    }
    windowActive_ = active;
    auto& application = ui::Application::shared();
    if (active) {
        application.becomeActive();
    } else {
        application.resignActive();
    }
}

}  // namespace jw::qt
