#include "src/app/Storyboards.h"

#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "src/app/QZIntroHomeViewController.h"
#include "src/items/DetailViewController.h"
#include "src/items/EmptyDetailViewController.h"
#include "src/items/ItemEditorViewController.h"
#include "src/lists/ListSelectViewController.h"
#include "src/lists/MasterViewController.h"
#include "src/reminders/ReminderViewController.h"
#include "src/themes/ThemeSelectViewController.h"

namespace jw {

namespace {

template <class Screen>
ui::Storyboard::Scene screen() {
    return [](ui::Storyboard&) { return std::make_shared<Screen>(); };
}

// A navigation controller around the scene `root`, its toolbar shown or not.
ui::Storyboard::Scene navigationAround(std::string root, bool showsToolbar) {
    return [root = std::move(root), showsToolbar](ui::Storyboard& storyboard) {
        auto navigation =
            ui::NavigationController::withRoot(storyboard.instantiateViewController(root));
        navigation->setToolbarHidden(!showsToolbar, false);
        return navigation;
    };
}

}  // namespace

std::shared_ptr<ui::Storyboard> makeMainStoryboard() {
    auto main = std::make_shared<ui::Storyboard>("Main");
    main->addScene("SplitView", [](ui::Storyboard& storyboard) {
        auto split = std::make_shared<ui::SplitViewController>();
        split->setViewControllers({storyboard.instantiateViewController("ListsNavigation"),
                                   storyboard.instantiateViewController("DetailNavigation")});
        return split;
    });
    main->setInitialScene("SplitView");
    main->addScene("ListsNavigation", navigationAround("Lists", true));
    main->addScene("Lists", screen<MasterViewController>());
    main->addScene("DetailNavigation", navigationAround("Detail", true));
    main->addScene("Detail", screen<DetailViewController>());
    main->addScene("EmptyNavigation", navigationAround("Empty", false));
    main->addScene("Empty", screen<EmptyDetailViewController>());
    main->addScene("ThemeSelect", navigationAround("ThemeSelectScreen", false));
    main->addScene("ThemeSelectScreen", screen<ThemeSelectViewController>());
    main->addScene("MoveCopyItem", screen<ListSelectViewController>());
    main->addScene("ItemEditor", screen<ItemEditorViewController>());
    main->addScene("Reminder", screen<ReminderViewController>());
    main->addSegue("Lists", "showDetail", ui::SegueKind::showDetail, "DetailNavigation");
    main->addSegue("Lists", "showEmpty", ui::SegueKind::showDetail, "EmptyNavigation");
    return main;
}

std::shared_ptr<ui::Storyboard> makeIntroStoryboard() {
    auto intro = std::make_shared<ui::Storyboard>("Intro");
    intro->addScene("IntroNavigation", navigationAround("IntroHome", false));
    intro->addScene("IntroHome", screen<QZIntroHomeViewController>());
    intro->setInitialScene("IntroNavigation");
    return intro;
}

}  // namespace jw
