// Fetching: a request run against the store and the context's unsaved changes.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::executeFetchRequest(
    const FetchRequest& request) {
    const CompiledFetch fetch(impl_->model, request);
    const auto& e = fetch.entity();

    std::string where;
    bool storeCanMatch = true;
    std::vector<const Value*> bindings;
    std::vector<std::int64_t> keyBindings;
    auto clause = [&](const std::string& text) {
        where += (where.empty() ? " WHERE " : " AND ") + text;
    };
    // Bind in clause order: attribute conditions first, then relationship keys.
    for (const auto& c : fetch.attributeConditions()) {
        const auto column = StoreConnection::quoted(e.attributes[c.attribute].name);
        if (isAbsent(c.value)) {
            clause(column + " IS NULL");
        } else {
            clause(column + " = ?");
            bindings.push_back(&c.value);
        }
    }
    for (const auto& c : fetch.relationshipConditions()) {
        const auto column = StoreConnection::quoted(c.relationship->name);
        if (!c.object) {
            clause(column + " IS NULL");
        } else if (c.object->objectID().key < 0 || c.object->managedObjectContext() != this) {
            storeCanMatch = false;  // an unsaved (or foreign) object has no rows pointing at it
        } else {
            clause(column + " = ?");
            keyBindings.push_back(c.object->objectID().key);
        }
    }
    // SQLite sorts the rows it returns (measured faster than sorting the objects for large
    // lists); the order is the one CompiledFetch::less gives in memory, global identifier last.
    std::string order;
    for (const auto& key : fetch.sortKeys()) {
        order += StoreConnection::quoted(e.attributes[key.attribute].name) +
                 (key.ascending ? " ASC, " : " DESC, ");
    }
    order += "\"_gid\" ASC";

    std::vector<std::shared_ptr<ManagedObject>> results;
    if (storeCanMatch) {
        auto& statement = impl_->connection.database().cached(
            fmt::format("SELECT {} FROM {}{} ORDER BY {}", StoreConnection::selectColumns(e),
                        StoreConnection::quoted(e.name), where, order));
        int index = 1;
        for (const auto* v : bindings) {
            statement.bindValue(index++, *v);
        }
        for (auto key : keyBindings) {
            statement.bindInt(index++, key);
        }
        try {
            while (statement.step()) {
                results.push_back(impl_->materialize(e, statement));
            }
        } catch (...) {
            statement.reset();
            throw;
        }
        statement.reset();
    }

    if (!impl_->hasUnsavedChanges(e)) {
        return results;
    }
    // Apply the unsaved state: in-memory values decide membership and order.
    std::unordered_set<ManagedObject*> present;
    std::erase_if(results, [&](const std::shared_ptr<ManagedObject>& o) {
        if (o->deleted_ || !fetch.matches(*o)) {
            return true;
        }
        present.insert(o.get());
        return false;
    });
    for (auto* set : {&impl_->unsavedInserted[e.index], &impl_->unsavedUpdated[e.index]}) {
        for (const auto& [raw, object] : *set) {
            if (!present.count(raw) && fetch.matches(*object)) {
                results.push_back(object);
            }
        }
    }
    std::sort(results.begin(), results.end(),
              [&](const auto& a, const auto& b) { return fetch.less(*a, *b); });
    return results;
}

}  // namespace jw::store
