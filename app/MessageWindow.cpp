#include "app/MessageWindow.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include "app/MessageView.h"

namespace lidora::app {

MessageWindow::MessageWindow(std::function<MessageParts()> parts, ApplicationShell& application)
    : parts_(std::move(parts)), application_(application) {}

MessageWindow::~MessageWindow() = default;

void MessageWindow::show() {
    const bool first = !view_;
    if (first) {
        presenter_ = std::make_unique<MessagePresenter>(parts_());
        view_ = std::make_unique<MessageView>(presenter_.get());
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
    if (view_->field()->isVisible()) {
        view_->field()->setFocus();
    }
}

}  // namespace lidora::app
