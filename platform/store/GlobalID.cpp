#include "GlobalID.h"

#include <uuid/uuid.h>

#include <cstdint>
#include <cstring>

namespace jw::store {

GlobalID GlobalID::generate() {
    GlobalID id;
    uuid_generate_random(id.bytes.data());
    return id;
}

std::optional<GlobalID> GlobalID::fromString(std::string_view text) {
    if (text.size() != 36) {
        return std::nullopt;
    }
    char buffer[37];
    std::memcpy(buffer, text.data(), 36);
    buffer[36] = '\0';
    GlobalID id;
    if (uuid_parse(buffer, id.bytes.data()) != 0) {
        return std::nullopt;
    }
    return id;
}

std::string GlobalID::toString() const {
    char buffer[37];
    uuid_unparse_lower(bytes.data(), buffer);
    return std::string(buffer, 36);
}

namespace {

constexpr char kShortDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int shortDigitValue(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '-')
        return 62;
    if (c == '_')
        return 63;
    return -1;
}

}  // namespace

std::optional<GlobalID> GlobalID::fromShortString(std::string_view text) {
    if (text.size() != 22) {
        return std::nullopt;
    }
    GlobalID id;
    std::uint32_t bits = 0;
    int held = 0;
    std::size_t out = 0;
    for (const char c : text) {
        const int digit = shortDigitValue(c);
        if (digit < 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | std::uint32_t(digit);
        held += 6;
        if (held >= 8) {
            held -= 8;
            id.bytes[out++] = static_cast<unsigned char>(bits >> held);
            bits &= (1u << held) - 1;
        }
    }
    // 22 digits carry 132 bits: the last four must be zero, or two texts would name one id.
    if (bits != 0) {
        return std::nullopt;
    }
    return id;
}

void GlobalID::appendShortString(std::string& out) const {
    std::uint32_t bits = 0;
    int held = 0;
    for (const unsigned char byte : bytes) {
        bits = (bits << 8) | byte;
        held += 8;
        while (held >= 6) {
            held -= 6;
            out += kShortDigits[(bits >> held) & 0x3F];
        }
        bits &= (1u << held) - 1;
    }
    out += kShortDigits[(bits << (6 - held)) & 0x3F];
}

std::string GlobalID::toShortString() const {
    std::string out;
    out.reserve(22);
    appendShortString(out);
    return out;
}

}  // namespace jw::store
