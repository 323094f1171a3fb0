#pragma once
// A colour as four components on a 0..1 scale: red, green, blue and alpha (straight, not
// premultiplied), in sRGB. Plain value; every operation is constexpr and thread-safe.
//
// Colours described in hue, saturation and brightness (the HSB or HSV model, each 0..1) are
// turned into RGB once, when they are made, by the standard HSV-to-RGB conversion.

#include <array>
#include <cstdint>

namespace jw {

struct Color {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;

    // A grey with the given white level (0 black, 1 white).
    static constexpr Color white(double level, double alpha = 1.0) {
        return Color{level, level, level, alpha};
    }

    // Hue wraps around (1.0 is the same as 0.0); saturation and brightness are clamped.
    static constexpr Color hsb(double hue, double saturation, double brightness,
                               double alpha = 1.0) {
        const double s = clampUnit(saturation);
        const double v = clampUnit(brightness);
        double h = hue - static_cast<double>(static_cast<long long>(hue));
        if (h < 0.0) {
            h += 1.0;
        }
        const double sector = h * 6.0;
        const int index = static_cast<int>(sector) % 6;
        const double fraction = sector - static_cast<double>(static_cast<int>(sector));
        const double p = v * (1.0 - s);
        const double q = v * (1.0 - s * fraction);
        const double t = v * (1.0 - s * (1.0 - fraction));
        switch (index) {
            case 0:
                return Color{v, t, p, alpha};
            case 1:
                return Color{q, v, p, alpha};
            case 2:
                return Color{p, v, t, alpha};
            case 3:
                return Color{p, q, v, alpha};
            case 4:
                return Color{t, p, v, alpha};
            default:
                return Color{v, p, q, alpha};
        }
    }

    // The same colour with another alpha.
    constexpr Color withAlphaComponent(double newAlpha) const {
        return Color{red, green, blue, newAlpha};
    }

    // Each component rounded to the nearest of 0..255, as an 8-bit sRGB pixel stores it.
    constexpr std::array<std::uint8_t, 4> rgba8() const {
        return {toByte(red), toByte(green), toByte(blue), toByte(alpha)};
    }

    constexpr bool operator==(const Color&) const = default;

  private:
    static constexpr double clampUnit(double value) {
        return value < 0.0 ? 0.0 : (value > 1.0 ? 1.0 : value);
    }
    static constexpr std::uint8_t toByte(double component) {
        return static_cast<std::uint8_t>(clampUnit(component) * 255.0 + 0.5);
    }
};

}  // namespace jw
