#pragma once
// A rectangle on screen with its subviews: the base of every view. The layer keeps what a
// view shows (frame, hidden flag, colours, the properties of each subclass) and tells the
// observer after each change; it never draws. Setting a property to the value it has already
// is not a change and is not reported.
//
// A view is on screen while the controller whose view tree holds it is on screen (or, for a
// cell, while its table shows it); a subview added to a view on screen is on screen at once.
// A view that leaves the screen gives up the keyboard focus.
//
// Ownership: a view owns its subviews; its superview is a weak back-pointer. Views are made
// with std::make_shared (see Responder.h). Main thread only.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Application.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Responder.h"

namespace jw::ui {

class View : public Responder {
  public:
    View() = default;
    explicit View(Rect frame) : frame_(frame) {}
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    Rect frame() const { return frame_; }
    void setFrame(Rect frame);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden) { update(hidden_, hidden); }
    // None is the clear colour.
    std::optional<Color> backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(std::optional<Color> color) { update(backgroundColor_, color); }
    // The corner radius of the view's layer, in points.
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { update(cornerRadius_, radius); }

    // What the view is called for a person who cannot see it (a screen reader, a test): for a
    // view that shows only an image, what it does ("Check"). Empty: its own text names it.
    const std::string& accessibilityLabel() const { return accessibilityLabel_; }
    void setAccessibilityLabel(std::string label) { update(accessibilityLabel_, std::move(label)); }

    // Takes `subview` out of its current superview first.
    void addSubview(std::shared_ptr<View> subview);
    void removeFromSuperview();
    const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
    std::shared_ptr<View> superview() const { return superview_.lock(); }

    bool isOnScreen() const override { return onScreen_; }
    // Not hidden, and no superview hidden: what a person could see (and tap) when on screen.
    bool isVisibleInTree() const;

  protected:
    // Sets `field` and reports the change, unless it holds `value` already.
    template <class T, class U>
    void update(T& field, U&& value) {
        if (field == value) {
            return;
        }
        field = std::forward<U>(value);
        didChange();
    }
    void didChange() { Application::shared().observer().viewDidChange(*this); }
    // After the view went on or off screen; subclasses lay out or let go of what they showed.
    virtual void onScreenDidChange() {}
    // After the frame changed.
    virtual void frameDidChange() {}

  private:
    friend class ViewController;
    friend class TableView;
    void setOnScreen(bool onScreen);

    Rect frame_;
    bool hidden_ = false;
    std::optional<Color> backgroundColor_;
    double cornerRadius_ = 0.0;
    std::string accessibilityLabel_;
    bool onScreen_ = false;
    std::vector<std::shared_ptr<View>> subviews_;
    std::weak_ptr<View> superview_;
};

}  // namespace jw::ui
