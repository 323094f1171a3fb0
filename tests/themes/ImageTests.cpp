// Reading and writing PNG files, and finding the app's artwork by name and display scale.

#include <gtest/gtest.h>

#include <fstream>

#include "src/themes/ImageResources.h"
#include "src/themes/PngImage.h"
#include "tests/support/TestEnvironment.h"

namespace jw {
namespace {

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
