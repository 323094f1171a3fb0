#pragma once
// The multi-line editor of one item's text: a text view filling the screen, Cancel on the left
// of the navigation bar and Save on the right.
//
// The presenter sets `item` before the screen loads; the text view shows the item's body,
// filled once, at load (nothing when the body is absent). Save stores the text view's text as
// the item's body through model::editItemText, exactly as typed (the empty string included),
// then closes the screen, animated; a text equal to the body stores nothing. Cancel closes the
// screen and stores nothing. With no item the screen opens with an empty text view and both
// buttons only close it; an item deleted meanwhile (on another device) is not written to.
//
// Made by the "ItemEditor" scene of the "Main" storyboard; the items screen presents it inside
// a navigation controller as a form sheet. Save needs the shared database. Main thread only.

#include <memory>

#include "platform/ui/TextView.h"
#include "platform/ui/ViewController.h"
#include "src/model/Entities.h"

namespace jw {

class ItemEditorViewController : public ui::ViewController {
  public:
    // Outlet, connected when the view is made.
    std::weak_ptr<ui::TextView> textView;
    std::shared_ptr<model::Item> item;

    void loadView() override;
    void viewDidLoad() override;

    void saveTapped();
    void cancelTapped();
};

}  // namespace jw
