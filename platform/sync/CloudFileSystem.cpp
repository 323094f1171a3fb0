#include "platform/sync/CloudFileSystem.h"

namespace jw::sync {

const char* describe(CloudStatus status) {
    switch (status) {
        case CloudStatus::ok:
            return "ok";
        case CloudStatus::notFound:
            return "not found";
        case CloudStatus::unavailable:
            return "unavailable";
        case CloudStatus::invalid:
            return "invalid";
        case CloudStatus::tooLarge:
            return "too large";
    }
    return "unknown status";
}

bool isValidCloudPath(std::string_view path) {
    if (path.empty()) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('/', start);
        const std::string_view name = path.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (name.empty() || name == "." || name == ".." ||
            name.find('\0') != std::string_view::npos) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

bool isTemporaryCloudName(std::string_view name) {
    return name.starts_with('.') && name.ends_with(".tmp");
}

}  // namespace jw::sync
