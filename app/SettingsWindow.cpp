#include "app/SettingsWindow.h"

#include "app/KeptWindow.h"
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
    presentKeptWindow(*view_, first, application_);
}

}  // namespace lidora::app
