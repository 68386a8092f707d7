#include "core/overlay/WindowInfo.h"

#include "core/ports/WindowServer.h"

namespace lidora {

namespace {

// CGRectMakeWithDictionaryRepresentation: four numbers.
std::optional<Rect> rectFrom(const PreferenceValue& value) {
    const auto* dictionary = value.asDictionary();
    if (dictionary == nullptr) {
        return std::nullopt;
    }
    double fields[4] = {};
    const char* names[4] = {"X", "Y", "Width", "Height"};
    for (int i = 0; i < 4; ++i) {
        const auto found = dictionary->find(names[i]);
        if (found == dictionary->end() || found->second.isBool() || !found->second.asDouble()) {
            return std::nullopt;
        }
        fields[i] = *found->second.asDouble();
    }
    return Rect{{fields[0], fields[1]}, {fields[2], fields[3]}};
}

}  // namespace

std::optional<WindowInfo> WindowInfo::from(const PreferenceDictionary& entry) {
    const auto bounds = entry.find(kCGWindowBounds);
    if (bounds == entry.end()) {
        return std::nullopt;
    }
    const auto rect = rectFrom(bounds->second);
    if (!rect) {
        return std::nullopt;
    }
    WindowInfo info;
    info.bounds = *rect;
    if (const auto owner = entry.find(kCGWindowOwnerName); owner != entry.end() && owner->second.asString()) {
        info.owner = *owner->second.asString();
    }
    if (const auto layer = entry.find(kCGWindowLayer); layer != entry.end() && layer->second.isInteger()) {
        info.layer = std::get<std::int64_t>(layer->second.storage());
    }
    if (const auto on = entry.find(kCGWindowIsOnscreen); on != entry.end() && on->second.isBool()) {
        info.isOnScreen = std::get<bool>(on->second.storage());
    }
    return info;
}

std::string SpaceKind::description() const {
    if (const auto* full = std::get_if<FullScreen>(&value)) {
        return full->cover == CoverState::onScreen ? "fullScreen(onScreen)" : "fullScreen(offScreen)";
    }
    if (isDesktop()) {
        return "desktop";
    }
    if (isDesktopBarHidden()) {
        return "desktopBarHidden";
    }
    return isTransitioning() ? "transitioning" : "unknown";
}

}  // namespace lidora
