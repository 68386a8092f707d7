#pragma once

#include <string>

#include "helper/CommandRunning.h"

namespace lidora::vmac {

// Runs a system tool by its macOS path, which the virtual Mac maps under its
// root: standard output and error share one pipe, read to its end before the
// wait for the exit.
struct DefaultsRunner final : CommandRunning {
    explicit DefaultsRunner(std::string executablePath) : executable(std::move(executablePath)) {}

    CommandResult run(const std::vector<std::string>& arguments) const override;

    std::string executable;
};

// What a launch failure says, after "Could not run <tool>: ".
std::string launchErrorDescription(int error, const std::string& toolName);

}  // namespace lidora::vmac
