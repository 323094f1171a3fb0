#include <ctime>
#include <limits>
#include <memory>
#include <utility>

#include <gtest/gtest.h>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Date.h"
#include "tests/foundation/TimeZone.h"

namespace jw {
namespace {

// UTC with milliseconds, rounded to the nearest with carry, whatever the local zone.
TEST(DateIso8601, IsUtcWithMillisecondsInAnyZone) {
    test::ScopedTimeZone zone("Pacific/Kiritimati");  // UTC+14
    const std::pair<double, const char*> cases[] = {
        {1'800'000'000.0, "2027-01-15T08:00:00.000Z"},
        {0.0, "1970-01-01T00:00:00.000Z"},
        {1'800'000'000.5, "2027-01-15T08:00:00.500Z"},
        {951'782'400.0, "2000-02-29T00:00:00.000Z"},
        {1'800'000'000.0004, "2027-01-15T08:00:00.000Z"},
        {1'800'000'059.9996, "2027-01-15T08:01:00.000Z"},
        {-0.001, "1969-12-31T23:59:59.999Z"},
        {-86'400.25, "1969-12-30T23:59:59.750Z"},
    };
    for (const auto& [seconds, expected] : cases) {
        EXPECT_EQ(Date{seconds}.iso8601(), expected) << seconds;
    }
    const std::string text = Date{std::numeric_limits<double>::quiet_NaN()}.iso8601();
    EXPECT_NE(text.find("invalid"), std::string::npos) << text;
}

TEST(CurrentClock, IsTheInstalledClockUntilReplacedAndASystemClockForNothing) {
    auto manual = std::make_shared<ManualClock>(Date{42.0});
    const auto previous = installClock(manual);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(&currentClock(), manual.get());
    installClock(nullptr);
    EXPECT_NE(dynamic_cast<SystemClock*>(&currentClock()), nullptr);
    EXPECT_NE(installClock(previous), manual);
}

}  // namespace
}  // namespace jw
