#include "app/SymbolCatalog.h"

#include <QPainter>
#include <QPainterPath>
#include <array>
#include <cmath>
#include <numbers>

namespace lidora::app {

namespace {

// Outlines are designed on a 24-unit grid.
constexpr double kGrid = 24;
constexpr double kStroke = 1.8;

QPainterPath bulbGlass() {
    QPainterPath glass;
    glass.moveTo(9, 16.5);
    glass.cubicTo(9, 14.5, 5, 12.5, 5, 8.5);
    glass.cubicTo(5, 4.6, 8.1, 1.8, 12, 1.8);
    glass.cubicTo(15.9, 1.8, 19, 4.6, 19, 8.5);
    glass.cubicTo(19, 12.5, 15, 14.5, 15, 16.5);
    glass.closeSubpath();
    return glass;
}

void drawBase(QPainter& painter, const QColor& color) {
    QPen pen(color, kStroke, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.drawLine(QPointF(9.2, 19), QPointF(14.8, 19));
    painter.drawLine(QPointF(10, 21.8), QPointF(14, 21.8));
}

void drawBulb(QPainter& painter, bool filled, const QColor& primary, const QColor& secondary) {
    const auto glass = bulbGlass();
    if (filled) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(primary);
        painter.drawPath(glass);
    } else {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(primary, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(glass);
    }
    drawBase(painter, filled ? secondary : primary);
}

void drawSun(QPainter& painter, bool large, bool filled, const QColor& color) {
    const QPointF centre(12, 12);
    painter.setBrush(filled ? QBrush(color) : QBrush(Qt::NoBrush));
    painter.setPen(QPen(color, kStroke, Qt::SolidLine, Qt::RoundCap));
    const double radius = large ? 4.6 : 3.6;
    painter.drawEllipse(centre, radius, radius);
    const double inner = large ? 7.4 : 6.4;
    const double outer = large ? 10.6 : 7.0;
    for (int ray = 0; ray < 8; ++ray) {
        const double angle = ray * std::numbers::pi / 4;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(centre + direction * inner, centre + direction * outer);
    }
}

// A dart seen from above, its fold a darker line from the nose to the tail.
void drawPaperPlane(QPainter& painter, const QColor& primary) {
    QPainterPath plane;
    plane.moveTo(21.5, 2.5);
    plane.lineTo(2.5, 10.5);
    plane.lineTo(10, 14);
    plane.lineTo(13.5, 21.5);
    plane.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(primary);
    painter.drawPath(plane);
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(QPen(Qt::black, 1.2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(20.5, 3.5), QPointF(10.5, 13.5));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// The apple is 16 units wide and 18.5 tall: a body with two lobes below
// y = 4.5 and a leaf above it, tilted to the right.
constexpr double kAppleHeight = 18.5;

void drawApple(QPainter& painter, const QColor& color) {
    QPainterPath body;
    body.moveTo(8, 6.0);
    body.cubicTo(9.2, 4.6, 11.8, 4.3, 13.4, 5.3);
    body.cubicTo(15.3, 6.5, 15.9, 9.0, 15.5, 11.5);
    body.cubicTo(15.0, 14.6, 13.2, 17.6, 11.2, 17.9);
    body.cubicTo(10.0, 18.1, 9.0, 17.4, 8.0, 17.4);
    body.cubicTo(7.0, 17.4, 6.0, 18.1, 4.8, 17.9);
    body.cubicTo(2.8, 17.6, 1.0, 14.6, 0.5, 11.5);
    body.cubicTo(0.1, 9.0, 0.7, 6.5, 2.6, 5.3);
    body.cubicTo(4.2, 4.3, 6.8, 4.6, 8.0, 6.0);
    body.closeSubpath();
    QPainterPath leaf;
    leaf.moveTo(8.1, 4.3);
    leaf.cubicTo(7.9, 2.2, 9.4, 0.8, 11.6, 0.6);
    leaf.cubicTo(11.8, 2.8, 10.3, 4.2, 8.1, 4.3);
    leaf.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(body);
    painter.drawPath(leaf);
}

}  // namespace

QSizeF SymbolCatalog::size(std::string_view name, double pointSize) {
    if (name == "apple.logo") {
        return {pointSize, pointSize * kAppleHeight / 16};
    }
    return {pointSize, pointSize};
}

bool SymbolCatalog::contains(std::string_view name) {
    constexpr std::array<std::string_view, 9> kNames = {"lightbulb",    "lightbulb.fill",  "lightbulb.slash",
                                                        "sun.min",      "sun.min.fill",    "sun.max",
                                                        "sun.max.fill", "paperplane.fill", "apple.logo"};
    return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

QImage SymbolCatalog::render(std::string_view name, double pointSize, double scale, const QColor& primary,
                             const QColor& secondary) {
    if (!contains(name) || !(pointSize > 0) || !(scale > 0)) {
        return {};
    }
    const auto points = size(name, pointSize);
    QImage image(std::max(1, static_cast<int>(std::lround(points.width() * scale))),
                 std::max(1, static_cast<int>(std::lround(points.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (name == "apple.logo") {
        painter.scale(pointSize / 16, pointSize / 16);
        drawApple(painter, primary);
        return image;
    }
    painter.scale(pointSize / kGrid, pointSize / kGrid);
    if (name == "lightbulb") {
        drawBulb(painter, false, primary, secondary);
    } else if (name == "lightbulb.fill") {
        drawBulb(painter, true, primary, secondary);
    } else if (name == "lightbulb.slash") {
        drawBulb(painter, false, primary, secondary);
        // The slash cuts through the outline with a gap, as system symbols do.
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(Qt::black, kStroke * 2.4, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(3, 2), QPointF(21, 22));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setPen(QPen(primary, kStroke, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(3, 2), QPointF(21, 22));
    } else if (name == "paperplane.fill") {
        drawPaperPlane(painter, primary);
    } else {
        drawSun(painter, name.starts_with("sun.max"), name.ends_with(".fill"), primary);
    }
    return image;
}

}  // namespace lidora::app
