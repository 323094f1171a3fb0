#pragma once
// Artwork shipped with the app, looked up by name in the "images" folder of the resource
// directory (AppPaths). An image "Name" may come as "Name.png" (scale 1), "Name@2x.png" and
// "Name@3x.png"; the lookup prefers the scale of the display, then the next larger one
// available, then the largest smaller one. Thread-safe; nothing is cached.

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/ui/Image.h"

namespace jw {

// The image `name` for a display of `displayScale` pixels per point, or nothing when no
// version of it exists or it cannot be decoded (the reason goes to debugLog).
std::optional<Image> imageNamed(std::string_view name, int displayScale = 2);

// As imageNamed, in `directory` instead of the resource directory's "images" folder.
std::optional<Image> imageNamedIn(const std::filesystem::path& directory, std::string_view name,
                                  int displayScale = 2);

}  // namespace jw
