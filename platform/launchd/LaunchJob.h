#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

inline constexpr std::chrono::seconds kDefaultThrottleInterval{10};

// What launchd knows of one job, from its property list.
struct LaunchJob {
    std::string label;
    std::filesystem::path plist;            // absolute, where it was loaded from
    std::filesystem::path program;          // absolute
    std::vector<std::string> arguments;     // argv, argv[0] included
    std::vector<std::string> machServices;  // sorted
    std::string userName = "root";
    bool keepAlive = false;
    bool runAtLoad = false;
    std::chrono::seconds throttleInterval = kDefaultThrottleInterval;
    std::optional<std::filesystem::path> standardOutPath;
    std::optional<std::filesystem::path> standardErrorPath;
    std::vector<std::string> associatedBundleIdentifiers;
    // The program as launchd checked it, run by this descriptor so that
    // nothing put at its path since is run instead. Null: not opened.
    std::shared_ptr<const FileDescriptor> programFile;
};

// Labels and service names become file names (sockets, logs, pid files), so
// they may only hold letters, digits, '.', '-' and '_', and must not start
// with '.'.
Expected<void, std::string> validateJobName(std::string_view what, std::string_view name);

// Reads a job from a parsed property list. `plist` is where it came from:
// BundleProgram is relative to the bundle whose
// Contents/Library/LaunchDaemons holds it.
Expected<LaunchJob, std::string> launchJobFromPlist(const PreferenceValue& root, const std::filesystem::path& plist);

// Parses the contents of the property list `plist` (absolute).
Expected<LaunchJob, std::string> parseLaunchJob(std::string_view text, const std::filesystem::path& plist);

// Reads and parses the property list file at `plist` (made absolute).
Expected<LaunchJob, std::string> loadLaunchJob(const std::filesystem::path& plist);

}  // namespace lidora::vmac
