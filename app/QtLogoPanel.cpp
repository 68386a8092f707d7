#include "app/QtLogoPanel.h"

#include <unistd.h>

#include <QGuiApplication>

namespace lidora::app {

namespace {

constexpr double kBackingScale = 2;

}  // namespace

QtLogoPanel::QtLogoPanel(vmac::PanelRegistry& registry, std::shared_ptr<vmac::WindowServerReader> reader,
                         const PanelSettings& settings, bool desktopSession)
    : registered_(registry, reader, settings), reader_(std::move(reader)) {
    if (!settings.content) {
        return;
    }
    const QSizeF size(settings.contentRect.size.width, settings.contentRect.size.height);
    const auto store = vmac::backingStore(registry.paths(), ::getpid(), registered_.id());
    (void)renderLogo(*settings.content, size, kBackingScale).save(QString::fromStdString(store.string()), "PNG");
    if (desktopSession) {
        window_ = std::make_unique<LogoView>(settings.content->style, settings.content->placement);
        window_->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus);
        window_->setAttribute(Qt::WA_ShowWithoutActivating);
        window_->resize(size.toSize());
        placeWindow();
    }
}

QtLogoPanel::~QtLogoPanel() = default;

// Real windows lie where the virtual display's top-left corner is the
// desktop's.
void QtLogoPanel::placeWindow() {
    if (!window_) {
        return;
    }
    const auto& snapshot = reader_->current();
    const auto bounds = vmac::toQuartz(registered_.frame(), vmac::screenLayout(snapshot.displays, snapshot.state));
    window_->move(static_cast<int>(bounds.origin.x), static_cast<int>(bounds.origin.y));
}

void QtLogoPanel::orderFrontRegardless() {
    registered_.orderFrontRegardless();
    if (window_) {
        window_->show();
    }
}

void QtLogoPanel::orderOut() {
    registered_.orderOut();
    if (window_) {
        window_->hide();
    }
}

void QtLogoPanel::setAlphaValue(double alpha) {
    registered_.setAlphaValue(alpha);
    if (window_) {
        window_->setWindowOpacity(alpha);
    }
}

void QtLogoPanel::setFrameOrigin(Point origin) {
    registered_.setFrameOrigin(origin);
    placeWindow();
}

QtLogoPanelMaker::QtLogoPanelMaker(vmac::PanelRegistry& registry, std::shared_ptr<vmac::WindowServerReader> reader)
    : registry_(registry),
      reader_(std::move(reader)),
      desktopSession_(QGuiApplication::platformName() != QStringLiteral("offscreen")) {}

std::unique_ptr<Panel> QtLogoPanelMaker::makePanel(const PanelSettings& settings) {
    return std::make_unique<QtLogoPanel>(registry_, reader_, settings, desktopSession_);
}

}  // namespace lidora::app
