#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"
#include "tests/support/VirtualMac.h"

namespace lidora::testing {

inline constexpr const char* kTeam = "K7QX4N2M9T";
inline constexpr const char* kHelperLabel = "com.zelquin.lidora.helper";
inline constexpr const char* kAppIdentifier = "com.zelquin.lidora";
inline constexpr const char* kUnreachable = "Couldn't reach the Lidora helper: ";

// A booted temporary virtual Mac with Lidora's bundle in /Applications and
// its daemon loaded, whose system tools record every command line they are
// given before they run it. The Mac runs from a folder of hard links to the
// build's programs in which the two tools are wrapped, so that the Mac's own
// links to its tools (which every vmac command puts back) lead to the wrappers.
class StressMac {
    // Beside the build's programs, as hard links cannot cross file systems.
    TempDir tools_{std::filesystem::path(TEST_BIN_DIR).parent_path()};

public:
    StressMac();

    VirtualMac mac{tools_.path() / "bin"};

    [[nodiscard]] std::filesystem::path plist() const;
    [[nodiscard]] std::filesystem::path machSocket() const;
    // A copy of stress-client, signed as asked (empty identifier: unsigned).
    std::filesystem::path client(const std::string& name, const std::string& identifier = kAppIdentifier,
                                 const std::string& team = kTeam);
    [[nodiscard]] std::optional<pid_t> daemonPid() const { return mac.pidOf(kHelperLabel); }

    // Every command line the daemon's tools were given, tool name first.
    [[nodiscard]] std::vector<std::vector<std::string>> commandsRun() const;
    void forgetCommands() const;
    // From now on each tool waits this long before it runs, after marking
    // that it started (see toolStarted).
    void slowTools(std::chrono::milliseconds delay) const;
    [[nodiscard]] bool toolStarted() const;
    void clearToolStarted() const;

    // root's com.apple.CoreBrightness file as it is now ("" when absent).
    [[nodiscard]] std::string brightnessDomain() const;

private:
    void wrapTools() const;
    [[nodiscard]] std::filesystem::path scratch() const { return mac.root() / "scratch"; }

    std::filesystem::path bundle_;
};

// The whole of a small file, or "".
std::string fileText(const std::filesystem::path& path);
// A number from a /proc/PID/status line such as "Threads:" or "VmHWM:".
long procStatus(pid_t pid, const std::string& field);

}  // namespace lidora::testing
