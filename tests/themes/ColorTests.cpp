// Colours made from hue, saturation and brightness, the shared palette, and an icon's shape
// drawn in a theme colour.

#include <gtest/gtest.h>

#include <array>
#include <utility>

#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "src/themes/TintedImage.h"

namespace jw {
namespace {

// Hue, saturation, brightness and alpha, and the colour: the six corners of the hue circle and
// the midpoints between them, a hue that wraps around, a grey that ignores its hue.
TEST(HsbConversion, CoversTheHueCircleWrapsAroundAndKeepsAlpha) {
    const std::pair<std::array<double, 4>, std::array<double, 4>> cases[] = {
        {{0.0, 1, 1, 1}, {1, 0, 0, 1}},         {{1.0 / 12, 1, 1, 1}, {1, 0.5, 0, 1}},
        {{3.0 / 12, 1, 1, 1}, {0.5, 1, 0, 1}},  {{5.0 / 12, 1, 1, 1}, {0, 1, 0.5, 1}},
        {{7.0 / 12, 1, 1, 1}, {0, 0.5, 1, 1}},  {{9.0 / 12, 1, 1, 1}, {0.5, 0, 1, 1}},
        {{11.0 / 12, 1, 1, 1}, {1, 0, 0.5, 1}}, {{1.0, 0.85, 0.77, 1}, {0.77, 0.1155, 0.1155, 1}},
        {{-0.25, 1, 1, 1}, {0.5, 0, 1, 1}},     {{0.4, 0.0, 0.6, 1}, {0.6, 0.6, 0.6, 1}},
        {{0.0, 1, 1, 0.25}, {1, 0, 0, 0.25}},
    };
    for (const auto& [hsba, rgba] : cases) {
        const Color c = Color::hsb(hsba[0], hsba[1], hsba[2], hsba[3]);
        const std::array<double, 4> actual{c.red, c.green, c.blue, c.alpha};
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(actual[i], rgba[i], 1e-12) << "hue " << hsba[0] << ", component " << i;
        }
    }
}

TEST(ColorBytes, RoundToTheNearestLevelAndClamp) {
    EXPECT_EQ(Color::white(0.17).rgba8(), (std::array<std::uint8_t, 4>{43, 43, 43, 255}));
    // 0.5 × 255 = 127.5 rounds up.
    EXPECT_EQ(Color::white(0.5).rgba8()[0], 128);
    EXPECT_EQ((Color{-0.2, 1.7, 0.0, 0.0}.rgba8()), (std::array<std::uint8_t, 4>{0, 255, 0, 0}));
}

TEST(TintedImage, EveryCoveredPixelIsExactlyTheColourWithTheSourceAlpha) {
    Image source = Image::transparent(4, 1, 3.0);
    source.setPixel(0, 0, {255, 255, 255, 255});  // opaque white
    source.setPixel(1, 0, {10, 200, 30, 128});    // half-covered, coloured
    source.setPixel(2, 0, {0, 0, 0, 1});          // barely there
    source.setPixel(3, 0, {90, 90, 90, 0});       // uncovered, with stray colour

    const Color pink = JWThemesDB::shared().findTheme("Pink")->baseColor();
    const Image tinted = tintedImage(source, pink);

    EXPECT_EQ(tinted.pixelWidth, 4);
    EXPECT_EQ(tinted.pixelHeight, 1);
    EXPECT_EQ(tinted.scale, 3.0);
    EXPECT_EQ(tinted.pixelAt(0, 0), (Image::Pixel{0xED, 0x39, 0x6F, 255}));
    EXPECT_EQ(tinted.pixelAt(1, 0), (Image::Pixel{0xED, 0x39, 0x6F, 128}));
    EXPECT_EQ(tinted.pixelAt(2, 0), (Image::Pixel{0xED, 0x39, 0x6F, 1}));
    EXPECT_EQ(tinted.pixelAt(3, 0), (Image::Pixel{0, 0, 0, 0}));
    // A translucent colour scales the coverage; an empty image stays empty.
    const Image halfRed = tintedImage(source, Color{1.0, 0.0, 0.0, 0.5});
    EXPECT_EQ(halfRed.pixelAt(0, 0), (Image::Pixel{255, 0, 0, 128}));
    EXPECT_EQ(halfRed.pixelAt(1, 0), (Image::Pixel{255, 0, 0, 64}));
    EXPECT_TRUE(tintedImage(Image{}, grey20).isEmpty());
}

}  // namespace
}  // namespace jw
