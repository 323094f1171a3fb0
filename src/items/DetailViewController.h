#pragma once
// The items screen of one list, as far as the lists side needs it so far: the list it shows
// (none at first: the empty state, titled "" and coloured "Default"), its colours and its
// title. Setting the list stores it, colours the screen from the list's theme and reloads the
// table; the rows of items come with the items side.
//
// Colours (applyListTheme): with no list, applyTheme with no theme. With a list, its theme
// (themeForKey of its themeKey), then the table's separators in the theme colour at alpha 0.23
// and the toolbar's bar tint grey96, then the title. Title: the list's name followed by its
// counts (" (3/10)"), or "" when no list is shown or the list has no items.
// Main thread only.

#include <memory>

#include "src/lists/JotwellTableViewController.h"
#include "src/model/Entities.h"

namespace jw {

class DetailViewController : public JotwellTableViewController {
  public:
    const std::shared_ptr<model::List>& list() const { return list_; }
    void setList(std::shared_ptr<model::List> list);

    void applyListTheme();
    void updateTitle();
    void refetch();

    void viewWillAppear(bool animated) override;

  private:
    std::shared_ptr<model::List> list_;
};

}  // namespace jw
