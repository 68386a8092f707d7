#pragma once

#include <QWidget>

#include "core/shell/PanelPresenter.h"

class QAbstractButton;
class QLabel;
class QPushButton;
class QProgressBar;
class QFrame;
class QVBoxLayout;

namespace lidora::app {

class ModuleSlider;

// The small window under the menu-bar item.
class PanelWindow final : public QWidget, public PanelView {
public:
    // `presenter` may be empty for a window that only shows states.
    explicit PanelWindow(PanelPresenter* presenter, QWidget* parent = nullptr);
    ~PanelWindow() override;

    void render(const PanelState& state, double level, const std::string& levelText) override;
    void dismiss() override { hide(); }

    // Opens the panel with its top edge under `anchor` (screen coordinates).
    void popUp(const QPoint& anchor);

    [[nodiscard]] QAbstractButton* lightSwitch() const { return switch_; }
    [[nodiscard]] ModuleSlider* slider() const { return slider_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QPushButton* menuRow(const QString& title, const QString& hint);

    PanelPresenter* presenter_;
    QAbstractButton* switch_;
    QLabel* keepDarkNote_;
    QFrame* brightnessCard_;
    ModuleSlider* slider_;
    QLabel* statusText_;
    QPushButton* statusButton_;
    QProgressBar* progress_;
    QLabel* mayBeUnsupported_;
    QPushButton* sendMessageRow_;
    QPushButton* updateRow_;
    PanelState shown_;
    bool rendering_ = false;
};

}  // namespace lidora::app
