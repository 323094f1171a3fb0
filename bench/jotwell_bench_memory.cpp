// Opens the store and one list the way the application does at launch, then exits; its peak
// resident size is what jotwell_bench prints as peak_memory_open_list.
//
//   jotwell_bench_memory DATA_DIR RESOURCE_DIR LIST_KEY EXPECTED_ITEMS
//
// Exits 0 when the list showed EXPECTED_ITEMS items, 1 otherwise, 2 on wrong arguments.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/store/FetchedResultsController.h"
#include "src/model/Entities.h"
#include "src/model/JWDatabase.h"
#include "src/model/Ordering.h"

namespace {

class QuietDelegate : public jw::store::FetchedResultsControllerDelegate {};

}  // namespace

int main(int argc, char** argv) {
    using namespace jw;
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s DATA_DIR RESOURCE_DIR LIST_KEY EXPECTED_ITEMS\n", argv[0]);
        return 2;
    }
    const std::int64_t listKey = std::atoll(argv[3]);
    const std::size_t expectedItems = std::size_t(std::atoll(argv[4]));

    model::JWDatabase db({argv[1], argv[2]});
    auto context = db.sharedViewContext();

    // The lists screen comes first, with its counts.
    QuietDelegate listsDelegate, itemsDelegate;
    store::FetchedResultsController lists(model::listsFetchRequest(false), context);
    lists.performFetch();
    lists.setDelegate(&listsDelegate);
    std::size_t textBytes = 0;
    model::List* opened = nullptr;
    for (const auto& object : lists.fetchedObjects()) {
        auto& list = static_cast<model::List&>(*object);
        const auto [text, fraction] = list.progressInfo("", "");
        textBytes += text ? text->size() : 0;
        if (list.objectID().key == listKey) {
            opened = &list;
        }
    }
    if (!opened) {
        std::fprintf(stderr, "no list with key %lld\n", static_cast<long long>(listKey));
        return 1;
    }

    // Then the chosen list, every shown row read.
    store::FetchedResultsController items(
        model::itemsFetchRequest(opened, model::JWListFilter::none), context);
    items.performFetch();
    items.setDelegate(&itemsDelegate);
    for (const auto& object : items.fetchedObjects()) {
        const auto& item = static_cast<const model::Item&>(*object);
        const auto body = item.body();
        textBytes += body ? body->size() : 0;
        textBytes += item.isDone() ? 1 : 0;
    }
    if (items.fetchedObjects().size() != expectedItems) {
        std::fprintf(stderr, "the list showed %zu items, expected %zu\n",
                     items.fetchedObjects().size(), expectedItems);
        return 1;
    }
    return textBytes > 0 ? 0 : 1;
}
