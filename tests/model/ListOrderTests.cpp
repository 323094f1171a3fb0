// The lists screen's order and the move of a list within it, as the model keeps them for every
// front end: one table of moves, each checked as the order the store holds after a reopen.

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "src/model/ListOrder.h"

namespace jw::model {
namespace {

struct MoveCase {
    bool manual;
    std::string list;
    std::size_t position;
    bool moved;
    std::string order;  // the lists screen's order after the move and a reopen
};

class ListOrderTest : public support::ModelTest {};

TEST_F(ListOrderTest, MovesOnlyInManualOrderAndWithinTheLists) {
    const MoveCase cases[] = {
        {true, "C", 0, true, "C A B"},   {true, "A", 2, true, "B C A"},
        {true, "B", 1, true, "A B C"},   {true, "A", 3, false, "A B C"},
        {false, "C", 0, false, "A B C"},
    };
    for (const auto& c : cases) {
        for (auto& list : listsInScreenOrder(db())) {
            context().deleteObject(*list);
        }
        db().saveContext(false);
        for (const char* name : {"A", "B", "C"}) {
            newList(db(), name);
        }
        setManualSortLists(true);
        for (std::size_t i = 0; auto& list : listsInScreenOrder(db())) {
            list->setSortNumber(std::int32_t(i++));
        }
        db().saveContext(false);
        setManualSortLists(c.manual);

        const auto target = fetchListNamed(c.list);
        const bool moved = moveListInScreenOrder(db(), *target, c.position);
        reopen();
        std::string order;
        for (const auto& name : support::namesOf(listsInScreenOrder(db()))) {
            order += (order.empty() ? "" : " ") + name;
        }
        EXPECT_EQ(moved, c.moved) << c.list << " to " << c.position;
        EXPECT_EQ(order, c.order) << c.list << " to " << c.position;
    }
}

}  // namespace
}  // namespace jw::model
