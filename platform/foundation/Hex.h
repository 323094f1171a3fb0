#pragma once
// Hexadecimal digits, as every text form of bytes here writes and reads them: written in lower
// case, read in either case.

namespace jw {

// The lower-case digit of the low four bits of `value`.
constexpr char hexDigit(unsigned value) {
    return "0123456789abcdef"[value & 0xf];
}

// The value of one digit, or -1 for anything that is not one.
constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace jw
