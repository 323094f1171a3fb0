#pragma once
// Keeps the result of one fetch request up to date as the context changes, and tells a
// delegate what changed in table terms (one section, rows as index paths).
//
// Index paths follow the batch-update convention of table views: a delete names the row's
// old index path, an insert its new one, a move both, an update the old one (and the new one).
// The array is kept current whether or not a delegate is attached: with no delegate the
// changes are absorbed silently, and attaching a delegate first absorbs the context's pending
// changes silently, so a delegate never hears of what happened while it was detached.
//
// A batched fetch (a fetch request with a batch size) keeps only each row's key: the row's
// object is made and read when the row is touched, through objectAtIndexPath,
// indexPathForObject, the comparisons that place a changed row, or fetchedObjects, together
// with the untouched rows after it (up to the batch size, at most kRowsReadTogether). Rows
// never touched cost no object at all. The keys themselves are read as rows are reached,
// from the snapshot the rows were counted in; every key is read (and the snapshot let go)
// before the first change of the entity is taken in, and before anything that needs every
// row (indexPathForObject, fetchedObjects, a merge asking whether a key is held).
//
// Main thread only. The controller holds the objects it made strongly.

#include <memory>
#include <optional>
#include <vector>

#include "FetchRequest.h"
#include "ManagedObjectContext.h"

namespace jw::store {

struct IndexPath {
    std::size_t section = 0;
    std::size_t row = 0;
    bool operator==(const IndexPath&) const = default;
};

enum class ChangeType { Insert = 1, Delete = 2, Move = 3, Update = 4 };

class FetchedResultsController;

class FetchedResultsControllerDelegate {
  public:
    virtual ~FetchedResultsControllerDelegate() = default;
    virtual void controllerWillChangeContent(FetchedResultsController&) {}
    virtual void controllerDidChangeSection(FetchedResultsController&, std::size_t /*index*/,
                                            ChangeType) {}
    virtual void controllerDidChangeObject(FetchedResultsController&, ManagedObject& /*object*/,
                                           const IndexPath* /*indexPath*/, ChangeType,
                                           const IndexPath* /*newIndexPath*/) {}
    virtual void controllerDidChangeContent(FetchedResultsController&) {}
};

class FetchedResultsController {
  public:
    FetchedResultsController(FetchRequest request, std::shared_ptr<ManagedObjectContext> context);
    ~FetchedResultsController();
    FetchedResultsController(const FetchedResultsController&) = delete;
    FetchedResultsController& operator=(const FetchedResultsController&) = delete;

    // How many rows holding keys only a touch reads at once, at most.
    static constexpr std::size_t kRowsReadTogether = 64;

    // Runs the fetch. Throws StoreError.
    void performFetch();

    // The delegate is not owned. Setting one absorbs pending changes first (see above).
    void setDelegate(FetchedResultsControllerDelegate* delegate);
    FetchedResultsControllerDelegate* delegate() const { return delegate_; }

    const FetchRequest& fetchRequest() const { return request_; }
    ManagedObjectContext& managedObjectContext() const { return *context_; }

    // Every row's object, in order. Makes the object of every row not touched yet, which for
    // a large batched fetch is the cost the batch size avoids: for callers that need every
    // object. A caller that needs one row asks objectAtIndexPath.
    std::vector<std::shared_ptr<ManagedObject>> fetchedObjects() const;
    // One section once fetched (none before performFetch).
    std::size_t numberOfSections() const { return fetched_ ? 1 : 0; }
    std::size_t numberOfObjects(std::size_t section) const;
    // The row's object, made if the row held only its key. Throws std::out_of_range.
    ManagedObject& objectAtIndexPath(const IndexPath& path) const;
    // Index path of the object, or nothing when the controller does not hold it.
    std::optional<IndexPath> indexPathForObject(const ManagedObject& object) const;

  private:
    class Ordering;
    // A row: its object once made, else (a row of a batched fetch not touched) its saved key.
    struct Row {
        std::shared_ptr<ManagedObject> object;
        std::int64_t key = 0;
    };
    ManagedObject& objectOf(Row& row) const;
    // Makes the objects of the rows in [begin, end) that hold keys only, reading them together.
    void readRows(std::size_t begin, std::size_t end) const;
    // Reads the keys of the rows up to `end` (all of them at most) that are not read yet.
    void readKeys(std::size_t end) const;
    void readAllKeys() const;
    bool holdsKey(std::int64_t key) const;
    void contextDidChange(const ObjectsDidChange& change);

    FetchRequest request_;
    std::shared_ptr<ManagedObjectContext> context_;
    FetchedResultsControllerDelegate* delegate_ = nullptr;
    ManagedObjectContext::ObserverToken observation_;
    ManagedObjectContext::ObserverToken keyHolding_;
    std::unique_ptr<Ordering> ordering_;
    mutable std::vector<Row> rows_;  // objects are made on reads too
    // The keys of the rows after rows_, not read yet (none once all are read).
    mutable std::unique_ptr<KeyCursor> moreKeys_;
    // The keys of rows held by key alone, sorted when first asked after a fetch (holdsKey).
    mutable std::vector<std::int64_t> heldKeys_;
    mutable bool heldKeysSorted_ = false;
    bool fetched_ = false;
};

}  // namespace jw::store
