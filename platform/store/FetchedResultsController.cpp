#include "FetchedResultsController.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "CompiledFetch.h"

namespace jw::store {

class FetchedResultsController::Ordering : public CompiledFetch {
  public:
    using CompiledFetch::CompiledFetch;
};

FetchedResultsController::FetchedResultsController(FetchRequest request,
                                                   std::shared_ptr<ManagedObjectContext> context)
    : request_(std::move(request)), context_(std::move(context)) {}

FetchedResultsController::~FetchedResultsController() = default;

void FetchedResultsController::performFetch() {
    auto ordering = std::make_unique<Ordering>(context_->model(), request_);
    auto objects = context_->executeFetchRequest(request_);
    ordering_ = std::move(ordering);
    objects_ = std::move(objects);
    fetched_ = true;
    if (!observation_) {
        observation_ = context_->addChangeObserver(
            [this](const ObjectsDidChange& change) { contextDidChange(change); });
    }
}

void FetchedResultsController::setDelegate(FetchedResultsControllerDelegate* delegate) {
    if (delegate && !delegate_) {
        // What happened while nobody listened is taken in silently.
        context_->processPendingChanges();
    }
    delegate_ = delegate;
}

std::size_t FetchedResultsController::numberOfObjects(std::size_t section) const {
    return fetched_ && section == 0 ? objects_.size() : 0;
}

ManagedObject& FetchedResultsController::objectAtIndexPath(const IndexPath& path) const {
    if (path.section != 0 || path.row >= objects_.size()) {
        throw std::out_of_range("index path outside the fetched objects");
    }
    return *objects_[path.row];
}

std::optional<IndexPath> FetchedResultsController::indexPathForObject(
    const ManagedObject& object) const {
    if (!fetched_) {
        return std::nullopt;
    }
    // The order is total, so a binary search finds the object when its sort keys are the ones
    // it was placed by; fall back to a scan for an object changed since. A fault (a row of a
    // batched fetch not read yet) is only looked for by address, which reads nothing.
    if (!object.isFault()) {
        auto it = std::lower_bound(objects_.begin(), objects_.end(), &object,
                                   [&](const std::shared_ptr<ManagedObject>& a,
                                       const ManagedObject* b) { return ordering_->less(*a, *b); });
        if (it != objects_.end() && it->get() == &object) {
            return IndexPath{0, std::size_t(it - objects_.begin())};
        }
    }
    for (std::size_t i = 0; i < objects_.size(); ++i) {
        if (objects_[i].get() == &object) {
            return IndexPath{0, i};
        }
    }
    return std::nullopt;
}

void FetchedResultsController::contextDidChange(const ObjectsDidChange& change) {
    if (!fetched_) {
        return;
    }
    struct Record {
        std::shared_ptr<ManagedObject> object;
        std::optional<std::size_t> oldIndex;
        ChangeType type;
    };
    // Where each changed object stands now. A handful of changes scan the array (a pointer
    // comparison each); many changes build an index once.
    const std::size_t changedCount =
        change.inserted.size() + change.updated.size() + change.deleted.size();
    std::unordered_map<const ManagedObject*, std::size_t> index;
    const bool useIndex = changedCount > 8;
    if (useIndex) {
        index.reserve(objects_.size());
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            index.emplace(objects_[i].get(), i);
        }
    }
    auto oldIndexOf = [&](const ManagedObject* o) -> std::optional<std::size_t> {
        if (useIndex) {
            auto it = index.find(o);
            return it == index.end() ? std::nullopt : std::optional<std::size_t>(it->second);
        }
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            if (objects_[i].get() == o) {
                return i;
            }
        }
        return std::nullopt;
    };

    std::vector<Record> records;
    auto consider = [&](const std::shared_ptr<ManagedObject>& object, bool deleted,
                        bool sortKeysChanged) {
        if (&object->entity() != &ordering_->entity()) {
            return;  // another entity's object: neither a row nor comparable with the rows
        }
        const auto oldIndex = oldIndexOf(object.get());
        const bool belongs = !deleted && !object->isDeleted() && ordering_->matches(*object);
        if (oldIndex && !belongs) {
            records.push_back({object, oldIndex, ChangeType::Delete});
        } else if (!oldIndex && belongs) {
            records.push_back({object, std::nullopt, ChangeType::Insert});
        } else if (oldIndex && belongs) {
            records.push_back(
                {object, oldIndex, sortKeysChanged ? ChangeType::Move : ChangeType::Update});
        }
    };
    for (const auto& object : change.deleted) {
        consider(object, true, false);
    }
    for (const auto& object : change.inserted) {
        consider(object, false, true);
    }
    for (const auto& u : change.updated) {
        consider(u.object, false, ordering_->sortKeysIntersect(u.changedKeys));
    }
    if (records.empty()) {
        return;
    }

    // New order: take out what left or moves, keep the rest in place (their relative order
    // cannot change, since their sort keys did not), then place the newcomers.
    std::unordered_set<const ManagedObject*> leaving;
    std::vector<std::shared_ptr<ManagedObject>> arriving;
    for (const auto& r : records) {
        if (r.type == ChangeType::Delete || r.type == ChangeType::Move) {
            leaving.insert(r.object.get());
        }
        if (r.type == ChangeType::Insert || r.type == ChangeType::Move) {
            arriving.push_back(r.object);
        }
    }
    auto less = [&](const std::shared_ptr<ManagedObject>& a,
                    const std::shared_ptr<ManagedObject>& b) { return ordering_->less(*a, *b); };
    if (!leaving.empty()) {
        std::erase_if(objects_, [&](const auto& o) { return leaving.count(o.get()) > 0; });
    }
    // Sorting everything again compares every row, which reads every fault of a batched
    // fetch; placing each newcomer by binary search reads only the rows it passes.
    const bool holdsFaults =
        std::any_of(objects_.begin(), objects_.end(), [](const auto& o) { return o->isFault(); });
    if (arriving.size() > 16 && !holdsFaults) {
        objects_.insert(objects_.end(), arriving.begin(), arriving.end());
        std::sort(objects_.begin(), objects_.end(), less);
    } else {
        for (auto& object : arriving) {
            objects_.insert(std::upper_bound(objects_.begin(), objects_.end(), object, less),
                            object);
        }
    }

    if (!delegate_) {
        return;
    }
    struct Report {
        ManagedObject* object;
        ChangeType type;
        std::optional<IndexPath> oldPath, newPath;
    };
    std::vector<Report> reports;
    reports.reserve(records.size());
    for (const auto& r : records) {
        Report report{r.object.get(), r.type, std::nullopt, std::nullopt};
        if (r.oldIndex) {
            report.oldPath = IndexPath{0, *r.oldIndex};
        }
        if (r.type != ChangeType::Delete) {
            report.newPath = indexPathForObject(*r.object);
        }
        reports.push_back(report);
    }
    // A stable, readable order: deletes, inserts, moves, updates, each by row.
    auto rank = [](const Report& r) {
        switch (r.type) {
            case ChangeType::Delete:
                return 0;
            case ChangeType::Insert:
                return 1;
            case ChangeType::Move:
                return 2;
            case ChangeType::Update:
                return 3;
        }
        return 4;
    };
    std::sort(reports.begin(), reports.end(), [&](const Report& a, const Report& b) {
        const auto rowA = (a.oldPath ? a.oldPath : a.newPath)->row;
        const auto rowB = (b.oldPath ? b.oldPath : b.newPath)->row;
        return std::pair(rank(a), rowA) < std::pair(rank(b), rowB);
    });
    delegate_->controllerWillChangeContent(*this);
    for (const auto& r : reports) {
        if (!delegate_) {
            break;  // the delegate let go in the middle; it hears no more
        }
        delegate_->controllerDidChangeObject(*this, *r.object, r.oldPath ? &*r.oldPath : nullptr,
                                             r.type, r.newPath ? &*r.newPath : nullptr);
    }
    if (delegate_) {
        delegate_->controllerDidChangeContent(*this);
    }
}

}  // namespace jw::store
