#pragma once
// The share sheet: what is shared (texts, addresses, a print formatter so printing is offered)
// and, where shown as a popover (regular width), its anchor. The activities themselves (copy,
// mail, print...) are the front end's. It closes like any presented controller (dismiss).
// Main thread only.

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

class ActivityViewController : public ViewController {
  public:
    // The application offers no activities of its own.
    explicit ActivityViewController(std::vector<ActivityItem> activityItems)
        : activityItems_(std::move(activityItems)) {
        setModalPresentationStyle(ModalPresentationStyle::popover);
    }

    const std::vector<ActivityItem>& activityItems() const { return activityItems_; }

  private:
    std::vector<ActivityItem> activityItems_;
};

}  // namespace jw::ui
