#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>

#include "platform/controlcenter/qt/ControlCenterWindow.h"
#include "tests/ui/QtTestApp.h"

namespace lidora::testing {
namespace {

using vmac::ShownControl;

bool hasYellow(const QImage& image) {
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.red() > 240 && pixel.green() > 190 && pixel.green() < 215 && pixel.blue() < 20) {
                return true;
            }
        }
    }
    return false;
}

TEST(ControlCenterWindow, DrawsBothControlsAndActsOnAClick) {
    qtApp();
    std::vector<std::string> activated;
    vmac::ControlCenterWindow window([&](const std::string& kind) { activated.push_back(kind); });
    const struct {
        const char* name;
        ShownControl light;
        ShownControl brightness;
        bool lit;
    } cases[] = {
        {"controlcenter-on",
         {"k.light", "Apple Logo Light",
          ControlTemplate{ControlTemplate::Style::toggle, "Apple Logo Light", "On", "lightbulb.fill", true}},
         {"k.brightness", "Logo Brightness",
          ControlTemplate{ControlTemplate::Style::button, "Logo Brightness", "60%", "sun.max.fill", false}},
         true},
        {"controlcenter-off",
         {"k.light", "Apple Logo Light",
          ControlTemplate{ControlTemplate::Style::toggle, "Apple Logo Light", "Off", "lightbulb.slash", false}},
         {"k.brightness", "Logo Brightness",
          ControlTemplate{ControlTemplate::Style::button, "Logo Brightness", "0%", "sun.min", false}},
         false},
        {"controlcenter-unavailable",
         {"k.light", "Apple Logo Light", unexpected(std::string("Couldn't reach the Lidora helper"))},
         {"k.brightness", "Logo Brightness",
          ControlTemplate{ControlTemplate::Style::button, "Logo Brightness", "Dim", "sun.min.fill", false}},
         false},
    };
    for (const auto& c : cases) {
        window.setControls({c.light, c.brightness});
        const auto image = window.grab().toImage();
        EXPECT_EQ(hasYellow(image), c.lit) << c.name;
        EXPECT_TRUE(image.save(QString::fromStdString(screenshotPath(c.name).string())));
    }
    const auto click = [&](QPointF at) {
        QMouseEvent release(QEvent::MouseButtonRelease, at, window.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(&window, &release);
    };
    click(QPointF(window.width() - 40, window.height() / 2.0));
    click(QPointF(30, window.height() / 2.0));
    click(QPointF(2, 2));  // between the tiles
    EXPECT_EQ(activated, (std::vector<std::string>{"k.brightness", "k.light"}));
}

}  // namespace
}  // namespace lidora::testing
