#pragma once

#include <memory>

#include "app/LogoView.h"
#include "platform/windowserver/VirtualWindowServer.h"

namespace lidora::app {

// NSPanel on the virtual Mac: registered with its window server, its
// pixels left where the window server composites them, and with a desktop
// session also a real frameless, click-through, always-on-top window.
class QtLogoPanel final : public Panel {
public:
    QtLogoPanel(vmac::PanelRegistry& registry, std::shared_ptr<vmac::WindowServerReader> reader,
                const PanelSettings& settings, bool desktopSession);
    ~QtLogoPanel() override;
    QtLogoPanel(const QtLogoPanel&) = delete;
    QtLogoPanel& operator=(const QtLogoPanel&) = delete;

    void orderFrontRegardless() override;
    void orderOut() override;
    [[nodiscard]] bool isVisible() const override { return registered_.isVisible(); }
    [[nodiscard]] double alphaValue() const override { return registered_.alphaValue(); }
    void setAlphaValue(double alpha) override;
    [[nodiscard]] Rect frame() const override { return registered_.frame(); }
    void setFrameOrigin(Point origin) override;
    [[nodiscard]] bool isOnActiveSpace() const override { return registered_.isOnActiveSpace(); }

private:
    void placeWindow();

    vmac::RegisteredPanel registered_;
    std::shared_ptr<vmac::WindowServerReader> reader_;
    std::unique_ptr<LogoView> window_;
};

class QtLogoPanelMaker final : public PanelMaker {
public:
    QtLogoPanelMaker(vmac::PanelRegistry& registry, std::shared_ptr<vmac::WindowServerReader> reader);
    [[nodiscard]] std::unique_ptr<Panel> makePanel(const PanelSettings& settings) override;

private:
    vmac::PanelRegistry& registry_;
    std::shared_ptr<vmac::WindowServerReader> reader_;
    bool desktopSession_;
};

}  // namespace lidora::app
