#include "ChangeFile.h"

#include <fmt/format.h>
#include <zlib.h>

#include <limits>
#include <stdexcept>

namespace jw::sync {

using nlohmann::json;

namespace {

std::uint32_t crc32Of(const char* data, std::size_t size) {
    uLong crc = crc32(0L, Z_NULL, 0);
    // zlib takes lengths as uInt; feed large payloads in pieces.
    while (size > 0) {
        const auto piece = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), piece);
        data += piece;
        size -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}

// A version number, with anything beyond 64 bits read as the greatest there is.
std::int64_t versionNumber(const json& number) {
    if (number.is_number_unsigned() &&
        number.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return number.get<std::int64_t>();
}

}  // namespace

std::string encodeChangeFile(const ChangeFile& file) {
    std::vector<std::string> encoded;
    encoded.reserve(file.changes.size());
    for (const auto& change : file.changes) {
        encoded.push_back(change.toJson().dump());
    }
    return encodeChangeFile(file.header, encoded);
}

std::string encodeChangeFile(const ChangeFileHeader& fileHeader,
                             const std::vector<std::string>& encodedChanges) {
    // The compact dump of a JSON array of the changes, without building that array.
    std::size_t size = 2;
    for (const auto& change : encodedChanges) {
        size += change.size() + 1;
    }
    std::string body;
    body.reserve(size);
    body += '[';
    for (std::size_t i = 0; i < encodedChanges.size(); ++i) {
        if (i > 0) {
            body += ',';
        }
        body += encodedChanges[i];
    }
    body += ']';
    json header = {{"jotwell-sync", fileHeader.format},
                   {"kind", fileHeader.kind},
                   {"ensemble", fileHeader.ensemble},
                   {"device", fileHeader.device},
                   {"sequence", fileHeader.sequence},
                   {"model", fileHeader.modelVersion},
                   {"length", body.size()},
                   {"crc32", crc32Of(body.data(), body.size())}};
    if (!fileHeader.coverage.empty()) {
        header["coverage"] = fileHeader.coverage;
    }
    std::string out = header.dump();
    out.reserve(out.size() + 1 + body.size());
    out += '\n';
    out += body;
    return out;
}

ChangeFile decodeChangeFile(const std::string& bytes, int supportedModelVersion) {
    const auto newline = bytes.find('\n');
    if (newline == std::string::npos) {
        throw RefusedFile("no header line (an empty or cut file)");
    }
    json header;
    try {
        header = json::parse(bytes.begin(), bytes.begin() + std::ptrdiff_t(newline));
    } catch (const json::exception&) {
        throw RefusedFile("the header is not JSON");
    }
    if (!header.is_object() || !header.contains("jotwell-sync") ||
        !header["jotwell-sync"].is_number_integer()) {
        throw RefusedFile("not a sync file");
    }
    ChangeFile file;
    auto& h = file.header;
    // Versions are compared as written, in full: read into a narrower type, a huge number
    // would wrap around into a version this program knows.
    const auto format = versionNumber(header["jotwell-sync"]);
    if (format > kChangeFileFormat) {
        throw RefusedFile(fmt::format("written in a newer format ({})", format));
    }
    if (format < 1) {
        throw RefusedFile(fmt::format("not a format this program knows ({})", format));
    }
    h.format = static_cast<int>(format);
    std::int64_t model = 0;
    try {
        h.kind = header.at("kind").get<std::string>();
        h.ensemble = header.at("ensemble").get<std::string>();
        h.device = header.at("device").get<std::string>();
        h.sequence = header.at("sequence").get<std::int64_t>();
        if (!header.at("model").is_number_integer() || !header.at("length").is_number_unsigned()) {
            throw RefusedFile("");
        }
        model = versionNumber(header["model"]);
        if (header.contains("coverage")) {
            h.coverage = header["coverage"].get<std::map<std::string, std::int64_t>>();
        }
    } catch (const std::invalid_argument&) {
        throw RefusedFile("the header lacks a field or has one of the wrong kind");
    } catch (const json::exception&) {
        throw RefusedFile("the header lacks a field or has one of the wrong kind");
    }
    if (model > supportedModelVersion) {
        throw RefusedFile(fmt::format("written with a newer object model ({})", model));
    }
    h.modelVersion = static_cast<int>(model);
    if (h.kind != "changes" && h.kind != "baseline") {
        throw RefusedFile(fmt::format("an unknown kind of file ({})", h.kind));
    }
    const auto length = header["length"].get<std::uint64_t>();
    const std::size_t available = bytes.size() - newline - 1;
    if (available < length) {
        throw RefusedFile(fmt::format("cut short ({} of {} bytes)", available, length));
    }
    if (available > length) {
        throw RefusedFile("longer than its header says");
    }
    const char* body = bytes.data() + newline + 1;
    if (!header.contains("crc32") || !header["crc32"].is_number_unsigned() ||
        header["crc32"].get<std::uint32_t>() != crc32Of(body, length)) {
        throw RefusedFile("damaged (checksum mismatch)");
    }
    json payload;
    try {
        payload = json::parse(body, body + length);
    } catch (const json::exception&) {
        throw RefusedFile("the payload is not JSON");
    }
    if (!payload.is_array()) {
        throw RefusedFile("the payload is not a list of changes");
    }
    file.changes.reserve(payload.size());
    for (auto& entry : payload) {
        file.changes.push_back(ObjectChange::fromJson(std::move(entry)));
    }
    return file;
}

}  // namespace jw::sync
