#pragma once
// Where things live in the cloud folder, and the small JSON files that describe an ensemble
// and its devices:
//   <ensemble>/ensemble.json                      {"jotwell-ensemble": 1, "identifier": uuid}
//   <ensemble>/devices/<device>/device.json       the device's registration (below)
//   <ensemble>/devices/<device>/changes/<n>.jwchanges     its change files, n = 1, 2, ...
//   <ensemble>/devices/<device>/baselines/<n>.jwbaseline  its baselines
// Each device writes only under its own folder. Names that do not fit (temporary files,
// conflict copies a file-sync service makes, strays) are ignored.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace jw::sync {

struct CloudLayout {
    std::string ensemble;  // the ensemble identifier, the top folder's name

    std::string ensembleFile() const { return ensemble + "/ensemble.json"; }
    std::string devicesFolder() const { return ensemble + "/devices"; }
    std::string deviceFolder(const std::string& device) const {
        return devicesFolder() + "/" + device;
    }
    std::string registrationFile(const std::string& device) const {
        return deviceFolder(device) + "/device.json";
    }
    std::string changesFolder(const std::string& device) const {
        return deviceFolder(device) + "/changes";
    }
    std::string baselinesFolder(const std::string& device) const {
        return deviceFolder(device) + "/baselines";
    }
    static std::string changeFileName(std::int64_t sequence);
    static std::string baselineFileName(std::int64_t sequence);
    // The sequence number in a well-formed name, or nothing.
    static std::optional<std::int64_t> changeFileSequence(const std::string& name);
    static std::optional<std::int64_t> baselineFileSequence(const std::string& name);
    // Device folders are named by canonical UUIDs.
    static bool isDeviceName(const std::string& name);
};

struct BaselineInfo {
    std::int64_t sequence = 0;
    std::map<std::string, std::int64_t> coverage;  // device -> files it replaces, 1..n
};

struct DeviceRegistration {
    std::string device;
    std::string ensemble;                         // the ensemble file's identifier
    double lastSeen = 0;                          // seconds since 1970
    std::map<std::string, std::int64_t> applied;  // device -> contiguous files applied
    std::int64_t exported = 0;                    // own files written, 1..n
    std::vector<BaselineInfo> baselines;

    std::string toJson() const;
    // Throws RefusedFile for anything malformed.
    static DeviceRegistration fromJson(const std::string& text);
};

std::string ensembleFileJson(const std::string& identifier);
// The identifier in an ensemble file; throws RefusedFile when malformed.
std::string ensembleIdentifierFrom(const std::string& text);

}  // namespace jw::sync
