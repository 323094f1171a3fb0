#include "CloudLayout.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "SyncError.h"
#include "platform/store/GlobalID.h"

namespace jw::sync {

using nlohmann::json;

namespace {

std::optional<std::int64_t> sequenceIn(const std::string& name, const std::string& extension) {
    // Exactly twelve digits and the extension: nothing else counts.
    if (name.size() != 12 + extension.size() || !name.ends_with(extension)) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (std::size_t i = 0; i < 12; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        value = value * 10 + (name[i] - '0');
    }
    return value > 0 ? std::optional<std::int64_t>(value) : std::nullopt;
}

}  // namespace

std::string CloudLayout::changeFileName(std::int64_t sequence) {
    return fmt::format("{:012}.jwchanges", sequence);
}

std::string CloudLayout::baselineFileName(std::int64_t sequence) {
    return fmt::format("{:012}.jwbaseline", sequence);
}

std::optional<std::int64_t> CloudLayout::changeFileSequence(const std::string& name) {
    return sequenceIn(name, ".jwchanges");
}

std::optional<std::int64_t> CloudLayout::baselineFileSequence(const std::string& name) {
    return sequenceIn(name, ".jwbaseline");
}

bool CloudLayout::isDeviceName(const std::string& name) {
    const auto id = store::GlobalID::fromString(name);
    return id && id->toString() == name;
}

std::string DeviceRegistration::toJson() const {
    json baselineList = json::array();
    for (const auto& b : baselines) {
        baselineList.push_back({{"sequence", b.sequence}, {"coverage", b.coverage}});
    }
    return json{{"jotwell-device", 1},      {"device", device},   {"ensemble", ensemble},
                {"lastSeen", lastSeen},     {"applied", applied}, {"exported", exported},
                {"baselines", baselineList}}
        .dump();
}

DeviceRegistration DeviceRegistration::fromJson(const std::string& text) {
    try {
        const auto j = json::parse(text);
        DeviceRegistration r;
        r.device = j.at("device").get<std::string>();
        r.ensemble = j.at("ensemble").get<std::string>();
        r.lastSeen = j.at("lastSeen").get<double>();
        r.applied = j.at("applied").get<std::map<std::string, std::int64_t>>();
        r.exported = j.at("exported").get<std::int64_t>();
        for (const auto& b : j.value("baselines", json::array())) {
            r.baselines.push_back({b.at("sequence").get<std::int64_t>(),
                                   b.at("coverage").get<std::map<std::string, std::int64_t>>()});
        }
        return r;
    } catch (const json::exception& e) {
        throw RefusedFile(fmt::format("a malformed device registration ({})", e.what()));
    }
}

std::string ensembleFileJson(const std::string& identifier) {
    return json{{"jotwell-ensemble", 1}, {"identifier", identifier}}.dump();
}

std::string ensembleIdentifierFrom(const std::string& text) {
    try {
        const auto j = json::parse(text);
        auto identifier = j.at("identifier").get<std::string>();
        if (identifier.empty()) {
            throw RefusedFile("an ensemble file without identifier");
        }
        return identifier;
    } catch (const json::exception&) {
        throw RefusedFile("a malformed ensemble file");
    }
}

}  // namespace jw::sync
