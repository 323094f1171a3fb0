// Commit hooks: whoever keeps a record of local changes hears every save to a store file,
// inside the save's transaction, and what it writes commits or rolls back with the data.

#include "tests/store/StoreTestSupport.h"

namespace jw::store::test {
namespace {

using CommitHooks = StoreTest;

TEST_F(CommitHooks, HearEveryInsertUpdateAndRemovalOfEverySaveToTheirFile) {
    // A failing hook fails the save, its own write rolled back with the data; every connection
    // to the file calls the hook.
    EXPECT_EQ(run("hook fail; list Home; add Milk Home 3; save; state Milk; save; list Work; save; "
                  "set Milk note semi-skimmed; move Milk Work; save; delete Home; save; there list "
                  "Theirs; there save"),
              "save refused; Milk: inserted temporary | changes");
    auto scratch = openContainer("Scratch");  // and no other file does
    newList(scratch->viewContext(), "Scratch");
    scratch->viewContext().save();
    EXPECT_EQ(
        run("unhook; list Unheard; save; heard; stored"),
        "insert Home all -> none -> none, insert Milk all -> Home; "
        "insert Home all -> none -> none, insert Milk all -> Home; insert Work all -> none "
        "-> none; update Milk note=\"semi-skimmed\" -> Work; remove Home; insert Theirs "
        "all -> none -> none [5 logged]; Theirs 0: | Unheard 0: | Work 1: Milk~semi-skimmed | "
        "1 items, 0 folders");
}

}  // namespace
}  // namespace jw::store::test
