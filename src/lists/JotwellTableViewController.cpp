#include "src/lists/JotwellTableViewController.h"

#include <stdexcept>

#include "platform/ui/Storyboard.h"
#include "src/lists/ListSelectViewController.h"
#include "src/themes/ThemeSelectViewController.h"

namespace jw {

void JotwellTableViewController::presentThemeSelect(
    JWThemeRef currentTheme, std::function<void(const JWThemeRef&)> onThemeSelected) {
    const auto scene = ui::Storyboard::named("Main")->instantiateViewController("ThemeSelect");
    if (const auto navigation = std::dynamic_pointer_cast<ui::NavigationController>(scene)) {
        if (const auto picker = std::dynamic_pointer_cast<ThemeSelectViewController>(
                navigation->topViewController())) {
            picker->currentTheme = std::move(currentTheme);
            picker->onThemeSelected = [handler =
                                           std::move(onThemeSelected)](const JWThemeRef& theme) {
                if (handler) {
                    handler(theme);
                }
            };
        }
    }
    present(scene, true);
}

model::JWDatabase& JotwellTableViewController::database() {
    auto* db = model::sharedDatabase();
    if (!db) {
        throw std::logic_error("the table screens need the shared database");
    }
    return *db;
}

std::shared_ptr<ui::NavigationController> JotwellTableViewController::moveCopyController(
    std::shared_ptr<model::Item> moveItem, std::shared_ptr<model::Item> copyItem) {
    if (!storyboard()) {
        throw std::logic_error("moveCopyController: this screen was not made by a storyboard");
    }
    auto picker = std::dynamic_pointer_cast<ListSelectViewController>(
        storyboard()->instantiateViewController("MoveCopyItem"));
    if (!picker) {
        throw std::logic_error("the \"MoveCopyItem\" scene is not a list picker");
    }
    picker->copyItem = std::move(copyItem);
    picker->moveItem = std::move(moveItem);
    auto navigation = ui::NavigationController::withRoot(picker);
    navigation->setModalPresentationStyle(ui::ModalPresentationStyle::formSheet);
    navigation->setModalTransitionStyle(ui::ModalTransitionStyle::coverVertical);
    return navigation;
}

}  // namespace jw
