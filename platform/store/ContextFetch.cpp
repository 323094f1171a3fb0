// Fetching: a request run against the store and the context's unsaved changes.

#include "ManagedObjectContext.h"

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "CommitHooks.h"
#include "CompiledFetch.h"
#include "ContextInternals.h"
#include "StoreError.h"

namespace jw::store {

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::executeFetchRequest(
    const FetchRequest& request) {
    return runFetch(request, false).objects;
}

ManagedObjectContext::FetchedRows ManagedObjectContext::fetchRows(const FetchRequest& request) {
    return runFetch(request, true);
}

namespace {

// "?, ?, ..." with `count` parameters, for a fixed-size list of keys (keys start at 1, so
// unused parameters bound to 0 name no row).
std::string keyParameters(std::size_t count) {
    std::string parameters = "?";
    for (std::size_t i = 1; i < count; ++i) {
        parameters += ", ?";
    }
    return parameters;
}

// The predicate as SQL over the entity's table, with its parameters in clause order:
// attribute conditions first, then relationship keys. `storeCanMatch` is false when a
// condition names an object no saved row can point at (unsaved, or another context's).
struct StoreCondition {
    std::string where;
    bool storeCanMatch = true;
    std::vector<const Value*> bindings;
    std::vector<std::int64_t> keyBindings;

    StoreCondition(const CompiledFetch& fetch, const ManagedObjectContext& context) {
        const auto& e = fetch.entity();
        auto clause = [&](const std::string& text) {
            where += (where.empty() ? " WHERE " : " AND ") + text;
        };
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
            } else if (c.object->objectID().key < 0 ||
                       c.object->managedObjectContext() != &context) {
                storeCanMatch = false;
            } else {
                clause(column + " = ?");
                keyBindings.push_back(c.object->objectID().key);
            }
        }
    }

    void bind(SqliteStatement& statement) const {
        int index = 1;
        for (const auto* v : bindings) {
            statement.bindValue(index++, *v);
        }
        for (auto key : keyBindings) {
            statement.bindInt(index++, key);
        }
    }
};

}  // namespace

std::size_t ManagedObjectContext::countForFetchRequest(const FetchRequest& request) {
    const CompiledFetch fetch(impl_->model, request);
    const auto& e = fetch.entity();
    // The objects with unsaved changes are counted here by what they hold now; the store
    // counts every other row. Their saved rows are left out of the store's count by key (the
    // parameters past those keys name key 0, which no row has), so an unsaved check moves the
    // count of checked items by exactly one without reading the others.
    constexpr std::size_t kKeysLeftOut = 16;
    std::size_t count = 0;
    std::vector<std::int64_t> leftOut;
    if (impl_->hasUnsavedChanges(e)) {
        std::unordered_set<const ManagedObject*> seen;
        for (const auto* set : {&impl_->unsavedInserted[e.index], &impl_->unsavedUpdated[e.index],
                                &impl_->unsavedDeleted[e.index]}) {
            for (const auto& [raw, object] : *set) {
                if (!seen.insert(raw).second) {
                    continue;
                }
                if (!raw->deleted_ && fetch.matches(*raw)) {
                    ++count;
                }
                if (raw->key_ > 0) {
                    leftOut.push_back(raw->key_);
                }
            }
        }
        if (leftOut.size() > kKeysLeftOut) {
            return runFetch(request, false).objects.size();
        }
    }
    const StoreCondition condition(fetch, *this);
    if (!condition.storeCanMatch) {
        return count;
    }
    std::string where = condition.where;
    if (!leftOut.empty()) {
        where += fmt::format("{} \"_key\" NOT IN ({})", where.empty() ? " WHERE" : " AND",
                             keyParameters(kKeysLeftOut));
    }
    auto& statement = impl_->connection.database().cached(
        fmt::format("SELECT count(*) FROM {}{}", StoreConnection::quoted(e.name), where));
    condition.bind(statement);
    if (!leftOut.empty()) {
        int index = int(condition.bindings.size() + condition.keyBindings.size()) + 1;
        for (std::size_t i = 0; i < kKeysLeftOut; ++i) {
            statement.bindInt(index++, i < leftOut.size() ? leftOut[i] : 0);
        }
    }
    try {
        if (statement.step()) {
            count += std::size_t(statement.columnInt(0));
        }
    } catch (...) {
        statement.reset();
        throw;
    }
    statement.reset();
    return count;
}

ManagedObjectContext::FetchedRows ManagedObjectContext::runFetch(const FetchRequest& request,
                                                                 bool keysPastFirstBatch) {
    const CompiledFetch fetch(impl_->model, request);
    const auto& e = fetch.entity();
    const StoreCondition condition(fetch, *this);
    const auto& where = condition.where;
    const bool storeCanMatch = condition.storeCanMatch;

    // SQLite sorts the rows it returns (measured faster than sorting the objects for large
    // lists); the order is the one CompiledFetch::less gives in memory, global identifier last.
    std::string order;
    for (const auto& key : fetch.sortKeys()) {
        order += StoreConnection::quoted(e.attributes[key.attribute].name) +
                 (key.ascending ? " ASC, " : " DESC, ");
    }
    order += "\"_gid\" ASC";

    FetchedRows fetched;
    auto& results = fetched.objects;
    if (storeCanMatch) {
        auto& database = impl_->connection.database();
        const auto matching = fmt::format("FROM {}{}", StoreConnection::quoted(e.name), where);
        const auto from = fmt::format("{} ORDER BY {}", matching, order);
        auto run = [&](SqliteStatement& statement, auto&& eachRow) {
            condition.bind(statement);
            try {
                while (statement.step()) {
                    eachRow(statement);
                }
            } catch (...) {
                statement.reset();
                throw;
            }
            statement.reset();
        };
        auto readAll = [&] {
            run(database.cached(
                    fmt::format("SELECT {} {}", StoreConnection::selectColumns(e), from)),
                [&](const SqliteStatement& row) { results.push_back(impl_->materialize(e, row)); });
        };
        const auto batch = request.fetchBatchSize;
        if (batch == 0) {
            readAll();
        } else {
            // The first batch is read; the rest are faults, read when touched. The statements
            // read one snapshot, so a commit between them cannot count a row twice or not at
            // all. A result that fits in one batch is read by the plain query: SQLite's sorter
            // for a LIMIT keeps a bounded tree that is slower than its full sort.
            SqliteReadSnapshot snapshot(database);
            const bool keysOnly = keysPastFirstBatch && !impl_->hasUnsavedChanges(e);
            // Keys alone need only know whether the rows pass the batch size: counted no
            // further than that, which reads a fraction of a large table.
            std::size_t count = 0;
            run(database.cached(keysOnly
                                    ? fmt::format("SELECT count(*) FROM (SELECT 1 {} LIMIT {})",
                                                  matching, batch + 1)
                                    : fmt::format("SELECT count(*) {}", matching)),
                [&](const SqliteStatement& row) { count = std::size_t(row.columnInt(0)); });
            if (count <= batch) {
                readAll();
            } else if (keysOnly) {
                // Keys alone, no object and no identity-map entry until the holder reads a row
                // (objectsWithKeys), read from a snapshot of their own as the holder asks for
                // them: a screen showing the first rows of 100,000 reads a page of keys, not
                // every key. SQLite sorts the keys with their sort columns only.
                fetched.moreKeys = std::make_unique<KeyCursor>(
                    database.file(), fmt::format("SELECT count(*) {}", matching),
                    fmt::format("SELECT \"_key\" {}", from),
                    [&](SqliteStatement& statement) { condition.bind(statement); });
            } else {
                results.reserve(count);
                run(database.cached(fmt::format("SELECT {} {} LIMIT {}",
                                                StoreConnection::selectColumns(e), from, batch)),
                    [&](const SqliteStatement& row) {
                        results.push_back(impl_->materialize(e, row));
                    });
                run(database.cached(
                        fmt::format("SELECT \"_key\" {} LIMIT -1 OFFSET {}", from, batch)),
                    [&](const SqliteStatement& row) {
                        results.push_back(impl_->registeredOrFault(e, row.columnInt(0)));
                    });
            }
        }
    }

    if (!impl_->hasUnsavedChanges(e)) {
        return fetched;
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
    return fetched;
}

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::objectsWithKeys(
    const EntityDescription& e, const std::vector<std::int64_t>& keys) {
    std::vector<std::shared_ptr<ManagedObject>> objects;
    objects.reserve(keys.size());
    // The objects not read yet, by key, read kKeysPerRead rows a statement (an unused
    // parameter names key 0, which no row has: keys start at 1).
    std::vector<std::pair<std::int64_t, ManagedObject*>> unread;
    for (const auto key : keys) {
        objects.push_back(impl_->registeredOrFault(e, key));
        if (objects.back()->fault_) {
            unread.emplace_back(key, objects.back().get());
        }
    }
    if (unread.empty()) {
        return objects;
    }
    std::sort(unread.begin(), unread.end());
    constexpr std::size_t kKeysPerRead = 64;
    auto& statement = impl_->connection.database().cached(
        fmt::format("SELECT {} FROM {} WHERE \"_key\" IN ({})", StoreConnection::selectColumns(e),
                    StoreConnection::quoted(e.name), keyParameters(kKeysPerRead)));
    for (std::size_t start = 0; start < unread.size(); start += kKeysPerRead) {
        for (std::size_t i = 0; i < kKeysPerRead; ++i) {
            const auto at = start + i;
            statement.bindInt(int(i) + 1, at < unread.size() ? unread[at].first : 0);
        }
        try {
            while (statement.step()) {
                const auto key = statement.columnInt(StoreConnection::kKeyColumn);
                const auto found =
                    std::lower_bound(unread.begin(), unread.end(),
                                     std::pair<std::int64_t, ManagedObject*>{key, nullptr});
                if (found != unread.end() && found->first == key && found->second->fault_) {
                    impl_->fillFromRow(*found->second, statement);
                }
            }
        } catch (...) {
            statement.reset();
            throw;
        }
        statement.reset();
    }
    return objects;
}

}  // namespace jw::store
