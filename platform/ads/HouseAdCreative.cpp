#include "platform/ads/HouseAdCreative.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace jw::ads {

namespace {

constexpr int catalogueFormat = 1;

std::optional<std::vector<HouseAdCreative>> failure(std::string* error, std::string reason) {
    if (error != nullptr) {
        *error = std::move(reason);
    }
    return std::nullopt;
}

// Image names are plain file names: the catalogue must not point outside its own folder.
bool isPlainFileName(const std::string& name) {
    const std::filesystem::path path(name);
    return !name.empty() && path.has_filename() && path == path.filename() && name != "." &&
           name != "..";
}

}  // namespace

std::optional<std::vector<HouseAdCreative>> readHouseAdCatalogue(
    const std::filesystem::path& folder, std::string* error) {
    const auto file = folder / "creatives.json";
    std::ifstream stream(file, std::ios::binary);
    if (!stream) {
        return failure(error, "cannot open " + file.string());
    }
    std::ostringstream text;
    text << stream.rdbuf();
    const auto json = nlohmann::json::parse(text.str(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return failure(error, file.string() + " is not a JSON object");
    }
    if (json.value("format", 0) != catalogueFormat || !json.contains("creatives") ||
        !json["creatives"].is_array()) {
        return failure(error, file.string() + " is not a creative catalogue of format 1");
    }
    std::vector<HouseAdCreative> creatives;
    for (const auto& entry : json["creatives"]) {
        if (!entry.is_object()) {
            continue;
        }
        const auto field = [&entry](const char* key) {
            const auto found = entry.find(key);
            return found != entry.end() && found->is_string() ? found->get<std::string>()
                                                              : std::string();
        };
        HouseAdCreative creative;
        creative.identifier = field("identifier");
        const std::string image = field("image");
        if (creative.identifier.empty() || !isPlainFileName(image)) {
            continue;
        }
        creative.imageFile = std::filesystem::absolute(folder / image);
        const auto scale = entry.find("scale");
        if (scale != entry.end() && scale->is_number() && scale->get<double>() > 0.0) {
            creative.scale = scale->get<double>();
        }
        creative.headline = field("headline");
        creative.callToAction = field("callToAction");
        creatives.push_back(std::move(creative));
    }
    return creatives;
}

}  // namespace jw::ads
