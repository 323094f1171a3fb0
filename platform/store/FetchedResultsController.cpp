#include "FetchedResultsController.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

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
    auto fetched = context_->fetchRows(request_);
    std::vector<Row> rows;
    rows.reserve(fetched.objects.size() + fetched.keys.size());
    for (auto& object : fetched.objects) {
        const auto key = object->objectID().key;
        rows.push_back({std::move(object), key});
    }
    for (const auto key : fetched.keys) {
        rows.push_back({nullptr, key});
    }
    ordering_ = std::move(ordering);
    rows_ = std::move(rows);
    moreKeys_ = std::move(fetched.moreKeys);
    heldKeysSorted_ = false;
    fetched_ = true;
    if (!observation_) {
        observation_ = context_->addChangeObserver(
            [this](const ObjectsDidChange& change) { contextDidChange(change); });
        keyHolding_ = context_->addKeyHolder([this](const EntityDescription& e, std::int64_t key) {
            return fetched_ && &e == &ordering_->entity() && holdsKey(key);
        });
    }
}

void FetchedResultsController::setDelegate(FetchedResultsControllerDelegate* delegate) {
    if (delegate && !delegate_) {
        // What happened while nobody listened is taken in silently.
        context_->processPendingChanges();
    }
    delegate_ = delegate;
}

ManagedObject& FetchedResultsController::objectOf(Row& row) const {
    if (!row.object) {
        // A row is seldom touched alone (a screen shows its neighbours next, a search passes
        // them): the rows from this one on that hold keys only are read with it, a page at a
        // time.
        const auto first = std::size_t(&row - rows_.data());
        const auto page = std::clamp<std::size_t>(request_.fetchBatchSize, 1, kRowsReadTogether);
        readRows(first, std::min(rows_.size(), first + page));
    }
    return *row.object;
}

void FetchedResultsController::readRows(std::size_t begin, std::size_t end) const {
    std::vector<std::size_t> at;
    std::vector<std::int64_t> keys;
    for (auto i = begin; i < end; ++i) {
        if (!rows_[i].object) {
            at.push_back(i);
            keys.push_back(rows_[i].key);
        }
    }
    if (keys.empty()) {
        return;
    }
    auto objects = context_->objectsWithKeys(ordering_->entity(), keys);
    for (std::size_t i = 0; i < at.size(); ++i) {
        rows_[at[i]].object = std::move(objects[i]);
    }
}

void FetchedResultsController::readKeys(std::size_t end) const {
    if (!moreKeys_ || rows_.size() >= end) {
        return;
    }
    // Keys are cheap next to rows: a screen's worth at least, so scrolling asks seldom.
    constexpr std::size_t kKeysReadTogether = 256;
    std::vector<std::int64_t> keys;
    moreKeys_->readMore(keys, std::max(end - rows_.size(), kKeysReadTogether));
    for (const auto key : keys) {
        rows_.push_back({nullptr, key});
    }
    if (moreKeys_->finished()) {
        moreKeys_.reset();
    }
    heldKeysSorted_ = false;
}

void FetchedResultsController::readAllKeys() const {
    readKeys(std::numeric_limits<std::size_t>::max());
}

bool FetchedResultsController::holdsKey(std::int64_t key) const {
    // Asked for each row a merge deletes that has no object here: a list of 10,000 items
    // deleted elsewhere must not scan 100,000 rows each time. The keys held when first asked,
    // sorted once; a row that has since been given its object may still be found here, which
    // is harmless: the merge asks only for keys with no object in the context, and a row's
    // object stays in the context while the controller holds it.
    readAllKeys();
    if (!heldKeysSorted_) {
        heldKeys_.clear();
        for (const auto& row : rows_) {
            if (!row.object) {
                heldKeys_.push_back(row.key);
            }
        }
        std::sort(heldKeys_.begin(), heldKeys_.end());
        heldKeysSorted_ = true;
    }
    return std::binary_search(heldKeys_.begin(), heldKeys_.end(), key);
}

std::vector<std::shared_ptr<ManagedObject>> FetchedResultsController::fetchedObjects() const {
    readAllKeys();
    readRows(0, rows_.size());
    std::vector<std::shared_ptr<ManagedObject>> objects;
    objects.reserve(rows_.size());
    for (auto& row : rows_) {
        objects.push_back(row.object);
    }
    return objects;
}

std::size_t FetchedResultsController::numberOfObjects(std::size_t section) const {
    if (!fetched_ || section != 0) {
        return 0;
    }
    return rows_.size() + (moreKeys_ ? moreKeys_->count() - moreKeys_->read() : 0);
}

ManagedObject& FetchedResultsController::objectAtIndexPath(const IndexPath& path) const {
    if (path.section != 0 || path.row >= numberOfObjects(0)) {
        throw std::out_of_range("index path outside the fetched objects");
    }
    readKeys(path.row + kRowsReadTogether);
    return objectOf(rows_[path.row]);
}

std::optional<IndexPath> FetchedResultsController::indexPathForObject(
    const ManagedObject& object) const {
    if (!fetched_) {
        return std::nullopt;
    }
    readAllKeys();
    // The order is total, so a binary search finds the object when its sort keys are the ones
    // it was placed by (making the objects of the rows it passes); fall back to a scan for an
    // object changed since. A fault is only looked for by address or key, which reads nothing.
    if (!object.isFault()) {
        auto it = std::lower_bound(
            rows_.begin(), rows_.end(), &object,
            [&](Row& a, const ManagedObject* b) { return ordering_->less(objectOf(a), *b); });
        if (it != rows_.end() && it->object.get() == &object) {
            return IndexPath{0, std::size_t(it - rows_.begin())};
        }
    }
    // A row held by key is this object's when the object is this context's saved object for
    // the key (keys are never reused).
    const auto id = object.objectID();
    const bool byKey = &object.entity() == &ordering_->entity() &&
                       object.managedObjectContext() == context_.get() && id.key > 0;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        auto& row = rows_[i];
        if (row.object ? row.object.get() == &object : byKey && row.key == id.key) {
            objectOf(row);
            if (row.object.get() == &object) {
                return IndexPath{0, i};
            }
        }
    }
    return std::nullopt;
}

void FetchedResultsController::contextDidChange(const ObjectsDidChange& change) {
    if (!fetched_) {
        return;
    }
    if (moreKeys_) {
        // The rows' places are known against the state they were counted in: every key is
        // read from it before a change of the entity moves, adds or removes one.
        const auto& entity = ordering_->entity();
        const auto ofEntity = [&](const std::shared_ptr<ManagedObject>& o) {
            return &o->entity() == &entity;
        };
        const auto& u = change.updated;
        if (std::any_of(change.inserted.begin(), change.inserted.end(), ofEntity) ||
            std::any_of(change.deleted.begin(), change.deleted.end(), ofEntity) ||
            std::any_of(u.begin(), u.end(),
                        [&](const auto& one) { return ofEntity(one.object); })) {
            readAllKeys();
        }
    }
    struct Record {
        std::shared_ptr<ManagedObject> object;
        std::optional<std::size_t> oldIndex;
        ChangeType type;
    };
    // Where each changed object stands now: a made row by address, a row held by key by the
    // object's saved key (the row then takes the object, so a later lookup finds it by
    // address). A handful of changes scan the array; many changes build an index once.
    const std::size_t changedCount =
        change.inserted.size() + change.updated.size() + change.deleted.size();
    std::unordered_map<const ManagedObject*, std::size_t> index;
    std::unordered_map<std::int64_t, std::size_t> keyIndex;
    const bool useIndex = changedCount > 8;
    if (useIndex) {
        index.reserve(rows_.size());
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].object) {
                index.emplace(rows_[i].object.get(), i);
            } else {
                keyIndex.emplace(rows_[i].key, i);
            }
        }
    }
    auto oldIndexOf = [&](const std::shared_ptr<ManagedObject>& o) -> std::optional<std::size_t> {
        // A deleted object keeps its saved key; an inserted one has none yet.
        const auto key = o->objectID().key;
        if (useIndex) {
            if (auto it = index.find(o.get()); it != index.end()) {
                return it->second;
            }
            auto it = key > 0 ? keyIndex.find(key) : keyIndex.end();
            if (it == keyIndex.end()) {
                return std::nullopt;
            }
            const auto i = it->second;
            keyIndex.erase(it);
            rows_[i].object = o;
            index.emplace(o.get(), i);
            return i;
        }
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            auto& row = rows_[i];
            if (row.object ? row.object == o : key > 0 && row.key == key) {
                row.object = o;
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
        const auto oldIndex = oldIndexOf(object);
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
    // The rows that leave are known by their places, taken out in one pass over the rows.
    std::vector<std::size_t> leaving;
    std::vector<std::shared_ptr<ManagedObject>> arriving;
    for (const auto& r : records) {
        if (r.type == ChangeType::Delete || r.type == ChangeType::Move) {
            leaving.push_back(*r.oldIndex);
        }
        if (r.type == ChangeType::Insert || r.type == ChangeType::Move) {
            arriving.push_back(r.object);
        }
    }
    if (!leaving.empty()) {
        std::sort(leaving.begin(), leaving.end());
        leaving.erase(std::unique(leaving.begin(), leaving.end()), leaving.end());
        auto next = leaving.begin();
        std::size_t at = 0;
        std::erase_if(rows_, [&](const Row&) {
            const bool leaves = next != leaving.end() && *next == at;
            next += leaves;
            ++at;
            return leaves;
        });
    }
    // Sorting everything again compares every row, which makes and reads every row of a
    // batched fetch; placing each newcomer by binary search touches only the rows it passes.
    const auto holdsUnread = [&] {
        return std::any_of(rows_.begin(), rows_.end(),
                           [](const Row& row) { return !row.object || row.object->isFault(); });
    };
    if (arriving.size() > 16 && !holdsUnread()) {
        for (auto& object : arriving) {
            const auto key = object->objectID().key;
            rows_.push_back({std::move(object), key});
        }
        std::sort(rows_.begin(), rows_.end(), [&](const Row& a, const Row& b) {
            return ordering_->less(*a.object, *b.object);
        });
    } else {
        for (auto& object : arriving) {
            auto at = std::upper_bound(rows_.begin(), rows_.end(), object,
                                       [&](const std::shared_ptr<ManagedObject>& a, Row& b) {
                                           return ordering_->less(*a, objectOf(b));
                                       });
            const auto key = object->objectID().key;
            rows_.insert(at, Row{std::move(object), key});
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
