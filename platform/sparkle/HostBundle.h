#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/bundle/BundleLocation.h"

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

}  // namespace lidora::vmac
