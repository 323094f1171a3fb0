#pragma once
// Runs a test in a chosen time zone, whatever TZ the process was started with.

#include <ctime>
#include <optional>
#include <string>

#include "tests/support/TestEnvironment.h"

namespace jw::test {

class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const std::string& zone) {
        variable_.emplace("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone() {
        variable_.reset();
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    std::optional<ScopedEnvironmentVariable> variable_;
};

}  // namespace jw::test
