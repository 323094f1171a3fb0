#include "src/themes/ImageResources.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "platform/foundation/DebugLog.h"
#include "platform/foundation/Paths.h"
#include "src/themes/PngImage.h"

namespace jw {

namespace {

constexpr int largestScale = 3;

std::filesystem::path fileForScale(const std::filesystem::path& directory, std::string_view name,
                                   int scale) {
    std::string file(name);
    if (scale > 1) {
        file += "@" + std::to_string(scale) + "x";
    }
    return directory / (file + ".png");
}

// The order in which the scales are tried for a display.
std::vector<int> scalePreference(int displayScale) {
    if (displayScale < 1) {
        displayScale = 1;
    }
    std::vector<int> order;
    for (int scale = displayScale; scale <= largestScale; ++scale) {
        order.push_back(scale);
    }
    for (int scale = std::min(displayScale, largestScale + 1) - 1; scale >= 1; --scale) {
        order.push_back(scale);
    }
    return order;
}

}  // namespace

std::optional<Image> imageNamedIn(const std::filesystem::path& directory, std::string_view name,
                                  int displayScale) {
    // A name that could step out of the folder is not an image name.
    if (name.empty() || name.find('/') != std::string_view::npos || name == "." || name == "..") {
        return std::nullopt;
    }
    for (int scale : scalePreference(displayScale)) {
        const auto file = fileForScale(directory, name, scale);
        std::error_code ignored;
        if (!std::filesystem::is_regular_file(file, ignored)) {
            continue;
        }
        std::string error;
        if (auto image = readPNGFile(file, scale, &error)) {
            return image;
        }
        debugLog("image " + file.string() + " unreadable: " + error);
    }
    return std::nullopt;
}

std::optional<Image> imageNamed(std::string_view name, int displayScale) {
    return imageNamedIn(AppPaths::resolve(std::nullopt).resourceDirectory / "images", name,
                        displayScale);
}

}  // namespace jw
