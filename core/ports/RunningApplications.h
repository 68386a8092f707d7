#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/runtime/Task.h"

namespace lidora {

// NSRunningApplication's runningApplicationsWithBundleIdentifier:.
class RunningApplications {
public:
    virtual ~RunningApplications() = default;

    // The process identifiers of the running copies; empty when none runs
    // or the system cannot say.
    virtual Task<std::vector<std::int32_t>> runningApplications(std::string bundleIdentifier) = 0;
};

}  // namespace lidora
