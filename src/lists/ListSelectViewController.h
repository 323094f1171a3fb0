#pragma once
// The list picker for moving or copying one item, as far as it is built so far: the two items
// it is set up with, its title ("Copy" when copying, else "Move" when moving, else untouched,
// set each time it is about to appear), and its Cancel button, which closes it and changes
// nothing. The rows of lists and the move or copy itself come with the items side.
// Made by the "MoveCopyItem" scene through moveCopyController. Main thread only.

#include <memory>

#include "src/lists/JotwellTableViewController.h"
#include "src/model/Entities.h"

namespace jw {

class ListSelectViewController : public JotwellTableViewController {
  public:
    std::shared_ptr<model::Item> copyItem;
    std::shared_ptr<model::Item> moveItem;

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void cancelTapped();
};

}  // namespace jw
