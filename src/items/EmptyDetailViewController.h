#pragma once
// The empty placeholder of the secondary column: what the split view shows in place of the
// items screen once the list open there was deleted (the lists screen's "showEmpty" segue).
// Nothing to read or tap; titled "". Main thread only.

#include "platform/ui/ViewController.h"

namespace jw {

class EmptyDetailViewController : public ui::ViewController {
  public:
    void viewDidLoad() override;
};

}  // namespace jw
