#pragma once
// What each user operation writes, in one place: the screens and jotwell-cli call these and
// nothing else writes the model. Each operation reads the current time once (an absent time
// leaves the date attribute absent) and, unless its comment says "not saved", ends with
// `saveContext(false)` on the database.
//
// Texts are stored exactly as given: nothing is trimmed. New lists, new items and renames
// refuse an empty text (they return a null/false and change nothing); editing an item's text
// stores it as given, the empty string included, as the row editor does.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Entities.h"
#include "JWDatabase.h"
#include "JWListSortMode.h"

namespace jw::model {

// Inserts a list named `name` created now. Null when the name is empty.
std::shared_ptr<List> newList(JWDatabase& db, const std::string& name);
// Renames; false (and no change) when the name is empty.
bool renameList(JWDatabase& db, List& list, const std::string& name);
// Deletes the list and, with it, its items.
void deleteList(JWDatabase& db, List& list);

// Renumbering after a drag: moves the object at `from` to `to` (an index after the removal) in
// `shown`, then sets each object's sortNumber to its new index, 0..n-1. Works for lists and
// items alike. Not saved. Out-of-range rows change nothing and return false.
bool renumberAfterMove(std::vector<store::ManagedObject*>& shown, std::size_t from, std::size_t to);

// Inserts an item with `text`, created now, in `list`. Null when the text is empty.
std::shared_ptr<Item> newItem(JWDatabase& db, List& list, const std::string& text);
// Sets the item's text as given (empty included).
void editItemText(JWDatabase& db, Item& item, const std::string& text);
// Flips isDone; a checked item gets doneDate now, an unchecked one loses it; then the list's
// doneCount is recounted.
void toggleItem(JWDatabase& db, Item& item);
// doneCount = the number of the list's items (all of them, whatever is shown) that are done.
// Not saved.
void recountDone(List& list);
// Unchecks every shown item that is checked, then recounts `list` (when there is one).
void resetChecked(JWDatabase& db, List* list, const std::vector<Item*>& shown);
// Deletes every shown item that is checked; `list`'s doneCount becomes the number of its
// remaining done items.
void deleteChecked(JWDatabase& db, List* list, const std::vector<Item*>& shown);
// Deletes one item; doneCount is left for the next recount.
void deleteItem(JWDatabase& db, Item& item);
// sortMode = `mode` (any stored value). Not saved.
void chooseSortMode(List* list, std::int16_t mode);
// themeKey = `themeName` when a list is given; saved either way.
void chooseTheme(JWDatabase& db, List* list, const std::string& themeName);
// forList = `target`; nothing else changes.
void moveItem(JWDatabase& db, Item& item, List& target);
// A new unchecked item in `target` with the source's text, created now.
std::shared_ptr<Item> copyItem(JWDatabase& db, const Item& source, List& target);

}  // namespace jw::model
