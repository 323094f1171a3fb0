#pragma once
// Drawing an icon in a theme colour.

#include "platform/ui/Color.h"
#include "platform/ui/Image.h"

namespace jw {

// The shape of `image` filled with `color`: an image of the same pixel size and scale whose
// every pixel has the colour's red, green and blue and the source pixel's alpha (multiplied
// by the colour's alpha, for a translucent colour). The source's own colours do not show
// through. Pixels that come out fully transparent are (0, 0, 0, 0). Thread-safe.
Image tintedImage(const Image& image, const Color& color);

}  // namespace jw
