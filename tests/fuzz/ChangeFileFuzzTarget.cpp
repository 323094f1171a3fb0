#include "ChangeFileFuzzTarget.h"

#include <zlib.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/sync/ChangeFile.h"

namespace jw::sync::fuzz {
namespace {

[[noreturn]] void broken(const char* what, const std::string& detail) {
    std::fprintf(stderr, "change-file reader: %s: %s\n", what, detail.c_str());
    std::abort();
}

void readOnce(const std::string& bytes) {
    ChangeFile file;
    try {
        file = decodeChangeFile(bytes, kReaderModelVersion);
    } catch (const std::invalid_argument&) {
        return;  // refused: what a reader must do with bytes that are not a good file
    } catch (const std::exception& e) {
        broken("an exception other than a refusal escaped", e.what());
    }
    // Read: writing it out and reading that again gives the same file.
    const std::string written = encodeChangeFile(file);
    ChangeFile again;
    try {
        again = decodeChangeFile(written, kReaderModelVersion);
    } catch (const std::exception& e) {
        broken("a file it read was refused once written out again", e.what());
    }
    if (encodeChangeFile(again) != written) {
        broken("a file read back differently", written.substr(0, 200));
    }
}

// The bytes with the header's "length" and "crc32" set to fit the payload after it; none when
// the first line is not a JSON object.
std::optional<std::string> withFittingChecksum(const std::string& bytes) {
    const auto newline = bytes.find('\n');
    if (newline == std::string::npos) {
        return std::nullopt;
    }
    auto header = nlohmann::json::parse(bytes.begin(), bytes.begin() + std::ptrdiff_t(newline),
                                        nullptr, false);
    if (!header.is_object()) {
        return std::nullopt;
    }
    const std::string body = bytes.substr(newline + 1);
    header["length"] = body.size();
    header["crc32"] = std::uint32_t(crc32(
        crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(body.data()), uInt(body.size())));
    return header.dump() + "\n" + body;
}

}  // namespace

void readChangeFileBytes(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    readOnce(bytes);
    if (auto fitted = withFittingChecksum(bytes)) {
        readOnce(*fitted);
    }
}

}  // namespace jw::sync::fuzz
