#include "src/themes/ApplyTheme.h"

#include "platform/ui/NavigationController.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"

namespace jw {

namespace {

void styleBar(ui::NavigationBar& bar, const ui::NavigationBarAppearance& look) {
    bar.setStandardAppearance(look);
    bar.setScrollEdgeAppearance(look);
    bar.setCompactAppearance(look);
    bar.setTranslucent(false);
    bar.setTintColor(Color::white(1.0));
}

}  // namespace

ui::NavigationBarAppearance themedBarAppearance(const JWTheme& theme) {
    ui::NavigationBarAppearance look;
    look.configureWithOpaqueBackground();
    look.backgroundColor = theme.baseColor();
    look.titleTextAttributes.foregroundColor = Color::white(1.0);
    return look;
}

void applyTheme(ui::ViewController& controller, const JWThemeRef& theme) {
    const JWThemeRef shown = theme ? theme : JWThemesDB::shared().themeForKey("");
    const auto look = themedBarAppearance(*shown);
    const auto navigation = controller.navigationController();
    if (navigation) {
        styleBar(navigation->navigationBar(), look);
    }
    if (const auto parent = controller.parentViewController()) {
        if (const auto outer = parent->navigationController()) {
            styleBar(outer->navigationBar(), look);
        }
    }
    if (navigation) {
        navigation->toolbar().setBarTintColor(grey92);
        navigation->toolbar().setTintColor(grey20);
    }
}

}  // namespace jw
