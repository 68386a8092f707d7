#include "app/MessageWindow.h"

#include <QLineEdit>

#include "app/KeptWindow.h"
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
    presentKeptWindow(*view_, first, application_);
    if (view_->field()->isVisible()) {
        view_->field()->setFocus();
    }
}

}  // namespace lidora::app
