// The ordering function and the store show the same items in the same order: random lists
// full of ties, every sort mode and filter, saved (SQL), unsaved (in memory), in fetched-results
// controllers, and after a reopen.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "ModelTestSupport.h"

namespace jw::model {
namespace {

using support::ModelTest;

constexpr JWListFilter kFilters[] = {JWListFilter::none, JWListFilter::checked,
                                     JWListFilter::unchecked};
constexpr std::int16_t kFirstMode = -1;
constexpr std::int16_t kLastMode = 8;

// Texts full of near-ties: case, spaces, composed and decomposed accents, other scripts; and
// no text at all.
const std::vector<std::optional<std::string>>& bodyPool() {
    static const std::vector<std::optional<std::string>> pool = [] {
        std::vector<std::optional<std::string>> texts{std::nullopt};
        const std::string all =
            "|  |a|A|apple|Apple|APPLE|apple |Zebra|zebra|Z|b|\u00E4pfel|\u00C4pfel|\u00C1pple|"
            "\u00E9p\u00E9e|e\u0301p\u00E9e|\u00DF|ss|\u65E5\u672C|\u65E5\u672C\u8A9E|"
            "\U0001F34E|\U0001F34E apple|milk|Milk";
        for (std::size_t from = 0, bar; from <= all.size(); from = bar + 1) {
            bar = std::min(all.find('|', from), all.size());
            texts.push_back(all.substr(from, bar - from));
        }
        return texts;
    }();
    return pool;
}

// The test's own account of one item: what it wrote, where it put it.
struct Tracked {
    std::shared_ptr<Item> item;
    ItemFacts facts;
    int list = 0;  // 0: the list under test, 1: another list
    bool deleted = false;
};

class RandomItems {
  public:
    explicit RandomItems(std::uint32_t seed) : random_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    bool chance(int percent) { return below(100) < percent; }

    // Draws one attribute anew (0 the text, 1 the creation date, 3 the done date, 4 the
    // sortNumber) or checks or unchecks the item (2): few distinct instants and numbers, so that
    // ties are common, and dates sometimes absent.
    void draw(ItemFacts& f, int which) {
        if (which == 0) {
            f.body = bodyPool()[std::size_t(below(int(bodyPool().size())))];
        } else if (which == 1) {
            f.created =
                chance(10) ? std::nullopt : std::optional(Date{1'800'000'000.0 + below(15) * 60.0});
        } else if (which == 2) {
            f.isDone = !f.isDone;
        } else if (which == 3) {
            f.doneDate =
                chance(25) ? std::nullopt : std::optional(Date{1'800'100'000.0 + below(6) * 0.5});
        } else {
            f.sortNumber = chance(5) ? 100000 - below(3) : below(8) - 2;
        }
    }
    // Writes random values into the item and the same values into its facts. A done item
    // usually has a done date and an open one usually none, but not always: merges and older
    // versions can leave either.
    void fill(Tracked& t) {
        for (int which : {0, 1, 3, 4}) {
            draw(t.facts, which);
        }
        t.facts.isDone = chance(45);
        if (!chance(t.facts.isDone ? 85 : 10)) {
            t.facts.doneDate = std::nullopt;
        }
        write(t);
    }
    // Changes one or two attributes at random.
    void change(Tracked& t) {
        for (int n = 1 + below(2); n > 0; --n) {
            draw(t.facts, below(5));
        }
        write(t);
    }

  private:
    static void write(Tracked& t) {
        t.item->setBody(t.facts.body);
        t.item->setCreated(t.facts.created);
        t.item->setIsDone(t.facts.isDone);
        t.item->setDoneDate(t.facts.doneDate);
        t.item->setSortNumber(std::int32_t(t.facts.sortNumber));
    }

    std::mt19937 random_;
};

std::string describe(const ItemFacts& f) {
    std::ostringstream out;
    out << "{body " << (f.body ? "\"" + *f.body + "\"" : "absent") << ", created "
        << (f.created ? f.created->iso8601() : "absent") << ", done " << f.isDone << ", doneDate "
        << (f.doneDate ? f.doneDate->iso8601() : "absent") << ", sortNumber " << f.sortNumber
        << ", id " << f.globalID.toString() << "}";
    return out.str();
}

class OrderingAgreement : public ModelTest, public ::testing::WithParamInterface<std::uint32_t> {
  protected:
    static constexpr int kItems = 300;

    RandomItems random{GetParam()};
    std::shared_ptr<List> shown = newList(db(), "Shown");
    std::shared_ptr<List> other = newList(db(), "Other");
    std::vector<Tracked> tracked;

    List& listAt(int index) { return index == 0 ? *shown : *other; }

    void insertRandomItem() {
        Tracked t;
        t.item = std::static_pointer_cast<Item>(context().insertNewObject("Item"));
        t.list = random.chance(80) ? 0 : 1;
        t.item->setForList(&listAt(t.list));
        random.fill(t);
        t.facts.globalID = t.item->globalID();
        tracked.push_back(std::move(t));
    }

    // Facts of the items the test put in the shown list, and their identities by position.
    std::vector<ItemFacts> factsOfShownList() const {
        std::vector<ItemFacts> out;
        for (const auto& t : tracked) {
            if (!t.deleted && t.list == 0) {
                out.push_back(t.facts);
            }
        }
        return out;
    }

    // The order shownItemOrder gives and the fetched one, row by row with each row's facts.
    void expectSameOrder(std::int16_t mode, JWListFilter filter,
                         const std::vector<std::shared_ptr<store::ManagedObject>>& fetched,
                         const std::string& phase) {
        const auto facts = factsOfShownList();
        std::vector<std::string> expected;
        std::vector<std::string> actual;
        for (auto i : shownItemOrder(mode, filter, facts)) {
            expected.push_back(describe(facts[i]));
        }
        for (const auto& object : fetched) {
            const auto f = std::find_if(facts.begin(), facts.end(), [&](const auto& f) {
                return f.globalID == object->globalID();
            });
            actual.push_back(f == facts.end() ? "not in the list " + object->globalID().toString()
                                              : describe(*f));
        }
        EXPECT_EQ(expected, actual)
            << phase << ", sort mode " << mode << ", filter " << int(filter);
    }

    void compareFetchesForEveryModeAndFilter(bool saveEachMode, const std::string& phase) {
        for (std::int16_t mode = kFirstMode; mode <= kLastMode; ++mode) {
            chooseSortMode(shown.get(), mode);
            if (saveEachMode) {
                db().saveContext(false);
                ASSERT_FALSE(context().hasChanges());
            } else {
                ASSERT_TRUE(context().hasChanges());
            }
            for (auto filter : kFilters) {
                expectSameOrder(
                    mode, filter,
                    context().executeFetchRequest(itemsFetchRequest(shown.get(), filter)), phase);
            }
        }
    }

    // Random edits, moves between the two lists, deletions and insertions, none saved.
    void makeUnsavedChanges() {
        const std::size_t existing = tracked.size();
        for (std::size_t i = 0; i < existing; ++i) {
            auto& t = tracked[i];
            const int roll = random.below(100);
            if (roll < 35) {
                random.change(t);
            } else if (roll < 45) {
                t.list = 1 - t.list;
                t.item->setForList(&listAt(t.list));
            } else if (roll < 50) {
                context().deleteObject(*t.item);
                t.deleted = true;
            }
        }
        for (int i = 0; i < 40; ++i) {
            insertRandomItem();
        }
    }
};

TEST_P(OrderingAgreement, TheStoreShowsWhatTheOrderingFunctionSays) {
    for (int i = 0; i < kItems; ++i) {
        insertRandomItem();
    }
    db().saveContext(false);
    ASSERT_FALSE(context().hasChanges());

    compareFetchesForEveryModeAndFilter(true, "everything saved");

    // Controllers built now must follow the unsaved changes below to the same order.
    std::vector<
        std::tuple<std::int16_t, JWListFilter, std::unique_ptr<store::FetchedResultsController>>>
        controllers;
    for (std::int16_t mode = kFirstMode; mode <= kLastMode; ++mode) {
        chooseSortMode(shown.get(), mode);
        for (auto filter : kFilters) {
            auto frc = std::make_unique<store::FetchedResultsController>(
                itemsFetchRequest(shown.get(), filter), db().sharedViewContext());
            frc->performFetch();
            controllers.emplace_back(mode, filter, std::move(frc));
        }
    }

    makeUnsavedChanges();
    context().processPendingChanges();
    for (const auto& [mode, filter, frc] : controllers) {
        expectSameOrder(mode, filter, frc->fetchedObjects(), "controller kept up to date");
    }
    controllers.clear();

    compareFetchesForEveryModeAndFilter(false, "unsaved changes pending");

    db().saveContext(false);
    reopen();
    shown = fetchListNamed("Shown");
    other = fetchListNamed("Other");
    ASSERT_NE(shown, nullptr);
    ASSERT_NE(other, nullptr);
    for (auto& t : tracked) {
        t.item.reset();
    }
    compareFetchesForEveryModeAndFilter(true, "after reopening");
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, OrderingAgreement, ::testing::Values(1u, 2u, 3u, 20270115u));

}  // namespace
}  // namespace jw::model
