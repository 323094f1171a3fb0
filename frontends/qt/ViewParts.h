#pragma once
// Reading what a view tree shows, for QML: every visible view under a root becomes one "part",
// a map QML binds to without knowing the screen it belongs to. Parts come in the tree's order;
// each has `kind` ("label", "button", "field", "textView", "progress", "image", "box",
// "datePicker"), the frame relative to the root (`x`, `y`, `w`, `h`) and what that kind
// shows:
//   label     text, color (invalid: the default), bold, pointSize, align ("left"/"center"/"right")
//   button    text, image (an image:// address, "" for none), enabled, handle
//   field     text, placeholder, editing, rounded (a rounded-rect border), handle
//   textView  text, editable, editing, handle
//   progress  value (0..1 as given), color
//   image     image
//   box       color (its background), radius
//   datePicker  date (QDateTime), minimum, mode ("time"/"date"/"dateAndTime"), handle
// Every part has `accessibleName` (the view's accessibility label; "" for none).
// `primary` is set on the first label, field or text view from the left: the one that takes the
// room left in a row. Handles name the view for the calls QML makes back (Handles).
// Main thread only.

#include <QColor>
#include <QImage>
#include <QQuickImageProvider>
#include <QString>
#include <QVariantList>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"
#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

namespace jw::qt {

QColor toQColor(const std::optional<Color>& color);

// The images the tree shows, by content, served to QML as image://jw/<n>. An image with the
// same pixels gets the same address, so a row that is configured again does not flicker.
// imageNumbered is called on QML's loader threads; everything else on the main thread.
class ImageStore {
  public:
    // "" for none or an empty image.
    QString addressOf(const std::optional<Image>& image);
    QImage imageNumbered(int number);

  private:
    std::mutex mutex_;
    std::unordered_map<std::string, int> numbers_;  // key: size, scale and pixels
    std::map<int, QImage> images_;
};

// What the QML engine asks for images (it owns the provider; the store may outlive it).
class ImageProvider final : public QQuickImageProvider {
  public:
    explicit ImageProvider(std::shared_ptr<ImageStore> store)
        : QQuickImageProvider(QQuickImageProvider::Image), store_(std::move(store)) {}
    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;

  private:
    std::shared_ptr<ImageStore> store_;
};

// Small numbers standing for the objects QML acts on (buttons, fields, bar items, alert
// actions), held weakly: an object that went away is simply not found. Views are registered
// as std::shared_ptr<ui::Responder>, other objects as their own class, and found as that.
class Handles {
  public:
    int handleFor(const std::shared_ptr<void>& object);
    template <class T>
    std::shared_ptr<T> find(int handle) const {
        const auto found = objects_.find(handle);
        if (found == objects_.end()) {
            return nullptr;
        }
        return std::static_pointer_cast<T>(found->second.lock());
    }
    // A view registered as its Responder (as every view and field is), as its own class.
    template <class T>
    std::shared_ptr<T> findView(int handle) const {
        return std::dynamic_pointer_cast<T>(find<ui::Responder>(handle));
    }
    // Forgets the objects that are gone.
    void prune();

  private:
    std::unordered_map<const void*, int> numbers_;
    std::unordered_map<int, std::weak_ptr<void>> objects_;
    int next_ = 1;
};

QVariantList describeSubviews(const ui::View& root, ImageStore& images, Handles& handles);
// The first non-empty text of the parts describeSubviews gives for `root`, in their order
// (what a screen reader says for a row), without describing them all.
QString firstTextOfSubviews(const ui::View& root);

}  // namespace jw::qt
