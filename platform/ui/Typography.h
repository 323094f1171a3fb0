#pragma once
// How text is set: font, alignment and the attributes of a bar's title. Plain values.

#include <optional>

#include "platform/ui/Color.h"

namespace jw::ui {

struct Font {
    double pointSize = 17.0;
    bool bold = false;
    bool operator==(const Font&) const = default;
};

enum class TextAlignment { left = 0, center = 1, right = 2, justified = 3, natural = 4 };

// The attributes a navigation bar draws its title with; only the foreground colour is used.
struct TextAttributes {
    std::optional<Color> foregroundColor;
    bool operator==(const TextAttributes&) const = default;
};

}  // namespace jw::ui
