#pragma once
// The object context: the one place objects of a store are created, changed, fetched, deleted
// and saved. Not thread-safe: a context belongs to the thread that made it (for the main
// context, the main run loop's thread).
//
// - Objects are unique per context: one object per row.
// - Fetches read the store and then apply the context's unsaved inserts, changes and deletes,
//   so they always describe the context as it is now.
// - save() writes every unsaved change in one SQLite transaction: all of it or nothing. On
//   failure it throws StoreError and the context keeps its changes (a later save can retry).
// - Deleting an object applies its relationships' delete rules at once (nullify, cascade).
// - Change reports (ObjectsDidChange) go to observers when processPendingChanges() runs; the
//   container calls it at the end of every main run-loop event.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "ChangeNotifications.h"
#include "FetchRequest.h"
#include "KeyCursor.h"
#include "ManagedObject.h"
#include "ObjectModel.h"

namespace jw::store {

class StoreConnection;

class ManagedObjectContext : public std::enable_shared_from_this<ManagedObjectContext> {
  public:
    using ChangeObserver = std::function<void(const ObjectsDidChange&)>;
    using SaveObserver = std::function<void(const ContextDidSaveNotification&)>;
    // Keeps an observer registered while it lives.
    using ObserverToken = std::shared_ptr<void>;

    explicit ManagedObjectContext(std::shared_ptr<StoreConnection> connection);
    ~ManagedObjectContext();
    ManagedObjectContext(const ManagedObjectContext&) = delete;
    ManagedObjectContext& operator=(const ManagedObjectContext&) = delete;

    const ObjectModel& model() const;
    // The store's identifier (a UUID string made when the store file was created).
    const std::string& storeIdentifier() const;

    // Creates an object of the entity, registered as inserted, with every attribute at its
    // default and a fresh global identifier. Throws std::logic_error for an unknown entity.
    std::shared_ptr<ManagedObject> insertNewObject(std::string_view entityName);
    // Marks the object deleted and applies the delete rules of its relationships.
    // Deleting an object twice, or one that is not this context's, does nothing.
    void deleteObject(ManagedObject& object);

    bool hasChanges() const;
    void save();

    // Throws StoreError (unknown entity or key, or the store failing).
    std::vector<std::shared_ptr<ManagedObject>> executeFetchRequest(const FetchRequest& request);
    // How many objects executeFetchRequest would return, counted in the store, making no
    // object: the objects of the entity with unsaved changes count by their values in this
    // context instead of their saved rows (beyond 16 of them, the objects are fetched and
    // counted). Throws StoreError.
    std::size_t countForFetchRequest(const FetchRequest& request);

    // The result of fetchRows: `objects` are the first rows in order, read; `keys` the saved
    // keys of the rows after them, in order, with no object made for them; `moreKeys`, when
    // set, reads the keys of the rows after those, in order, from the snapshot that counted
    // them.
    struct FetchedRows {
        std::vector<std::shared_ptr<ManagedObject>> objects;
        std::vector<std::int64_t> keys;
        std::unique_ptr<KeyCursor> moreKeys;
    };
    // Runs the request as executeFetchRequest does, from one read snapshot, but when more rows
    // match than the batch size every row comes back as its key only, read as the caller asks
    // for them: `objects` and `keys` are empty and `moreKeys` holds them all (see
    // objectsWithKeys to read the rows). Without a batch size, with no more rows than it, or
    // when this context has unsaved changes of the entity (they decide membership and order
    // in memory), every row comes back as an object. Throws StoreError.
    FetchedRows fetchRows(const FetchRequest& request);
    // The objects of the entity's saved rows with these keys, in the same order: registered
    // ones as they are, the others read from the store together (a few statements for many
    // keys rather than one each). A key with no row gives an unread fault, as objectWithID
    // does. Throws StoreError.
    std::vector<std::shared_ptr<ManagedObject>> objectsWithKeys(
        const EntityDescription& e, const std::vector<std::int64_t>& keys);

    // Tells this context that the holder keeps keys of the entity's rows without their objects
    // (a fetched-results controller over a batched fetch). A merge deleting a row that has no
    // object here reports the deletion with an object made for it when `holds` says the key is
    // held, so the holder hears of it. `holds` runs on this context's thread, during a merge.
    // Kept while the token lives.
    using KeyHolder = std::function<bool(const EntityDescription&, std::int64_t key)>;
    ObserverToken addKeyHolder(KeyHolder holds);

    // The registered object for an ID, or a fault for it (not read until used); none when
    // the ID is temporary and unknown. Does not check that the row exists.
    std::shared_ptr<ManagedObject> objectWithID(ObjectID id);
    // The object named by uriRepresentation(), read from the store; none when the address is
    // not of this store or names no existing object.
    std::shared_ptr<ManagedObject> existingObjectWithURI(std::string_view uri);
    // The object with this global identifier, if it exists (registered or in the store).
    std::shared_ptr<ManagedObject> existingObjectWithGlobalID(const EntityDescription& entity,
                                                              const GlobalID& id);

    // Reports the changes made since the last report to the change observers.
    void processPendingChanges();
    // Brings in what another connection to the same store saved: inserted and updated objects
    // are (re)read, deleted ones removed, and all of them reported as ordinary changes. The
    // context's own unsaved edits are kept: an attribute changed here and not yet saved keeps
    // this context's value.
    void mergeChangesFromContextDidSaveNotification(const ContextDidSaveNotification& note);

    ObserverToken addChangeObserver(ChangeObserver observer);
    ObserverToken addSaveObserver(SaveObserver observer);

    // Number of objects registered (for tests of on-demand loading).
    std::size_t registeredObjectCount() const;

    // Lets go of the objects nobody needs: saved, unchanged, held by no one outside this
    // context, and not reached through a relationship from an object that stays. Reading their
    // rows again makes new objects. Returns how many went. The caller must hold no raw pointer
    // or reference to an object it does not also hold by shared_ptr (a member list from
    // toMany() included): run it between events, never inside an operation.
    std::size_t releaseUnreferencedObjects();
    // The same, when worth it (releaseIsDue): once this context holds at least
    // objectReleaseFloor() objects and twice as many as after its last release. The container
    // runs it when the main run loop has been quiet a moment after an event that made it due
    // (at once with a floor of 0), so memory follows what the screens hold, not all that was
    // read, and the walk over every object stays out of the event that read them.
    bool releaseIsDue() const;
    void releaseUnreferencedObjectsIfGrown();
    static std::size_t objectReleaseFloor();
    // Tests set 0, so that every event's end releases what it can.
    static void setObjectReleaseFloor(std::size_t count);

    StoreConnection& connection() { return *connection_; }

  private:
    friend class ManagedObject;
    FetchedRows runFetch(const FetchRequest& request, bool keysPastFirstBatch);
    class Impl;
    std::shared_ptr<StoreConnection> connection_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace jw::store
