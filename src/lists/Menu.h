#pragma once
// The screens' menus: action sheets titled "Menu", shown as a popover anchored at the
// toolbar's "Menu" button where the window is wide enough. The current choice carries the mark
// " ✔︎" (a space, U+2714, U+FE0E: 7 bytes); "Cancel" comes last, added by menuCancelAction.
// Main thread only.

#include <memory>
#include <string>
#include <string_view>

#include "platform/ui/AlertController.h"
#include "platform/ui/BarButtonItem.h"

namespace jw {

inline constexpr std::string_view currentChoiceMark = " \u2714\uFE0E";

// An empty "Menu" sheet anchored at `menuButton`.
std::shared_ptr<ui::AlertController> makeMenuSheet(std::shared_ptr<ui::BarButtonItem> menuButton);

// `title`, followed by the mark when `current`.
std::string menuEntryTitle(std::string_view title, bool current);

// The "Cancel" entry, which only closes the menu.
std::shared_ptr<ui::AlertAction> menuCancelAction();

}  // namespace jw
