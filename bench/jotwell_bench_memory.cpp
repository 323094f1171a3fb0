// Opens the store and one list the way the application does at launch, then exits; its peak
// resident size is what jotwell_bench prints as peak_memory_open_list. With --every-list it
// then opens every list in turn, one screen replacing the other (peak_memory_open_all_lists).
//
//   jotwell_bench_memory DATA_DIR RESOURCE_DIR LIST_KEY EXPECTED_ITEMS [--every-list]
//
// Exits 0 when the list (and, with --every-list, every list) showed the items it holds, 1
// otherwise, 2 on wrong arguments.

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
    const bool everyList = argc == 6 && std::string(argv[5]) == "--every-list";
    if (argc != 5 && !everyList) {
        std::fprintf(stderr,
                     "usage: %s DATA_DIR RESOURCE_DIR LIST_KEY EXPECTED_ITEMS [--every-list]\n",
                     argv[0]);
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

    // Then the chosen list, every shown row read. Each open is one event of the application's
    // run loop, which ends by letting go of what no screen holds any more.
    const auto open = [&](model::List& list, std::size_t expected) {
        store::FetchedResultsController items(
            model::itemsFetchRequest(&list, model::JWListFilter::none), context);
        items.performFetch();
        items.setDelegate(&itemsDelegate);
        const std::size_t shown = items.numberOfObjects(0);
        for (std::size_t row = 0; row < shown; ++row) {
            const auto& item = static_cast<const model::Item&>(items.objectAtIndexPath({0, row}));
            const auto body = item.body();
            textBytes += body ? body->size() : 0;
            textBytes += item.isDone() ? 1 : 0;
        }
        if (shown != expected) {
            std::fprintf(stderr, "list %lld showed %zu items, expected %zu\n",
                         static_cast<long long>(list.objectID().key), shown, expected);
            return false;
        }
        return true;
    };
    if (!open(*opened, expectedItems)) {
        return 1;
    }
    context->releaseUnreferencedObjectsIfGrown();
    if (everyList) {
        for (std::size_t row = 0; row < lists.numberOfObjects(0); ++row) {
            auto& list = static_cast<model::List&>(lists.objectAtIndexPath({0, row}));
            if (!open(list, list.listItemsCount())) {
                return 1;
            }
            context->releaseUnreferencedObjectsIfGrown();
        }
    }
    return textBytes > 0 ? 0 : 1;
}
