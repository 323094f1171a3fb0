#pragma once
// Numbers in diagnostic lines: the fewest decimal digits that read back as the same double,
// always with a fractional part ("5.0", "0.1", "-3.25"); exponent form for very small and
// very large magnitudes ("1e-05", "2.5e+16"); "nan", "inf" and "-inf" for the rest.

#include <string>

namespace jw {

std::string shortestNumberText(double value);

}  // namespace jw
