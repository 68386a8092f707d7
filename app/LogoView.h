#pragma once

#include <QImage>
#include <QWidget>

#include "core/overlay/LogoStyle.h"

namespace lidora::app {

// Draws the classic logo into a painter whose coordinates are the view's
// points (top-left origin), `bounds` big, at `scale` device pixels per point.
void drawLogo(QPainter& painter, QSizeF bounds, double scale, const Style& style, const Placement& placement);

// The logo alone, in a transparent image of `bounds` points.
QImage renderLogo(const LogoContent& content, QSizeF bounds, double scale);

// The classic logo's view in its panel; made only with a style and a placement.
class LogoView final : public QWidget {
public:
    LogoView(Style style, Placement placement, QWidget* parent = nullptr);

    [[nodiscard]] const Style& style() const { return style_; }
    [[nodiscard]] const Placement& placement() const { return placement_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Style style_;
    Placement placement_;
};

}  // namespace lidora::app
