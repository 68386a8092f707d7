#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/controlcenter/ControlWire.h"
#include "platform/vmac/FileDescriptor.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

inline constexpr std::string_view kWidgetExtensionPoint = "com.apple.widgetkit-extension";

// A widget extension of an installed app: a bundle in its Contents/PlugIns.
struct ControlExtension {
    std::filesystem::path bundle;
    std::string identifier;
    std::filesystem::path executable;
};

// The widget extensions of the apps in /Applications, by app then name.
std::vector<ControlExtension> installedControlExtensions(const VmacPaths& paths);

// An extension process that was started and waits for its one request.
// Dropped unasked, it is killed and collected.
class LaunchedExtension {
public:
    LaunchedExtension(LaunchedExtension&& other) noexcept;
    LaunchedExtension& operator=(LaunchedExtension&&) = delete;
    LaunchedExtension(const LaunchedExtension&) = delete;
    LaunchedExtension& operator=(const LaunchedExtension&) = delete;
    ~LaunchedExtension();

private:
    friend class ControlExtensionHost;
    LaunchedExtension(ControlExtension extension, pid_t pid, FileDescriptor requests, FileDescriptor replies,
                      std::filesystem::path logFile);

    ControlExtension extension_;
    pid_t pid_;
    FileDescriptor requests_;
    FileDescriptor replies_;
    std::filesystem::path logFile_;
};

// Control Center's side: starts the extension's process for each request,
// as the system does, and ends it once it has answered. Every wait is
// bounded; an extension that does not answer in time is killed.
class ControlExtensionHost {
public:
    explicit ControlExtensionHost(VmacPaths paths, std::chrono::milliseconds limit = std::chrono::seconds(20))
        : paths_(std::move(paths)), limit_(limit) {}

    // The reply, or why there is none (the process failed or said nothing).
    [[nodiscard]] Expected<ControlReply, std::string> request(const ControlExtension& extension,
                                                              const ControlRequest& request) const;

    // Starts a process ahead of its request, as the system prelaunches an
    // extension it is about to need; request() then asks it and ends it.
    [[nodiscard]] Expected<LaunchedExtension, std::string> launch(const ControlExtension& extension) const;
    [[nodiscard]] Expected<ControlReply, std::string> request(LaunchedExtension launched,
                                                              const ControlRequest& request) const;

private:
    VmacPaths paths_;
    std::chrono::milliseconds limit_;
};

}  // namespace lidora::vmac
