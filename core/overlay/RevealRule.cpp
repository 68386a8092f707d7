#include "core/overlay/RevealRule.h"

namespace lidora {

std::optional<MenuBarAutoHide> readAutoHide(UserDefaultsProvider& defaults) {
    const auto suite = defaults.suite(kControlCenterDomain);
    if (!suite) {
        return std::nullopt;
    }
    const auto value = suite->object(kAutoHideMenuBarKey);
    if (!value || !value->isInteger()) {
        return std::nullopt;
    }
    const auto number = std::get<std::int64_t>(value->storage());
    if (number < 0 || number > 3) {
        return std::nullopt;
    }
    return static_cast<MenuBarAutoHide>(number);
}

namespace {

RevealDecision byAutoHide(const RevealInputs& in, bool saw, bool slid) {
    const FullScreenRevealTracker tracker{saw, slid, true};
    const bool followsDesktop = in.autoHide == MenuBarAutoHide::onDesktopOnly || in.autoHide == MenuBarAutoHide::never;
    return {followsDesktop && in.desktopOnActiveSpace.has_value(), tracker};
}

}  // namespace

RevealDecision decideReveal(const RevealInputs& in) {
    const auto& t = in.tracker;
    if (!in.hasStyle) {
        return {false, t};
    }
    const auto kind = in.desktopOnActiveSpace == true ? SpaceKind::desktop() : in.kind;
    if (const auto* full = std::get_if<SpaceKind::FullScreen>(&kind.value)) {
        if (full->cover == CoverState::onScreen) {
            return {false, {true, false, true}};
        }
        return {t.sawCoverOnScreen, {t.sawCoverOnScreen, false, true}};
    }
    if (kind.isDesktop() || kind.isDesktopBarHidden()) {
        return {false, {false, false, true}};
    }
    if (kind.isTransitioning()) {
        return {false, {t.sawCoverOnScreen, true, true}};
    }
    if (!t.hadReading && in.finderDesktopListed) {
        if (!t.afterSlide) {
            return {true, {true, false, true}};
        }
        return byAutoHide(in, true, true);
    }
    if (t.sawCoverOnScreen && !t.afterSlide) {
        return {true, {true, false, true}};
    }
    return byAutoHide(in, t.sawCoverOnScreen, t.afterSlide || t.sawCoverOnScreen);
}

}  // namespace lidora
