#include "platform/controlcenter/qt/ControlCenterWindow.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "app/SymbolCatalog.h"

namespace lidora::vmac {

namespace {

constexpr double kTileWidth = 176;
constexpr double kTileHeight = 150;
constexpr double kGap = 14;
constexpr double kSymbolSize = 34;
const QColor kBackground{30, 30, 32};
const QColor kTile{58, 58, 62};
const QColor kLitTile{255, 204, 0};
const QColor kDimText{174, 174, 178};

}  // namespace

ControlCenterWindow::ControlCenterWindow(std::function<void(const std::string&)> activate)
    : activate_(std::move(activate)) {
    setWindowTitle(QStringLiteral("Control Center"));
    setFixedSize(static_cast<int>(kGap + 2 * (kTileWidth + kGap)), static_cast<int>(kTileHeight + 2 * kGap));
}

void ControlCenterWindow::setControls(std::vector<ShownControl> controls) {
    controls_ = std::move(controls);
    const auto columns = std::max<std::size_t>(1, controls_.size());
    setFixedSize(static_cast<int>(kGap + static_cast<double>(columns) * (kTileWidth + kGap)),
                 static_cast<int>(kTileHeight + 2 * kGap));
    update();
}

QRectF ControlCenterWindow::tile(std::size_t index) const {
    return {kGap + static_cast<double>(index) * (kTileWidth + kGap), kGap, kTileWidth, kTileHeight};
}

void ControlCenterWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), kBackground);
    const double scale = devicePixelRatioF();
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        const auto& control = controls_[i];
        const auto area = tile(i);
        const bool lit = control.shown && control.shown->style == ControlTemplate::Style::toggle && control.shown->isOn;
        QPainterPath shape;
        shape.addRoundedRect(area, 22, 22);
        painter.fillPath(shape, lit ? kLitTile : kTile);
        const QColor ink = lit ? QColor(Qt::black) : QColor(Qt::white);

        if (control.shown) {
            const auto symbol = app::SymbolCatalog::render(control.shown->systemImage, kSymbolSize, scale, ink,
                                                           lit ? QColor(60, 60, 60) : kDimText);
            if (!symbol.isNull()) {
                painter.drawImage(QPointF(area.left() + 18, area.top() + 18), symbol);
            }
        }
        QFont title = font();
        title.setPixelSize(14);
        title.setBold(true);
        painter.setFont(title);
        painter.setPen(ink);
        const QRectF text(area.left() + 18, area.bottom() - 66, area.width() - 30, 22);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(control.displayName));
        QFont value = font();
        value.setPixelSize(14);
        painter.setFont(value);
        painter.setPen(lit ? QColor(60, 60, 60) : kDimText);
        const auto valueText = control.shown ? control.shown->valueText : std::string("Unavailable");
        painter.drawText(text.translated(0, 24), Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(valueText));
    }
}

void ControlCenterWindow::mouseReleaseEvent(QMouseEvent* event) {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (tile(i).contains(event->position()) && activate_) {
            activate_(controls_[i].kind);
            return;
        }
    }
}

}  // namespace lidora::vmac
