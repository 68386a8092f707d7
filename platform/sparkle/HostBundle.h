#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "runtime/Expected.h"

namespace lidora::vmac {

// What Sparkle reads from the application's Info.plist.
struct HostBundle {
    std::filesystem::path path;  // …/Lidora.app
    std::string identifier;
    std::string version;       // CFBundleVersion
    std::string shortVersion;  // CFBundleShortVersionString
    std::optional<std::string> feedURL;
    std::optional<bool> enableAutomaticChecks;
    std::optional<std::chrono::seconds> scheduledCheckInterval;

    static Expected<HostBundle, std::string> load(const std::filesystem::path& bundle);
};

// The bundle an executable lives in: …/X.app/Contents/MacOS/<exe> gives
// …/X.app. Empty when the executable is not inside a bundle.
std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable);

// The bundle of the running process, from /proc/self/exe.
std::optional<std::filesystem::path> bundleOfRunningProcess();

}  // namespace lidora::vmac
