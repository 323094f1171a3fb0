#include "ChangeRecorder.h"

#include <fmt/format.h>

#include <vector>

#include "ObjectChange.h"
#include "SyncState.h"
#include "SyncTables.h"
#include "platform/store/StoreConnection.h"
#include "platform/store/StoreRows.h"

namespace jw::sync {

namespace {

// Objects still stored as members of an object the context removed are ones it had not heard
// of (a merge brought them after its last look): they wait for the removed object, and the
// next merge settles them as its removal asks.
void waitForRemovedOwner(store::SqliteDatabase& db, SyncTables& tables,
                         const store::EntityDescription& entity,
                         const store::CommittedChange& change) {
    using store::StoreConnection;
    for (const auto* r : entity.toManyRelationships) {
        for (const auto& [key, member] : store::StoreRows(db).membersOf(*r, change.key)) {
            tables.setLink(member, r->destination->name, r->inverse->name, change.globalID);
        }
    }
}

}  // namespace

void recordCommittedChanges(store::SqliteDatabase& db, const store::CommittedChanges& changes) {
    if (changes.changes.empty()) {
        return;
    }
    SyncTables tables(db);
    // A store attached once keeps stamping its changes while the attachment is lost or being
    // made afresh, so that attaching again sends them with their true order; only an attached
    // store queues them for export (attaching exports the whole store anyway).
    SyncState attachment(db);
    const auto device = attachment.get(state::device);
    if (device.empty()) {
        return;
    }
    const bool attached = attachment.get(state::attached);
    std::int64_t clock = attachment.get(state::clock);
    std::vector<std::string_view> stamped;  // the keys a change stamps
    for (const auto& change : changes.changes) {
        const auto& entity = *change.entity;
        const Stamp stamp{++clock, device};
        const auto globalID = change.globalID.toString();
        using Kind = store::CommittedChange::Kind;
        using Text = PendingChangeText::Kind;
        if (change.kind == Kind::remove) {
            tables.clearStamps(change.globalID);
            tables.clearLinks(change.globalID);
            tables.unpark(change.globalID);
            tables.setTombstone(change.globalID, entity.name, stamp);
            waitForRemovedOwner(db, tables, entity, change);
            if (attached) {
                tables.addPending(
                    change.globalID,
                    PendingChangeText(Text::removed, stamp, entity.name, globalID).text());
            }
            continue;
        }
        const bool inserted = change.kind == Kind::insert;
        // The context may be a merge behind: an object it updates may have been removed by a
        // merge meanwhile (the change goes out all the same and changes nothing), or set aside
        // by one, its owner removed (the change joins what is set aside).
        bool removed = false;
        bool aside = false;
        if (!inserted) {
            removed = tables.tombstone(change.globalID).has_value();
            if (!removed) {
                const auto parked = tables.parked(change.globalID);
                aside = parked && parked->created;
            }
        }
        const bool stored = !removed && !aside;
        PendingChangeText record(inserted ? Text::created : Text::updated, stamp, entity.name,
                                 globalID);
        stamped.clear();
        if (inserted) {
            stamped.emplace_back("");  // the creation's key
        }
        for (const auto& [index, value] : change.attributes) {
            const auto& attribute = entity.attributes[index];
            appendEncodedValue(record.key(attribute.name), attribute.type, value);
            record.endValue();
            if (!inserted && stored) {
                stamped.emplace_back(attribute.name);
            }
        }
        for (const auto& [slot, target] : change.toOnes) {
            const auto& name = entity.toOneRelationships[slot]->name;
            auto& text = record.key(name);
            if (target) {
                text += '"';
                text += target->toString();
                text += '"';
            } else {
                text += "null";
            }
            record.endValue();
            if (!stored) {
                continue;
            }
            if (!inserted) {
                stamped.emplace_back(name);
            }
            // A local write settles the value; any wait for a missing target is over, unless
            // the target is one a merge removed after the context last heard of it: the next
            // merge settles the object as the target's removal asks.
            tables.clearLink(change.globalID, name);
            if (target && tables.tombstone(*target)) {
                tables.setLink(change.globalID, entity.name, name, *target);
            }
        }
        tables.setStamps(change.globalID, stamped, stamp);
        if (aside) {
            tables.park(change.globalID, pendingChangeFrom(record.text()));
            attachment.set(state::asideChanged, true);  // for the next merge to look at
        }
        if (attached) {
            tables.addPending(change.globalID, record.text());
        }
    }
    attachment.set(state::clock, clock);
}

}  // namespace jw::sync
