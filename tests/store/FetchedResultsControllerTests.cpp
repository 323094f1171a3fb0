// Fetched-results controllers: the rows of one fetch kept current, and the changes told to a
// delegate the way a table view applies batch updates.

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <stdexcept>

#include "platform/store/FetchedResultsController.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/store/TableMirror.h"

namespace jw::store::test {
namespace {

class Controllers : public StoreTest {
  protected:
    std::unique_ptr<FetchedResultsController> controllerFor(FetchRequest request) {
        auto controller =
            std::make_unique<FetchedResultsController>(std::move(request), sharedContext());
        controller->performFetch();
        return controller;
    }
    FetchRequest itemsOf(ManagedObject* list) {
        return FetchRequest::forEntity("Item")
            .whereRelated("forList", list)
            .sortedBy("sortNumber", true);
    }
    std::vector<std::string> bodies(const FetchedResultsController& controller) {
        return strings(controller.fetchedObjects(), "body");
    }
    std::vector<std::string> expectedBodies(const FetchRequest& request) {
        return strings(context().executeFetchRequest(request), "body");
    }
};

TEST_F(Controllers, AnswerRowQuestionsAfterTheFetch) {
    auto home = newList("Home");
    for (int i = 0; i < 3; ++i) {
        newItem(home.get(), fmt::format("h{}", i), i);
    }
    auto stray = newItem(nullptr, "stray");
    context().save();

    FetchedResultsController controller(itemsOf(home.get()), sharedContext());
    EXPECT_EQ(controller.numberOfSections(), 0u) << "nothing before the fetch";
    controller.performFetch();
    EXPECT_EQ(controller.numberOfSections(), 1u);
    EXPECT_EQ(controller.numberOfObjects(1), 0u);
    EXPECT_EQ(bodies(controller), (std::vector<std::string>{"h0", "h1", "h2"}));
    for (std::size_t row = 0; row < 3; ++row) {
        auto& object = controller.objectAtIndexPath({0, row});
        EXPECT_EQ(object.value("body"), text(fmt::format("h{}", row)));
        EXPECT_EQ(controller.indexPathForObject(object), (IndexPath{0, row}));
    }
    EXPECT_THROW(controller.objectAtIndexPath({0, 3}), std::out_of_range);
    EXPECT_THROW(controller.objectAtIndexPath({1, 0}), std::out_of_range);
    EXPECT_EQ(controller.indexPathForObject(*stray), std::nullopt);
    EXPECT_EQ(controller.indexPathForObject(*home), std::nullopt);

    // An object whose sort key changed and was not yet processed is still found where it is.
    auto& last = controller.objectAtIndexPath({0, 2});
    last.setValue("sortNumber", integer(-5));
    EXPECT_EQ(controller.indexPathForObject(last), (IndexPath{0, 2}));
    context().processPendingChanges();
    EXPECT_EQ(controller.indexPathForObject(last), (IndexPath{0, 0}));
}

TEST_F(Controllers, AnInvalidRequestFailsTheFetch) {
    FetchedResultsController controller(FetchRequest::forEntity("Item").sortedBy("title", true),
                                        sharedContext());
    EXPECT_THROW(controller.performFetch(), StoreError);
    EXPECT_EQ(controller.numberOfSections(), 0u);
    newItem(nullptr, "a");
    EXPECT_NO_THROW(context().processPendingChanges());
    EXPECT_TRUE(controller.fetchedObjects().empty());
}

// Each change, processed on its own, and the batch the delegate heard: "kind body old->new",
// "-" for a row not named, "" for no batch at all.
TEST_F(Controllers, TellTheirDelegateOfInsertsDeletesMovesAndUpdates) {
    auto home = newList("Home");
    std::vector<std::shared_ptr<ManagedObject>> items;
    for (int i = 0; i < 4; ++i) {
        items.push_back(newItem(home.get(), fmt::format("h{}", i), i * 10));
    }
    context().save();
    auto controller = controllerFor(itemsOf(home.get()));
    controller->performFetch();  // a second fetch still observes the context once
    TableMirror table(*controller);
    controller->setDelegate(&table);
    const auto batch = [&](const std::function<void()>& change) {
        const int before = table.batches;
        change();
        context().processPendingChanges();
        std::string text;
        const char* kinds[] = {"insert", "delete", "move", "update"};
        for (const auto& c : table.batches > before ? table.batch : decltype(table.batch){}) {
            const auto row = [](auto r) { return r ? std::to_string(*r) : std::string("-"); };
            text += fmt::format("{}{} {} {}->{}", text.empty() ? "" : ", ", kinds[int(c.type) - 1],
                                *stringOf(c.object->value("body")), row(c.oldRow), row(c.newRow));
        }
        return text;
    };

    EXPECT_EQ(batch([&] { newItem(home.get(), "new", 15); }), "insert new -->2");
    EXPECT_EQ(batch([&] { context().deleteObject(*items[0]); }), "delete h0 0->-");
    EXPECT_EQ(batch([&] { items[3]->setValue("sortNumber", integer(-1)); }), "move h3 3->0");
    EXPECT_EQ(batch([&] { items[1]->setValue("note", text("a note")); }), "update h1 1->1");
    EXPECT_EQ(batch([&] { items[1]->setToOne(forList, nullptr); }), "delete h1 1->-");
    // Changes the fetch does not cover, other entities included, tell the delegate nothing.
    EXPECT_EQ(batch([&] {
                  home->setValue("name", text("House"));
                  newList("Work", 1);
                  context().insertNewObject("Folder");
              }),
              "");
    EXPECT_EQ(bodies(*controller), (std::vector<std::string>{"h3", "new", "h2"}));
}

// Without a delegate the rows still follow; a delegate set again hears nothing of the past.
TEST_F(Controllers, ADetachedDelegateHearsNothingAndIsNotToldLater) {
    auto home = newList("Home");
    std::vector<std::shared_ptr<ManagedObject>> items;
    for (int i = 0; i < 20; ++i) {
        items.push_back(newItem(home.get(), fmt::format("h{}", i), i));
    }
    context().save();
    auto controller = controllerFor(itemsOf(home.get()));
    TableMirror table(*controller);
    controller->setDelegate(&table);
    controller->setDelegate(nullptr);
    for (int i = 0; i < 20; ++i) {  // every row renumbered in reverse while nobody listens
        items[std::size_t(i)]->setValue("sortNumber", integer(100 - i));
    }
    controller->setDelegate(&table);
    context().processPendingChanges();
    EXPECT_EQ(table.batches, 0);
    EXPECT_EQ(bodies(*controller), expectedBodies(controller->fetchRequest()));

    table = TableMirror(*controller);  // the delegate resumes from the current rows
    items[0]->setValue("sortNumber", integer(0));
    context().processPendingChanges();
    EXPECT_EQ(table.batches, 1);
    EXPECT_EQ(bodies(*controller).front(), "h0");
}

// Random inserts, deletes, sort-key changes and predicate changes, processed in batches of a
// few; after every batch the mirror equals the controller's rows (checked by the mirror) and
// the rows equal a fresh fetch.
void randomBatches(ManagedObjectContext& context, FetchedResultsController& controller,
                   const std::vector<std::shared_ptr<ManagedObject>>& lists, unsigned seed,
                   const RelationshipDescription& forList) {
    std::mt19937 random(seed);
    TableMirror table(controller);
    controller.setDelegate(&table);
    int created = 0;
    const std::vector<Value> bodies{text("apple"), text("Apple"), text("b"), Value{},
                                    text("\u00e9")};
    for (int round = 0; round < 150; ++round) {
        const int operations = 1 + int(random() % 6);
        for (int k = 0; k < operations; ++k) {
            auto all = context.executeFetchRequest(FetchRequest::forEntity("Item"));
            const int action = int(random() % 100);
            if (action < 25 || all.empty()) {
                auto item = context.insertNewObject("Item");
                item->setValue("sortNumber", integer(int(random() % 20)));
                item->setValue("body", bodies[random() % bodies.size()]);
                item->setValue("note", text(fmt::format("n{}", created++)));
                item->setToOne(forList, lists[random() % lists.size()].get());
            } else if (action < 40) {
                context.deleteObject(*all[random() % all.size()]);
            } else if (action < 65) {
                all[random() % all.size()]->setValue("sortNumber", integer(int(random() % 20)));
            } else if (action < 75) {
                all[random() % all.size()]->setValue("body", bodies[random() % bodies.size()]);
            } else if (action < 85) {
                all[random() % all.size()]->setToOne(forList, lists[random() % lists.size()].get());
            } else if (action < 92) {
                all[random() % all.size()]->setValue("isDone", flag(random() % 2));
            } else {
                context.save();
            }
        }
        context.processPendingChanges();
        ASSERT_EQ(strings(controller.fetchedObjects(), "note"),
                  strings(context.executeFetchRequest(controller.fetchRequest()), "note"))
            << "round " << round;
        if (::testing::Test::HasFailure()) {
            FAIL() << "round " << round;
        }
    }
    EXPECT_GT(table.batches, 50);
    EXPECT_GT(table.counts[int(ChangeType::Move)], 0);
    controller.setDelegate(nullptr);
}

struct RandomCase {
    const char* name;
    unsigned seed;
    int sortNumbers;  // of the seed items
};

void PrintTo(const RandomCase& c, std::ostream* out) {
    *out << c.name;
}

class RandomControllers : public Controllers, public ::testing::WithParamInterface<RandomCase> {};

TEST_P(RandomControllers, KeepATableInStep) {
    std::vector<std::shared_ptr<ManagedObject>> lists{newList("Home"), newList("Work")};
    for (int i = 0; i < 30; ++i) {
        auto item = newItem(lists[i % 2].get(), "x", i % GetParam().sortNumbers);
        item->setValue("note", text(fmt::format("seed{}", i)));
    }
    context().save();
    auto controller = controllerFor(GetParam().seed == 99 ? itemsOf(lists[0].get())
                                                          : FetchRequest::forEntity("Item")
                                                                .where("isDone", flag(false))
                                                                .sortedBy("body", false)
                                                                .sortedBy("sortNumber", true));
    randomBatches(context(), *controller, lists, GetParam().seed, forList);
}

INSTANTIATE_TEST_SUITE_P(Controllers, RandomControllers,
                         ::testing::Values(RandomCase{"BySortNumberInAList", 99, 7},
                                           RandomCase{"ByTwoKeysAndAnAttribute", 2027, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace jw::store::test
