#include "src/items/DetailViewController.h"

#include "src/themes/ApplyTheme.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"

namespace jw {

void DetailViewController::setList(std::shared_ptr<model::List> list) {
    list_ = std::move(list);
    applyListTheme();
    refetch();
}

void DetailViewController::applyListTheme() {
    if (!list_) {
        applyTheme(*this, nullptr);
        return;
    }
    const auto theme = JWThemesDB::shared().themeForKey(list_->themeKey().value_or(""));
    applyTheme(*this, theme);
    tableView().setSeparatorColor(theme->baseColor().withAlphaComponent(0.23));
    if (const auto navigation = navigationController()) {
        navigation->toolbar().setBarTintColor(grey96);
    }
    updateTitle();
}

void DetailViewController::updateTitle() {
    if (!list_) {
        setTitle("");
        return;
    }
    const auto [counts, fraction] = list_->progressInfo(" (", ")");
    setTitle(counts ? list_->name().value_or("") + *counts : "");
}

void DetailViewController::refetch() {
    if (isViewLoaded()) {
        tableView().reloadData();
    }
}

void DetailViewController::viewWillAppear(bool animated) {
    JotwellTableViewController::viewWillAppear(animated);
    applyListTheme();
}

}  // namespace jw
