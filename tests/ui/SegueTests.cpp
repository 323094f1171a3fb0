// Storyboard segues: asking, preparing and showing as the segue's kind says. The detail
// screens are D1, D2... in order of making.

#include <functional>
#include <ostream>
#include <string>

#include "platform/ui/NavigationController.h"
#include "platform/ui/SplitViewController.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableViewController.h"
#include "tests/ui/UiTestSupport.h"

namespace jw::ui::test {
namespace {

using ::jw::test::PrintTo;

class ListScreen : public TableViewController {
  public:
    explicit ListScreen(std::shared_ptr<EventLog> log) : log_(std::move(log)) {}

    bool allowsSegues = true;

    void viewDidLoad() override {
        tableView().registerCell("Cell", [] {
            auto cell = std::make_shared<TableViewCell>();
            cell->setSelectionSegue("showDetail");
            return cell;
        });
    }
    std::size_t numberOfRowsInSection(TableView&, std::size_t) override { return 3; }
    std::shared_ptr<TableViewCell> cellForRowAtIndexPath(TableView& table,
                                                         const IndexPath& path) override {
        return table.dequeueReusableCell("Cell", path);
    }
    void didSelectRowAtIndexPath(TableView&, const IndexPath& path) override {
        log_->add("select:" + std::to_string(path.row));
    }
    bool shouldPerformSegue(const std::string& identifier, const std::any&) override {
        log_->add("should:" + identifier);
        return allowsSegues;
    }
    void prepareForSegue(const StoryboardSegue& segue, const std::any& sender) override {
        auto destination = segue.destination;
        if (const auto navigation = std::dynamic_pointer_cast<NavigationController>(destination)) {
            destination = navigation->topViewController();
        }
        const auto selected = tableView().indexPathForSelectedRow();
        std::string from = "none";
        if (std::any_cast<std::shared_ptr<TableViewCell>>(&sender)) {
            from = "cell";
        } else if (const auto* text = std::any_cast<std::string>(&sender)) {
            from = *text;
        }
        log_->add("prepare:" + segue.identifier + "->" + destination->title() + " row=" +
                  (selected ? std::to_string(selected->row) : "none") + " sender=" + from);
    }

  private:
    std::shared_ptr<EventLog> log_;
};

class DropsSecondary : public SplitViewControllerDelegate {
    bool collapseSecondaryViewController(SplitViewController&, ViewController&,
                                         ViewController&) override {
        return true;
    }
};

class SegueTest;

struct SegueCase {
    const char* name;
    Size windowSize;
    std::function<void(SegueTest&)> act;
    const char* expected;
};

class SegueTest : public UiTest, public ::testing::WithParamInterface<SegueCase> {
  public:
    void SetUp() override {
        auto board = std::make_shared<Storyboard>("Main");
        board->addScene("Split", [this](Storyboard& b) {
            auto split = std::make_shared<SplitViewController>();
            split->setViewControllers(
                {NavigationController::withRoot(b.instantiateViewController("List")),
                 b.instantiateViewController("DetailNav")});
            split->setDelegate(delegate);
            return split;
        });
        board->addScene("List", [this](Storyboard&) { return list; });
        board->addScene("DetailNav", [](Storyboard& b) {
            return NavigationController::withRoot(b.instantiateViewController("Detail"));
        });
        board->addScene(
            "Detail", [this](Storyboard&) { return screen("D" + std::to_string(++detailsMade)); });
        board->setInitialScene("Split");
        board->addSegue("List", "showDetail", SegueKind::showDetail, "DetailNav");
        board->addSegue("List", "push", SegueKind::show, "Detail");
        board->addSegue("List", "modal", SegueKind::presentModally, "Detail");
        application_->registerStoryboard(board);

        show(Storyboard::named("Main")->instantiateInitialViewController(), GetParam().windowSize);
        log_->take();
    }

    std::shared_ptr<ListScreen> list = std::make_shared<ListScreen>(log_);
    std::shared_ptr<DropsSecondary> delegate = std::make_shared<DropsSecondary>();
    int detailsMade = 0;
};

TEST_P(SegueTest, LogsWhatHappened) {
    GetParam().act(*this);
    settle();
    EXPECT_EQ(log_->take(), GetParam().expected);
}

const SegueCase segueCases[] = {
    {"TappingARowAsksPreparesShowsThenSelects", Window::tabletSize,
     [](SegueTest& t) {
         t.list->tableView().tapRow({0, 1});
     },
     "should:showDetail prepare:showDetail->D2 row=1 sender=cell "
     "D1:willDisappear D2:load D2:willAppear select:1 | D1:didDisappear D2:didAppear"},
    {"ARefusedSegueOnlyAsks", Window::tabletSize,
     [](SegueTest& t) {
         t.list->allowsSegues = false;
         t.list->tableView().tapRow({0, 1});
     },
     "should:showDetail select:1 |"},
    {"InEditingModeATapDoesNothing", Window::tabletSize,
     [](SegueTest& t) {
         t.list->setEditing(true, false);
         t.list->tableView().tapRow({0, 1});
     },
     "|"},
    {"PerformSegueDoesNotAsk", Window::tabletSize,
     [](SegueTest& t) { t.list->performSegue("push", std::string("x")); },
     "prepare:push->D2 row=none sender=x D2:load D2:willAppear | D2:didAppear"},
    {"AModalSegueCoversTheScreen", Window::tabletSize,
     [](SegueTest& t) { t.list->performSegue("modal", {}); },
     "prepare:modal->D2 row=none sender=none D1:willDisappear D2:load D2:willAppear | "
     "D1:didDisappear D2:didAppear"},
    {"OnAPhoneShowDetailPushesOntoTheList", Window::phoneSize,
     [](SegueTest& t) {
         t.list->tableView().tapRow({0, 0});
         t.log_->add("stack=" +
                     std::to_string(t.list->navigationController()->viewControllers().size()));
     },
     "should:showDetail prepare:showDetail->D2 row=0 sender=cell D2:load D2:willAppear "
     "select:0 stack=2 | D2:didAppear"},
};

INSTANTIATE_TEST_SUITE_P(Segues, SegueTest, ::testing::ValuesIn(segueCases), jw::test::caseName);

TEST_F(UiTest, UnknownStoryboardsScenesAndSeguesAreProgrammingErrors) {
    auto board = std::make_shared<Storyboard>("Main");
    board->addScene("A", [this](Storyboard&) { return screen("A"); });
    application_->registerStoryboard(board);
    EXPECT_THROW(Storyboard::named("Intro"), std::invalid_argument);
    EXPECT_THROW(board->instantiateViewController("B"), std::invalid_argument);
    EXPECT_THROW(board->instantiateInitialViewController(), std::invalid_argument);
    const auto a = board->instantiateViewController("A");
    EXPECT_EQ(a->storyboard(), board);
    EXPECT_THROW(a->performSegue("showDetail", {}), std::invalid_argument);
}

}  // namespace
}  // namespace jw::ui::test
