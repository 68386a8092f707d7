#pragma once

#include <algorithm>

namespace lidora {

// CoreGraphics' points, sizes and rectangles, in points.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    [[nodiscard]] double minX() const { return origin.x; }
    [[nodiscard]] double minY() const { return origin.y; }
    [[nodiscard]] double maxX() const { return origin.x + size.width; }
    [[nodiscard]] double maxY() const { return origin.y + size.height; }
    [[nodiscard]] double midX() const { return origin.x + size.width / 2; }
    [[nodiscard]] double midY() const { return origin.y + size.height / 2; }
    // CGRectIntersectsRect: overlapping with some area.
    [[nodiscard]] bool intersects(const Rect& other) const {
        return std::max(minX(), other.minX()) < std::min(maxX(), other.maxX()) &&
               std::max(minY(), other.minY()) < std::min(maxY(), other.maxY());
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace lidora
