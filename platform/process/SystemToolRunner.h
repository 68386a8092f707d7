#pragma once

#include <string>

#include "core/ports/CommandRunning.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Runs a system tool (`defaults`, `killall`) by its macOS path, which the
// virtual Mac maps under its root: standard output and error share one
// pipe, read to its end before the wait for the exit.
class SystemToolRunner final : public CommandRunning {
public:
    SystemToolRunner(std::string macPath, VmacPaths paths) : macPath_(std::move(macPath)), paths_(std::move(paths)) {}

    CommandResult run(const std::vector<std::string>& arguments) const override;

private:
    std::string macPath_;
    VmacPaths paths_;
};

// What a launch failure says, after "Could not run <tool>: ".
std::string launchErrorDescription(int error, const std::string& toolName);

}  // namespace lidora::vmac
