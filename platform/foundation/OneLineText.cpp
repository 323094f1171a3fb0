#include "OneLineText.h"

namespace jw {

std::string oneLineText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) {
            // U+2400 + c (U+2421 for delete), in UTF-8: E2 90 80+.
            const unsigned picture = c == 0x7f ? 0x21 : c;
            out += '\xe2';
            out += static_cast<char>(0x90 + (picture >> 6));
            out += static_cast<char>(0x80 | (picture & 0x3f));
        } else if (c == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            out += "\xef\xbf\xbd";
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace jw
