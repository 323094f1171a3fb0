#pragma once
// One row of the items screen: a tick button and a one-line editable field with the item's
// text. The cell knows nothing of the store: it shows an item (configure) and reports two
// gestures to whoever handed it out, through callbacks that screen replaces each time it hands
// the cell out for a row: a tap on the tick (didToggleTick) and the end of editing of the text
// (didChangeText, with the text exactly as typed, the empty string included).
//
// Editing looks like a light rounded box (grey 0.7 at alpha 0.2, corner radius 4) and goes
// back to clear with no radius when editing ends and whenever configure runs, so a cell reused
// in the middle of editing looks at rest. Editing ends by leaving the field (reported once) or
// with the return key (reported twice: once as editing ends, once more by the return key
// itself). A tap on the tick does not change the image: the new one comes with the screen's
// next configure. The tick's image is "TickOn" or "TickOff"; a done item differs in nothing
// else. Its accessibility label says what a tap does: "Check" or "Uncheck". The row's
// accessory button ("Edit Text") opens the item's multi-line editor (the screen's call).
// A callback that is not set is not called. Main thread only.

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/Button.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "src/model/Entities.h"

namespace jw {

class JWItemTableViewCell : public ui::TableViewCell, public ui::TextFieldDelegate {
  public:
    static constexpr const char* reuseIdentifier = "Simple";

    using ui::TableViewCell::TableViewCell;

    // A cell laid out with its two outlets connected, as the storyboard's prototype is.
    static std::shared_ptr<JWItemTableViewCell> make();

    std::weak_ptr<ui::Button> tickButton;
    std::weak_ptr<ui::TextField> bodyTextField;
    std::function<void(const std::string&)> didChangeText;
    std::function<void()> didToggleTick;

    void configure(const model::Item& item);

    void tickButtonTapped();
    void textFieldDone();
    void textFieldDidBeginEditing(ui::TextField& textField) override;
    void textFieldDidEndEditing(ui::TextField& textField) override;

  protected:
    // Connects the outlets, the actions and the field's delegate to `tick` and `field`.
    void connect(const std::shared_ptr<ui::Button>& tick,
                 const std::shared_ptr<ui::TextField>& field);

  private:
    void commitText();
    void reportText();
};

// A variant of the row that adds nothing; no screen uses it.
class AdvancedItemTableViewCell : public JWItemTableViewCell {
  public:
    using JWItemTableViewCell::JWItemTableViewCell;
};

}  // namespace jw
