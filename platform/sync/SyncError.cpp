#include "SyncError.h"

namespace jw::sync {

SyncError cloudError(CloudStatus status, std::string text) {
    switch (status) {
        case CloudStatus::notFound:
            return {SyncError::Kind::notFound, std::move(text)};
        case CloudStatus::unavailable:
            return {SyncError::Kind::unavailable, std::move(text)};
        case CloudStatus::invalid:
        case CloudStatus::tooLarge:
            return {SyncError::Kind::refused, std::move(text)};
        case CloudStatus::ok:
            break;
    }
    return {SyncError::Kind::failed, std::move(text)};
}

}  // namespace jw::sync
