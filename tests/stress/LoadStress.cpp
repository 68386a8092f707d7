// R2: many signed clients calling at once. Every call is answered, the
// daemon's threads and memory stay capped, and it still leaves about ten
// seconds after the last call.
#include <algorithm>
#include <atomic>
#include <sstream>
#include <thread>

#include "tests/stress/Parts.h"
#include "tests/stress/StressMac.h"

namespace lidora::testing {

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr long kMemoryGoalKb = 512 * 1024;  // the sanitizer's shadow and quarantine
#else
constexpr long kMemoryGoalKb = 64 * 1024;
#endif
constexpr long kThreadGoal = 20;  // 16 serving threads, the main one and a few of the libraries'

struct Peak {
    long threads = 0;
    long memoryKb = 0;
};

}  // namespace

void loadPart(const RunSize& size, Report& report) {
    StressMac stress;
    const int clients = size.pick(50, 10);
    const int callsEach = size.pick(20, 10);
    std::vector<std::filesystem::path> programs;
    for (int c = 0; c < clients; ++c) {
        // Every other one plays the Control Center extension.
        programs.push_back(
            stress.client("client-" + std::to_string(c), c % 2 == 0 ? kAppIdentifier : "com.zelquin.lidora.control"));
    }

    std::atomic<bool> running = true;
    Peak peak;
    std::thread sampler([&] {
        while (running) {
            if (const auto pid = stress.daemonPid()) {
                peak.threads = std::max(peak.threads, procStatus(*pid, "Threads:"));
                peak.memoryKb = std::max(peak.memoryKb, procStatus(*pid, "VmHWM:"));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    std::vector<std::string> outputs(static_cast<std::size_t>(clients));
    std::vector<std::thread> callers;
    for (int c = 0; c < clients; ++c) {
        callers.emplace_back([&, c] {
            const auto verb = c % 3 == 0 ? "version" : c % 3 == 1 ? "get-state" : "off";
            const auto result = stress.mac.run(
                {programs[static_cast<std::size_t>(c)].string(), "call", verb, std::to_string(callsEach)});
            outputs[static_cast<std::size_t>(c)] = result.out;
        });
    }
    for (auto& caller : callers) {
        caller.join();
    }
    const auto lastCall = std::chrono::steady_clock::now();
    const auto pid = stress.daemonPid();
    running = false;
    sampler.join();

    int answered = 0;
    int lines = 0;
    std::vector<long> callMs;
    int noted = 0;
    for (const auto& output : outputs) {
        std::istringstream in(output);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("lateness ", 0) == 0) {
                continue;
            }
            ++lines;
            answered += line.rfind("ok ", 0) == 0 ? 1 : 0;
            if (line.rfind("ok ", 0) == 0) {
                callMs.push_back(std::stol(line.substr(3)));
            }
            if (line.rfind("ok ", 0) != 0 && noted++ < 3) {
                report.note("R2 unanswered: " + line);
            }
        }
    }
    const int calls = clients * callsEach;
    report.exactly("R2.calls_answered", answered, calls);
    report.exactly("R2.results_per_call_extra", lines - calls, 0);
    if (!callMs.empty()) {
        std::sort(callMs.begin(), callMs.end());
        report.figure("R2.call_ms_median", callMs[callMs.size() / 2], "(shown)", true);
        report.atMost("R2.call_ms_slowest", static_cast<double>(callMs.back()), 5000, " ms");
    }
    report.atMost("R2.daemon_threads_peak", static_cast<double>(peak.threads), kThreadGoal);
    report.atMost("R2.daemon_memory_peak_mb", static_cast<double>(peak.memoryKb) / 1024.0,
                  static_cast<double>(kMemoryGoalKb) / 1024.0, " MB");

    if (!pid) {
        report.problem("R2", "no daemon was running after the last call");
        return;
    }
    VirtualMac::waitFor([&] { return !VirtualMac::isRunning(*pid); }, std::chrono::seconds(30));
    const double exitedAfter = std::chrono::duration<double>(std::chrono::steady_clock::now() - lastCall).count();
    std::ostringstream rounded;
    rounded.precision(3);
    rounded << exitedAfter;
    report.figure("R2.idle_exit_s", rounded.str(), "9.5 to 12 s", exitedAfter >= 9.5 && exitedAfter <= 12.0);
}

}  // namespace lidora::testing
