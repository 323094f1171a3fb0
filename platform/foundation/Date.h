#pragma once
// An absolute instant, as seconds since 1970-01-01 00:00:00 UTC (fractions allowed).
// Dates are plain values: copy them freely, compare them with the usual operators.

#include <compare>
#include <string>

namespace jw {

struct Date {
    double secondsSinceEpoch = 0.0;

    static constexpr Date fromSeconds(double s) { return Date{s}; }
    constexpr Date addingSeconds(double s) const { return Date{secondsSinceEpoch + s}; }
    constexpr double secondsSince(Date other) const {
        return secondsSinceEpoch - other.secondsSinceEpoch;
    }
    auto operator<=>(const Date&) const = default;
    bool operator==(const Date&) const = default;

    // ISO 8601 in UTC with milliseconds, e.g. "2026-12-06T09:47:24.000Z"; for logs and dumps.
    std::string iso8601() const;
};

}  // namespace jw
