#include "src/items/EmptyDetailViewController.h"

#include "src/themes/ApplyTheme.h"

namespace jw {

void EmptyDetailViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    setTitle("");
    applyTheme(*this, nullptr);
}

}  // namespace jw
