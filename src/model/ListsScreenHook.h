#pragma once
// The application-wide reference to the lists screen, through which the database asks for the
// cloud status intro when an attach fails or the attachment is lost. None until the lists
// screen has loaded; until then such requests do nothing.

#include <memory>

namespace jw::model {

class ListsScreenHook {
  public:
    virtual ~ListsScreenHook() = default;
    virtual void presentIntroIfNeeded() = 0;
};

ListsScreenHook* listsScreen();
void setListsScreen(std::shared_ptr<ListsScreenHook> screen);

}  // namespace jw::model
