#pragma once

#include "core/ports/RunningApplications.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// NSRunningApplication on the virtual Mac: a running app owns the bus name
// of its bundle identifier, so the name's owner is the one running copy.
class BusRunningApplications final : public RunningApplications {
public:
    BusRunningApplications(RunLoop& loop, VmacBus& bus) : loop_(loop), bus_(bus) {}

    Task<std::vector<std::int32_t>> runningApplications(std::string bundleIdentifier) override;

private:
    RunLoop& loop_;
    VmacBus& bus_;
};

}  // namespace lidora::vmac
