// Drawing an icon's shape in a theme colour.

#include <gtest/gtest.h>

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
    int opaque = 0;
    int partial = 0;
    int clear = 0;
    for (int y = 0; y < list->pixelHeight; ++y) {
        for (int x = 0; x < list->pixelWidth; ++x) {
            const auto in = list->pixelAt(x, y);
            const auto out = tinted.pixelAt(x, y);
            ASSERT_EQ(out[3], in[3]) << x << "," << y;
            if (in[3] == 0) {
                ++clear;
                continue;
            }
            in[3] == 255 ? ++opaque : ++partial;
            ASSERT_EQ(out[0], 0x05) << x << "," << y;
            ASSERT_EQ(out[1], 0x33) << x << "," << y;
            ASSERT_EQ(out[2], 0xFF) << x << "," << y;
        }
    }
    // A real icon: solid strokes, smooth edges and empty space.
    EXPECT_GT(opaque, 0);
    EXPECT_GT(partial, 0);
    EXPECT_GT(clear, 0);
}

TEST(TintedImage, TranslucentColourScalesTheCoverage) {
    Image source = Image::transparent(2, 1);
    source.setPixel(0, 0, {0, 0, 0, 255});
    source.setPixel(1, 0, {0, 0, 0, 100});
    const Image tinted = tintedImage(source, Color{1.0, 0.0, 0.0, 0.5});
    EXPECT_EQ(tinted.pixelAt(0, 0), (Image::Pixel{255, 0, 0, 128}));
    EXPECT_EQ(tinted.pixelAt(1, 0), (Image::Pixel{255, 0, 0, 50}));
}

TEST(TintedImage, EmptyImageGivesEmptyImage) {
    const Image tinted = tintedImage(Image{}, grey20);
    EXPECT_TRUE(tinted.isEmpty());
}

}  // namespace
}  // namespace jw
