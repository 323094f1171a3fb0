#pragma once
// The front end's one observer of the user-interface tree, and what QML binds to.
//
// platform/ui reports every change to the Observer here; the bridge gathers them and, once the
// current event is over (a queued call), brings its QML-facing objects up to date, emitting
// change signals only for what changed:
// - ScreenObject: one per screen (view controller) on screen: its kind ("table", "carousel" or
//   "plain"), title, background, the table's model and header, the parts its own views show;
// - ColumnObject: one per column of the window (a navigation stack, or a bare screen): the
//   screen on top and the bars over it, in the colours the bars were given;
// - the bridge itself: the window's columns (primary, and secondary while the split view is
//   expanded), the presentations over them (alerts, action sheets, the share sheet, screens)
//   and the field that holds the keyboard focus.
// Rows of tables go through TableModel, cell by cell, without rebuilding anything else.
//
// What a person does comes back through the invokables, each one the same call a test makes
// (tests/support/AppDriver.cpp): Button::tap, BarButtonItem::sendAction,
// AlertController::tapAction, becomeFirstResponder and insertText, the back button's pop, the
// carousel's animated scroll. Objects are named by handles (ViewParts.h); a handle whose object
// is gone, or a control a person could not reach now, does nothing (logged): a tap that misses.
//
// Main thread only. The bridge owns its objects; the tree is held weakly.

#include <QObject>
#include <QPointer>
#include <QVariantList>

#include <map>
#include <memory>
#include <vector>

#include "frontends/qt/TableModel.h"
#include "frontends/qt/ViewParts.h"
#include "platform/ui/Observer.h"
#include "platform/ui/ViewController.h"

namespace jw::ui {
class Carousel;
class NavigationController;
class TableViewCell;
}  // namespace jw::ui

namespace jw::qt {

class SceneBridge;

class ScreenObject final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString kind READ kind NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QColor background READ background NOTIFY changed)
    Q_PROPERTY(QObject* table READ table NOTIFY changed)
    Q_PROPERTY(QVariantList views READ views NOTIFY changed)
    Q_PROPERTY(QVariantList header READ header NOTIFY changed)
    Q_PROPERTY(double headerHeight READ headerHeight NOTIFY changed)
    Q_PROPERTY(QVariantList carouselColors READ carouselColors NOTIFY changed)
    Q_PROPERTY(int carouselIndex READ carouselIndex NOTIFY changed)
    Q_PROPERTY(double carouselSpacing READ carouselSpacing NOTIFY changed)
  public:
    ScreenObject(std::shared_ptr<ui::ViewController> controller, SceneBridge& bridge);

    QString kind() const { return kind_; }
    QString title() const { return title_; }
    QColor background() const { return background_; }
    QObject* table() const { return table_; }
    QVariantList views() const { return views_; }
    QVariantList header() const { return header_; }
    double headerHeight() const { return headerHeight_; }
    QVariantList carouselColors() const { return carouselColors_; }
    int carouselIndex() const { return carouselIndex_; }
    double carouselSpacing() const { return carouselSpacing_; }

    bool isAlive() const { return !controller_.expired(); }
    std::shared_ptr<ui::ViewController> controller() const { return controller_.lock(); }
    TableModel* tableModel() const { return table_; }
    void refresh();

    // A person's swipe on the carousel, coming to rest on `index`.
    Q_INVOKABLE void scrollCarouselTo(int index);

  signals:
    void changed();

  private:
    std::shared_ptr<ui::Carousel> carousel() const;

    std::weak_ptr<ui::ViewController> controller_;
    SceneBridge& bridge_;
    QString kind_;
    QString title_;
    QColor background_;
    QPointer<TableModel> table_;
    QVariantList views_;
    QVariantList header_;
    double headerHeight_ = 0;
    QVariantList carouselColors_;
    int carouselIndex_ = 0;
    double carouselSpacing_ = 0;
};

class ColumnObject final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* screen READ screen NOTIFY changed)
    Q_PROPERTY(bool barVisible READ barVisible NOTIFY changed)
    Q_PROPERTY(QString title READ title NOTIFY changed)
    Q_PROPERTY(QColor barColor READ barColor NOTIFY changed)
    Q_PROPERTY(QColor titleColor READ titleColor NOTIFY changed)
    Q_PROPERTY(QColor barTint READ barTint NOTIFY changed)
    Q_PROPERTY(QString backTitle READ backTitle NOTIFY changed)
    Q_PROPERTY(QVariantList leftItems READ leftItems NOTIFY changed)
    Q_PROPERTY(QVariantList rightItems READ rightItems NOTIFY changed)
    Q_PROPERTY(bool toolbarVisible READ toolbarVisible NOTIFY changed)
    Q_PROPERTY(QVariantList toolbarItems READ toolbarItems NOTIFY changed)
    Q_PROPERTY(QColor toolbarColor READ toolbarColor NOTIFY changed)
    Q_PROPERTY(QColor toolbarTint READ toolbarTint NOTIFY changed)
  public:
    ColumnObject(std::shared_ptr<ui::ViewController> controller, SceneBridge& bridge);

    QObject* screen() const { return screen_; }
    bool barVisible() const { return barVisible_; }
    QString title() const { return title_; }
    QColor barColor() const { return barColor_; }
    QColor titleColor() const { return titleColor_; }
    QColor barTint() const { return barTint_; }
    QString backTitle() const { return backTitle_; }
    QVariantList leftItems() const { return leftItems_; }
    QVariantList rightItems() const { return rightItems_; }
    bool toolbarVisible() const { return toolbarVisible_; }
    QVariantList toolbarItems() const { return toolbarItems_; }
    QColor toolbarColor() const { return toolbarColor_; }
    QColor toolbarTint() const { return toolbarTint_; }

    bool isAlive() const { return !controller_.expired(); }
    void refresh();

    // The back button: pops the innermost stack that can go back.
    Q_INVOKABLE void goBack();

  signals:
    void changed();

  private:
    std::shared_ptr<ui::NavigationController> stackToPop() const;

    std::weak_ptr<ui::ViewController> controller_;
    SceneBridge& bridge_;
    QPointer<ScreenObject> screen_;
    bool barVisible_ = false;
    QString title_;
    QColor barColor_;
    QColor titleColor_;
    QColor barTint_;
    QString backTitle_;
    QVariantList leftItems_;
    QVariantList rightItems_;
    bool toolbarVisible_ = false;
    QVariantList toolbarItems_;
    QColor toolbarColor_;
    QColor toolbarTint_;
};

class SceneBridge final : public QObject {
    Q_OBJECT
    Q_PROPERTY(QObject* primary READ primary NOTIFY columnsChanged)
    Q_PROPERTY(QObject* secondary READ secondary NOTIFY columnsChanged)
    Q_PROPERTY(QVariantList presented READ presented NOTIFY presentedChanged)
    Q_PROPERTY(int focusedHandle READ focusedHandle NOTIFY focusChanged)
    Q_PROPERTY(int revision READ revision NOTIFY revisionChanged)
  public:
    explicit SceneBridge(QObject* parent = nullptr);
    ~SceneBridge() override;

    // The observer to hand to the application; it reports to this bridge while both live.
    std::shared_ptr<ui::Observer> observer() const;
    const std::shared_ptr<ImageStore>& imageStore() const { return images_; }

    QObject* primary() const { return primary_; }
    QObject* secondary() const { return secondary_; }
    QVariantList presented() const { return presented_; }
    int focusedHandle() const { return focusedHandle_; }
    // Counts the changes of view contents; bindings that read through handles depend on it.
    int revision() const { return revision_; }

    // Brings everything up to date now (also run by itself after every reported change).
    Q_INVOKABLE void refresh();

    // --- What a person does ---
    Q_INVOKABLE void tapBarItem(int handle);
    Q_INVOKABLE void tapButton(int handle);
    Q_INVOKABLE void tapAlertAction(int handle);
    // A field took the keyboard focus, or lost it.
    Q_INVOKABLE void focusField(int handle);
    Q_INVOKABLE void blurField(int handle);
    // The field now reads `text` after typing: the difference is typed (backspaces, then text).
    Q_INVOKABLE void editField(int handle, const QString& text);
    Q_INVOKABLE void pressReturn(int handle);
    Q_INVOKABLE QString fieldText(int handle) const;
    // A date picker spun to `date`.
    Q_INVOKABLE void pickDate(int handle, const QDateTime& date);
    // The way out of what is presented on top (tapping beside a sheet, Escape): an alert's or
    // action sheet's cancel action, a presented screen's Cancel bar button, the share sheet's
    // dismissal; each the same call as the Cancel a person could tap. Nothing else closes.
    Q_INVOKABLE void dismissPresented();
    // Ctrl+N: the lists screen's Add button, when nothing is presented over the window.
    Q_INVOKABLE void startNewList();
    // The window's size in points, and its activation.
    Q_INVOKABLE void setWindowSize(double width, double height);
    Q_INVOKABLE void setWindowActive(bool active);

    // For the objects: the screen or column object of a controller (made on first use).
    ScreenObject* screenFor(const std::shared_ptr<ui::ViewController>& controller);
    ColumnObject* columnFor(const std::shared_ptr<ui::ViewController>& controller);
    TableModel* tableModelFor(const std::shared_ptr<ui::TableView>& table);
    Handles& handles() { return handles_; }
    ImageStore& images() { return *images_; }
    QVariantMap describeBarItem(const std::shared_ptr<ui::BarButtonItem>& item,
                                const ui::ViewController& owner);

  signals:
    void columnsChanged();
    void presentedChanged();
    void focusChanged();
    void revisionChanged();
    // The application asked to open an address.
    void urlOpened(const QString& url);

  private:
    class Reporter;
    friend class Reporter;
    void scheduleRefresh();
    void viewDidChange(ui::View& view);
    void tableViewDidUpdate(ui::TableView& table, const ui::TableUpdate& update);
    void firstResponderDidChange(ui::Responder* responder);
    QVariantMap describePresented(const std::shared_ptr<ui::ViewController>& controller);
    void prune();

    std::shared_ptr<Reporter> observer_;
    std::shared_ptr<ImageStore> images_;
    Handles handles_;
    std::map<const ui::ViewController*, QPointer<ScreenObject>> screens_;
    std::map<const ui::ViewController*, QPointer<ColumnObject>> columns_;
    std::vector<QPointer<TableModel>> tables_;
    std::vector<std::weak_ptr<ui::TableViewCell>> dirtyCells_;
    std::vector<std::weak_ptr<ui::TableView>> dirtyTables_;
    QPointer<ColumnObject> primary_;
    QPointer<ColumnObject> secondary_;
    QVariantList presented_;
    int focusedHandle_ = -1;
    // The field QML draws with the keyboard focus (-1: none).
    int qmlFocusedHandle_ = -1;
    int revision_ = 0;
    bool refreshScheduled_ = false;
    bool windowActive_ = true;
};

}  // namespace jw::qt
