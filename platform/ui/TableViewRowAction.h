#pragma once
// One button that a swipe on a row shows: a title, a style, an optional background colour,
// and the handler run with the row when it is tapped (after the buttons have closed).
// Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Color.h"
#include "platform/ui/IndexPath.h"

namespace jw::ui {

// The default style is the destructive (red) one; normal is grey.
enum class RowActionStyle { defaultStyle = 0, normal = 1 };

class TableViewRowAction {
  public:
    using Handler = std::function<void(TableViewRowAction&, const IndexPath&)>;

    static std::shared_ptr<TableViewRowAction> make(RowActionStyle style, std::string title,
                                                    Handler handler) {
        return std::make_shared<TableViewRowAction>(style, std::move(title), std::move(handler));
    }
    TableViewRowAction(RowActionStyle style, std::string title, Handler handler)
        : style_(style), title_(std::move(title)), handler_(std::move(handler)) {}

    RowActionStyle style() const { return style_; }
    const std::string& title() const { return title_; }
    // None: the style's own colour.
    std::optional<Color> backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<Color> color) { backgroundColor_ = color; }
    const Handler& handler() const { return handler_; }

  private:
    RowActionStyle style_;
    std::string title_;
    std::optional<Color> backgroundColor_;
    Handler handler_;
};

}  // namespace jw::ui
