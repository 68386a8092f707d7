#include "app/QtAlertRunner.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace lidora::app {

namespace {

constexpr int kInformativeWidth = 340;
// Each button carries its answer; Qt orders a box's buttons by role.
constexpr const char* kResponseProperty = "alertResponse";

}  // namespace

std::unique_ptr<QMessageBox> makeAlertBox(const ModalAlert& alert) {
    auto box = std::make_unique<QMessageBox>();
    // Alerts have no title of their own; the message names the window for scripts.
    box->setWindowTitle(QString::fromStdString(alert.messageText));
    box->setText(QString::fromStdString(alert.messageText));
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    box->setTextFormat(Qt::PlainText);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull()) {
        box->setIconPixmap(icon.pixmap(64, 64));
    }
    std::vector<std::string> titles = alert.buttons;
    if (titles.empty()) {
        titles.emplace_back("OK");
    }
    for (std::size_t i = 0; i < titles.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        auto* button = box->addButton(QString::fromStdString(titles[i]), role);
        button->setProperty(kResponseProperty, kAlertFirstButtonReturn + static_cast<int>(i));
        if (i == 0) {
            box->setDefaultButton(button);
        }
        if (i + 1 == titles.size()) {
            box->setEscapeButton(button);
        }
    }
    // As NSAlert draws it: the message in bold over a wide informative text.
    if (auto* message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = message->font();
        bold.setBold(true);
        message->setFont(bold);
    }
    if (auto* informative = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        informative->setMinimumWidth(kInformativeWidth);
    }
    box->setWindowModality(Qt::ApplicationModal);
    return box;
}

int QtAlertRunner::runModal(const ModalAlert& alert) {
    const auto box = makeAlertBox(alert);
    box->exec();
    // Closed without a button (the app quitting): no button's answer.
    const auto* clicked = box->clickedButton();
    return clicked != nullptr ? clicked->property(kResponseProperty).toInt() : kAlertFirstButtonReturn - 1;
}

}  // namespace lidora::app
