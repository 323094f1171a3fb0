#include "Date.h"

#include <cmath>
#include <ctime>
#include <limits>

#include <fmt/format.h>

namespace jw {

std::string Date::iso8601() const {
    // Work in whole milliseconds (rounded to the nearest) and split with floor division, so a
    // carry such as .9996 s becomes the next second and instants before 1970 keep positive
    // fields ("1969-12-31T23:59:59.999Z" for -0.001 s).
    const double totalMilliseconds = std::round(secondsSinceEpoch * 1000.0);
    constexpr double limit = 1e17;  // far beyond any year struct tm can hold, still exact
    if (!std::isfinite(totalMilliseconds) || std::fabs(totalMilliseconds) > limit) {
        return fmt::format("<invalid date {}>", secondsSinceEpoch);
    }
    const auto milliseconds = static_cast<long long>(totalMilliseconds);
    long long seconds = milliseconds / 1000;
    long long fraction = milliseconds % 1000;
    if (fraction < 0) {
        fraction += 1000;
        seconds -= 1;
    }
    const auto time = static_cast<std::time_t>(seconds);
    std::tm fields{};
    if (gmtime_r(&time, &fields) == nullptr) {
        return fmt::format("<invalid date {}>", secondsSinceEpoch);
    }
    return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", fields.tm_year + 1900LL,
                       fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min,
                       fields.tm_sec, fraction);
}

}  // namespace jw
