// Row heights kept as runs answer every question as a plain list of the same heights does:
// random heights (with runs, zero heights and fractions), appended one row or several at a
// time, asked at every boundary and between.

#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "platform/ui/RowHeights.h"

namespace jw::ui {
namespace {

TEST(RowHeights, AnswersAsAListOfEveryRowDoes) {
    std::mt19937 random(7);
    const double choices[] = {0.0, 10.0, 22.5, 48.0};
    for (int round = 0; round < 200; ++round) {
        RowHeights runs;
        std::vector<double> tops{0.0};  // the plain list: each row's top, then the bottom
        int rows = 0;
        for (int appends = int(random() % 8); appends > 0; --appends) {
            const double height = random() % 3 == 0 ? choices[random() % 4] : 48.0;
            const int count = random() % 2 ? 1 : int(random() % 4);
            if (count == 1 && random() % 2) {
                runs.append(height);
            } else {
                runs.append(height, std::size_t(count));
            }
            for (int row = 0; row < count; ++row, ++rows) {
                tops.push_back(tops.back() + height);
            }
        }
        ASSERT_EQ(runs.size(), std::size_t(rows));
        ASSERT_DOUBLE_EQ(runs.total(), tops.back());
        std::vector<double> probes{-1.0};
        for (const double top : tops) {
            probes.insert(probes.end(), {top - 0.5, top, top + 0.5});
        }
        for (std::size_t row = 0; row <= std::size_t(rows); ++row) {
            EXPECT_DOUBLE_EQ(runs.topOf(row), tops[row]) << "round " << round << " row " << row;
        }
        for (const double y : probes) {
            std::size_t endingBelow = std::size_t(rows);
            std::size_t startingAtOrBelow = std::size_t(rows);
            for (std::size_t row = std::size_t(rows); row-- > 0;) {
                endingBelow = tops[row + 1] > y ? row : endingBelow;
                startingAtOrBelow = tops[row] >= y ? row : startingAtOrBelow;
            }
            EXPECT_EQ(runs.firstEndingBelow(y), endingBelow) << "round " << round << " y " << y;
            EXPECT_EQ(runs.firstStartingAtOrBelow(y), startingAtOrBelow)
                << "round " << round << " y " << y;
        }
    }
}

}  // namespace
}  // namespace jw::ui
