#include "platform/ads/AdBuildSettings.h"

#ifndef JOTWELL_INTERSTITIAL_AD_UNIT_ID
#error "JOTWELL_INTERSTITIAL_AD_UNIT_ID must be defined by the build"
#endif
#ifndef JOTWELL_ADS_TEST_DEVICE_ID
#error "JOTWELL_ADS_TEST_DEVICE_ID must be defined by the build"
#endif

namespace jw::ads {

std::string_view interstitialAdUnitIdentifier() {
    return JOTWELL_INTERSTITIAL_AD_UNIT_ID;
}

std::string_view testDeviceIdentifier() {
    return JOTWELL_ADS_TEST_DEVICE_ID;
}

}  // namespace jw::ads
