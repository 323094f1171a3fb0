// Drawing an icon's shape in a theme colour.

#include <gtest/gtest.h>

#include <array>

#include "src/themes/ImageResources.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "src/themes/TintedImage.h"

namespace jw {
namespace {

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
}

TEST(TintedImage, TheShippedListIconKeepsItsShapeInTheThemeColour) {
    const auto list = imageNamed("List", 3);
    ASSERT_TRUE(list);
    const auto theme = JWThemesDB::shared().themeForKey("Dark Blue");
    const Image tinted = tintedImage(*list, theme->baseColor());

    ASSERT_EQ(tinted.pixelWidth, list->pixelWidth);
    ASSERT_EQ(tinted.pixelHeight, list->pixelHeight);
    EXPECT_EQ(tinted.scale, list->scale);
    std::array<int, 3> coverage{};  // clear, partial, opaque pixels
    for (int y = 0; y < list->pixelHeight; ++y) {
        for (int x = 0; x < list->pixelWidth; ++x) {
            const auto in = list->pixelAt(x, y);
            const auto expected = in[3] ? Image::Pixel{0x05, 0x33, 0xFF, in[3]} : Image::Pixel{};
            ++coverage[in[3] == 0 ? 0 : in[3] == 255 ? 2 : 1];
            ASSERT_EQ(tinted.pixelAt(x, y), expected) << x << "," << y;
        }
    }
    // A real icon: empty space, smooth edges and solid strokes.
    EXPECT_TRUE(coverage[0] > 0 && coverage[1] > 0 && coverage[2] > 0);
}

// A translucent colour scales the coverage; an empty image stays empty.
TEST(TintedImage, TranslucentColourScalesTheCoverage) {
    Image source = Image::transparent(2, 1);
    source.setPixel(0, 0, {0, 0, 0, 255});
    source.setPixel(1, 0, {0, 0, 0, 100});
    const Image tinted = tintedImage(source, Color{1.0, 0.0, 0.0, 0.5});
    EXPECT_EQ(tinted.pixelAt(0, 0), (Image::Pixel{255, 0, 0, 128}));
    EXPECT_EQ(tinted.pixelAt(1, 0), (Image::Pixel{255, 0, 0, 50}));
    EXPECT_TRUE(tintedImage(Image{}, grey20).isEmpty());
}

}  // namespace
}  // namespace jw
