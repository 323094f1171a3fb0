#pragma once
// Why an ad could not be loaded or presented. A plain value.

#include <string>

namespace jw::ads {

enum class AdErrorCode {
    invalidRequest,      // e.g. an empty ad unit identifier
    noFill,              // the network had no ad to give
    networkError,        // the load failed on the way, as a network sometimes does
    internalError,       // the network's own catalogue of ads is missing or unreadable
    adAlreadyUsed,       // an interstitial is shown at most once
    adAlreadyPresented,  // it is on screen right now
    noPresenter,         // nothing that displays screens is installed, or it declined
};

struct AdError {
    AdErrorCode code = AdErrorCode::internalError;
    std::string localizedDescription;
};

}  // namespace jw::ads
