// Colours made from hue, saturation and brightness, and the shared palette.

#include <gtest/gtest.h>

#include "src/themes/Palette.h"

namespace jw {
namespace {

void expectColor(const Color& actual, double r, double g, double b, double a = 1.0) {
    EXPECT_NEAR(actual.red, r, 1e-12);
    EXPECT_NEAR(actual.green, g, 1e-12);
    EXPECT_NEAR(actual.blue, b, 1e-12);
    EXPECT_NEAR(actual.alpha, a, 1e-12);
}

TEST(HsbConversion, CoversEverySectorOfTheHueCircle) {
    // Full saturation and brightness: the six corners and the midpoints between them.
    expectColor(Color::hsb(0.0, 1, 1), 1, 0, 0);
    expectColor(Color::hsb(1.0 / 12, 1, 1), 1, 0.5, 0);
    expectColor(Color::hsb(3.0 / 12, 1, 1), 0.5, 1, 0);
    expectColor(Color::hsb(5.0 / 12, 1, 1), 0, 1, 0.5);
    expectColor(Color::hsb(7.0 / 12, 1, 1), 0, 0.5, 1);
    expectColor(Color::hsb(9.0 / 12, 1, 1), 0.5, 0, 1);
    expectColor(Color::hsb(11.0 / 12, 1, 1), 1, 0, 0.5);
}

TEST(HsbConversion, HueWrapsAroundAndGreyIgnoresHue) {
    expectColor(Color::hsb(1.0, 0.85, 0.77), 0.77, 0.1155, 0.1155);
    expectColor(Color::hsb(-0.25, 1, 1), 0.5, 0, 1);  // the same as 0.75
    expectColor(Color::hsb(0.4, 0.0, 0.6), 0.6, 0.6, 0.6);
}

TEST(HsbConversion, KeepsTheAlphaItIsGiven) {
    expectColor(Color::hsb(0.0, 1, 1, 0.25), 1, 0, 0, 0.25);
}

TEST(Palette, GreysAreOpaqueWhiteLevels) {
    const std::pair<Color, double> greys[] = {{grey17, 0.17}, {grey20, 0.20}, {grey50, 0.50},
                                              {grey56, 0.56}, {grey92, 0.92}, {grey96, 0.96}};
    for (const auto& [grey, level] : greys) {
        expectColor(grey, level, level, level);
    }
}

TEST(ColorBytes, RoundToTheNearestLevelAndClamp) {
    EXPECT_EQ(Color::white(0.17).rgba8(), (std::array<std::uint8_t, 4>{43, 43, 43, 255}));
    // 0.5 × 255 = 127.5 rounds up.
    EXPECT_EQ(Color::white(0.5).rgba8()[0], 128);
    EXPECT_EQ((Color{-0.2, 1.7, 0.0, 0.0}.rgba8()), (std::array<std::uint8_t, 4>{0, 255, 0, 0}));
}

}  // namespace
}  // namespace jw
