#include "frontends/qt/ViewParts.h"

#include <QDateTime>
#include <QVariantMap>

#include <algorithm>

#include "platform/ui/Button.h"
#include "platform/ui/DatePicker.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ProgressView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/TextView.h"

namespace jw::qt {

QColor toQColor(const std::optional<Color>& color) {
    if (!color) {
        return {};
    }
    return QColor::fromRgbF(static_cast<float>(color->red), static_cast<float>(color->green),
                            static_cast<float>(color->blue), static_cast<float>(color->alpha));
}

QString ImageStore::addressOf(const std::optional<Image>& image) {
    if (!image || image->isEmpty()) {
        return {};
    }
    std::string key = std::to_string(image->pixelWidth) + "x" + std::to_string(image->pixelHeight) +
                      "@" + std::to_string(image->scale) + ":";
    key.append(reinterpret_cast<const char*>(image->rgba.data()), image->rgba.size());
    std::lock_guard lock(mutex_);
    auto [found, added] = numbers_.try_emplace(std::move(key), static_cast<int>(numbers_.size()));
    if (added) {
        QImage copy(image->rgba.data(), image->pixelWidth, image->pixelHeight,
                    image->pixelWidth * 4, QImage::Format_RGBA8888);
        QImage owned = copy.copy();
        owned.setDevicePixelRatio(image->scale);
        images_[found->second] = std::move(owned);
    }
    return QStringLiteral("image://jw/%1").arg(found->second);
}

QImage ImageStore::imageNumbered(int number) {
    std::lock_guard lock(mutex_);
    const auto found = images_.find(number);
    return found != images_.end() ? found->second : QImage();
}

QImage ImageProvider::requestImage(const QString& id, QSize* size, const QSize& requestedSize) {
    QImage image = store_->imageNumbered(id.toInt());
    if (size) {
        *size = image.size();
    }
    if (!image.isNull() && requestedSize.isValid() && requestedSize != image.size()) {
        return image.scaled(requestedSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

int Handles::handleFor(const std::shared_ptr<void>& object) {
    auto [found, added] = numbers_.try_emplace(object.get(), next_);
    if (added || objects_.find(found->second) == objects_.end() ||
        objects_[found->second].expired()) {
        // A new object, or a new one at the address of one that went away.
        found->second = next_++;
        objects_[found->second] = object;
    }
    return found->second;
}

void Handles::prune() {
    for (auto it = numbers_.begin(); it != numbers_.end();) {
        const auto object = objects_.find(it->second);
        if (object == objects_.end() || object->second.expired()) {
            if (object != objects_.end()) {
                objects_.erase(object);
            }
            it = numbers_.erase(it);
        } else {
            ++it;
        }
    }
}

namespace {

QString alignmentName(ui::TextAlignment alignment) {
    switch (alignment) {
        case ui::TextAlignment::center:
            return QStringLiteral("center");
        case ui::TextAlignment::right:
            return QStringLiteral("right");
        default:
            return QStringLiteral("left");
    }
}

QString modeName(ui::DatePickerMode mode) {
    switch (mode) {
        case ui::DatePickerMode::time:
            return QStringLiteral("time");
        case ui::DatePickerMode::date:
            return QStringLiteral("date");
        default:
            return QStringLiteral("dateAndTime");
    }
}

QDateTime toQDateTime(const Date& date) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(date.secondsSinceEpoch * 1000.0));
}

void collect(const ui::View& view, double x, double y, ImageStore& images, Handles& handles,
             QVariantList& parts) {
    if (view.isHidden()) {
        return;
    }
    QVariantMap part;
    const auto frame = view.frame();
    part["x"] = x;
    part["y"] = y;
    part["w"] = frame.size.width;
    part["h"] = frame.size.height;
    auto self = std::const_pointer_cast<ui::Responder>(view.shared_from_this());
    // What a screen reader says for it, when the view says more than its text.
    part["accessibleName"] = QString::fromStdString(view.accessibilityLabel());
    if (const auto* label = dynamic_cast<const ui::Label*>(&view)) {
        part["kind"] = QStringLiteral("label");
        part["text"] = QString::fromStdString(label->text());
        part["color"] = toQColor(label->textColor());
        part["bold"] = label->font().bold;
        part["pointSize"] = label->font().pointSize;
        part["align"] = alignmentName(label->textAlignment());
    } else if (const auto* button = dynamic_cast<const ui::Button*>(&view)) {
        part["kind"] = QStringLiteral("button");
        part["text"] = QString::fromStdString(button->title());
        part["image"] = images.addressOf(button->image());
        part["enabled"] = button->isEnabled();
        part["handle"] = handles.handleFor(self);
    } else if (const auto* field = dynamic_cast<const ui::TextField*>(&view)) {
        part["kind"] = QStringLiteral("field");
        part["text"] = QString::fromStdString(field->text());
        part["placeholder"] = QString::fromStdString(field->placeholder());
        part["editing"] = field->isEditing();
        part["rounded"] = field->borderStyle() == ui::BorderStyle::roundedRect;
        part["enabled"] = field->isEnabled();
        part["handle"] = handles.handleFor(self);
    } else if (const auto* textView = dynamic_cast<const ui::TextView*>(&view)) {
        part["kind"] = QStringLiteral("textView");
        part["text"] = QString::fromStdString(textView->text());
        part["editable"] = textView->isEditable();
        part["editing"] = textView->isFirstResponder();
        part["handle"] = handles.handleFor(self);
    } else if (const auto* progress = dynamic_cast<const ui::ProgressView*>(&view)) {
        part["kind"] = QStringLiteral("progress");
        part["value"] = static_cast<double>(progress->progress());
        part["color"] = toQColor(progress->progressTintColor());
    } else if (const auto* imageView = dynamic_cast<const ui::ImageView*>(&view)) {
        part["kind"] = QStringLiteral("image");
        part["image"] = images.addressOf(imageView->image());
    } else if (const auto* picker = dynamic_cast<const ui::DatePicker*>(&view)) {
        part["kind"] = QStringLiteral("datePicker");
        part["date"] = toQDateTime(picker->date());
        part["minimum"] =
            picker->minimumDate() ? QVariant(toQDateTime(*picker->minimumDate())) : QVariant();
        part["mode"] = modeName(picker->datePickerMode());
        part["handle"] = handles.handleFor(self);
    } else if (view.backgroundColor()) {
        part["kind"] = QStringLiteral("box");
        part["color"] = toQColor(view.backgroundColor());
        part["radius"] = view.cornerRadius();
    }
    if (part.contains("kind")) {
        parts.push_back(part);
    }
    for (const auto& subview : view.subviews()) {
        const auto origin = subview->frame().origin;
        collect(*subview, x + origin.x, y + origin.y, images, handles, parts);
    }
}

// The text `collect` gives a view's part, in the same order; empty when it gives none.
QString textOf(const ui::View& view) {
    if (const auto* label = dynamic_cast<const ui::Label*>(&view)) {
        return QString::fromStdString(label->text());
    }
    if (const auto* button = dynamic_cast<const ui::Button*>(&view)) {
        return QString::fromStdString(button->title());
    }
    if (const auto* field = dynamic_cast<const ui::TextField*>(&view)) {
        return QString::fromStdString(field->text());
    }
    if (const auto* textView = dynamic_cast<const ui::TextView*>(&view)) {
        return QString::fromStdString(textView->text());
    }
    return {};
}

QString firstText(const ui::View& view) {
    if (view.isHidden()) {
        return {};
    }
    if (auto text = textOf(view); !text.isEmpty()) {
        return text;
    }
    for (const auto& subview : view.subviews()) {
        if (auto text = firstText(*subview); !text.isEmpty()) {
            return text;
        }
    }
    return {};
}

}  // namespace

QString firstTextOfSubviews(const ui::View& root) {
    for (const auto& subview : root.subviews()) {
        if (auto text = firstText(*subview); !text.isEmpty()) {
            return text;
        }
    }
    return {};
}

QVariantList describeSubviews(const ui::View& root, ImageStore& images, Handles& handles) {
    QVariantList parts;
    for (const auto& subview : root.subviews()) {
        const auto origin = subview->frame().origin;
        collect(*subview, origin.x, origin.y, images, handles, parts);
    }
    // The text that takes the free room of a row: the leftmost one.
    int primary = -1;
    for (int i = 0; i < parts.size(); ++i) {
        const auto kind = parts[i].toMap()["kind"].toString();
        if (kind != "label" && kind != "field" && kind != "textView") {
            continue;
        }
        if (primary < 0 ||
            parts[i].toMap()["x"].toDouble() < parts[primary].toMap()["x"].toDouble()) {
            primary = i;
        }
    }
    if (primary >= 0) {
        auto map = parts[primary].toMap();
        map["primary"] = true;
        parts[primary] = map;
    }
    return parts;
}

}  // namespace jw::qt
