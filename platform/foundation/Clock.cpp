#include "Clock.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <mutex>

namespace jw {

std::optional<Date> SystemClock::now() const {
    using Seconds = std::chrono::duration<double>;
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return Date{std::chrono::duration_cast<Seconds>(sinceEpoch).count()};
}

std::optional<Date> ManualClock::now() const {
    if (failing_) {
        return std::nullopt;
    }
    return current_;
}

namespace {

std::mutex& clockMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<Clock>& installedClock() {
    static std::shared_ptr<Clock> clock = std::make_shared<SystemClock>();
    return clock;
}

}  // namespace

Clock& currentClock() {
    std::lock_guard lock(clockMutex());
    return *installedClock();
}

std::shared_ptr<Clock> installClock(std::shared_ptr<Clock> clock) {
    if (!clock) {
        clock = std::make_shared<SystemClock>();
    }
    std::lock_guard lock(clockMutex());
    installedClock().swap(clock);
    return clock;
}

namespace calendar {

namespace {

// The whole second at or before `seconds`, when time_t can hold it.
std::optional<std::time_t> wholeSecondAtOrBefore(double seconds) {
    if (!std::isfinite(seconds)) {
        return std::nullopt;
    }
    const double whole = std::floor(seconds);
    // 2^62 keeps the conversion exact and well inside time_t; localtime_r rejects what is
    // beyond the years struct tm can represent.
    constexpr double limit = 4.611686018427387904e18;
    if (whole < -limit || whole > limit) {
        return std::nullopt;
    }
    return static_cast<std::time_t>(whole);
}

std::optional<std::tm> localFields(double seconds) {
    const auto time = wholeSecondAtOrBefore(seconds);
    if (!time) {
        return std::nullopt;
    }
    std::tm fields{};
    if (localtime_r(&*time, &fields) == nullptr) {
        return std::nullopt;
    }
    return fields;
}

}  // namespace

// Minutes are a fixed length of absolute time: adding n minutes adds 60·n seconds, whatever
// the wall clock does meanwhile. So 01:30 + 60 minutes on the night the clocks go forward is
// 03:30, and on the night they go back it is the second 02:30. The date must still be one the
// local calendar can express.
std::optional<Date> addingMinutes(Date date, int minutes) {
    const Date result = date.addingSeconds(60.0 * minutes);
    if (!localFields(date.secondsSinceEpoch) || !localFields(result.secondsSinceEpoch)) {
        return std::nullopt;
    }
    return result;
}

std::optional<Date> settingSecondsToZero(Date date) {
    auto fields = localFields(date.secondsSinceEpoch);
    if (!fields) {
        return std::nullopt;
    }
    // Keep the daylight-saving flag localtime_r reported rather than asking mktime to guess:
    // in the hour that repeats when the clocks go back, a guess could land in the other
    // occurrence, an hour away.
    fields->tm_sec = 0;
    errno = 0;
    const std::time_t result = std::mktime(&*fields);
    if (result == static_cast<std::time_t>(-1) && errno != 0) {
        return std::nullopt;
    }
    return Date{static_cast<double>(result)};
}

long long wholeSecondsBetween(Date from, Date to) {
    const double difference = std::trunc(to.secondsSince(from));
    if (std::isnan(difference)) {
        return 0;
    }
    constexpr double limit = 9.2e18;  // just inside long long
    if (difference >= limit) {
        return static_cast<long long>(limit);
    }
    if (difference <= -limit) {
        return -static_cast<long long>(limit);
    }
    return static_cast<long long>(difference);
}

}  // namespace calendar

}  // namespace jw
