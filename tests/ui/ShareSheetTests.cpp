// The share sheet's activities: what each is offered for and works on, the mail address it
// composes, and a save that cannot be written saying why instead of losing the text.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "platform/ui/ActivityViewController.h"
#include "platform/ui/AlertController.h"

namespace jw::ui::test {
namespace {

TEST(MailtoUrl, EncodesEveryByteButTheUnreservedAndSendsLinesAsCrLf) {
    struct Case {
        std::string subject, body, expected;
    };
    const std::vector<Case> cases = {
        {"Shop", "Shop:\n\u2714\uFE0E Milk\n- Bread",
         "mailto:?subject=Shop&body=Shop%3A%0D%0A%E2%9C%94%EF%B8%8E%20Milk%0D%0A-%20Bread"},
        {"a&b=c?d", "x+y %", "mailto:?subject=a%26b%3Dc%3Fd&body=x%2By%20%25"},
        {"", "only a body", "mailto:?body=only%20a%20body"},
        {"Tilde~dot.under_dash-", "", "mailto:?subject=Tilde~dot.under_dash-"},
        {"", "", "mailto:"},
        {"crlf kept", "one\r\ntwo", "mailto:?subject=crlf%20kept&body=one%0D%0Atwo"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(mailtoUrl(c.subject, c.body).absoluteString, c.expected) << c.subject;
    }
}

std::string describe(const ActivityViewController& sheet) {
    std::string offered;
    for (const auto type : sheet.availableActivities()) {
        offered += (offered.empty() ? "" : ", ") + activityTitle(type);
    }
    return offered + " | " + sheet.sharedText() + " | " + sheet.printedText().value_or("(none)") +
           " | " + sheet.mailUrl().absoluteString + " | " + sheet.suggestedFileName();
}

TEST(ShareSheet, OffersWhatItsItemsAllowAndWorksOnTheirText) {
    struct Case {
        std::vector<ActivityItem> items;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{std::string("Shop:\n- Bread"), SimpleTextPrintFormatter{"Shop:\n- Bread"}},
         "Copy, Save, Print, Email | Shop:\n- Bread | Shop:\n- Bread | "
         "mailto:?subject=Shop&body=Shop%3A%0D%0A-%20Bread | Shop.txt"},
        {{std::string("Check out Jotwell!"), Url{"https://example.org/app"}},
         "Copy, Save, Email | Check out Jotwell!\nhttps://example.org/app | (none) | "
         "mailto:?subject=Check%20out%20Jotwell%21&body=Check%20out%20Jotwell%21%0D%0A"
         "https%3A%2F%2Fexample.org%2Fapp | Check out Jotwell!.txt"},
        {{SimpleTextPrintFormatter{"printed only"}},
         "Print |  | printed only | mailto: | Jotwell.txt"},
        {{std::string("Work/Home:\n- Keys")},
         "Copy, Save, Email | Work/Home:\n- Keys | (none) | "
         "mailto:?subject=Work%2FHome&body=Work%2FHome%3A%0D%0A-%20Keys | Work-Home.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(describe(ActivityViewController(c.items)), c.expected);
    }
}

class ShareSheetOnScreen : public UiTest {
  protected:
    ShareSheetOnScreen() {
        root_ = screen("Root");
        show(root_, Window::phoneSize);
        sheet_ = std::make_shared<ActivityViewController>(std::vector<ActivityItem>{
            std::string("Shop:\n\u2714\uFE0E Milk"), SimpleTextPrintFormatter{"Shop"}});
        sheet_->setCompletionWithItemsHandler([this](std::optional<ActivityType> type, bool done) {
            log_->add("completed:" + (type ? activityTitle(*type) : std::string("none")) + ":" +
                      (done ? "yes" : "no"));
        });
        root_->present(sheet_, true);
        platform_.loop().drain();
        log_->take();
    }
    // What is presented over the root, innermost last, alerts with their message.
    std::string presented() {
        std::string line;
        for (auto level = root_->presentedViewController(); level;
             level = level->presentedViewController()) {
            const auto alert = std::dynamic_pointer_cast<AlertController>(level);
            line += (line.empty() ? "" : " > ") +
                    (alert ? alert->title() + ": " + alert->message().value_or("")
                           : std::string("sheet"));
        }
        return line;
    }
    jw::test::TempDir folder_;
    std::shared_ptr<LoggingController> root_;
    std::shared_ptr<ActivityViewController> sheet_;
};

TEST_F(ShareSheetOnScreen, SaveWritesTheSharedTextAndFinishes) {
    const auto file = folder_.path() / "Shop.txt";
    EXPECT_TRUE(sheet_->saveToFile(file));
    platform_.loop().drain();
    EXPECT_EQ(jw::test::readFile(file), "Shop:\n\u2714\uFE0E Milk");
    EXPECT_EQ(log_->take(), "completed:Save:yes");
    EXPECT_EQ(presented(), "");
}

TEST_F(ShareSheetOnScreen, ASaveThatFailsKeepsTheSheetAndSaysWhy) {
    const auto file = folder_.path() / "missing folder" / "Shop.txt";
    EXPECT_FALSE(sheet_->saveToFile(file));
    platform_.loop().drain();
    EXPECT_EQ(log_->take(), "");
    EXPECT_EQ(presented(), "sheet > Not Saved: The text was not saved: cannot write " +
                               file.string() +
                               ": cannot create a temporary file: No such file or directory.");
}

// Email hands the address over whole, or keeps the sheet and says why: no mail program, or a
// text too long to pass to one (each space takes three bytes of the address).
TEST_F(ShareSheetOnScreen, EmailOpensTheMailProgramOrKeepsTheSheetAndSaysWhy) {
    const std::size_t limit = ActivityViewController::kMailUrlLimit;
    const struct {
        std::size_t spaces;
        bool opens;
        std::string expected;
    } cases[] = {
        {limit / 4, true, "asked | completed:Email:yes | "},
        {0, false,
         "asked |  | sheet > Not Sent: No email program could be opened. Copy the text or save it "
         "to a file instead."},
        {limit / 2, true,
         "not asked |  | sheet > Not Sent: The text is too long for an email. Copy it or save it "
         "to a file instead."},
    };
    for (const auto& c : cases) {
        root_->dismiss(false);
        auto sheet = std::make_shared<ActivityViewController>(
            std::vector<ActivityItem>{"Shop:\n" + std::string(c.spaces, ' ') + "Milk"});
        sheet->setCompletionWithItemsHandler([this](std::optional<ActivityType> type, bool done) {
            log_->add("completed:" + activityTitle(*type) + ":" + (done ? "yes" : "no"));
        });
        root_->present(sheet, false);
        platform_.loop().drain();
        log_->take();
        bool asked = false;
        sheet->sendMail([&](const Url& url) {
            asked = url.absoluteString.starts_with("mailto:?subject=Shop&body=Shop%3A%0D%0A");
            return c.opens;
        });
        platform_.loop().drain();
        EXPECT_EQ(
            std::string(asked ? "asked" : "not asked") + " | " + log_->take() + " | " + presented(),
            c.expected)
            << c.spaces;
    }
}

TEST_F(ShareSheetOnScreen, ClosingWithoutAnActivityTellsNoneAndAnActivityNotOfferedIsRefused) {
    auto noPrint = std::make_shared<ActivityViewController>(
        std::vector<ActivityItem>{std::string("text only")});
    EXPECT_THROW(noPrint->finish(ActivityType::print, true), std::logic_error);
    sheet_->finish(std::nullopt, true);
    platform_.loop().drain();
    EXPECT_EQ(log_->take(), "completed:none:no");
    EXPECT_EQ(presented(), "");
}

}  // namespace
}  // namespace jw::ui::test
