#pragma once
// The plain text a list is shared as: the first shown item's list name and ":", then one line
// per shown item ("✔︎ " for a done item, "- " otherwise, then its text), with no line feed
// after the last. Absent names and texts read as empty.

#include <string>
#include <vector>

namespace jw::model {

class Item;

std::string shareText(const std::vector<Item*>& shownItems);

}  // namespace jw::model
