#pragma once
// Keeping each list's doneCount true to its items where no screen does it.
//
// doneCount is a value stored on the list and merged like any other, last writer wins: two
// devices that each recount after checking one item, before either saw the other's check,
// leave a count that agrees with neither device's items. So once merged changes have reached
// the main context, every list they touch is recounted with the model's rule (recountDone).
// The lag the screens allow locally (the items screen recounts when it closes) is theirs to
// keep; these are for merges and for programs without screens. Main thread.
//
// Where the count is made: in memory for a list whose items are already there (a screen's),
// in the store otherwise (from its index of items by list and checked state, making no
// objects). Loading the items to count them would keep every item of every touched list in
// the context, and an arrival from another device touches them all.
//
// A large arrival comes as many merged slices, each touching many lists, and a recount reads
// every item of its list (or its index entries): recounting at every slice would read the same
// items again and again, and a long list at once. PendingRecounts gathers the lists and
// recounts them a few at a time, each list once however many slices touched it before its
// turn.

#include <cstddef>
#include <deque>
#include <memory>
#include <unordered_set>
#include <vector>

#include "Entities.h"
#include "platform/store/ChangeNotifications.h"
#include "platform/store/ManagedObjectContext.h"

namespace jw::model {

class JWDatabase;

// The lists a merged save touched: lists it changed (gaining or losing an item counts) and
// the lists of the items it inserted or changed. Lists deleted here are left out.
std::vector<List*> listsTouchedBy(store::ManagedObjectContext& context,
                                  const store::ContextDidSaveNotification& note);

// Recounts `lists` (duplicates and nulls are fine); true when a count changed. Not saved.
bool recountLists(const std::vector<List*>& lists);

// Lists waiting for their recount, in the order they were first touched. Holds them, so an
// idle list is not released and read again while it waits.
class PendingRecounts {
  public:
    // Adds the lists not already waiting (nulls are fine).
    void add(const std::vector<List*>& lists);
    bool empty() const { return waiting_.empty(); }
    // Recounts waiting lists, first touched first, until about `itemBudget` items have been
    // read (at least one list, whatever its length); lists deleted meanwhile are dropped. True
    // when a count changed. Not saved.
    bool recountSome(std::size_t itemBudget);

  private:
    std::deque<std::shared_ptr<List>> waiting_;
    std::unordered_set<const List*> queued_;
};

}  // namespace jw::model
