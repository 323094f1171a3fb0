#include "GlobalID.h"

#include <uuid/uuid.h>

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

}  // namespace jw::store
