#include "app/ModuleSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "core/shell/PanelModel.h"

namespace lidora::app {

ModuleSlider::ModuleSlider(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setFixedHeight(22);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void ModuleSlider::setValue(double value) {
    if (value != value_) {
        value_ = value;
        update();
    }
}

void ModuleSlider::setAccessibleValueText(const QString& text) {
    // Qt widgets carry one accessible description; the value text goes there.
    setAccessibleDescription(text);
}

void ModuleSlider::setValueFromUser(double value) {
    if (!std::isnan(value)) {
        change(std::clamp(value, 0.0, 1.0));
    }
}

void ModuleSlider::step(int steps) {
    change(steppedSliderValue(value_, steps));
}

void ModuleSlider::change(double value) {
    if (value == value_) {
        return;
    }
    value_ = value;
    update();
    if (onValueChanged) {
        onValueChanged(value_);
    }
}

void ModuleSlider::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor primary = palette().color(QPalette::WindowText);
    const QRectF track(0, (height() - trackHeight_) / 2, width(), trackHeight_);
    const double radius = trackHeight_ / 2;
    QColor empty = primary;
    empty.setAlphaF(0.15F);
    painter.setPen(Qt::NoPen);
    painter.setBrush(empty);
    painter.drawRoundedRect(track, radius, radius);
    QRectF filled = track;
    filled.setWidth(track.width() * std::clamp(value_, 0.0, 1.0));
    painter.setBrush(primary);
    painter.drawRoundedRect(filled, radius, radius);
    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        painter.setPen(QPen(ring, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(-2, -2, 2, 2), radius + 2, radius + 2);
    }
}

void ModuleSlider::mousePressEvent(QMouseEvent* event) {
    dragging_ = true;
    change(sliderValueAt(event->position().x(), width()));
}

void ModuleSlider::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        change(sliderValueAt(event->position().x(), width()));
    }
}

void ModuleSlider::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_) {
        return;
    }
    dragging_ = false;
    change(sliderValueAt(event->position().x(), width()));
    if (onEditingEnded) {
        onEditingEnded();
    }
}

void ModuleSlider::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) {
        step(event->key() == Qt::Key_Left ? -1 : 1);
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace lidora::app
