#include "OpenAtLogin.h"

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Command.h"
#include "bundle/BundleLocation.h"
#include "system/AutostartEntry.h"
#include "vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

// `vmac open` hands the app to launchd and returns; one that hangs is left running.
constexpr auto kOpenWait = 10s;

std::vector<std::string> environmentWithRoot(const VmacPaths& paths) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VMAC_ROOT=", 10) != 0) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back("VMAC_ROOT=" + paths.root().string());
    return environment;
}

// The exit status of `vmac open <bundle>`, or why there is none.
Expected<int, std::string> runOpen(const VmacPaths& paths, const std::filesystem::path& bundle) {
    std::string program = (executableDirectory() / "vmac").string();
    std::string command = "open";
    std::string target = bundle.string();
    std::vector<char*> argv{program.data(), command.data(), target.data(), nullptr};
    auto environment = environmentWithRoot(paths);
    std::vector<char*> envp;
    for (auto& entry : environment) {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);
    pid_t child = -1;
    if (const int error = ::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), envp.data());
        error != 0) {
        return unexpected("cannot run " + program + ": " + std::strerror(error));
    }
    const auto deadline = std::chrono::steady_clock::now() + kOpenWait;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 && errno != EINTR) {
            return unexpected(std::string("cannot wait for vmac open: ") + std::strerror(errno));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return unexpected("vmac open (pid " + std::to_string(child) + ") did not return in time; left running");
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
