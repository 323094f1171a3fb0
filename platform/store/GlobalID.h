#pragma once
// A global identifier: 16 random bytes (an RFC 4122 version 4 UUID), the same for an object
// on every device. The store keeps it as a 16-byte blob; it also breaks the last ties of
// every ordering, so all devices and every fetch order equal objects the same way.

#include <array>
#include <compare>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace jw::store {

struct GlobalID {
    std::array<unsigned char, 16> bytes{};

    static GlobalID generate();
    // Parses the canonical 36-character form; nothing for anything else.
    static std::optional<GlobalID> fromString(std::string_view text);
    std::string toString() const;  // lower-case canonical form
    // The 22-character short form: the 16 bytes in base64url (RFC 4648, section 5) without
    // padding. Parsing takes exactly that form (the unused low bits of the last character
    // zero), so each identifier has one short form; nothing for anything else.
    static std::optional<GlobalID> fromShortString(std::string_view text);
    std::string toShortString() const;
    // The same, appended to `out` without a temporary string.
    void appendShortString(std::string& out) const;

    auto operator<=>(const GlobalID&) const = default;
    bool operator==(const GlobalID&) const = default;
};

// For unordered containers: the bytes are random, so the first eight hash well enough.
struct GlobalIDHash {
    std::size_t operator()(const GlobalID& id) const noexcept {
        std::size_t h = 0;
        std::memcpy(&h, id.bytes.data(), sizeof h);
        return h;
    }
};

}  // namespace jw::store
