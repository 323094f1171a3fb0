#include "platform/ui/RowHeights.h"

#include <algorithm>
#include <cmath>

namespace jw::ui {

void RowHeights::clear() {
    runs_.clear();
    size_ = 0;
}

void RowHeights::append(double height, std::size_t count) {
    if (count == 0) {
        return;
    }
    height = std::max(height, 0.0);
    if (!runs_.empty() && runs_.back().height == height) {
        runs_.back().count += count;
    } else {
        runs_.push_back(Run{size_, count, total(), height});
    }
    size_ += count;
}

double RowHeights::topOf(std::size_t row) const {
    if (row >= size_) {
        return total();
    }
    const auto run = std::partition_point(runs_.begin(), runs_.end(), [row](const Run& r) {
        return r.first + r.count <= row;
    });
    return run->topOfRow(row);
}

std::size_t RowHeights::firstEndingBelow(double y) const {
    // Bottoms grow with the row, so the runs whose last bottom is at or above y come first.
    const auto run = std::partition_point(runs_.begin(), runs_.end(),
                                          [y](const Run& r) { return r.endTop() <= y; });
    if (run == runs_.end()) {
        return size_;
    }
    if (run->height == 0.0) {
        return run->first;  // its bottom, its top, is below y
    }
    // The estimate can be off by one either way through rounding; the checks settle it.
    auto offset = std::size_t(std::clamp(std::floor((y - run->top) / run->height), 0.0,
                                         double(run->count - 1)));
    while (offset > 0 && run->topOfRow(run->first + offset) > y) {
        --offset;
    }
    while (offset + 1 < run->count && run->topOfRow(run->first + offset + 1) <= y) {
        ++offset;
    }
    return run->first + offset;
}

std::size_t RowHeights::firstStartingAtOrBelow(double y) const {
    const auto run = std::partition_point(runs_.begin(), runs_.end(), [y](const Run& r) {
        return r.topOfRow(r.first + r.count - 1) < y;
    });
    if (run == runs_.end()) {
        return size_;
    }
    if (run->height == 0.0) {
        return run->first;
    }
    auto offset = std::size_t(std::clamp(std::ceil((y - run->top) / run->height), 0.0,
                                         double(run->count - 1)));
    while (offset > 0 && run->topOfRow(run->first + offset - 1) >= y) {
        --offset;
    }
    while (offset + 1 < run->count && run->topOfRow(run->first + offset) < y) {
        ++offset;
    }
    return run->first + offset;
}

}  // namespace jw::ui
