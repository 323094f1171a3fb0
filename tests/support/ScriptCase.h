#pragma once
// A scripted scenario for a parameterised test: steps for the fixture's run() and the
// transcript it should print. The flags are for the fixtures that start otherwise by default.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace jw::test {

struct ScriptCase {
    const char* name;
    const char* steps;
    const char* expected;
    bool fresh = false;
    bool free = false;
};

// Any table's case, shown by gtest as its name (beside a case type of another namespace,
// `using jw::test::PrintTo;` lets gtest find it); caseName names a case's test after it.
template <typename Case>
requires requires(std::ostream& out, const Case& c) {
    out << c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

inline constexpr auto caseName = [](const auto& info) { return std::string(info.param.name); };

}  // namespace jw::test
