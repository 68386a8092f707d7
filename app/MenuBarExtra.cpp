#include "app/MenuBarExtra.h"

#include <QApplication>
#include <QCursor>
#include <QPalette>

#include "app/MenuBarIcon.h"

namespace lidora::app {

namespace {

bool darkAppearance() {
    return QApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

}  // namespace

MenuBarExtra::MenuBarExtra(AppDelegate& app, PanelPresenter& presenter) : app_(app), presenter_(presenter) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray_ = std::make_unique<QSystemTrayIcon>();
        tray_->setToolTip(
            QString::fromUtf8(kMenuBarIconDescription.data(), static_cast<qsizetype>(kMenuBarIconDescription.size())));
        connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) {
                openPanel();
            }
        });
    }
    auto later = [this] { app_.loop().post([this] { refreshIcon(); }); };
    phase_ = app_.controller().subscribePhase([later](const Phase&) { later(); });
    defaults_ = app_.defaultsProvider().observeChanges(later);
    refreshIcon();
}

MenuBarExtra::~MenuBarExtra() = default;

void MenuBarExtra::refreshIcon() {
    if (!tray_) {
        return;
    }
    const bool colored = app_.standardDefaults().boolean(kColorMenuBarIconKey).value_or(true);
    const bool inserted = app_.standardDefaults().boolean(kShowMenuBarIconKey).value_or(true);
    tray_->setIcon(menuBarIcon(menuBarIconAppearance(app_.controller().knownLightState(), colored), darkAppearance()));
    tray_->setVisible(inserted);
}

void MenuBarExtra::openPanel() {
    // Built on first use: until then the app carries no widgets or fonts.
    if (!panel_) {
        panel_ = std::make_unique<PanelWindow>(&presenter_);
    }
    if (panel_->isVisible()) {
        panel_->hide();
        return;
    }
    QPoint anchor = QCursor::pos();
    if (tray_ && tray_->geometry().isValid()) {
        const auto geometry = tray_->geometry();
        anchor = QPoint(geometry.center().x(), geometry.bottom() + 4);
    }
    panel_->popUp(anchor);
}

}  // namespace lidora::app
