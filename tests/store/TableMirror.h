#pragma once
// A fetched-results controller delegate that plays a table view: it keeps its own copy of the
// rows and applies each batch of changes to it with batch-update rules, checking after every
// batch that the copy equals the controller's objects.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "platform/store/FetchedResultsController.h"

namespace jw::store::test {

// A delegate that keeps its own copy of the rows and applies each batch to it as a table view
// would: first every delete and move source by old row (highest first), then every insert and
// move destination by new row (lowest first); updates name rows that stay put. After each
// batch the copy must equal the controller's objects.
class TableMirror : public FetchedResultsControllerDelegate {
  public:
    struct Change {
        ManagedObject* object;
        ChangeType type;
        std::optional<std::size_t> oldRow, newRow;
    };

    explicit TableMirror(FetchedResultsController& controller) {
        for (const auto& object : controller.fetchedObjects()) {
            rows.push_back(object.get());
        }
    }

    void controllerWillChangeContent(FetchedResultsController&) override {
        EXPECT_FALSE(inBatch) << "a batch began inside a batch";
        inBatch = true;
        batch.clear();
    }

    void controllerDidChangeObject(FetchedResultsController&, ManagedObject& object,
                                   const IndexPath* indexPath, ChangeType type,
                                   const IndexPath* newIndexPath) override {
        EXPECT_TRUE(inBatch) << "a change outside a batch";
        Change change{&object, type, std::nullopt, std::nullopt};
        if (indexPath) {
            EXPECT_EQ(indexPath->section, 0u);
            change.oldRow = indexPath->row;
        }
        if (newIndexPath) {
            EXPECT_EQ(newIndexPath->section, 0u);
            change.newRow = newIndexPath->row;
        }
        EXPECT_EQ(indexPath == nullptr, type == ChangeType::Insert)
            << "every change but an insert names its old row";
        EXPECT_TRUE(type == ChangeType::Update ||
                    (newIndexPath != nullptr) == (type != ChangeType::Delete))
            << "inserts and moves name their new row, deletes none";
        batch.push_back(change);
        ++counts[int(type)];
    }

    void controllerDidChangeContent(FetchedResultsController& controller) override {
        EXPECT_TRUE(inBatch);
        inBatch = false;
        ++batches;
        apply();
        std::vector<ManagedObject*> expected;
        for (const auto& object : controller.fetchedObjects()) {
            expected.push_back(object.get());
        }
        EXPECT_EQ(rows, expected) << "the table's rows differ from the controller's after a batch";
    }

    void apply() {
        std::vector<std::size_t> removals;
        std::vector<std::pair<std::size_t, ManagedObject*>> insertions;
        std::set<ManagedObject*> seen;
        for (const auto& c : batch) {
            EXPECT_TRUE(seen.insert(c.object).second) << "an object changed twice in one batch";
            if (c.oldRow) {
                ASSERT_LT(*c.oldRow, rows.size()) << "an old row past the end";
                EXPECT_EQ(rows[*c.oldRow], c.object) << "the old row holds another object";
            }
            if (c.type == ChangeType::Delete || c.type == ChangeType::Move) {
                removals.push_back(*c.oldRow);
            }
            if (c.type == ChangeType::Insert || c.type == ChangeType::Move) {
                insertions.emplace_back(*c.newRow, c.object);
            }
        }
        std::sort(removals.rbegin(), removals.rend());
        EXPECT_TRUE(std::adjacent_find(removals.begin(), removals.end()) == removals.end())
            << "a row removed twice";
        for (auto row : removals) {
            rows.erase(rows.begin() + std::ptrdiff_t(row));
        }
        std::sort(insertions.begin(), insertions.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [row, object] : insertions) {
            ASSERT_LE(row, rows.size()) << "an insertion past the end";
            rows.insert(rows.begin() + std::ptrdiff_t(row), object);
        }
        for (const auto& c : batch) {
            if (c.type == ChangeType::Update && c.newRow) {
                ASSERT_LT(*c.newRow, rows.size());
                EXPECT_EQ(rows[*c.newRow], c.object) << "an update's new row holds another object";
            }
        }
    }

    std::vector<ManagedObject*> rows;
    std::vector<Change> batch;
    bool inBatch = false;
    int batches = 0;
    std::map<int, int> counts;
};

}  // namespace jw::store::test
