#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "core/ports/ControlWidget.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// One control as the window shows it.
struct ShownControl {
    std::string kind;
    std::string displayName;
    Expected<ControlTemplate, std::string> shown;
};

// Control Center's module of controls: a rounded tile per control with its
// symbol, title and value; a switch that is on is lit. Clicking a tile runs
// `activate` with its kind.
class ControlCenterWindow final : public QWidget {
public:
    explicit ControlCenterWindow(std::function<void(const std::string&)> activate);

    void setControls(std::vector<ShownControl> controls);
    [[nodiscard]] const std::vector<ShownControl>& controls() const { return controls_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] QRectF tile(std::size_t index) const;

    std::function<void(const std::string&)> activate_;
    std::vector<ShownControl> controls_;
};

}  // namespace lidora::vmac
