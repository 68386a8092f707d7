#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TempDir.h"

namespace lidora::testing {

// A temporary virtual Mac for one test: its own root, booted on demand and
// always shut down at the end, so no process outlives the test.
class VirtualMac {
public:
    explicit VirtualMac(std::filesystem::path binDirectory);
    VirtualMac(const VirtualMac&) = delete;
    VirtualMac& operator=(const VirtualMac&) = delete;
    ~VirtualMac();

    [[nodiscard]] const std::filesystem::path& root() const { return root_.path(); }
    [[nodiscard]] const std::filesystem::path& bin() const { return bin_; }

    ProcessResult vmac(std::vector<std::string> arguments) const;
    // Runs any program with VMAC_ROOT set to this Mac.
    ProcessResult run(std::vector<std::string> argv) const;
    // The same, as the unprivileged user nobody.
    ProcessResult runAsNobody(std::vector<std::string> argv) const;

    // Throws when booting fails; returns what `vmac boot` printed.
    ProcessResult boot();
    // Copies the built bundle into /Applications, as an installer would.
    std::filesystem::path installBundle(const std::filesystem::path& bundle);
    // A copy of `program` in this Mac's scratch folder, signed as asked
    // (empty identifier: left unsigned).
    std::filesystem::path signedCopy(const std::filesystem::path& program, const std::string& name,
                                     const std::string& identifier, const std::string& team);

    // The pid launchd recorded for a running job (or "launchd" itself).
    [[nodiscard]] std::optional<pid_t> pidOf(const std::string& label) const;
    // Alive and not merely waiting to be reaped.
    static bool isRunning(pid_t pid);

    // Polls until `done` holds or `limit` passes; returns whether it held.
    static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    TempDir root_;
    std::filesystem::path bin_;
    bool booted_ = false;
};

}  // namespace lidora::testing
