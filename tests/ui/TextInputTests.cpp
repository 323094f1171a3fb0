// The keyboard's return key and the focus, as the cells and screens rely on them: typing
// "Milk" and return into a focused field, with different delegates and targets.

#include <functional>
#include <ostream>
#include <string>

#include "platform/ui/TextField.h"
#include "tests/ui/UiTestSupport.h"

namespace jw::ui::test {
namespace {

using ::jw::test::PrintTo;

class LoggingFieldDelegate : public TextFieldDelegate {
  public:
    LoggingFieldDelegate(std::shared_ptr<EventLog> log, bool returns)
        : log_(std::move(log)), returns_(returns) {}
    void textFieldDidBeginEditing(TextField&) override { log_->add("begin"); }
    bool textFieldShouldReturn(TextField&) override {
        log_->add("should-return");
        return returns_;
    }
    void textFieldDidEndEditing(TextField& field) override { log_->add("end:" + field.text()); }

  private:
    std::shared_ptr<EventLog> log_;
    bool returns_;
};

// Ends editing itself on return, then reports, as a row cell does; or hands the focus to
// another field, as a tap on another row does.
class Committer : public View {
  public:
    explicit Committer(std::shared_ptr<EventLog> log) : log_(std::move(log)) {}
    void done(Control& sender) {
        sender.resignFirstResponder();
        log_->add("report:" + static_cast<TextField&>(sender).text());
    }
    void handOver(Control&) { next->becomeFirstResponder(); }

    std::shared_ptr<TextField> next;

  private:
    std::shared_ptr<EventLog> log_;
};

class TextInputTest;

struct ReturnKeyCase {
    const char* name;
    bool delegateReturns;
    std::function<void(TextInputTest&, TextField&)> wire;
    const char* expected;
};

class TextInputTest : public UiTest, public ::testing::WithParamInterface<ReturnKeyCase> {
  public:
    void SetUp() override {
        auto root = screen("S");
        root->view().addSubview(field);
        root->view().addSubview(other);
        show(root);
        log_->take();
    }
    std::string focus() {
        const auto holder = Application::shared().firstResponder().get();
        return holder == field.get() ? "field" : holder == other.get() ? "other" : "none";
    }

    std::shared_ptr<TextField> field = std::make_shared<TextField>();
    std::shared_ptr<TextField> other = std::make_shared<TextField>();
    std::shared_ptr<Committer> committer = std::make_shared<Committer>(log_);
};

TEST_P(TextInputTest, TypesMilkAndReturn) {
    const auto delegate = std::make_shared<LoggingFieldDelegate>(log_, GetParam().delegateReturns);
    field->setDelegate(delegate);
    GetParam().wire(*this, *field);
    ASSERT_TRUE(field->becomeFirstResponder());
    field->insertText("Milk\n");
    log_->add("focus=" + focus());
    EXPECT_EQ(log_->take(), GetParam().expected);
}

const ReturnKeyCase returnKeyCases[] = {
    {"EndOnExitActionsThenTheFieldGivesUpTheFocus", true,
     [](TextInputTest& t, TextField& f) {
         f.addTarget(t.recorder("exit").action(), ControlEvent::editingDidEndOnExit);
     },
     "begin should-return exit:Milk end:Milk focus=none"},
    {"ADelegateRefusingReturnKeepsTheFocusAndSendsNothing", false,
     [](TextInputTest& t, TextField& f) {
         f.addTarget(t.recorder("exit").action(), ControlEvent::editingDidEndOnExit);
     },
     "begin should-return focus=field"},
    {"WithoutEndOnExitActionsTheFieldKeepsTheFocus", true, [](TextInputTest&, TextField&) {},
     "begin should-return focus=field"},
    {"AnActionEndingEditingItselfIsHeardBeforeItsReport", true,
     [](TextInputTest& t, TextField& f) {
         f.addTarget(Control::Action(t.committer.get(), &Committer::done),
                     ControlEvent::editingDidEndOnExit);
     },
     "begin should-return end:Milk report:Milk focus=none"},
    {"AnotherFieldTakingTheFocusEndsEditing", true,
     [](TextInputTest& t, TextField& f) {
         t.committer->next = t.other;
         f.addTarget(Control::Action(t.committer.get(), &Committer::handOver),
                     ControlEvent::editingChanged);
     },
     "begin end:M focus=other"},
};

INSTANTIATE_TEST_SUITE_P(ReturnKey, TextInputTest, ::testing::ValuesIn(returnKeyCases),
                         jw::test::caseName);

TEST_F(UiTest, OnlyAFocusedFieldOnScreenTakesTyping) {
    auto field = std::make_shared<TextField>();
    EXPECT_FALSE(field->becomeFirstResponder());  // not on screen
    EXPECT_THROW(field->insertText("x"), std::logic_error);
    auto root = screen("S");
    root->view().addSubview(field);
    show(root);
    EXPECT_TRUE(field->becomeFirstResponder());
    root->view().setHidden(false);
    field->removeFromSuperview();  // leaving the screen gives the focus up
    EXPECT_EQ(Application::shared().firstResponder(), nullptr);
}

}  // namespace
}  // namespace jw::ui::test
