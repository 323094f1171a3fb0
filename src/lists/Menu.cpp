#include "src/lists/Menu.h"

namespace jw {

std::shared_ptr<ui::AlertController> makeMenuSheet(std::shared_ptr<ui::BarButtonItem> menuButton) {
    auto sheet =
        ui::AlertController::make("Menu", std::nullopt, ui::AlertControllerStyle::actionSheet);
    if (auto* popover = sheet->popoverPresentationController()) {
        popover->setBarButtonItem(std::move(menuButton));
    }
    return sheet;
}

std::string menuEntryTitle(std::string_view title, bool current) {
    std::string entry(title);
    if (current) {
        entry += currentChoiceMark;
    }
    return entry;
}

std::shared_ptr<ui::AlertAction> menuCancelAction() {
    return ui::AlertAction::make("Cancel", ui::AlertActionStyle::cancel);
}

}  // namespace jw
