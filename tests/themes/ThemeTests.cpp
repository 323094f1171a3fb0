// Colours from hue, saturation and brightness, tinted icons, the theme catalogue and its
// lookups, PNG files, and the app's artwork by name and display scale.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>

#include "src/themes/ImageResources.h"
#include "src/themes/JWThemesDB.h"
#include "src/themes/Palette.h"
#include "src/themes/PngImage.h"
#include "src/themes/TintedImage.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

// A colour's components to ten significant digits: "r g b a".
std::string components(const Color& c) {
    char text[100];
    std::snprintf(text, sizeof text, "%.10g %.10g %.10g %.10g", c.red, c.green, c.blue, c.alpha);
    return text;
}

// Hue, saturation, brightness and alpha, and the colour: the six corners of the hue circle and
// the midpoints between them, a hue that wraps around, a grey that ignores its hue.
TEST(Colors, FromHsbCoverTheHueCircleWrapAroundAndKeepAlphaAndRoundToBytes) {
    const std::array<double, 4> cases[] = {
        {0.0, 1, 1, 1},      {1.0 / 12, 1, 1, 1}, {3.0 / 12, 1, 1, 1},  {5.0 / 12, 1, 1, 1},
        {7.0 / 12, 1, 1, 1}, {9.0 / 12, 1, 1, 1}, {11.0 / 12, 1, 1, 1}, {1.0, 0.85, 0.77, 1},
        {-0.25, 1, 1, 1},    {0.4, 0.0, 0.6, 1},  {0.0, 1, 1, 0.25},
    };
    std::string text;
    for (const auto& [h, s, b, a] : cases) {
        text += components(Color::hsb(h, s, b, a)) + " | ";
    }
    EXPECT_EQ(text,
              "1 0 0 1 | 1 0.5 0 1 | 0.5 1 0 1 | 0 1 0.5 1 | 0 0.5 1 1 | 0.5 0 1 1 | 1 0 0.5 1 | "
              "0.77 0.1155 0.1155 1 | 0.5 0 1 1 | 0.6 0.6 0.6 1 | 1 0 0 0.25 | ");
    // In bytes each component rounds to the nearest level (0.5 × 255 = 127.5 up) and clamps; the
    // catalogue below shows more.
    EXPECT_EQ((Color{0.5, -0.2, 1.7, 0.0}.rgba8()), (std::array<std::uint8_t, 4>{128, 0, 255, 0}));
}

// The size, scale and every pixel as "RRGGBBAA": "2x1@3: 000000FF FFFFFF00".
std::string pixels(const Image& image) {
    std::string text = std::to_string(image.pixelWidth) + "x" + std::to_string(image.pixelHeight) +
                       "@" + std::to_string(int(image.scale)) + ":";
    for (int y = 0; y < image.pixelHeight; ++y) {
        for (int x = 0; x < image.pixelWidth; ++x) {
            const auto p = image.pixelAt(x, y);
            char hex[16];
            std::snprintf(hex, sizeof hex, " %02X%02X%02X%02X", p[0], p[1], p[2], p[3]);
            text += hex;
        }
    }
    return text;
}

TEST(TintedImage, EveryCoveredPixelIsExactlyTheColourWithTheSourceAlpha) {
    Image source = Image::transparent(4, 1, 3.0);
    source.setPixel(0, 0, {255, 255, 255, 255});  // opaque white
    source.setPixel(1, 0, {10, 200, 30, 128});    // half-covered, coloured
    source.setPixel(2, 0, {0, 0, 0, 1});          // barely there
    source.setPixel(3, 0, {90, 90, 90, 0});       // uncovered, with stray colour

    const Color pink = JWThemesDB::shared().findTheme("Pink")->baseColor();
    const Image tinted = tintedImage(source, pink);

    EXPECT_EQ(pixels(tinted), "4x1@3: ED396FFF ED396F80 ED396F01 00000000");
    // A translucent colour scales the coverage; an empty image stays empty.
    const Image halfRed = tintedImage(source, Color{1.0, 0.0, 0.0, 0.5});
    EXPECT_EQ(halfRed.pixelAt(0, 0), (Image::Pixel{255, 0, 0, 128}));
    EXPECT_EQ(halfRed.pixelAt(1, 0), (Image::Pixel{255, 0, 0, 64}));
    EXPECT_TRUE(tintedImage(Image{}, grey20).isEmpty());
}

// In picker order, each with white text on its base colour, which matches the table the
// catalogue is defined by (four decimals, and 8-bit sRGB); whole names are found exactly, in the
// one shared catalogue, and a key that names no theme falls back to Default, where finding it
// gives nothing.
TEST(ThemeCatalogue, HoldsTheNineThemesOfTheTableAndFindsWholeNamesExactly) {
    const auto& db = JWThemesDB::shared();
    std::string text;
    for (const auto& theme : db.all()) {
        const Color c = theme->baseColor();
        const auto bytes = c.rgba8();
        char row[120];
        std::snprintf(row, sizeof row, "%s %.4f %.4f %.4f %g %02X%02X%02X%02X%s\n",
                      theme->name().c_str(), c.red, c.green, c.blue, c.alpha, bytes[0], bytes[1],
                      bytes[2], bytes[3], theme->whiteTextOnBase() ? " white" : "");
        text += row;
        EXPECT_EQ(db.findTheme(theme->name()), theme);
        EXPECT_EQ(db.themeForKey(theme->name()), theme);
    }
    EXPECT_EQ(text,
              "Default 0.1700 0.1700 0.1700 1 2B2B2BFF white\n"
              "Red 0.7700 0.1155 0.1155 1 C41D1DFF white\n"
              "Orange 0.9000 0.4485 0.1260 1 E67220FF white\n"
              "Yellow 0.8800 0.7920 0.0000 1 E0CA00FF white\n"
              "Green 0.0608 0.7600 0.0725 1 10C212FF white\n"
              "Blue 0.1155 0.5627 0.7700 1 1D8FC4FF white\n"
              "Dark Blue 0.0200 0.1997 1.0000 1 0533FFFF white\n"
              "Purple 0.5884 0.2232 0.9300 1 9639EDFF white\n"
              "Pink 0.9300 0.2232 0.4352 1 ED396FFF white\n");
    for (const char* near : {"DarkBlue", "Dark  Blue", "dark blue", "Dark Blue ", "Dark", "",
                             "pink", "PINK", " Pink", "Pink\n", "Teal", "Removed Theme"}) {
        EXPECT_EQ(db.findTheme(near), nullptr) << '"' << near << '"';
        EXPECT_EQ(db.themeForKey(near), db.all()[0]) << '"' << near << '"';
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

// Every pixel comes back, partial alpha included; missing, truncated, foreign and malformed
// images are refused.
TEST(PngFiles, RoundTripKeepsEveryPixelAndWhatIsNotAWholeImageIsRefused) {
    test::TempDir dir;
    const Image original = gradientImage(5, 4);
    writePNGFile(original, dir.path() / "g.png");
    std::string error;
    const auto read = readPNGFile(dir.path() / "g.png", 2.0, &error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(pixels(*read), pixels(original));

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

// The shipped artwork exists at every scale with the same point size.
TEST(ImageNamed, ShippedArtworkExistsAtEveryScaleAndTheDisplayScaleIsPreferred) {
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
    // The display scale, else the nearest larger, else the nearest smaller; a file that cannot
    // be read is reported and skipped for another scale; unknown names and paths give nothing.
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
