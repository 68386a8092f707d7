#include "platform/tools/vmac/OpenAtLogin.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/bundle/BundleLocation.h"
#include "platform/process/ChildProcess.h"
#include "platform/system/AutostartEntry.h"
#include "platform/tools/vmac/Command.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

// `vmac open` hands the app to launchd and returns; one that hangs is left running.
constexpr auto kOpenWait = 10s;

// The exit status of `vmac open <bundle>`, or why there is none.
Expected<int, std::string> runOpen(const VmacPaths& paths, const std::filesystem::path& bundle) {
    SpawnRequest request;
    request.program = executableDirectory() / "vmac";
    request.arguments = {request.program.string(), "open", bundle.string()};
    request.environment = environmentWith({"VMAC_ROOT=" + paths.root().string()});
    request.descriptors = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    const auto child = spawnChild(request);
    if (!child) {
        return unexpected("cannot run " + request.program.string() + ": " + std::strerror(child.error().error));
    }
    const auto deadline = std::chrono::steady_clock::now() + kOpenWait;
    for (;;) {
        const auto exit = checkChild(*child);
        if (!exit) {
            return unexpected(std::string("cannot wait for vmac open: ") + std::strerror(exit.error()));
        }
        if (*exit) {
            return (*exit)->signal != 0 ? 128 + (*exit)->signal : (*exit)->status;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return unexpected("vmac open (pid " + std::to_string(*child) + ") did not return in time; left running");
        }
        std::this_thread::sleep_for(20ms);
    }
}

}  // namespace

void openLoginItems(const VmacPaths& paths) {
    const auto listing = listAutostartEntries(paths.homeOfCurrentUser());
    for (const auto& problem : listing.problems) {
        std::fprintf(stderr, "vmac boot: skipping a login item: %s\n", problem.c_str());
    }
    if (listing.entries.empty()) {
        return;
    }
    if (!hasCommand("open")) {
        std::fprintf(stderr,
                     "vmac boot: cannot open %zu login item(s): this vmac has no 'open' command "
                     "(vmac open BUNDLE) to start applications with\n",
                     listing.entries.size());
        return;
    }
    for (const auto& entry : listing.entries) {
        if (!isBundle(entry.bundle)) {
            std::fprintf(stderr, "vmac boot: login item %s names %s, which is no application bundle\n",
                         entry.name.c_str(), entry.bundle.c_str());
            continue;
        }
        const auto opened = runOpen(paths, entry.bundle);
        if (!opened) {
            std::fprintf(stderr, "vmac boot: login item %s: %s\n", entry.name.c_str(), opened.error().c_str());
        } else if (*opened != 0) {
            std::fprintf(stderr, "vmac boot: login item %s: vmac open %s failed with status %d\n", entry.name.c_str(),
                         entry.bundle.c_str(), *opened);
        } else {
            std::printf("opened login item %s\n", entry.bundle.c_str());
        }
    }
}

}  // namespace lidora::vmac
