#include "src/ads/ShortestNumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace jw {

namespace {

// Plain decimals from 0.0001 up to (not including) 10^16; beyond that, digits would be
// invented or the zeros would hide the value.
constexpr int smallestPlainExponent = -4;
constexpr int largestPlainExponent = 15;

}  // namespace

std::string shortestNumberText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    // Scientific form from to_chars is already the shortest round-trip digit string;
    // only the layout is ours.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific);
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const auto e = text.find('e');
    std::string digits(text.substr(0, e));
    if (digits.size() > 1) {
        digits.erase(1, 1);  // the decimal point after the first digit
    }
    const int exponent = std::atoi(std::string(text.substr(e + 1)).c_str());

    std::string out = std::signbit(value) ? "-" : "";
    if (exponent >= smallestPlainExponent && exponent <= largestPlainExponent) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= integerDigits) {
                out += digits;
                out.append(integerDigits - digits.size(), '0');
                out += ".0";
            } else {
                out += digits.substr(0, integerDigits);
                out += '.';
                out += digits.substr(integerDigits);
            }
        }
        return out;
    }
    out += digits.substr(0, 1);
    if (digits.size() > 1) {
        out += '.';
        out += digits.substr(1);
    }
    out += exponent < 0 ? "e-" : "e+";
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) {
        out += '0';
    }
    out += std::to_string(magnitude);
    return out;
}

}  // namespace jw
