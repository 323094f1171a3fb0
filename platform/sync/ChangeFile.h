#pragma once
// The files devices leave in the cloud folder: change files (what one device changed since its
// previous file) and baselines (everything one device knew, replacing older change files).
// Both are immutable once written, and written under a temporary name and renamed.
//
// Layout: one header line of JSON, then the payload, a JSON array of object changes:
//   {"jotwell-sync": <format>, "kind": "changes"|"baseline", "ensemble": <identifier>,
//    "device": <device>, "sequence": <n>, "model": <model version>,
//    "coverage": {device: n, ...} (baselines), "length": <payload bytes>, "crc32": <n>}\n
//   [ ...object changes... ]
// A reader checks everything it can: the format and model are not newer than it knows, the
// file is whole (length), undamaged (CRC-32) and where it should be (ensemble, device,
// sequence); a file failing any check is refused with the reason.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ObjectChange.h"

namespace jw::sync {

constexpr int kChangeFileFormat = 1;

struct ChangeFileHeader {
    int format = kChangeFileFormat;
    std::string kind = "changes";
    std::string ensemble;
    std::string device;
    std::int64_t sequence = 0;
    int modelVersion = 0;
    std::map<std::string, std::int64_t> coverage;
};

struct ChangeFile {
    ChangeFileHeader header;
    std::vector<ObjectChange> changes;
};

std::string encodeChangeFile(const ChangeFile& file);
// The same bytes, from changes each already encoded as ObjectChange::toJson().dump().
std::string encodeChangeFile(const ChangeFileHeader& header,
                             const std::vector<std::string>& encodedChanges);

// Throws RefusedFile with the reason when the bytes are not a whole, undamaged file
// of a format and model this program understands.
ChangeFile decodeChangeFile(const std::string& bytes, int supportedModelVersion);

}  // namespace jw::sync
