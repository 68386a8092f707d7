#include "app/SettingsWindow.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/SettingsView.h"

namespace lidora::app {

SettingsWindow::SettingsWindow(std::function<SettingsParts()> parts, ApplicationShell& application)
    : parts_(std::move(parts)), application_(application) {}

SettingsWindow::~SettingsWindow() {
    view_.reset();
}

void SettingsWindow::show() {
    const bool first = !view_;
    if (first) {
        presenter_ = std::make_unique<SettingsPresenter>(parts_());
        view_ = std::make_unique<SettingsView>(presenter_.get());
    }
    presenter_->appeared();
    if (first) {
        if (const auto* screen = QGuiApplication::primaryScreen()) {
            const auto area = screen->availableGeometry();
            view_->move(area.center() - QPoint(view_->width() / 2, view_->height() / 2));
        }
    }
    application_.activate();
    view_->show();
    view_->raise();
    view_->activateWindow();
}

}  // namespace lidora::app
