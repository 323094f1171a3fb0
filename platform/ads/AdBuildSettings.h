#pragma once
// Advertising values fixed per build (CMake cache variables JOTWELL_INTERSTITIAL_AD_UNIT_ID
// and JOTWELL_ADS_TEST_DEVICE_ID). Constant for the life of the process; any thread.

#include <string_view>

namespace jw::ads {

// The ad unit the items screen's interstitials are loaded for.
std::string_view interstitialAdUnitIdentifier();

// The one entry of the advertising test device list: 32 hexadecimal digits.
std::string_view testDeviceIdentifier();

}  // namespace jw::ads
