#pragma once
// The heights of a table's rows, in flat order, kept as runs of equal heights: a table whose
// rows share one height holds one run however many rows it has, and every question below is
// answered by a binary search over the runs. Heights below zero count as zero.

#include <cstddef>
#include <vector>

namespace jw::ui {

class RowHeights {
  public:
    void clear();
    void append(double height) { append(height, 1); }
    // `count` rows of one height at once, in constant time.
    void append(double height, std::size_t count);

    std::size_t size() const { return size_; }
    double total() const { return runs_.empty() ? 0.0 : runs_.back().endTop(); }
    // The top of the row, from the first row's top; size() gives the bottom of the last row.
    double topOf(std::size_t row) const;
    // The first row whose bottom is below y, or size() if none.
    std::size_t firstEndingBelow(double y) const;
    // The first row whose top is at or below y, or size() if none.
    std::size_t firstStartingAtOrBelow(double y) const;

  private:
    struct Run {
        std::size_t first = 0;
        std::size_t count = 0;
        double top = 0.0;
        double height = 0.0;
        double topOfRow(std::size_t row) const { return top + height * double(row - first); }
        double endTop() const { return top + height * double(count); }
    };
    std::vector<Run> runs_;
    std::size_t size_ = 0;
};

}  // namespace jw::ui
