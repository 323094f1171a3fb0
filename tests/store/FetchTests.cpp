// Fetch requests: which objects match (and how many: a count agrees with the fetch), in which
// order, and that a fetch describes the context as it is now, unsaved changes included. Every order
// is checked twice: once as the store's SQL gives it (no unsaved changes) and once as the context
// computes it in memory (an unsaved change of the entity present); both must follow the same rules.

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <random>

#include "platform/store/FetchedResultsController.h"
#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

using Objects = std::vector<std::shared_ptr<ManagedObject>>;

using Fetching = StoreTest;

// ---------------------------------------------------------------------------------------------
// The store's order and the context's order, compared on random data.

// The ordering rules, written out for the test: absent first, then by kind.
int referenceCompare(const Value& a, const Value& b) {
    if (isAbsent(a) || isAbsent(b)) {
        return int(!isAbsent(a)) - int(!isAbsent(b));
    }
    auto sign = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (auto s = std::get_if<std::string>(&a)) {  // by code point: UTF-8 bytes, unsigned
        return sign(*s, std::get<std::string>(b));
    }
    if (auto i = std::get_if<std::int64_t>(&a)) {
        return sign(*i, std::get<std::int64_t>(b));
    }
    if (auto f = std::get_if<bool>(&a)) {
        return sign(int(*f), int(std::get<bool>(b)));
    }
    if (auto d = std::get_if<Date>(&a)) {
        return sign(d->secondsSinceEpoch, std::get<Date>(b).secondsSinceEpoch);
    }
    ADD_FAILURE() << "unexpected kind of value";
    return 0;
}

TEST_F(Fetching, TheStoreAndTheContextOrderRandomDataAlike) {
    std::mt19937 random(424242);
    // Values at the edges of each order: strings by code point and case-sensitively, numbers
    // to the ends of their range, dates before 1970 and a millisecond apart.
    std::vector<Value> bodies{Value{}};
    for (const char* body :
         {"", "a", "A", "apple", "Apple", "apples", "Z", "Zoo", "z", "\u00c4", "\u00e9", "e\u0301",
          "\u03a9", "\u4e2d", "\uff21", "\U0001F600", "\U0001F600 x", "\u05e9\u05dc\u05d5\u05dd"}) {
        bodies.push_back(text(body));
    }
    const Value numbers[] = {integer(std::numeric_limits<std::int32_t>::min()),
                             integer(std::numeric_limits<std::int32_t>::max())};
    const Value dates[] = {Value{},    date(-86'400.75), date(0),
                           date(0.25), date(1e9),        date(1e9 + 0.001)};
    auto pick = [&](auto&& values) { return values[random() % std::size(values)]; };
    auto home = newList(context(), "Home");
    auto work = newList(context(), "Work");
    std::shared_ptr<ManagedObject> fresh;  // a list made among each round's unsaved changes
    auto randomize = [&](ManagedObject& object) {
        object.setValue("body", pick(bodies));
        object.setValue("note", random() % 3 ? pick(bodies) : Value{});
        object.setValue("importance", integer(int(random() % 4) - 1));
        object.setValue("sortNumber",
                        random() % 8 ? integer(int(random() % 50) - 10) : pick(numbers));
        object.setValue("isDone", flag(random() % 2));
        object.setValue("created",
                        random() % 4 ? date(1.8e9 + double(random() % 20) / 4) : pick(dates));
        const int list = int(random() % 4);
        object.setToOne(forList, list == 0   ? home.get()
                                 : list == 1 ? work.get()
                                 : list == 2 ? fresh.get()
                                             : nullptr);
    };
    for (int i = 0; i < 300; ++i) {
        randomize(*context().insertNewObject("Item"));
    }
    auto gone = newList(context(), "Gone");
    context().save();
    context().deleteObject(*gone);
    context().save();
    auto other = openContainer();
    auto foreignHome = other->viewContext().existingObjectWithURI(home->uriRepresentation());

    const std::vector<std::string> sortKeys{"body",       "note",   "importance",
                                            "sortNumber", "isDone", "created"};
    auto randomRequest = [&] {
        auto request = FetchRequest::forEntity("Item");
        switch (random() % 8) {
            case 0:
                request.where("isDone", flag(random() % 2));
                break;
            case 1:
                request.whereRelated("forList", random() % 2 ? home.get() : nullptr);
                break;
            case 2:
                request.where("importance", integer(int(random() % 4) - 1))
                    .whereRelated("forList", work.get());
                break;
            case 3:
                request.where("note", random() % 2 ? Value{} : text(""));
                break;
            case 4:  // a list of another context, or a deleted one
                request.whereRelated("forList", random() % 2 ? foreignHome.get() : gone.get());
                break;
            case 5:
                request.where("importance", integer(int(random() % 2)))
                    .where("importance", integer(int(random() % 2)));
                break;
            default:
                break;
        }
        // Now and then batched: the rows past the first batch are faults, in the same order.
        request.fetchBatchSize = random() % 3 ? 0 : 1 + random() % 20;
        const int keys = 1 + int(random() % 3);
        for (int k = 0; k < keys; ++k) {
            request.sortedBy(pick(sortKeys), random() % 2);
        }
        return request;
    };
    auto expectReferenceOrder = [&](const FetchRequest& request, const Objects& fetched,
                                    const std::string& where) {
        Objects expected;
        for (const auto& object : context().executeFetchRequest(FetchRequest::forEntity("Item"))) {
            bool matches = !object->isDeleted();
            for (const auto& condition : request.predicate) {
                if (condition.key == "forList") {
                    matches = matches && object->toOne(forList) == condition.object;
                } else {
                    matches = matches &&
                              referenceCompare(object->value(condition.key), condition.value) == 0;
                }
            }
            if (matches) {
                expected.push_back(object);
            }
        }
        std::sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
            for (const auto& key : request.sortDescriptors) {
                const int c = referenceCompare(a->value(key.key), b->value(key.key));
                if (c != 0) {
                    return key.ascending ? c < 0 : c > 0;
                }
            }
            return a->globalID() < b->globalID();
        });
        ASSERT_EQ(fetched.size(), expected.size()) << where;
        for (std::size_t i = 0; i < fetched.size(); ++i) {
            ASSERT_EQ(fetched[i], expected[i]) << where << ", row " << i;
        }
    };

    for (int round = 0; round < 40; ++round) {
        const auto request = randomRequest();
        const std::string where = fmt::format("round {}", round);
        // From the store, then in memory: with an unsaved insert present (and left out).
        const auto fromStore = context().executeFetchRequest(request);
        auto probe = context().insertNewObject("Item");
        auto fromMemory = context().executeFetchRequest(request);
        std::erase(fromMemory, probe);
        context().deleteObject(*probe);
        EXPECT_EQ(fromStore, fromMemory) << where << ": the store and the context differ";
        EXPECT_EQ(context().countForFetchRequest(request), fromStore.size()) << where;
        ASSERT_NO_FATAL_FAILURE(expectReferenceOrder(request, fromStore, where));
        // Unsaved edits, inserts and deletes: the context's answer must follow the same rules.
        auto all = context().executeFetchRequest(FetchRequest::forEntity("Item"));
        fresh = newList(context(), "Fresh");
        // Counted with the saved rows of the edited left out of the store's count, or (past 16
        // of them) by fetching: both ways are taken.
        const int edits = 5 + int(random() % 20);
        for (int k = 0; k < edits; ++k) {
            randomize(*all[random() % all.size()]);
        }
        for (int k = 0; k < 3; ++k) {
            randomize(*context().insertNewObject("Item"));
        }
        context().deleteObject(*all[random() % all.size()]);
        ASSERT_NO_FATAL_FAILURE(expectReferenceOrder(
            request, context().executeFetchRequest(request), where + " (unsaved changes)"));
        EXPECT_EQ(context().countForFetchRequest(request),
                  context().executeFetchRequest(request).size())
            << where << " (unsaved changes)";
        // Only unsaved items, or saved ones moved in unsaved, can point at an unsaved list.
        const auto inFresh = FetchRequest::forEntity("Item")
                                 .whereRelated("forList", fresh.get())
                                 .sortedBy("body", true);
        ASSERT_NO_FATAL_FAILURE(expectReferenceOrder(
            inFresh, context().executeFetchRequest(inFresh), where + " (an unsaved list)"));
        EXPECT_EQ(context().countForFetchRequest(inFresh),
                  context().executeFetchRequest(inFresh).size())
            << where << " (an unsaved list)";
        context().save();
        ASSERT_NO_FATAL_FAILURE(expectReferenceOrder(
            request, context().executeFetchRequest(request), where + " (saved)"));
    }
}

// A batched fetch reads its first batch and faults the rest, in the order of an unbatched
// fetch (the random run above checks batched fetches over unsaved changes).
TEST_F(Fetching, ABatchedFetchReadsTheFirstBatchAndFaultsTheRestInOrder) {
    auto home = newList(context(), "Home");
    for (int i = 0; i < 12; ++i) {
        auto item = newItem(context(), home.get(), "x", i);
        item->setValue("note", text(fmt::format("n{}", i)));
        item->setValue("created", date(1.8e9 + i / 2));  // two on each second
    }
    context().save();
    const auto newestFirst = [](std::size_t batch) {
        auto request = FetchRequest::forEntity("Item").sortedBy("created", false);
        request.fetchBatchSize = batch;
        return request;
    };
    // How many objects were faults before they were read, then their notes in order.
    const auto describe = [](const Objects& objects) {
        const auto faults = std::count_if(objects.begin(), objects.end(),
                                          [](const auto& o) { return o->isFault(); });
        return fmt::format("{} faults: {}", faults, fmt::join(strings(objects, "note"), " "));
    };
    const auto notes = fmt::format(
        "{}", fmt::join(strings(context().executeFetchRequest(newestFirst(0)), "note"), " "));
    // A controller over a fetch of more rows than its batch size makes no object; touching a
    // row reads it and the untouched rows after it, up to the batch size (and Home, which
    // they name). One of no more rows than the batch size reads them all at once.
    const auto touched = [&](std::size_t batch, std::size_t row) {
        FetchedResultsController controller(newestFirst(batch), sharedContext());
        controller.performFetch();
        const auto fetched = context().registeredObjectCount();
        const auto& object = controller.objectAtIndexPath({0, row});
        return fmt::format("{} rows, {} objects, then {} made: {}", controller.numberOfObjects(0),
                           fetched, context().registeredObjectCount() - fetched,
                           stringOf(object.value("note")).value_or("<absent>"));
    };
    const auto noteList = strings(context().executeFetchRequest(newestFirst(0)), "note");
    for (const auto& [batch, faults] : {std::pair{1, 11}, {4, 8}, {12, 0}, {25, 0}}) {
        relaunch();
        EXPECT_EQ(describe(context().executeFetchRequest(newestFirst(batch))),
                  fmt::format("{} faults: {}", faults, notes));
        for (const std::size_t row : {std::size_t(0), std::size_t(batch), std::size_t(11)}) {
            if (row >= 12) {
                continue;
            }
            relaunch();
            const bool keysOnly = batch < 12;
            EXPECT_EQ(touched(batch, row),
                      fmt::format("12 rows, {} objects, then {} made: {}", keysOnly ? 0 : 13,
                                  keysOnly ? std::min<std::size_t>(batch, 12 - row) + 1 : 0,
                                  noteList.at(row)))
                << "batch " << batch << ", row " << row;
        }
    }
    // A row deleted elsewhere, never read here, still leaves a controller that holds it by
    // key only, and reading nothing else on the way.
    relaunch();
    FetchedResultsController controller(newestFirst(1), sharedContext());
    controller.performFetch();
    elsewhere().deleteObject(*elsewhere().executeFetchRequest(newestFirst(0)).at(5));
    const auto before = context().registeredObjectCount();
    mergeElsewhere();
    context().processPendingChanges();
    auto remaining = noteList;
    remaining.erase(remaining.begin() + 5);
    EXPECT_EQ(fmt::format("{} rows, {} objects made", controller.numberOfObjects(0),
                          context().registeredObjectCount() - before),
              "11 rows, 0 objects made");
    EXPECT_EQ(strings(controller.fetchedObjects(), "note"), remaining);

    // Keys are read as rows are reached, from the state the fetch counted: a row committed
    // elsewhere and not merged yet neither shows nor shifts the rows read late; the merge
    // then brings it in.
    relaunch();
    FetchedResultsController late(newestFirst(1), sharedContext());
    late.performFetch();
    auto newest = newItem(elsewhere(), nullptr, "x");
    newest->setValue("created", date(1.9e9));
    newest->setValue("note", text("newest"));
    elsewhere().save();
    EXPECT_EQ(fmt::format("{} rows, row 1 {}", late.numberOfObjects(0),
                          stringOf(late.objectAtIndexPath({0, 1}).value("note")).value_or("-")),
              fmt::format("{} rows, row 1 {}", remaining.size(), remaining.at(1)));
    mergeElsewhere();
    context().processPendingChanges();
    EXPECT_EQ(late.fetchedObjects(), context().executeFetchRequest(newestFirst(0)));
}

}  // namespace
}  // namespace jw::store::test
