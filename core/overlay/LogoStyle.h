#pragma once

#include <array>
#include <optional>

#include "core/ports/Geometry.h"

namespace lidora {

// sRGB.
struct Color {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    friend bool operator==(const Color&, const Color&) = default;
};

// How the logo is coloured: one colour, or the six stripes.
struct Style {
    std::optional<Color> solid;  // empty: rainbow

    static Style rainbow() { return {}; }
    static Style solidColor(Color color) { return {color}; }
    [[nodiscard]] bool isRainbow() const { return !solid; }
    friend bool operator==(const Style&, const Style&) = default;
};

// Where the logo sits in its panel, in points.
struct Placement {
    double centerX = 27.15;
    Size inkSize{13.25, 17.625};
    Size leafOffset{-0.5, 0.0};
    double leafScale = 1.5;
    friend bool operator==(const Placement&, const Placement&) = default;
};

// Top to bottom: green, yellow, orange, red, purple, blue.
inline constexpr std::array<Color, 6> kClassicColors = {{
    {0.38, 0.73, 0.27, 1},
    {0.99, 0.72, 0.15, 1},
    {0.96, 0.51, 0.12, 1},
    {0.88, 0.22, 0.23, 1},
    {0.59, 0.24, 0.60, 1},
    {0.00, 0.62, 0.86, 1},
}};

// What a logo panel's content view draws.
struct LogoContent {
    Style style;
    Placement placement;
    friend bool operator==(const LogoContent&, const LogoContent&) = default;
};

}  // namespace lidora
