#pragma once
// The base of the table screens (lists, items, the list picker): a table controller that can
// hold the keyboard focus and opens the two secondary screens any table screen may need, the
// theme picker and the list picker for moving or copying an item. It holds no state.
// Main thread only.

#include <functional>
#include <memory>

#include "platform/ui/NavigationController.h"
#include "platform/ui/TableViewController.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/themes/JWTheme.h"

namespace jw {

class JotwellTableViewController : public ui::TableViewController {
  public:
    bool canBecomeFirstResponder() const override { return true; }

    // Presents, animated, the "ThemeSelect" scene of the "Main" storyboard (a navigation
    // controller around the theme picker) over this screen. The picker is given `currentTheme`
    // and a handler that passes the theme it reports to `onThemeSelected`, unchanged. When the
    // scene holds no theme picker it is presented all the same, with nothing set.
    void presentThemeSelect(JWThemeRef currentTheme,
                            std::function<void(const JWThemeRef&)> onThemeSelected);

    // A navigation controller around a new list picker (this screen's storyboard's
    // "MoveCopyItem" scene) set up to move `moveItem` or copy `copyItem` (callers give one),
    // as a form sheet coming up from the bottom; not yet shown: the caller presents it.
    // Throws std::logic_error when this screen was not made by a storyboard.
    std::shared_ptr<ui::NavigationController> moveCopyController(
        std::shared_ptr<model::Item> moveItem, std::shared_ptr<model::Item> copyItem);

  protected:
    // The shared database the table screens read and write. Throws std::logic_error when there
    // is none (a screen made outside the application).
    static model::JWDatabase& database();
};

}  // namespace jw
