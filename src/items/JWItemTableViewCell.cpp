#include "src/items/JWItemTableViewCell.h"

#include <optional>

#include "src/themes/ImageResources.h"

namespace jw {

namespace {

constexpr Color editingBackground = Color::white(0.7, 0.2);
constexpr double editingCornerRadius = 4.0;

// The two tick images, read once: every row on screen asks for them.
const std::optional<Image>& tickImage(bool done) {
    static const std::optional<Image> on = imageNamed("TickOn");
    static const std::optional<Image> off = imageNamed("TickOff");
    return done ? on : off;
}

}  // namespace

std::shared_ptr<JWItemTableViewCell> JWItemTableViewCell::make() {
    auto cell = std::make_shared<JWItemTableViewCell>(reuseIdentifier);
    auto tick = std::make_shared<ui::Button>();
    tick->setFrame(ui::Rect{{8.0, 4.0}, {40.0, 40.0}});
    auto field = std::make_shared<ui::TextField>();
    field->setFrame(ui::Rect{{56.0, 8.0}, {304.0, 32.0}});
    field->setReturnKeyType(ui::ReturnKeyType::done);
    cell->addSubview(tick);
    cell->addSubview(field);
    cell->connect(tick, field);
    // The way to the multi-line editor of the text, beside the in-place field.
    cell->setAccessoryType(ui::TableViewCellAccessoryType::detailButton);
    cell->setAccessoryAccessibilityLabel("Edit Text");
    return cell;
}

void JWItemTableViewCell::connect(const std::shared_ptr<ui::Button>& tick,
                                  const std::shared_ptr<ui::TextField>& field) {
    tickButton = tick;
    bodyTextField = field;
    tick->addTarget({this, &JWItemTableViewCell::tickButtonTapped},
                    ui::ControlEvent::touchUpInside);
    field->addTarget({this, &JWItemTableViewCell::textFieldDone},
                     ui::ControlEvent::editingDidEndOnExit);
    field->setDelegate(ui::weakAs<ui::TextFieldDelegate>(*this));
}

void JWItemTableViewCell::configure(const model::Item& item) {
    const auto field = bodyTextField.lock();
    const auto tick = tickButton.lock();
    field->setText(item.body().value_or(""));
    tick->setImage(tickImage(item.isDone()));
    tick->setAccessibilityLabel(item.isDone() ? "Uncheck" : "Check");
    field->setBackgroundColor(std::nullopt);
    field->setCornerRadius(0.0);
}

void JWItemTableViewCell::tickButtonTapped() {
    if (didToggleTick) {
        didToggleTick();
    }
}

void JWItemTableViewCell::textFieldDone() {
    commitText();
}

void JWItemTableViewCell::commitText() {
    bodyTextField.lock()->resignFirstResponder();
    reportText();
}

void JWItemTableViewCell::reportText() {
    // Held: the screen's handler may save, and the save may hand this cell to another row.
    const auto self = shared_from_this();
    if (didChangeText) {
        didChangeText(bodyTextField.lock()->text());
    }
}

void JWItemTableViewCell::textFieldDidBeginEditing(ui::TextField& textField) {
    textField.setBackgroundColor(editingBackground);
    textField.setCornerRadius(editingCornerRadius);
}

void JWItemTableViewCell::textFieldDidEndEditing(ui::TextField& textField) {
    reportText();
    textField.setBackgroundColor(std::nullopt);
    textField.setCornerRadius(0.0);
}

}  // namespace jw
