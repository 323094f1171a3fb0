#include "src/themes/JWThemesDB.h"

#include <cstdio>
#include <cstdlib>

#include "src/themes/Palette.h"

namespace jw {

JWThemesDB& JWThemesDB::shared() {
    static JWThemesDB catalogue;
    return catalogue;
}

JWThemesDB::JWThemesDB() {
    const auto theme = [](const char* name, Color color) {
        return std::make_shared<const JWTheme>(name, color, true);
    };
    // The order is part of the contract: the theme picker shows them by index.
    all_ = {
        theme("Default", grey17),
        theme("Red", Color::hsb(redHue, 0.85, 0.77)),
        theme("Orange", Color::hsb(orangeHue, 0.86, 0.90)),
        theme("Yellow", Color::hsb(yellowHue, 1.0, 0.88)),
        theme("Green", Color::hsb(greenHue, 0.92, 0.76)),
        theme("Blue", Color::hsb(blueHue, 0.85, 0.77)),
        // Not one of the palette hues: this blue is its own.
        theme("Dark Blue", Color::hsb(229.0 / 360.0, 0.98, 1.0)),
        theme("Purple", Color::hsb(purpleHue, 0.76, 0.93)),
        theme("Pink", Color::hsb(pinkHue, 0.76, 0.93)),
    };
}

JWThemeRef JWThemesDB::findTheme(std::string_view name) const {
    for (const auto& theme : all_) {
        if (theme->name() == name) {
            return theme;
        }
    }
    return nullptr;
}

JWThemeRef JWThemesDB::themeForKey(std::string_view key) const {
    if (key.empty()) {
        return defaultTheme();
    }
    if (auto theme = findTheme(key)) {
        return theme;
    }
    return defaultTheme();
}

JWThemeRef JWThemesDB::defaultTheme() const {
    auto theme = findTheme(defaultThemeName);
    if (!theme) {
        // Only an edit of the table above can get here; every screen relies on the fallback.
        std::fputs("JWThemesDB: the catalogue has no \"Default\" theme\n", stderr);
        std::abort();
    }
    return theme;
}

}  // namespace jw
