#pragma once
// Carrying a theme onto the bars around a screen: an opaque navigation bar in the theme colour
// with a white title and white bar buttons, above a light grey toolbar with dark grey buttons.
//
// applyTheme styles, in this order: the navigation bar of the controller's navigation
// controller (standard, scroll-edge and compact looks, opaque, white tint); the navigation bar
// of its parent's navigation controller too, when there is one (a navigation controller pushed
// inside another, as in the collapsed split view, styles the outer bar as well); then that
// toolbar: bar tint grey92, tint grey20. A controller without a navigation controller or
// parent simply skips those steps; none of it is an error. No theme means "Default".
// Main thread only.

#include "platform/ui/Bars.h"
#include "platform/ui/ViewController.h"
#include "src/themes/JWTheme.h"

namespace jw {

void applyTheme(ui::ViewController& controller, const JWThemeRef& theme);

// The one bar look applyTheme puts on every navigation bar it styles.
ui::NavigationBarAppearance themedBarAppearance(const JWTheme& theme);

}  // namespace jw
