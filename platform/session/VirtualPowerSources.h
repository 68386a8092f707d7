#pragma once

#include "core/ports/PowerSources.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// IOKit's power sources on the virtual Mac: a snapshot of the session
// state's power source. The snapshot fails, as the system's call can, when
// the state cannot be read.
class VirtualPowerSources final : public PowerSources {
public:
    explicit VirtualPowerSources(VmacPaths paths) : paths_(std::move(paths)) {}

    [[nodiscard]] PowerSourcesInfo copyPowerSourcesInfo() const override;
    [[nodiscard]] std::optional<std::string> providingPowerSourceType(const PowerSourcesBlob& snapshot) const override;

private:
    VmacPaths paths_;
};

}  // namespace lidora::vmac
