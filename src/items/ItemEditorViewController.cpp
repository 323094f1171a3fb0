#include "src/items/ItemEditorViewController.h"

#include "src/model/JWDatabase.h"
#include "src/model/Operations.h"

namespace jw {

void ItemEditorViewController::loadView() {
    // The scene's layout: the text view filling the screen.
    ViewController::loadView();
    auto text = std::make_shared<ui::TextView>();
    view().addSubview(text);
    textView = text;
}

void ItemEditorViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    navigationItem().setLeftBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::cancel, {this, &ItemEditorViewController::cancelTapped}));
    navigationItem().setRightBarButtonItem(ui::BarButtonItem::withSystemItem(
        ui::SystemItem::save, {this, &ItemEditorViewController::saveTapped}));
    if (const auto text = textView.lock(); text && item) {
        text->setText(item->body().value_or(""));
    }
}

void ItemEditorViewController::saveTapped() {
    // A Save that closed the editor and dropped what was typed would report a success that did
    // not happen, so the text is stored first. An unchanged text is no edit and writes nothing.
    const auto text = textView.lock();
    auto* db = model::sharedDatabase();
    if (text && item && db && item->managedObjectContext() && !item->isDeleted() &&
        text->text() != item->body().value_or("")) {
        model::editItemText(*db, *item, text->text());
    }
    dismiss(true);
}

void ItemEditorViewController::cancelTapped() {
    dismiss(true);
}

}  // namespace jw
