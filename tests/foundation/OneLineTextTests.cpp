// Text printed as one line: controls as their pictures, C1 controls replaced, the rest kept.

#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/OneLineText.h"

namespace jw {
namespace {

TEST(OneLineText, ShowsControlsAsPicturesAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"Milk", "Milk"},
        {"two\nlines", "two␊lines"},
        {"tab\there\r", "tab␉here␍"},
        {"\x1b[2Jgone", "␛[2Jgone"},
        {std::string("nul\0", 4), "nul␀"},
        {"\x1f\x7f", "␟␡"},
        {"\xc2\x9b"
         "31m",
         "\xef\xbf\xbd"
         "31m"},                                                 // CSI as a C1 control
        {"é ✔︎ 🍅 \xc2\xa0", "é ✔︎ 🍅 \xc2\xa0"},  // the no-break space is no control
        {"\xff\xc2", "\xff\xc2"},                                // not UTF-8: left as it is
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(oneLineText(text), shown) << text;
    }
}

}  // namespace
}  // namespace jw
