// vmac boot / vmac shutdown: start the virtual Mac's launchd; stop it and
// every other process of the Mac.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "core/runtime/Spawn.h"
#include "platform/launchd/LaunchdClient.h"
#include "platform/log/LogServiceClient.h"
#include "platform/log/LogWire.h"
#include "platform/process/DetachedProcess.h"
#include "platform/process/ProcProcessTable.h"
#include "platform/process/ProcessSweep.h"
#include "platform/process/VmacMembership.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/OpenAtLogin.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr auto kBootWait = 10s;
// Longer than launchd's grace period for its jobs plus the SIGKILL wait.
constexpr auto kShutdownWait = 15s;
constexpr auto kPollInterval = 20ms;

// A zombie that nobody reaps still answers kill(pid, 0); it is gone all the same.
bool processAlive(pid_t pid) {
    if (::kill(pid, 0) != 0 && errno != EPERM) {
        return false;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(") ");
    return close == std::string::npos || close + 2 >= line.size() || (line[close + 2] != 'Z' && line[close + 2] != 'X');
}

std::optional<long> launchdPid(const Expected<nlohmann::json, LaunchdError>& reply) {
    if (reply && reply->contains("pid") && (*reply)["pid"].is_number_integer()) {
        return (*reply)["pid"].get<long>();
    }
    return std::nullopt;
}

Task<void> sweepInto(Task<SweepReport> sweep, std::optional<SweepReport>& report, PollRunLoop& loop) {
    report = co_await std::move(sweep);
    loop.stop();
}

std::string described(const ProcessRecord& process) {
    return process.name + " (pid " + std::to_string(process.pid) + ")";
}

// Ends what launchd did not start or left behind: apps, login items, their
// children. Returns whether nothing of the Mac is left.
bool endRemainingProcesses(const VmacPaths& paths) {
    PollRunLoop loop;
    ProcProcessTable table;
    std::optional<SweepReport> report;
    spawn(loop, sweepInto(endVmacProcesses(loop, table, canonicalVmacRoot(paths), ::getpid()), report, loop));
    loop.run();
    for (const auto& process : report->ended) {
        std::printf("stopped %s\n", described(process).c_str());
    }
    for (const auto& process : report->killed) {
        std::printf("killed %s, which ignored SIGTERM\n", described(process).c_str());
    }
    for (const auto& [process, error] : report->refused) {
        std::fprintf(stderr, "vmac shutdown: cannot stop %s: %s\n", described(process).c_str(), std::strerror(error));
    }
    for (const auto& process : report->remaining) {
        std::fprintf(stderr, "vmac shutdown: %s did not end\n", described(process).c_str());
    }
    return report->refused.empty() && report->remaining.empty();
}

// launchd starts logd at load; records sent before it listens would be lost.
void waitForLogService(const VmacPaths& paths, std::chrono::steady_clock::time_point deadline) {
    LogServiceClient log(logServiceSocket(paths));
    while (!log.sync(200ms) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollInterval);
    }
}

}  // namespace

int runBoot(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(
            "boot",
            "usage: vmac boot\n\nStarts the virtual Mac's launchd in the background and waits until it\n"
            "answers. It loads the jobs loaded before and starts daemons on demand.\n"
            "Does nothing when launchd already runs. Its output goes to var/log/launchd.log.\n",
            arguments)) {
        return *answered;
    }
    const auto running = requestLaunchd(paths, {{"command", "list"}}, 5s);
    if (running) {
        std::printf("launchd is already running (pid %ld)\n", launchdPid(running).value_or(0));
        return 0;
    }
    if (!running.error().notRunning) {
        std::fprintf(stderr, "vmac boot: %s\n", running.error().message.c_str());
        return 1;
    }
    const auto program = executableDirectory() / "vmac-launchd";
    if (::access(program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "vmac boot: %s is missing\n", program.c_str());
        return 1;
    }
    auto started = startDetached(paths, {program.string()}, paths.root() / "var" / "log" / "launchd.log");
    if (!started) {
        std::fprintf(stderr, "vmac boot: %s\n", started.error().c_str());
        return 1;
    }
    const auto deadline = std::chrono::steady_clock::now() + kBootWait;
    while (std::chrono::steady_clock::now() < deadline) {
        const auto answer = requestLaunchd(paths, {{"command", "list"}}, 5s);
        if (answer) {
            std::printf("launchd started (pid %ld)\n", launchdPid(answer).value_or(*started));
            waitForLogService(paths, deadline);
            std::fflush(stdout);
            openLoginItems(paths);
            return 0;
        }
        if (!processAlive(*started)) {
            // Another boot may have won the race; then its launchd answers.
            if (auto other = requestLaunchd(paths, {{"command", "list"}}, 5s)) {
                std::printf("launchd is already running (pid %ld)\n", launchdPid(other).value_or(0));
                return 0;
            }
            std::fprintf(stderr, "vmac boot: launchd exited; see %s\n",
                         (paths.root() / "var" / "log" / "launchd.log").c_str());
            return 1;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    std::fprintf(stderr, "vmac boot: launchd (pid %d) did not answer in time\n", static_cast<int>(*started));
    return 1;
}

int runShutdown(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (const auto answered = answerArgumentlessCommand(
            "shutdown",
            "usage: vmac shutdown\n\nAsks the virtual Mac's launchd to stop its jobs and exit, and waits until\n"
            "it is gone; then ends every other process of the Mac (apps, login items and\n"
            "whatever they started): SIGTERM, and SIGKILL for those still there after\n"
            "five seconds. Processes of other virtual Macs and of the host stay.\n",
            arguments)) {
        return *answered;
    }
    const auto reply = requestLaunchd(paths, {{"command", "shutdown"}}, 5s);
    if (!reply && !reply.error().notRunning) {
        std::fprintf(stderr, "vmac shutdown: %s\n", reply.error().message.c_str());
        return 1;
    }
    if (!reply) {
        std::printf("launchd is not running\n");
    } else {
        const auto pid = static_cast<pid_t>(launchdPid(reply).value_or(0));
        const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
        while (pid > 0 && processAlive(pid) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kPollInterval);
        }
        if (pid > 0 && processAlive(pid)) {
            std::fprintf(stderr, "vmac shutdown: launchd (pid %d) did not stop in time; ending it\n",
                         static_cast<int>(pid));
        } else {
            std::printf("launchd stopped\n");
        }
    }
    std::fflush(stdout);
    return endRemainingProcesses(paths) ? 0 : 1;
}

}  // namespace lidora::vmac
