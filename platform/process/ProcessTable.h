#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// One process as the system lists it.
struct ProcessRecord {
    pid_t pid = 0;
    pid_t parent = 0;
    uid_t user = 0;  // real user
    // The executable's file name, which macOS's killall and `ps -c` go by.
    std::string name;
    // Tells this process from a later one that gets the same pid.
    std::uint64_t startTime = 0;
    bool zombie = false;
    // The virtual Mac its environment marks it as one of, when it is marked
    // and its environment could be read.
    std::optional<std::string> vmacRoot;
    friend bool operator==(const ProcessRecord&, const ProcessRecord&) = default;
};

// The system's processes: listed, and signalled only while still the very
// process that was listed, never a newcomer that reuses its pid.
class ProcessTable {
public:
    virtual ~ProcessTable() = default;
    // Every process, the ones that just ended but are not reaped (zombies)
    // included.
    [[nodiscard]] virtual std::vector<ProcessRecord> processes() const = 0;
    // Fails with errno: ESRCH once it has ended, EPERM when not ours to signal.
    virtual Expected<void, int> signal(const ProcessRecord& process, int signal) = 0;
};

}  // namespace lidora::vmac
