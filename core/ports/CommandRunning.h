#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lidora {

// The status of a tool that could not be started at all.
inline constexpr std::int32_t kLaunchFailureStatus = -1;

struct CommandResult {
    std::int32_t status = 0;
    // Standard output and error as written, decoded as UTF-8.
    std::string output;
    friend bool operator==(const CommandResult&, const CommandResult&) = default;
};

// Runs one tool with arguments and waits for it.
class CommandRunning {
public:
    virtual ~CommandRunning() = default;
    virtual CommandResult run(const std::vector<std::string>& arguments) const = 0;
};

}  // namespace lidora
