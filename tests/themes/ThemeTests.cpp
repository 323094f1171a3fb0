// Colours made from hue, saturation and brightness, the shared palette, an icon's shape drawn
// in a theme colour, and the catalogue of nine themes with the two lookups that resolve a
// list's stored theme name; reading and writing PNG files, and finding the app's artwork by
// name and display scale.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <utility>

#include "src/themes/ImageResources.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "src/themes/PngImage.h"
#include "src/themes/TintedImage.h"
#include "tests/support/TestEnvironment.h"

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

struct CatalogueRow {
    const char* name;
    double red, green, blue;  // as listed, to four decimals
    unsigned hex;             // 8-bit sRGB, 0xRRGGBB
};

// The table the catalogue is defined by.
constexpr CatalogueRow catalogueTable[] = {
    {"Default", 0.1700, 0.1700, 0.1700, 0x2B2B2B},   {"Red", 0.7700, 0.1155, 0.1155, 0xC41D1D},
    {"Orange", 0.9000, 0.4485, 0.1260, 0xE67220},    {"Yellow", 0.8800, 0.7920, 0.0000, 0xE0CA00},
    {"Green", 0.0608, 0.7600, 0.0725, 0x10C212},     {"Blue", 0.1155, 0.5627, 0.7700, 0x1D8FC4},
    {"Dark Blue", 0.0200, 0.1997, 1.0000, 0x0533FF}, {"Purple", 0.5884, 0.2232, 0.9300, 0x9639ED},
    {"Pink", 0.9300, 0.2232, 0.4352, 0xED396F},
};

int indexOf(const JWThemeRef& theme) {
    const auto& all = JWThemesDB::shared().all();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i] == theme) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// In picker order, each with white text on its base colour, which matches the table in floats
// and in eight bits.
TEST(ThemeCatalogue, HoldsTheNineThemesOfTheTableInPickerOrder) {
    const auto& all = JWThemesDB::shared().all();
    ASSERT_EQ(all.size(), std::size(catalogueTable));
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Color color = all[i]->baseColor();
        const auto& row = catalogueTable[i];
        EXPECT_EQ(all[i]->name(), row.name) << "index " << i;
        EXPECT_TRUE(all[i]->whiteTextOnBase()) << row.name;
        // The table rounds to four decimals.
        EXPECT_NEAR(color.red, row.red, 0.00005) << row.name;
        EXPECT_NEAR(color.green, row.green, 0.00005) << row.name;
        EXPECT_NEAR(color.blue, row.blue, 0.00005) << row.name;
        EXPECT_EQ(color.alpha, 1.0) << row.name;
        EXPECT_EQ(color.rgba8(), (std::array<std::uint8_t, 4>{std::uint8_t(row.hex >> 16),
                                                              std::uint8_t(row.hex >> 8),
                                                              std::uint8_t(row.hex), 255}))
            << row.name;
    }
}

// Whole names exactly, from the one shared catalogue; a key that names no theme falls back
// to Default, where finding it gives nothing.
TEST(ThemeCatalogue, FindsWholeNamesExactlyAndKeysFallBackToDefault) {
    const auto& db = JWThemesDB::shared();
    const std::pair<const char*, int> found[] = {{"Dark Blue", 6}, {"Default", 0}, {"Pink", 8}};
    for (const auto& [name, index] : found) {
        EXPECT_EQ(indexOf(db.findTheme(name)), index) << name;
        EXPECT_EQ(indexOf(db.themeForKey(name)), index) << name;
    }
    for (const char* near : {"DarkBlue", "Dark  Blue", "dark blue", "Dark Blue ", "Dark", "",
                             "pink", "PINK", " Pink", "Pink\n", "Teal", "Removed Theme"}) {
        EXPECT_EQ(db.findTheme(near), nullptr) << '"' << near << '"';
        EXPECT_EQ(indexOf(db.themeForKey(near)), 0) << '"' << near << '"';
    }
}

// --- Images ------------------------------------------------------------------------------

Image gradientImage(int width, int height) {
    Image image = Image::transparent(width, height, 2.0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(
                x, y,
                {static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(y * 50),
                 static_cast<std::uint8_t>(200 - x), static_cast<std::uint8_t>(x * 60 + y)});
        }
    }
    return image;
}

TEST(PngFiles, RoundTripKeepsEveryPixelIncludingPartialAlpha) {
    test::TempDir dir;
    const Image original = gradientImage(5, 4);
    writePNGFile(original, dir.path() / "g.png");

    std::string error;
    const auto read = readPNGFile(dir.path() / "g.png", 2.0, &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->pixelWidth, 5);
    EXPECT_EQ(read->pixelHeight, 4);
    EXPECT_EQ(read->scale, 2.0);
    EXPECT_EQ(read->rgba, original.rgba);
}

TEST(PngFiles, MissingTruncatedForeignAndMalformedImagesAreRefused) {
    test::TempDir dir;
    std::string error;
    EXPECT_FALSE(readPNGFile(dir.path() / "absent.png", 1.0, &error));
    EXPECT_FALSE(error.empty());

    writePNGFile(gradientImage(8, 8), dir.path() / "whole.png");
    std::ifstream whole(dir.path() / "whole.png", std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(whole)),
                                     std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 40u);
    bytes.resize(bytes.size() / 2);
    error.clear();
    EXPECT_FALSE(readPNGData(bytes, 1.0, &error));
    EXPECT_FALSE(error.empty());

    const std::vector<unsigned char> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    EXPECT_FALSE(readPNGData(text));

    // Writing a malformed image throws and leaves no file.
    Image broken = Image::transparent(4, 4);
    broken.rgba.resize(10);
    EXPECT_THROW(writePNGFile(broken, dir.path() / "b.png"), std::runtime_error);
    EXPECT_THROW(writePNGFile(Image{}, dir.path() / "e.png"), std::runtime_error);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "b.png"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "e.png"));
}

TEST(ImageNamed, ShippedArtworkExistsAtEveryScaleWithTheSamePointSize) {
    for (const char* name : {"List", "TickOn", "TickOff"}) {
        double points = -1;
        for (int scale = 1; scale <= 3; ++scale) {
            const auto image = imageNamed(name, scale);
            ASSERT_TRUE(image) << name << " @" << scale;
            EXPECT_EQ(image->scale, scale) << name;
            EXPECT_EQ(image->pixelWidth, image->pixelHeight) << name;
            if (points < 0) {
                points = image->width();
            }
            EXPECT_DOUBLE_EQ(image->width(), points) << name << " @" << scale;
        }
    }
}

// The display scale, else the nearest larger, else the nearest smaller; a file that cannot be
// read is reported and skipped for another scale; unknown names and paths give nothing.
TEST(ImageNamed, PrefersTheDisplayScaleThenLargerThenSmallerAndSkipsWhatCannotBeRead) {
    test::ManualPlatform platform;
    test::TempDir dir;
    writePNGFile(gradientImage(2, 2), dir.path() / "Icon.png");
    std::ofstream(dir.path() / "Icon@2x.png") << "garbage";
    writePNGFile(gradientImage(6, 6), dir.path() / "Icon@3x.png");
    const auto scales = [&] {
        std::string text;
        for (int scale = 1; scale <= 4; ++scale) {
            text += std::to_string(int(imageNamedIn(dir.path(), "Icon", scale)->scale));
        }
        return text;
    };
    EXPECT_EQ(scales(), "1333");
    std::filesystem::remove(dir.path() / "Icon@3x.png");
    EXPECT_EQ(scales(), "1111");
    ASSERT_FALSE(platform.logLines().empty());
    EXPECT_NE(platform.logLines()[0].find("Icon@2x.png"), std::string::npos);

    std::filesystem::create_directories(dir.path() / "inner");
    EXPECT_FALSE(imageNamed("NoSuchImage"));
    EXPECT_FALSE(imageNamedIn(dir.path() / "inner", "../Icon"));
    EXPECT_FALSE(imageNamedIn(dir.path(), ""));
}

}  // namespace
}  // namespace jw
