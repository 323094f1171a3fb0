// A save on the main thread against a worker that writes one transaction after another.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/store/Sqlite.h"
#include "tests/support/TestEnvironment.h"

namespace jw::store::test {
namespace {

// The worker holds the write lock 5 ms at a time and takes it again at once, as a merge
// applying a file in slices does. Without turns the save polls for a free moment and meets
// one only by luck, so it waited for most of the worker's run; with them it waits for the
// transaction under way, and at most one more that had already passed its turn.
TEST(WriteTurns, AForegroundWriterWaitsForOneBackgroundTransactionAtMost) {
    jw::test::TempDir dir;
    const auto file = dir.path() / "turns.sqlite";
    SqliteDatabase foreground(file);
    foreground.execute("CREATE TABLE t (x TEXT)");

    constexpr int kMostTransactions = 400;
    std::atomic<int> committed{0};
    std::atomic<bool> stop{false};
    std::thread worker([&] {
        SqliteDatabase background(file);
        background.setBackgroundWriter();
        for (int i = 0; i < kMostTransactions && !stop; ++i) {
            SqliteTransaction transaction(background);
            background.execute("INSERT INTO t VALUES ('background')");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            transaction.commit();
            ++committed;
        }
    });
    while (committed < 2) {
        std::this_thread::yield();
    }
    const int before = committed;
    {
        SqliteTransaction transaction(foreground);
        EXPECT_LE(committed - before, 1);
        foreground.execute("INSERT INTO t VALUES ('foreground')");
        transaction.commit();
    }
    stop = true;
    worker.join();
    EXPECT_LT(committed.load(), kMostTransactions);
}

}  // namespace
}  // namespace jw::store::test
