#pragma once

#include "core/ports/DisplayList.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// CGGetOnlineDisplayList and CGDisplayIsBuiltin over the virtual Mac's
// displays record, read afresh on every call as the window server would
// answer.
class VirtualDisplayList final : public DisplayList {
public:
    explicit VirtualDisplayList(VmacPaths paths) : paths_(std::move(paths)) {}

    [[nodiscard]] Expected<std::vector<DisplayID>, std::int32_t> onlineDisplays(
        std::uint32_t maxDisplays) const override;
    [[nodiscard]] bool isBuiltin(DisplayID display) const override;

private:
    VmacPaths paths_;
};

// kCGErrorFailure, for a record that cannot be read.
inline constexpr std::int32_t kDisplayListFailure = 1000;

}  // namespace lidora::vmac
