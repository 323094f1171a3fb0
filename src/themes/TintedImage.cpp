#include "src/themes/TintedImage.h"

namespace jw {

Image tintedImage(const Image& image, const Color& color) {
    Image result = Image::transparent(image.pixelWidth, image.pixelHeight, image.scale);
    const auto paint = color.rgba8();
    const unsigned colorAlpha = paint[3];
    for (std::size_t i = 0; i + 3 < image.rgba.size() && i + 3 < result.rgba.size(); i += 4) {
        // Coverage comes from the source alone, as drawing the colour and then keeping it
        // only where the source is ("destination-in") does; rounded to the nearest level.
        const unsigned alpha = (image.rgba[i + 3] * colorAlpha + 127) / 255;
        if (alpha == 0) {
            continue;
        }
        result.rgba[i] = paint[0];
        result.rgba[i + 1] = paint[1];
        result.rgba[i + 2] = paint[2];
        result.rgba[i + 3] = static_cast<std::uint8_t>(alpha);
    }
    return result;
}

}  // namespace jw
