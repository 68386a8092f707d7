#include "core/light/InstallLocation.h"

namespace lidora {

std::optional<std::string> installProblemFor(std::string_view bundlePath) {
    if (bundlePath.find("/AppTranslocation/") != std::string_view::npos || bundlePath.starts_with("/Volumes/")) {
        return "Move Lidora to your Applications folder, then open it from there.";
    }
    return std::nullopt;
}

}  // namespace lidora
