#pragma once
// The share sheet: what is shared (texts, addresses, a print formatter so printing is offered)
// and, where shown as a popover (regular width), its anchor. It closes like any presented
// controller (dismiss), or through finish() once a person chose an activity or gave up.
//
// The activities (copy, save to a file, print, mail) are carried out by the front end; what
// each one works on is decided here: the shared text (the strings and addresses in order, one
// per line), the printed text (the print formatter's), and the mail's address (mailtoUrl).
// Main thread only.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/ui/Url.h"
#include "platform/ui/ViewController.h"

namespace jw::ui {

// Prints plain text.
struct SimpleTextPrintFormatter {
    std::string text;
    bool operator==(const SimpleTextPrintFormatter&) const = default;
};

using ActivityItem = std::variant<std::string, Url, SimpleTextPrintFormatter>;

enum class ActivityType { copyToPasteboard, saveToFile, print, mail };

// "Copy", "Save", "Print", "Email": the names a person sees.
std::string activityTitle(ActivityType type);

// A mailto address with `subject` and `body`, every byte but the unreserved ones
// (A-Z a-z 0-9 - . _ ~) percent-encoded in UTF-8, line feeds sent as CR LF as mail wants:
// "mailto:?subject=Shop&body=%E2%9C%94%EF%B8%8E%20Milk". An empty subject or body is left out.
Url mailtoUrl(const std::string& subject, const std::string& body);

class ActivityViewController : public ViewController {
  public:
    // Told once when the sheet closes: the activity chosen (none when the sheet was closed
    // without one) and whether it was carried out.
    using CompletionWithItemsHandler =
        std::function<void(std::optional<ActivityType> activityType, bool completed)>;

    // The application offers no activities of its own.
    explicit ActivityViewController(std::vector<ActivityItem> activityItems)
        : activityItems_(std::move(activityItems)) {
        setModalPresentationStyle(ModalPresentationStyle::popover);
    }

    const std::vector<ActivityItem>& activityItems() const { return activityItems_; }

    // What can be done with the items, in the order offered: copy, save and mail when there is
    // text or an address; print when a print formatter is among them.
    std::vector<ActivityType> availableActivities() const;
    // The strings and addresses, in order, joined by line feeds.
    std::string sharedText() const;
    // The first print formatter's text; none without one.
    std::optional<std::string> printedText() const;
    // The first line of the shared text, a trailing ":" dropped ("Shop" for a list "Shop").
    std::string subject() const;
    // The mail of the shared text: the subject, and the whole text as the body.
    Url mailUrl() const;
    // The name a saved file is offered under: the subject with "/" and control characters as
    // "-", and ".txt"; "Jotwell.txt" when the subject is empty.
    std::string suggestedFileName() const;

    void setCompletionWithItemsHandler(CompletionWithItemsHandler handler) {
        completionWithItemsHandler_ = std::move(handler);
    }
    // Closes the sheet (animated) and tells the handler. Throws std::logic_error for an
    // activity not offered.
    void finish(std::optional<ActivityType> activityType, bool completed);

    // Save: writes the shared text to `file` (UTF-8, replacing it whole; see
    // writeFileAtomically), then finishes. When it cannot be written, the sheet stays and
    // presents an alert "Not Saved" giving the reason, with "OK", so the text can still go
    // elsewhere; nothing is finished then. Answers whether the file was written.
    bool saveToFile(const std::filesystem::path& file);

    // Email: hands mailUrl() to `open` (the desktop's handler), then finishes. A mail address
    // longer than kMailUrlLimit bytes is not handed over (the desktop passes it to the mail
    // program as one argument, which the system caps at 128 KiB), and `open` may fail (no mail
    // program): either way the sheet stays and presents an alert "Not Sent" giving the reason,
    // with "OK", so the text can still be copied or saved; nothing is finished then. Answers
    // whether the mail program was opened.
    static constexpr std::size_t kMailUrlLimit = 100'000;
    bool sendMail(const std::function<bool(const Url&)>& open);

  private:
    void presentFailure(const std::string& title, const std::string& message);

    std::vector<ActivityItem> activityItems_;
    CompletionWithItemsHandler completionWithItemsHandler_;
};

}  // namespace jw::ui
