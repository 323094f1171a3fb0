// Numbers in diagnostic lines: shortest round-trip digits, always with a fractional part.

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>

#include "src/ads/ShortestNumberText.h"

namespace jw {
namespace {

// Whole numbers keep a ".0"; fractions take the fewest digits that read back; tiny and huge
// magnitudes use an exponent; non-finite values have names.
TEST(ShortestNumberText, EachValueAsAWorkedExample) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> cases[] = {
        {5.0, "5.0"},
        {10.0, "10.0"},
        {0.0, "0.0"},
        {-3.0, "-3.0"},
        {1800000000.0, "1800000000.0"},
        {4.9, "4.9"},
        {0.1, "0.1"},
        {5.0 - 4.9, "0.09999999999999964"},
        {7.0 / 3600.0, "0.0019444444444444444"},
        {-0.25, "-0.25"},
        {123456.789, "123456.789"},
        {0.0001, "0.0001"},
        {0.00001, "1e-05"},
        {2.5e-7, "2.5e-07"},
        {1e15, "1000000000000000.0"},
        {1e16, "1e+16"},
        {-1.5e300, "-1.5e+300"},
        {std::numeric_limits<double>::quiet_NaN(), "nan"},
        {inf, "inf"},
        {-inf, "-inf"},
        {-0.0, "-0.0"}};
    for (const auto& [value, expected] : cases) {
        EXPECT_EQ(shortestNumberText(value), expected);
    }
    for (double value : {1.0 / 3.0, 2.0 / 3.0, 0.1 + 0.2, 1e-4, 9.999999999999999e15, 1234.5678e-9,
                         -6.02214076e23}) {
        EXPECT_EQ(std::stod(shortestNumberText(value)), value) << shortestNumberText(value);
    }
}

}  // namespace
}  // namespace jw
