#pragma once
// Settings that apply to every ad request of the process. Thread-safe: it may be set from the
// completion of MobileAds::start, which runs wherever that completion runs.

#include <mutex>
#include <string>
#include <vector>

namespace jw::ads {

class RequestConfiguration {
  public:
    // Devices that must only ever get test ads. House ads have no paying advertisers and no
    // device identity, so the list is kept for the clients that set it and changes nothing
    // the house network serves.
    void setTestDeviceIdentifiers(std::vector<std::string> identifiers) {
        std::lock_guard lock(mutex_);
        testDeviceIdentifiers_ = std::move(identifiers);
    }
    std::vector<std::string> testDeviceIdentifiers() const {
        std::lock_guard lock(mutex_);
        return testDeviceIdentifiers_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> testDeviceIdentifiers_;
};

}  // namespace jw::ads
