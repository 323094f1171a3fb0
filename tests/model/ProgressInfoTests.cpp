// The counts text and done fraction of a list: every item counts, the done count is the
// stored doneCount as it is (stale or not), and the text shows "done/" only from one done up.

#include <gtest/gtest.h>

#include <iomanip>
#include <optional>
#include <sstream>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using support::ModelTest;

// "text fraction", the text "-" when there is none; nine digits tell a float from a double.
std::string describe(const List& list, const std::string& prefix = "",
                     const std::string& suffix = "") {
    const auto [text, fraction] = list.progressInfo(prefix, suffix);
    std::ostringstream out;
    out << text.value_or("-") << " " << std::setprecision(9) << fraction;
    return out.str();
}

struct ProgressCase {
    const char* name;
    int items;
    std::vector<int> checked;               // which of them are toggled
    std::optional<std::int32_t> doneCount;  // then stored as another device would leave it
    const char* prefix;
    const char* suffix;
    const char* expected;
};
void PrintTo(const ProgressCase& c, std::ostream* out) {
    *out << c.name;
}

const ProgressCase kProgressCases[] = {
    {"NoItems", 0, {}, std::nullopt, "", "", "- 0"},
    {"NoItemsWithAStaleDoneCount", 0, {}, 3, " (", ")", "- 0"},
    {"NothingDone", 5, {}, std::nullopt, "", "", "5 0"},
    {"SomeDone", 5, {0, 3}, std::nullopt, "", "", "2/5 0.400000006"},
    {"PrefixAndSuffix", 10, {0, 3, 6}, std::nullopt, " (", ")", " (3/10) 0.300000012"},
    {"AllDone", 3, {0, 1, 2}, std::nullopt, "", "", "3/3 1"},
    {"AThirtyTwoBitDivision", 3, {0}, std::nullopt, "", "", "1/3 0.333333343"},
    {"StaleAboveTheItemCount", 4, {}, 5, "", "", "5/4 1.25"},
    {"NegativeDoneCount", 4, {}, -1, "", "", "4 -0.25"},
    {"NoDigitGrouping", 1, {}, 1234567, "", "", "1234567/1 1234567"},
};

class ProgressInfo : public ModelTest, public ::testing::WithParamInterface<ProgressCase> {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");
};

TEST_P(ProgressInfo, TextAndFraction) {
    const ProgressCase& c = GetParam();
    std::vector<std::string> texts;
    for (int i = 0; i < c.items; ++i) {
        texts.push_back("item " + std::to_string(i));
    }
    auto items = addItems(*list, texts);
    for (int i : c.checked) {
        toggleItem(db(), *items[std::size_t(i)]);
    }
    if (c.doneCount) {
        list->setDoneCount(*c.doneCount);
        db().saveContext(false);
    }
    EXPECT_EQ(describe(*list, c.prefix, c.suffix), c.expected);
    reopen();
    EXPECT_EQ(describe(*fetchListNamed("Groceries"), c.prefix, c.suffix), c.expected)
        << "read back from the file without loading the items";
}

INSTANTIATE_TEST_SUITE_P(Cases, ProgressInfo, ::testing::ValuesIn(kProgressCases),
                         [](const auto& info) { return std::string(info.param.name); });

class Counting : public ModelTest {
  protected:
    std::shared_ptr<List> list = newList(db(), "Groceries");
};

TEST_F(Counting, EveryItemCountsSavedOrNotWhateverAScreenFiltersButNoOtherList) {
    addItems(*newList(db(), "Other"), {"x", "y", "z"});
    auto items = addItems(*list, {"a", "b", "c", "d"});
    toggleItem(db(), *items[1]);
    auto unsaved = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
    unsaved->setBody("e");
    unsaved->setForList(list.get());
    ASSERT_EQ(fetchItems(list.get(), JWListFilter::checked).size(), 1u);
    EXPECT_EQ(describe(*list, " (", ")"), " (1/5) 0.200000003");
    // The done count lags behind deletes, moves and copies (see the operation writes) until a
    // recount, which reads items that were never loaded from the file.
    list->setDoneCount(3);
    db().saveContext(false);
    reopen();
    auto stored = fetchListNamed("Groceries");
    recountDone(*stored);
    EXPECT_EQ(describe(*stored, " (", ")"), " (1/5) 0.200000003");
}

}  // namespace
}  // namespace jw::model
