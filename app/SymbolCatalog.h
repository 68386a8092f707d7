#pragma once

#include <QColor>
#include <QImage>
#include <QSizeF>
#include <string_view>

namespace lidora::app {

// The system symbols the app uses, drawn from vector outlines of our own
// so they stay crisp at any size: "lightbulb", "lightbulb.fill",
// "lightbulb.slash", "sun.min", "sun.min.fill", "sun.max", "sun.max.fill",
// "paperplane.fill", and "apple.logo" (an apple with a leaf, taller than wide).
class SymbolCatalog {
public:
    [[nodiscard]] static bool contains(std::string_view name);

    // The symbol's image size at `pointSize`, in points.
    [[nodiscard]] static QSizeF size(std::string_view name, double pointSize);

    // An image `pointSize` points wide (square but for "apple.logo") at `scale` device pixels per
    // point; the first colour draws the symbol's main layer, the second its
    // secondary layer (a bulb's base). Null for an unknown name.
    [[nodiscard]] static QImage render(std::string_view name, double pointSize, double scale, const QColor& primary,
                                       const QColor& secondary);
};

}  // namespace lidora::app
