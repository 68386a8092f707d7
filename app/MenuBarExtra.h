#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <memory>

#include "app/PanelWindow.h"
#include "core/shell/AppDelegate.h"
#include "core/shell/PanelPresenter.h"

namespace lidora::app {

// The menu-bar item: the tray icon showing the light, and the panel that
// opens under it. Without a tray (no desktop session) the app runs
// without one and is driven from outside.
class MenuBarExtra final : public QObject {
public:
    MenuBarExtra(AppDelegate& app, PanelPresenter& presenter);
    ~MenuBarExtra() override;
    MenuBarExtra(const MenuBarExtra&) = delete;
    MenuBarExtra& operator=(const MenuBarExtra&) = delete;

    [[nodiscard]] bool hasTray() const { return tray_ != nullptr; }
    void openPanel();

private:
    void refreshIcon();

    AppDelegate& app_;
    PanelPresenter& presenter_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<PanelWindow> panel_;
    Subscription phase_;
    Subscription defaults_;
};

}  // namespace lidora::app
