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

namespace {

// Holds one read snapshot of the store from construction to destruction (a savepoint, so it
// also nests inside a transaction already open on the connection).
class ReadSnapshot {
  public:
    explicit ReadSnapshot(SqliteDatabase& database) : database_(database) {
        database_.execute("SAVEPOINT \"fetch\"");
    }
    ~ReadSnapshot() {
        try {
            database_.execute("RELEASE \"fetch\"");
        } catch (const StoreError&) {
            // Only reads happened inside; nothing is lost if the release fails.
        }
    }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

  private:
    SqliteDatabase& database_;
};

}  // namespace

std::vector<std::shared_ptr<ManagedObject>> ManagedObjectContext::executeFetchRequest(
    const FetchRequest& request) {
    return runFetch(request, false).objects;
}

ManagedObjectContext::FetchedRows ManagedObjectContext::fetchRows(const FetchRequest& request) {
    return runFetch(request, true);
}

ManagedObjectContext::FetchedRows ManagedObjectContext::runFetch(const FetchRequest& request,
                                                                 bool keysPastFirstBatch) {
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

    FetchedRows fetched;
    auto& results = fetched.objects;
    if (storeCanMatch) {
        auto& database = impl_->connection.database();
        const auto matching = fmt::format("FROM {}{}", StoreConnection::quoted(e.name), where);
        const auto from = fmt::format("{} ORDER BY {}", matching, order);
        auto run = [&](SqliteStatement& statement, auto&& eachRow) {
            int index = 1;
            for (const auto* v : bindings) {
                statement.bindValue(index++, *v);
            }
            for (auto key : keyBindings) {
                statement.bindInt(index++, key);
            }
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
            ReadSnapshot snapshot(database);
            std::size_t count = 0;
            run(database.cached(fmt::format("SELECT count(*) {}", matching)),
                [&](const SqliteStatement& row) { count = std::size_t(row.columnInt(0)); });
            if (count <= batch) {
                readAll();
            } else {
                // Keys alone past the first batch when asked: no object, no identity-map
                // entry, for rows that may never be touched.
                const bool keysOnly = keysPastFirstBatch && !impl_->hasUnsavedChanges(e);
                results.reserve(keysOnly ? batch : count);
                run(database.cached(fmt::format("SELECT {} {} LIMIT {}",
                                                StoreConnection::selectColumns(e), from, batch)),
                    [&](const SqliteStatement& row) {
                        results.push_back(impl_->materialize(e, row));
                    });
                if (keysOnly) {
                    fetched.keys.reserve(count - batch);
                }
                run(database.cached(
                        fmt::format("SELECT \"_key\" {} LIMIT -1 OFFSET {}", from, batch)),
                    [&](const SqliteStatement& row) {
                        if (keysOnly) {
                            fetched.keys.push_back(row.columnInt(0));
                        } else {
                            results.push_back(impl_->registeredOrFault(e, row.columnInt(0)));
                        }
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

}  // namespace jw::store
