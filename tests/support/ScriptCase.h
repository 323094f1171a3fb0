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

inline void PrintTo(const ScriptCase& c, std::ostream* out) {
    *out << c.name;
}

inline std::string caseName(const ::testing::TestParamInfo<ScriptCase>& info) {
    return info.param.name;
}

}  // namespace jw::test
