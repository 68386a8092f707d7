#include "app/LogoView.h"

#include <QPainter>
#include <cmath>

#include "app/SymbolCatalog.h"

namespace lidora::app {

namespace {

constexpr double kSymbolPointSize = 16.0;
constexpr double kInkScale = 4.0;
constexpr int kInkAlphaThreshold = 128;  // above 0.5
constexpr double kLeafShare = 0.22;      // the top of the ink is the leaf
constexpr double kBodyHeight = 14.0;     // symbol points below the leaf
constexpr double kBandOverlap = 0.25;

QColor qcolor(const Color& c) {
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green), static_cast<float>(c.blue),
                            static_cast<float>(c.alpha));
}

// Rectangles here are y-up, as the logo's geometry is given; `height` is
// that of the surface they are drawn on.
QRectF flipped(double x, double y, double width, double height, double surfaceHeight) {
    return {x, surfaceHeight - (y + height), width, height};
}

double snap(double value, double scale) {
    return std::round(value * scale) / scale;
}

// The smallest rectangle holding every pixel with alpha above 0.5, in
// points, y-up; the whole image when there is none.
QRectF inkBounds(const QImage& symbol, double scale) {
    int left = symbol.width();
    int right = -1;
    int top = symbol.height();
    int bottom = -1;
    for (int y = 0; y < symbol.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(symbol.constScanLine(y));
        for (int x = 0; x < symbol.width(); ++x) {
            if (qAlpha(row[x]) > kInkAlphaThreshold) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return {0, 0, symbol.width() / scale, symbol.height() / scale};
    }
    return {left / scale, (symbol.height() - 1 - bottom) / scale, (right - left + 1) / scale,
            (bottom - top + 1) / scale};
}

// The symbol at its scaled size, coloured only where it has ink.
QImage tinted(QSizeF size, double scale, const QRectF& ink, const Style& style) {
    QImage image(std::max(1, static_cast<int>(std::lround(size.width() * scale))),
                 std::max(1, static_cast<int>(std::lround(size.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double detail = kInkScale * scale;
    painter.drawImage(QRectF(QPointF(0, 0), size),
                      SymbolCatalog::render("apple.logo", kSymbolPointSize, detail, Qt::black, Qt::black));
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    const double h = size.height();
    if (style.solid) {
        painter.fillRect(QRectF(QPointF(0, 0), size), qcolor(*style.solid));
        return image;
    }
    const double top = ink.bottom() - kLeafShare * ink.height();  // ink is y-up: bottom() is its max y
    painter.fillRect(flipped(0, top, size.width(), h - top, h), qcolor(kClassicColors[0]));
    const double band = (top - ink.top()) / 6;
    for (std::size_t i = 0; i < kClassicColors.size(); ++i) {
        painter.fillRect(flipped(0, top - (static_cast<double>(i) + 1) * band - kBandOverlap, size.width(),
                                 band + 2 * kBandOverlap, h),
                         qcolor(kClassicColors[i]));
    }
    painter.fillRect(flipped(0, 0, size.width(), ink.top(), h), qcolor(kClassicColors[5]));
    return image;
}

}  // namespace

void drawLogo(QPainter& painter, QSizeF bounds, double scale, const Style& style, const Placement& placement) {
    if (!SymbolCatalog::contains("apple.logo")) {
        return;
    }
    const auto symbolSize = SymbolCatalog::size("apple.logo", kSymbolPointSize);
    const auto ink =
        inkBounds(SymbolCatalog::render("apple.logo", kSymbolPointSize, kInkScale, Qt::black, Qt::black), kInkScale);
    const double sx = placement.inkSize.width / ink.width();
    const double sy = placement.inkSize.height / ink.height();
    const QRectF scaledInk(ink.x() * sx, ink.y() * sy, ink.width() * sx, ink.height() * sy);
    const QSizeF scaled(symbolSize.width() * sx, symbolSize.height() * sy);
    const double H = bounds.height();
    const double ox = snap(placement.centerX - scaledInk.center().x(), scale);
    const double oy = snap(H - (std::floor(H * 0.5) - 1.0) - scaledInk.center().y(), scale);
    const auto image = tinted(scaled, scale, scaledInk, style);

    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double body = kBodyHeight * sy;
    painter.setClipRect(flipped(ox, oy, scaled.width(), body, H));
    painter.drawImage(flipped(ox, oy, scaled.width(), scaled.height(), H), image);
    painter.restore();

    // The leaf, enlarged around its own centre.
    const QSizeF part(scaled.width(), scaled.height() - body);
    const QPointF partCentre(part.width() / 2, body + part.height() / 2);
    const QSizeF destination(part.width() * placement.leafScale, part.height() * placement.leafScale);
    const double dx = snap(ox + partCentre.x() - destination.width() / 2 + placement.leafOffset.width, scale);
    const double dy = snap(oy + partCentre.y() - destination.height() / 2 + placement.leafOffset.height, scale);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.drawImage(flipped(dx, dy, destination.width(), destination.height(), H), image,
                      QRectF(0, 0, part.width() * scale, part.height() * scale));
    painter.restore();
}

QImage renderLogo(const LogoContent& content, QSizeF bounds, double scale) {
    QImage image(std::max(1, static_cast<int>(std::lround(bounds.width() * scale))),
                 std::max(1, static_cast<int>(std::lround(bounds.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    drawLogo(painter, bounds, scale, content.style, content.placement);
    return image;
}

LogoView::LogoView(Style style, Placement placement, QWidget* parent)
    : QWidget(parent), style_(style), placement_(placement) {
    setAttribute(Qt::WA_TranslucentBackground);
}

void LogoView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    drawLogo(painter, size(), devicePixelRatioF(), style_, placement_);
}

}  // namespace lidora::app
