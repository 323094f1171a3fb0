#pragma once
// The navigation bar and the toolbar of a navigation controller. Each has its own settings and
// falls back on its kind's appearance proxy (Application) for the tint colour it was not
// given. The bar shows the top controller's title and navigation item, the toolbar its toolbar
// items (the front end reads them from the controller). Main thread.

#include <optional>

#include "platform/ui/AppearanceProxy.h"
#include "platform/ui/Image.h"
#include "platform/ui/Typography.h"
#include "platform/ui/View.h"

namespace jw::ui {

// A look of the navigation bar, for one of its three situations (standard, scrolled to the
// top edge, compact height). Plain value.
struct NavigationBarAppearance {
    bool opaqueBackground = false;
    std::optional<Color> backgroundColor;
    TextAttributes titleTextAttributes;

    // Opaque, with the platform's default colours.
    void configureWithOpaqueBackground() {
        opaqueBackground = true;
        backgroundColor.reset();
        titleTextAttributes = {};
    }
    bool operator==(const NavigationBarAppearance&) const = default;
};

class NavigationBar : public View {
  public:
    static AppearanceProxy& appearance() { return Application::shared().navigationBarAppearance(); }

    const std::optional<NavigationBarAppearance>& standardAppearance() const { return standard_; }
    void setStandardAppearance(NavigationBarAppearance look) { update(standard_, look); }
    const std::optional<NavigationBarAppearance>& scrollEdgeAppearance() const {
        return scrollEdge_;
    }
    void setScrollEdgeAppearance(NavigationBarAppearance look) { update(scrollEdge_, look); }
    const std::optional<NavigationBarAppearance>& compactAppearance() const { return compact_; }
    void setCompactAppearance(NavigationBarAppearance look) { update(compact_, look); }
    bool isTranslucent() const { return translucent_; }
    void setTranslucent(bool translucent) { update(translucent_, translucent); }
    // The colour of the bar's buttons: its own, else the proxy's.
    std::optional<Color> tintColor() const { return tint_ ? tint_ : appearance().tintColor(); }
    void setTintColor(std::optional<Color> color) { update(tint_, color); }
    std::optional<Color> barTintColor() const { return barTint_; }
    void setBarTintColor(std::optional<Color> color) { update(barTint_, color); }
    // The line under the bar; an empty image shows no line.
    const std::optional<Image>& shadowImage() const { return shadowImage_; }
    void setShadowImage(std::optional<Image> image) { update(shadowImage_, std::move(image)); }

  private:
    std::optional<NavigationBarAppearance> standard_;
    std::optional<NavigationBarAppearance> scrollEdge_;
    std::optional<NavigationBarAppearance> compact_;
    bool translucent_ = true;
    std::optional<Color> tint_;
    std::optional<Color> barTint_;
    std::optional<Image> shadowImage_;
};

class Toolbar : public View {
  public:
    static AppearanceProxy& appearance() { return Application::shared().toolbarAppearance(); }

    std::optional<Color> tintColor() const { return tint_ ? tint_ : appearance().tintColor(); }
    void setTintColor(std::optional<Color> color) { update(tint_, color); }
    std::optional<Color> barTintColor() const { return barTint_; }
    void setBarTintColor(std::optional<Color> color) { update(barTint_, color); }

  private:
    std::optional<Color> tint_;
    std::optional<Color> barTint_;
};

}  // namespace jw::ui
