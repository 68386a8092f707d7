#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "core/ports/CommandRunning.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// How long a tool may take and how much it may say. The root helper runs
// tools for its clients, so neither may be unbounded.
struct SystemToolLimits {
    std::chrono::milliseconds timeout{10'000};
    std::size_t maxOutputBytes = std::size_t{1} << 20;
};

// Runs a system tool (`defaults`, `killall`) by its macOS path, which the
// virtual Mac maps under its root: standard output and error share one
// pipe, read to its end before the wait for the exit. A tool past its limits
// is killed and reported as not run.
class SystemToolRunner final : public CommandRunning {
public:
    SystemToolRunner(std::string macPath, VmacPaths paths, SystemToolLimits limits = {})
        : macPath_(std::move(macPath)), paths_(std::move(paths)), limits_(limits) {}

    CommandResult run(const std::vector<std::string>& arguments) const override;

private:
    // Why reading stopped early, or nothing once the pipe reached its end.
    std::optional<std::string> readUntilEnd(int fd, std::string& bytes) const;

    std::string macPath_;
    VmacPaths paths_;
    SystemToolLimits limits_;
};

// What a launch failure says, after "Could not run <tool>: ".
std::string launchErrorDescription(int error, const std::string& toolName);

}  // namespace lidora::vmac
