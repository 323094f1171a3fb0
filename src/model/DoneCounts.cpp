#include "DoneCounts.h"

#include <algorithm>
#include <set>

#include "Operations.h"
#include "Ordering.h"

namespace jw::model {

namespace {

// recountDone's rule, counted where the header says.
void recount(List& list) {
    if (list.hasLoadedListItems() || !list.managedObjectContext()) {
        recountDone(list);
        return;
    }
    const auto done = list.managedObjectContext()->countForFetchRequest(
        itemsFetchRequest(&list, JWListFilter::checked));
    list.setDoneCount(std::int32_t(done));
}

}  // namespace

std::vector<List*> listsTouchedBy(store::ManagedObjectContext& context,
                                  const store::ContextDidSaveNotification& note) {
    std::set<List*> lists;
    auto consider = [&](const store::ObjectID& id) {
        // The engine names entities with its own copy of the model.
        const auto* entity = id.entity ? context.model().entity(id.entity->name) : nullptr;
        if (!entity || id.key <= 0) {
            return;
        }
        // What the merge brought in is read; a fault here is a row gone again since.
        auto object = context.objectWithID({entity, id.key});
        if (!object || object->isFault() || object->isDeleted() ||
            !object->managedObjectContext()) {
            return;
        }
        if (auto* list = dynamic_cast<List*>(object.get())) {
            lists.insert(list);
        } else if (auto* item = dynamic_cast<Item*>(object.get())) {
            if (List* owner = item->forList(); owner && !owner->isDeleted()) {
                lists.insert(owner);
            }
        }
    };
    for (const auto& id : note.inserted) {
        consider(id);
    }
    for (const auto& id : note.updated) {
        consider(id);
    }
    return {lists.begin(), lists.end()};
}

bool recountLists(const std::vector<List*>& lists) {
    bool changed = false;
    for (List* list : std::set<List*>(lists.begin(), lists.end())) {
        if (!list || list->isDeleted()) {
            continue;
        }
        const auto before = list->doneCount();
        recount(*list);
        changed = changed || list->doneCount() != before;
    }
    return changed;
}

void PendingRecounts::add(const std::vector<List*>& lists) {
    for (List* list : lists) {
        if (list && queued_.insert(list).second) {
            waiting_.push_back(std::static_pointer_cast<List>(list->shared_from_this()));
        }
    }
}

bool PendingRecounts::recountSome(std::size_t itemBudget) {
    bool changed = false;
    std::size_t read = 0;
    while (!waiting_.empty() && read < itemBudget) {
        const auto list = std::move(waiting_.front());
        waiting_.pop_front();
        queued_.erase(list.get());
        if (list->isDeleted() || !list->managedObjectContext()) {
            continue;
        }
        const auto before = list->doneCount();
        recount(*list);
        read += std::max<std::size_t>(1, list->listItemsCount());
        changed = changed || list->doneCount() != before;
    }
    return changed;
}

}  // namespace jw::model
