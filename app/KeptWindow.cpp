#include "app/KeptWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "core/ports/ApplicationShell.h"

namespace lidora::app {

void presentKeptWindow(QWidget& window, bool firstTime, ApplicationShell& application) {
    if (firstTime) {
        if (const auto* screen = QGuiApplication::primaryScreen()) {
            const auto area = screen->availableGeometry();
            window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
        }
    }
    application.activate();
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace lidora::app
