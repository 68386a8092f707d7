#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

struct SystemVersion {
    std::string productName = "macOS";
    std::string productVersion = "26.1";
    std::string buildVersion = "25B78";
};

// A process the virtual Mac started and keeps a pid file for.
struct RunningProcess {
    std::string name;
    long pid = 0;
};

// Lays out the parts of the root every program relies on: the shared
// folders, the system's tools under usr/bin (the virtual Mac's own defaults
// and killall beside this program) and the system version. Safe to repeat.
Expected<void, std::string> ensureBaseLayout(const VmacPaths& paths, const std::filesystem::path& toolsDirectory);

SystemVersion readSystemVersion(const VmacPaths& paths);

// The virtual Mac's processes that are alive, from their pid files.
std::vector<RunningProcess> runningProcesses(const VmacPaths& paths);

// Folder of the running executable, where its sibling programs are.
std::filesystem::path executableDirectory();

}  // namespace lidora::vmac
