#pragma once
// A bitmap image: 8-bit sRGB pixels with straight (not premultiplied) alpha, four bytes per
// pixel in the order red, green, blue, alpha, rows from the top. `scale` is the number of
// pixels per point, so an image of 60×60 pixels at scale 2 is 30×30 points, the same size on
// screen as its 30×30 version at scale 1. A plain value: copy it freely.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace jw {

struct Image {
    using Pixel = std::array<std::uint8_t, 4>;

    int pixelWidth = 0;
    int pixelHeight = 0;
    double scale = 1.0;
    std::vector<std::uint8_t> rgba;  // pixelWidth × pixelHeight × 4 bytes

    // A fully transparent image of the given size.
    static Image transparent(int pixelWidth, int pixelHeight, double scale = 1.0) {
        Image image;
        image.pixelWidth = pixelWidth;
        image.pixelHeight = pixelHeight;
        image.scale = scale;
        image.rgba.assign(static_cast<std::size_t>(pixelWidth) * pixelHeight * 4, 0);
        return image;
    }

    // Size in points.
    double width() const { return pixelWidth / scale; }
    double height() const { return pixelHeight / scale; }

    bool isEmpty() const { return pixelWidth <= 0 || pixelHeight <= 0; }

    // The pixel at column x, row y; both must be inside the image.
    Pixel pixelAt(int x, int y) const {
        const std::size_t i = offset(x, y);
        return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
    }
    void setPixel(int x, int y, Pixel pixel) {
        const std::size_t i = offset(x, y);
        for (std::size_t c = 0; c < 4; ++c) {
            rgba[i + c] = pixel[c];
        }
    }

    bool operator==(const Image&) const = default;

  private:
    std::size_t offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * pixelWidth + x) * 4;
    }
};

}  // namespace jw
