#pragma once
// The one listener to the user-interface tree: the front end that draws it. Every change the
// tree goes through is reported here after it has been made, on the main thread, so the
// listener can read the new state from the objects it is handed. Each method has an empty
// default; the listener overrides what it draws. It must not change the tree from inside a
// report (post to the run loop instead).

#include "platform/ui/TableUpdate.h"
#include "platform/ui/Url.h"

namespace jw::ui {

class Application;
class BarButtonItem;
class Responder;
class TableView;
class View;
class ViewController;

class Observer {
  public:
    virtual ~Observer() = default;

    // A property of the view itself changed: text, image, colours, hidden, frame, the rows on
    // screen of a table (scrolling), the editing mode of a table, the item of a carousel.
    virtual void viewDidChange(View& /*view*/) {}
    // One batch of row and section changes was applied to the table, or it was reloaded.
    virtual void tableViewDidUpdate(TableView& /*tableView*/, const TableUpdate& /*update*/) {}
    // The controller's title, navigation item, toolbar items or editing mode changed.
    virtual void viewControllerDidChange(ViewController& /*controller*/) {}
    // A bar button item's title, style or enabled state changed.
    virtual void barButtonItemDidChange(BarButtonItem& /*item*/) {}
    // A container's children changed: a navigation stack was pushed or popped, a split view
    // collapsed, expanded or took another secondary column, the window took another root.
    virtual void containerDidChange(ViewController& /*container*/) {}
    // `presented` now covers (part of) the screen, presented over `presenting`; or left it.
    virtual void didPresent(ViewController& /*presenting*/, ViewController& /*presented*/,
                            bool /*animated*/) {}
    virtual void didDismiss(ViewController& /*presenting*/, ViewController& /*dismissed*/,
                            bool /*animated*/) {}
    // The keyboard focus moved; nullptr when nothing has it (the keyboard goes away).
    virtual void firstResponderDidChange(Responder* /*firstResponder*/) {}
    // Status bar style or visibility, or the bars' appearance proxies changed.
    virtual void applicationDidChange(Application& /*application*/) {}
    // The application asked to open an address outside itself.
    virtual void openURL(const Url& /*url*/) {}
};

}  // namespace jw::ui
