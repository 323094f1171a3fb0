#pragma once
// An address (a web page, a store page), kept as its absolute string. Plain value.

#include <string>

namespace jw::ui {

struct Url {
    std::string absoluteString;
    bool operator==(const Url&) const = default;
};

}  // namespace jw::ui
