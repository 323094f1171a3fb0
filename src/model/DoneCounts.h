#pragma once
// Keeping each list's doneCount true to its items where no screen does it.
//
// doneCount is a value stored on the list and merged like any other, last writer wins: two
// devices that each recount after checking one item, before either saw the other's check,
// leave a count that agrees with neither device's items. So once merged changes have reached
// the main context, every list they touch is recounted with the model's rule (recountDone).
// The lag the screens allow locally (the items screen recounts when it closes) is theirs to
// keep; these are for merges and for programs without screens. Main thread.

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

}  // namespace jw::model
