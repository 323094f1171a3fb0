// The list picker as a person uses it from the items screen: the lists it offers, and what a
// pick or Cancel does to the store, and when.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "src/lists/ListSelectViewController.h"
#include "src/model/Operations.h"
#include "src/model/Ordering.h"
#include "tests/support/AppDriver.h"

namespace jw {
namespace {

using ::jw::test::PrintTo;
using test::AppDriver;

class ListPicker : public ::testing::Test {
  protected:
    // Lists Work (Milk, checked, sortNumber 3; Bread), home and Errands, made a minute ago;
    // Work is open on the items screen.
    ListPicker() {
        app_.launchSignedIn(ui::Window::tabletSize);
        start_ = *app_.platform().clock().now();
        work_ = model::newList(db(), "Work");
        model::newList(db(), "home");
        model::newList(db(), "Errands");
        model::newItem(db(), *work_, "Bread");
        milk_ = model::newItem(db(), *work_, "Milk");
        milk_->setSortNumber(3);
        model::toggleItem(db(), *milk_);
        app_.wait(60);
        app_.lists().tapRow("Work");
    }
    model::JWDatabase& db() { return app_.app().database(); }

    // The picker opened by the items screen's "Move" or "Copy" row action on Milk.
    void openPicker(bool copying) { app_.items().swipeRow("Milk", copying ? "Copy" : "Move"); }

    // Every list by name with its items, each as "<body> [done@<s>] #<sortNumber> c<s>" (times
    // in seconds from the start), then whether the store holds every change.
    std::string store() {
        std::string text;
        for (const auto& object :
             db().viewContext().executeFetchRequest(model::listPickerFetchRequest())) {
            const auto& list = static_cast<const model::List&>(*object);
            auto items = list.listItems();
            std::sort(items.begin(), items.end(), [](const model::Item* a, const model::Item* b) {
                return std::pair(a->created(), a->body()) < std::pair(b->created(), b->body());
            });
            std::string shown;
            for (const auto* item : items) {
                shown += (shown.empty() ? "" : ", ") + item->body().value_or("") +
                         (item->doneDate() ? " done@" + seconds(*item->doneDate()) : "") + " #" +
                         std::to_string(item->sortNumber()) + " c" +
                         seconds(item->created().value_or(Date{}));
            }
            text += list.name().value_or("") + ": " + (shown.empty() ? "-" : shown) + " | ";
        }
        return text + (db().viewContext().hasChanges() ? "unsaved" : "saved");
    }
    std::string seconds(Date date) const { return std::to_string(int(date.secondsSince(start_))); }

    AppDriver app_;
    Date start_;
    std::shared_ptr<model::List> work_;
    std::shared_ptr<model::Item> milk_;
};

// A form sheet titled by its job, offering every list by name without counts, whatever the
// lists screen's order.
TEST_F(ListPicker, OffersEveryListByNameWithoutCountsWhateverTheListsScreenOrder) {
    app_.lists().tapBarButton("Menu");
    app_.tapAlertAction("Sort: Manual");
    app_.lists().tapBarButton("Edit");
    app_.lists().dragRow("Work", 0);
    app_.lists().tapBarButton("Done");
    EXPECT_EQ(app_.lists().rows(), "[Work · 1/2] [Errands] [home]");

    for (const bool copying : {false, true}) {
        openPicker(copying);
        auto picker = app_.front();
        EXPECT_EQ(app_.screens(), copying ? "Lists | Items(Work) > Picker(Copy)"
                                          : "Lists | Items(Work) > Picker(Move)");
        EXPECT_EQ(picker.barButtons(), "bar: Cancel");
        const auto sheet = picker.controller().navigationController();
        EXPECT_EQ(sheet->modalPresentationStyle(), ui::ModalPresentationStyle::formSheet);
        EXPECT_EQ(sheet->modalTransitionStyle(), ui::ModalTransitionStyle::coverVertical);
        EXPECT_EQ(picker.rows(), "[Errands] [Work] [home]");
        EXPECT_EQ(picker.swipeRow("Work"), "") << "rows are only picked";
        picker.tapBarButton("Cancel");
    }
}

// A pick (or Cancel) on a picker opened for Milk, with an unsaved change pending (a sort-mode
// choice), and optionally something deleted meanwhile as a merge from another device would.
struct PickCase {
    const char* name;
    bool copying;
    const char* deletedMeanwhile;  // a list or item name, or nullptr
    const char* tap;               // a row, or "Cancel"
    const char* expected;          // the store once the picker is gone
};

class Picking : public ListPicker, public ::testing::WithParamInterface<PickCase> {};

TEST_P(Picking, ChangesTheStoreOnlyAsTheJobSays) {
    model::chooseSortMode(work_.get(), 7);
    openPicker(GetParam().copying);
    if (const std::string gone = GetParam().deletedMeanwhile ? GetParam().deletedMeanwhile : "";
        gone == "Milk") {
        model::deleteItem(db(), *milk_);
    } else if (!gone.empty()) {
        for (const auto& object :
             db().viewContext().executeFetchRequest(model::listPickerFetchRequest())) {
            if (auto& list = static_cast<model::List&>(*object); list.name() == gone) {
                model::deleteList(db(), list);
            }
        }
    }

    if (GetParam().tap == std::string("Cancel")) {
        app_.front().tapBarButton("Cancel");
    } else {
        app_.front().tapRow(GetParam().tap);
    }

    EXPECT_EQ(app_.screens(), "Lists | Items(Work)");
    EXPECT_EQ(store(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, Picking,
    ::testing::Values(
        PickCase{"MoveToAnotherList", false, nullptr, "Errands",
                 "Errands: Milk done@0 #3 c0 | Work: Bread #0 c0 | home: - | saved"},
        PickCase{"MoveToItsOwnList", false, nullptr, "Work",
                 "Errands: - | Work: Bread #0 c0, Milk done@0 #3 c0 | home: - | saved"},
        PickCase{"CopyCheckedToAnotherList", true, nullptr, "Errands",
                 "Errands: Milk #0 c60 | Work: Bread #0 c0, Milk done@0 #3 c0 | home: - | saved"},
        PickCase{
            "CopyToItsOwnList", true, nullptr, "Work",
            "Errands: - | Work: Bread #0 c0, Milk done@0 #3 c0, Milk #0 c60 | home: - | saved"},
        PickCase{"CancelMove", false, nullptr, "Cancel",
                 "Errands: - | Work: Bread #0 c0, Milk done@0 #3 c0 | home: - | unsaved"},
        PickCase{"CancelCopy", true, nullptr, "Cancel",
                 "Errands: - | Work: Bread #0 c0, Milk done@0 #3 c0 | home: - | unsaved"},
        PickCase{"MoveOfAnItemDeletedMeanwhile", false, "Milk", "Errands",
                 "Errands: - | Work: Bread #0 c0 | home: - | saved"},
        PickCase{"CopyToAListDeletedMeanwhile", true, "Errands", "Errands",
                 "Work: Bread #0 c0, Milk done@0 #3 c0 | home: - | saved"}),
    jw::test::caseName);

TEST_F(ListPicker, ThePickIsMadeOnlyAfterThePickerIsGone) {
    openPicker(true);
    const auto before = store();
    auto& picker = dynamic_cast<ListSelectViewController&>(app_.front().controller());
    app_.takeHistory();

    // A tap on Errands; the run loop has not turned, so the dismissal has not completed.
    picker.tableView().tapRow(ui::IndexPath{0, 0});
    EXPECT_EQ(app_.takeHistory(), "dismiss Picker(Copy)");
    EXPECT_EQ(store(), before);

    app_.settle();
    EXPECT_EQ(app_.takeHistory(), "lists rows") << "the lists screen hears of the copy";
    EXPECT_EQ(app_.screens(), "Lists | Items(Work)");
    EXPECT_EQ(store(),
              "Errands: Milk #0 c60 | Work: Bread #0 c0, Milk done@0 #3 c0 | home: - | saved");
}

}  // namespace
}  // namespace jw
