#include "ChangeRecorder.h"

#include "ObjectChange.h"
#include "SyncTables.h"

namespace jw::sync {

void recordCommittedChanges(store::SqliteDatabase& db, const store::CommittedChanges& changes) {
    SyncTables tables(db);
    if (tables.stateInteger("attached", 0) != 1 || changes.changes.empty()) {
        return;
    }
    const auto device = tables.state("device").value_or("");
    std::int64_t clock = tables.stateInteger("clock", 0);
    for (const auto& change : changes.changes) {
        const auto& entity = *change.entity;
        const Stamp stamp{++clock, device};
        ObjectChange record;
        record.entity = entity.name;
        record.globalID = change.globalID.toString();
        using Kind = store::CommittedChange::Kind;
        if (change.kind == Kind::remove) {
            record.removed = stamp;
            tables.clearStamps(change.globalID);
            tables.clearLinks(change.globalID);
            tables.setTombstone(change.globalID, entity.name, stamp);
        } else {
            const bool inserted = change.kind == Kind::insert;
            const std::optional<Stamp> keyStamp =
                inserted ? std::nullopt : std::optional<Stamp>(stamp);
            if (inserted) {
                record.created = stamp;
                tables.setStamp(change.globalID, "", stamp);
            }
            for (const auto& [index, value] : change.attributes) {
                const auto& attribute = entity.attributes[index];
                record.values[attribute.name] = {encodeValue(attribute.type, value), keyStamp};
                if (!inserted) {
                    tables.setStamp(change.globalID, attribute.name, stamp);
                }
            }
            for (const auto& [slot, target] : change.toOnes) {
                const auto& name = entity.toOneRelationships[slot]->name;
                record.values[name] = {
                    target ? nlohmann::json(target->toString()) : nlohmann::json(nullptr),
                    keyStamp};
                if (!inserted) {
                    tables.setStamp(change.globalID, name, stamp);
                }
                // A local write settles the value; any wait for a missing target is over.
                tables.clearLink(change.globalID, name);
            }
        }
        tables.addPending(change.globalID, record.toJson().dump());
    }
    tables.setState("clock", clock);
}

}  // namespace jw::sync
