#pragma once

#include <QAbstractButton>

namespace lidora::app {

// An on/off switch in the style of the system's: a pill with a knob.
class ToggleSwitch final : public QAbstractButton {
public:
    explicit ToggleSwitch(QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override { return {38, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace lidora::app
