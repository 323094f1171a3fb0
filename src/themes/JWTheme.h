#pragma once
// One colour theme of the catalogue. Immutable once made; shared by reference (the catalogue
// owns the nine themes for the life of the process, screens and callbacks hold
// JWThemeRef handles to them). Safe to read from any thread.

#include <memory>
#include <string>

#include "platform/ui/Color.h"

namespace jw {

class JWTheme {
  public:
    JWTheme(std::string name, Color baseColor, bool whiteTextOnBase)
        : name_(std::move(name)), baseColor_(baseColor), whiteTextOnBase_(whiteTextOnBase) {}

    // The display name, which is also what a list stores as its theme key.
    const std::string& name() const { return name_; }
    // The opaque theme colour: bar background, list icon and progress tint, picker swatch.
    const Color& baseColor() const { return baseColor_; }
    // Text drawn on baseColor is white.
    bool whiteTextOnBase() const { return whiteTextOnBase_; }

  private:
    const std::string name_;
    const Color baseColor_;
    const bool whiteTextOnBase_;
};

using JWThemeRef = std::shared_ptr<const JWTheme>;

}  // namespace jw
