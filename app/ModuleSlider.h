#pragma once

#include <QWidget>
#include <functional>

namespace lidora::app {

// The app's small slider: a rounded track filled to the value. Dragging
// anywhere sets the value; the arrow keys step it by a tenth.
class ModuleSlider final : public QWidget {
    Q_OBJECT

public:
    explicit ModuleSlider(QWidget* parent = nullptr);

    void setValue(double value);
    [[nodiscard]] double value() const { return value_; }
    void setTrackHeight(double height) { trackHeight_ = height; }
    void setAccessibleValueText(const QString& text);

    // A change made by the user (keys, assistive technology): reported
    // like a drag, clamped to 0..1.
    void setValueFromUser(double value);
    void step(int steps);

    std::function<void(double)> onValueChanged;
    std::function<void()> onEditingEnded;

    [[nodiscard]] QSize sizeHint() const override { return {180, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void change(double value);

    double value_ = 1.0;
    double trackHeight_ = 6;
    bool dragging_ = false;
};

}  // namespace lidora::app
