#include "app/QtApplicationShell.h"

#include <QApplication>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace lidora::app {

namespace {

QPixmap bundleImage(const std::filesystem::path& resources, const std::string& name) {
    for (const char* extension : {".png", ".svg"}) {
        const auto path = resources / (name + extension);
        QPixmap image(QString::fromStdString(path.string()));
        if (!image.isNull()) {
            return image;
        }
    }
    return {};
}

}  // namespace

void QtApplicationShell::activate() {
    for (auto* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !window->isHidden()) {
            window->raise();
            window->activateWindow();
            return;
        }
    }
}

void QtApplicationShell::terminate() {
    QApplication::quit();
}

bool QtApplicationShell::isActive() const {
    return QApplication::activeWindow() != nullptr;
}

void QtApplicationShell::showAboutPanel(const AboutPanelOptions& options) {
    if (about_) {
        about_->close();
    }
    auto* panel = new QDialog(nullptr, Qt::Dialog);  // deletes itself on close
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowTitle(QStringLiteral("About Lidora"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(8);
    QPixmap icon = bundleImage(resources_, options.iconName);
    if (icon.isNull()) {
        icon = QApplication::windowIcon().pixmap(128, 128);
    }
    if (!icon.isNull()) {
        auto* image = new QLabel(panel);
        image->setPixmap(icon.scaled(128, 128, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        image->setAlignment(Qt::AlignCenter);
        layout->addWidget(image);
    }
    auto* name = new QLabel(QApplication::applicationDisplayName(), panel);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    name->setFont(bold);
    name->setAlignment(Qt::AlignCenter);
    layout->addWidget(name);
    auto* version = new QLabel(QStringLiteral("Version %1").arg(QApplication::applicationVersion()), panel);
    version->setAlignment(Qt::AlignCenter);
    layout->addWidget(version);
    auto* credits = new QLabel(QString::fromStdString(options.credits), panel);
    QFont small = credits->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    credits->setFont(small);
    credits->setAlignment(Qt::AlignCenter);
    layout->addWidget(credits);
    about_ = panel;
    panel->show();
    panel->raise();
    panel->activateWindow();
}

}  // namespace lidora::app
