// Numbers in diagnostic lines: shortest round-trip digits, always with a fractional part.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "src/ads/ShortestNumberText.h"

namespace jw {
namespace {

TEST(ShortestNumberText, WholeNumbersKeepAPointZero) {
    EXPECT_EQ(shortestNumberText(5.0), "5.0");
    EXPECT_EQ(shortestNumberText(10.0), "10.0");
    EXPECT_EQ(shortestNumberText(0.0), "0.0");
    EXPECT_EQ(shortestNumberText(-3.0), "-3.0");
    EXPECT_EQ(shortestNumberText(1800000000.0), "1800000000.0");
}

TEST(ShortestNumberText, FractionsUseTheFewestDigitsThatReadBack) {
    EXPECT_EQ(shortestNumberText(4.9), "4.9");
    EXPECT_EQ(shortestNumberText(0.1), "0.1");
    EXPECT_EQ(shortestNumberText(5.0 - 4.9), "0.09999999999999964");
    EXPECT_EQ(shortestNumberText(7.0 / 3600.0), "0.0019444444444444444");
    EXPECT_EQ(shortestNumberText(-0.25), "-0.25");
    EXPECT_EQ(shortestNumberText(123456.789), "123456.789");
}

TEST(ShortestNumberText, EveryTextReadsBackAsTheSameDouble) {
    for (double value : {1.0 / 3.0, 2.0 / 3.0, 0.1 + 0.2, 1e-4, 9.999999999999999e15, 1234.5678e-9,
                         -6.02214076e23}) {
        EXPECT_EQ(std::stod(shortestNumberText(value)), value) << shortestNumberText(value);
    }
}

TEST(ShortestNumberText, TinyAndHugeMagnitudesUseAnExponent) {
    EXPECT_EQ(shortestNumberText(0.0001), "0.0001");
    EXPECT_EQ(shortestNumberText(0.00001), "1e-05");
    EXPECT_EQ(shortestNumberText(2.5e-7), "2.5e-07");
    EXPECT_EQ(shortestNumberText(1e15), "1000000000000000.0");
    EXPECT_EQ(shortestNumberText(1e16), "1e+16");
    EXPECT_EQ(shortestNumberText(-1.5e300), "-1.5e+300");
}

TEST(ShortestNumberText, NonFiniteValuesHaveNames) {
    EXPECT_EQ(shortestNumberText(std::numeric_limits<double>::quiet_NaN()), "nan");
    EXPECT_EQ(shortestNumberText(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(shortestNumberText(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(shortestNumberText(-0.0), "-0.0");
}

}  // namespace
}  // namespace jw
