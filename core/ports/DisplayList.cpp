#include "core/ports/DisplayList.h"

namespace lidora {

std::optional<DisplayID> builtInDisplayID(const DisplayList& displays) {
    const auto online = displays.onlineDisplays(kMaxOnlineDisplays);
    if (!online) {
        return std::nullopt;
    }
    for (const DisplayID display : *online) {
        if (displays.isBuiltin(display)) {
            return display;
        }
    }
    return std::nullopt;
}

}  // namespace lidora
