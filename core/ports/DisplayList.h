#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/ports/DisplayServices.h"
#include "core/runtime/Expected.h"

namespace lidora {

// CoreGraphics' view of the connected displays.
class DisplayList {
public:
    virtual ~DisplayList() = default;

    // CGGetOnlineDisplayList: at most `maxDisplays` ids, or the CGError.
    [[nodiscard]] virtual Expected<std::vector<DisplayID>, std::int32_t> onlineDisplays(
        std::uint32_t maxDisplays) const = 0;
    // CGDisplayIsBuiltin.
    [[nodiscard]] virtual bool isBuiltin(DisplayID display) const = 0;
};

inline constexpr std::uint32_t kMaxOnlineDisplays = 16;

// The first online display that is built in; absent when the list fails,
// is empty or has none (a closed lid with an external display, a Mac mini).
std::optional<DisplayID> builtInDisplayID(const DisplayList& displays);

}  // namespace lidora
