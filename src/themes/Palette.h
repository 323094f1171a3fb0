#pragma once
// The colours and hues shared across the app. Constants: made at compile time, never
// changed, safe from any thread.

#include "platform/ui/Color.h"

namespace jw {

// Greys, by white level.
inline constexpr Color grey17 = Color::white(0.17);  // the "Default" theme colour
inline constexpr Color grey20 = Color::white(0.20);  // toolbar buttons, app-wide bar tint
inline constexpr Color grey50 = Color::white(0.50);  // "Copy" row action
inline constexpr Color grey56 = Color::white(0.56);  // "Move" row action
inline constexpr Color grey92 = Color::white(0.92);  // toolbars, picker and reminder backgrounds
inline constexpr Color grey96 = Color::white(0.96);  // the items screen's toolbar

// Hues of the theme colours, on the 0..1 scale. "Dark Blue" has a hue of its own.
inline constexpr double redHue = 0.0;
inline constexpr double orangeHue = 25.0 / 360.0;
inline constexpr double yellowHue = 0.15;
inline constexpr double greenHue = 121.0 / 360.0;
inline constexpr double blueHue = 199.0 / 360.0;
inline constexpr double purpleHue = 271.0 / 360.0;
inline constexpr double pinkHue = 0.95;

}  // namespace jw
