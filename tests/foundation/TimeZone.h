#pragma once
// Runs a test in a chosen time zone, whatever TZ the process was started with, and gives the
// instants of wall-clock times there, so the calendar tests mean the same everywhere.

#include <ctime>
#include <optional>
#include <string>

#include "platform/foundation/Date.h"
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

// The instant of a local wall-clock time (plus `fraction` of a second).
inline Date localDate(int year, int month, int day, int hour, int minute, int second,
                      double fraction = 0.0) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_isdst = -1;
    return Date{static_cast<double>(std::mktime(&fields)) + fraction};
}

}  // namespace jw::test
