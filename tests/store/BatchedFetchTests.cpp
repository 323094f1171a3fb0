// Batched fetches: the first batch read, the rest faults in the same order, and a controller
// over such a fetch kept in step with another connection's saves.

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <random>

#include "StoreTestSupport.h"
#include "TableMirror.h"
#include "platform/store/FetchedResultsController.h"
#include "platform/store/StoreConnection.h"

namespace jw::store::test {
namespace {

class BatchedFetching : public StoreTest {
  protected:
    // Twelve saved items, "n0".."n11", created a second apart (some on the same second), then
    // a relaunch so that nothing is registered in the new context.
    void makeItems() {
        auto home = newList("Home");
        for (int i = 0; i < 12; ++i) {
            auto item = newItem(home.get(), "x", i);
            item->setValue("note", text(fmt::format("n{}", i)));
            item->setValue("created", date(1.8e9 + i / 2));
        }
        context().save();
        relaunch();
    }

    static FetchRequest newestFirst(std::size_t batch) {
        auto request = FetchRequest::forEntity("Item").sortedBy("created", false);
        request.fetchBatchSize = batch;
        return request;
    }

    // The notes in order, then how many of the objects were faults before they were read.
    static std::string describe(const std::vector<std::shared_ptr<ManagedObject>>& objects) {
        std::size_t faults = 0;
        for (const auto& o : objects) {
            faults += o->isFault() ? 1 : 0;
        }
        const auto notes = strings(objects, "note");  // reads the faults
        return fmt::format("{} | {} faults", fmt::join(notes, " "), faults);
    }
};

TEST_F(BatchedFetching, ReadsTheFirstBatchAndFaultsTheRestInTheSameOrder) {
    makeItems();
    const std::string reference = describe(context().executeFetchRequest(newestFirst(0)));
    ASSERT_TRUE(reference.starts_with("n10 n11 n") || reference.starts_with("n11 n10 n"))
        << reference;
    const struct {
        std::size_t batch;
        std::size_t faults;
    } cases[] = {{1, 11}, {4, 8}, {12, 0}, {25, 0}};
    for (const auto& c : cases) {
        relaunch();
        const auto fetched = context().executeFetchRequest(newestFirst(c.batch));
        const auto faults = describe(fetched);  // before reading them
        // Reading the faults gives the same objects, in the order of an unbatched fetch.
        EXPECT_EQ(describe(fetched), reference) << "batch " << c.batch;
        EXPECT_EQ(faults.substr(faults.find('|')), fmt::format("| {} faults", c.faults));
    }

    // An unsaved change here still decides membership and order over the faults.
    relaunch();
    auto early = context().insertNewObject("Item");
    early->setValue("note", text("new"));
    early->setValue("created", date(1.9e9));
    auto all = context().executeFetchRequest(newestFirst(2));
    ASSERT_EQ(all.size(), 13u);
    EXPECT_EQ(all.front()->value("note"), text("new"));
}

// Another connection inserts, deletes and re-dates items while a controller over a batched
// fetch shows them; after every merge the table mirror and the controller's rows equal a
// fresh, unbatched fetch of the store.
TEST_F(BatchedFetching, AControllerOverFaultsFollowsAnotherConnectionsSaves) {
    makeItems();
    auto controller = std::make_unique<FetchedResultsController>(newestFirst(3), sharedContext());
    controller->performFetch();
    TableMirror table(*controller);
    controller->setDelegate(&table);

    auto worker = std::make_shared<ManagedObjectContext>(
        std::make_shared<StoreConnection>(storeFile(), model));
    std::vector<ContextDidSaveNotification> notes;
    auto token = worker->addSaveObserver(
        [&](const ContextDidSaveNotification& note) { notes.push_back(note); });
    std::mt19937 random(77);
    int made = 12;
    for (int round = 0; round < 40; ++round) {
        auto items = worker->executeFetchRequest(FetchRequest::forEntity("Item"));
        for (int k = 0; k < 1 + int(random() % 4); ++k) {
            const int action = int(random() % 3);
            if (action == 0 || items.empty()) {
                auto item = worker->insertNewObject("Item");
                item->setValue("note", text(fmt::format("n{}", made++)));
                item->setValue("created", date(1.8e9 + double(random() % 10)));
                items.push_back(item);
            } else if (action == 1) {
                auto& victim = items[random() % items.size()];
                if (!victim->isDeleted()) {
                    worker->deleteObject(*victim);
                }
            } else {
                items[random() % items.size()]->setValue("created",
                                                         date(1.8e9 + double(random() % 10)));
            }
        }
        worker->save();
        for (const auto& note : notes) {
            context().mergeChangesFromContextDidSaveNotification(note);
        }
        notes.clear();
        context().processPendingChanges();
        auto fresh = openContainer();
        ASSERT_EQ(strings(controller->fetchedObjects(), "note"),
                  strings(fresh->viewContext().executeFetchRequest(newestFirst(0)), "note"))
            << "round " << round;
    }
    EXPECT_GT(table.batches, 30);
    controller->setDelegate(nullptr);
}

}  // namespace
}  // namespace jw::store::test
