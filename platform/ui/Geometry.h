#pragma once
// Sizes and rectangles in points, as the screens and the front end exchange them. Plain values.

namespace jw::ui {

struct Point {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;
    bool operator==(const Rect&) const = default;
};

// Extra room around a scroll view's content (a table's rows), in points.
struct EdgeInsets {
    double top = 0.0;
    double left = 0.0;
    double bottom = 0.0;
    double right = 0.0;
    bool operator==(const EdgeInsets&) const = default;
};

}  // namespace jw::ui
