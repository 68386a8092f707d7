#include "platform/vmac/VmacLayout.h"

#include <signal.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <system_error>

#include "platform/displays/DisplayRecords.h"
#include "platform/vmac/MessageBusConfig.h"
#include "platform/vmac/SystemDaemons.h"

namespace lidora::vmac {

namespace {

std::filesystem::path systemVersionFile(const VmacPaths& paths) {
    return paths.root() / "System" / "Library" / "CoreServices" / "SystemVersion.json";
}

Expected<void, std::string> linkTool(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::error_code error;
    if (std::filesystem::read_symlink(link, error) == target) {
        return {};
    }
    std::filesystem::remove(link, error);
    std::filesystem::create_symlink(target, link, error);
    if (error && !std::filesystem::exists(link)) {
        return unexpected("cannot link " + link.string() + ": " + error.message());
    }
    return {};
}

}  // namespace

std::filesystem::path executableDirectory() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::current_path() : self.parent_path();
}

Expected<void, std::string> ensureBaseLayout(const VmacPaths& paths, const std::filesystem::path& toolsDirectory) {
    const auto& root = paths.root();
    for (const auto& shared : {root / "Users", root / "var" / "run"}) {
        if (!makeSharedDirectory(shared)) {
            return unexpected("cannot create " + shared.string() + ": " + std::strerror(errno));
        }
    }
    for (const auto& dir :
         {root / "usr" / "bin", root / "Applications", root / "var" / "root" / "Library" / "Preferences",
          paths.unifiedLog(), systemVersionFile(paths).parent_path()}) {
        if (!makeDirectories(dir)) {
            return unexpected("cannot create " + dir.string() + ": " + std::strerror(errno));
        }
    }
    for (const auto* tool : {"defaults", "killall"}) {
        if (auto linked = linkTool(root / "usr" / "bin" / tool, toolsDirectory / tool); !linked) {
            return linked;
        }
    }
    for (const auto* framework : {"CoreBrightness", "DisplayServices"}) {
        const auto relative = std::filesystem::path("PrivateFrameworks") / (std::string(framework) + ".framework");
        const auto folder = paths.systemPath("/System/Library") / relative;
        if (!makeDirectories(folder)) {
            return unexpected("cannot create " + folder.string() + ": " + std::strerror(errno));
        }
        if (auto linked = linkTool(folder / framework, toolsDirectory / relative / framework); !linked) {
            return linked;
        }
    }
    if (auto folder = ensureDisplaysFolder(paths); !folder) {
        return folder;
    }
    if (auto written = writeMessageBusConfig(paths); !written) {
        return written;
    }
    if (auto written = writeSystemDaemonPlists(paths, toolsDirectory); !written) {
        return written;
    }
    if (!std::filesystem::exists(systemVersionFile(paths))) {
        const SystemVersion version;
        const nlohmann::json json = {{"ProductName", version.productName},
                                     {"ProductVersion", version.productVersion},
                                     {"ProductBuildVersion", version.buildVersion}};
        auto temporary = systemVersionFile(paths);
        temporary += ".tmp";
        {
            std::ofstream out(temporary);
            out << json.dump(2) << '\n';
            if (!out) {
                return unexpected("cannot write " + temporary.string());
            }
        }
        std::error_code error;
        std::filesystem::rename(temporary, systemVersionFile(paths), error);
        if (error) {
            return unexpected("cannot write " + systemVersionFile(paths).string() + ": " + error.message());
        }
    }
    return {};
}

SystemVersion readSystemVersion(const VmacPaths& paths) {
    SystemVersion version;
    std::ifstream in(systemVersionFile(paths));
    const auto json = nlohmann::json::parse(in, nullptr, false);
    if (json.is_object()) {
        version.productName = json.value("ProductName", version.productName);
        version.productVersion = json.value("ProductVersion", version.productVersion);
        version.buildVersion = json.value("ProductBuildVersion", version.buildVersion);
    }
    return version;
}

std::vector<RunningProcess> runningProcesses(const VmacPaths& paths) {
    std::vector<RunningProcess> result;
    std::error_code error;
    const auto dir = paths.runDirectory() / "vmac";
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        if (entry.path().extension() != ".pid") {
            continue;
        }
        std::ifstream in(entry.path());
        long pid = 0;
        if (in >> pid && pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
            result.push_back(RunningProcess{entry.path().stem().string(), pid});
        }
    }
    return result;
}

}  // namespace lidora::vmac
