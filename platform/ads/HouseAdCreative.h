#pragma once
// The house-ad creatives shipped with the app, and the catalogue file that lists them.
//
// A creative folder holds "creatives.json" and the images it names:
//   {"format": 1, "creatives": [{"identifier": "...", "image": "file.png", "scale": 1,
//                                "headline": "...", "callToAction": "..."}, ...]}
// Reading is plain file work: any thread.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace jw::ads {

struct HouseAdCreative {
    std::string identifier;
    std::filesystem::path imageFile;  // absolute: folder + the entry's "image"
    double scale = 1.0;               // pixels per point of the image
    std::string headline;             // shown with the image
    std::string callToAction;
};

// The creatives listed in `folder`/creatives.json, in file order. Entries without an
// identifier or image, or whose image name would leave the folder, are skipped. A missing or
// malformed catalogue gives nothing, with the reason in `*error`.
std::optional<std::vector<HouseAdCreative>> readHouseAdCatalogue(
    const std::filesystem::path& folder, std::string* error = nullptr);

}  // namespace jw::ads
