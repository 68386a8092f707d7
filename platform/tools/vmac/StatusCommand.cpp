#include <cstdio>
#include <filesystem>

#include "platform/log/UnifiedLogFolder.h"
#include "platform/tools/vmac/Command.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

std::size_t countDomains(const std::filesystem::path& folder) {
    std::size_t count = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() == ".json") {
            ++count;
        }
    }
    return count;
}

}  // namespace

int runStatus(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(
            "status",
            "usage: vmac status\n\nShows where the virtual Mac lives, its system version, the processes\n"
            "it runs, its preference domains and the size of its unified log.\n",
            arguments)) {
        return *answered;
    }
    const auto version = readSystemVersion(paths);
    std::printf("Virtual Mac at %s\n", paths.root().c_str());
    std::printf("System: %s %s (%s)\n", version.productName.c_str(), version.productVersion.c_str(),
                version.buildVersion.c_str());
    const auto processes = runningProcesses(paths);
    if (processes.empty()) {
        std::printf("Processes: none running\n");
    } else {
        std::printf("Processes:\n");
        for (const auto& process : processes) {
            std::printf("  %-28s pid %ld\n", process.name.c_str(), process.pid);
        }
    }
    std::printf("Preference domains: %zu of root, %zu of this user\n",
                countDomains(paths.homeOf(0) / "Library" / "Preferences"),
                countDomains(paths.preferencesOfCurrentUser()));
    std::printf("Unified log: %zu records\n", UnifiedLogFolder(paths.unifiedLog()).readAll().size());
    return 0;
}

}  // namespace lidora::vmac
