// Starts the application in its Qt window (offscreen) on the store and opens one list with a
// click on its row, as a person does, then exits; its peak resident size is what jotwell_bench
// prints as peak_memory_window_open_list.
//
//   jotwell_bench_window_memory DATA_DIR RESOURCE_DIR LIST_KEY EXPECTED_ITEMS CLOUD_DIR
//
// The store should be attached to CLOUD_DIR already (jotwell_bench attaches it first), so no
// cloud intro covers the screens. Exits 0 when the items screen drew its rows and held
// EXPECTED_ITEMS items, 1 otherwise, 2 on wrong arguments.

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include <QQuickWindow>

#include "WindowSession.h"

int main(int argc, char** argv) {
    using namespace jw::bench;
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s DATA_DIR RESOURCE_DIR LIST_KEY EXPECTED_ITEMS CLOUD_DIR\n",
                     argv[0]);
        return 2;
    }
    const std::int64_t listKey = std::atoll(argv[3]);
    const std::size_t expectedItems = std::size_t(std::atoll(argv[4]));
    try {
        makeGuiApplication();
        FrameWatch watch;
        WindowSession session(WindowStore{argv[1], argv[5], argv[2]});
        session.waitUntilIdle();
        const QPoint row = session.showListRow(listKey, watch);
        watch.expect([](QQuickWindow& window) { return rowsShown(window, "secondaryColumn") > 0; });
        session.tap(row);
        try {
            watch.wait("the items' rows");
        } catch (const std::exception&) {
            // What the window showed instead, when asked for.
            if (const char* shot = std::getenv("JOTWELL_FAILURE_SHOT")) {
                session.window().grabWindow().save(QString::fromLocal8Bit(shot));
            }
            throw;
        }
        if (session.itemsFetched() != expectedItems) {
            std::fprintf(stderr, "the list showed %zu items, expected %zu\n",
                         session.itemsFetched(), expectedItems);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
