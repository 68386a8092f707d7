// The idle app's wake-ups on a temporary virtual Mac: the real app, started
// as the user starts it, its helper approved, the light on and no effect
// running. Over a measured minute its threads' voluntary context switches
// are sampled every few milliseconds; switches that follow one another
// closely are one wake-up (a timer that fires and talks to a daemon blocks a
// few times but woke the app once). The baseline, in the same window: the
// firings of the app's own repeating timers.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <thread>

#include "core/shell/AppDelegate.h"
#include "platform/sparkle/SparkleUpdaterController.h"
#include "tests/support/VirtualMac.h"

using namespace lidora;
using namespace lidora::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto kSettle = 5s;
constexpr auto kWindow = 60s;
constexpr auto kSample = 5ms;
// Switches closer than this to the one before belong to the same wake-up.
constexpr auto kSameWakeUp = 50ms;
constexpr auto kHelperLabel = "com.zelquin.lidora.helper";

struct Thread {
    std::string name;
    long first = 0;
    long last = 0;
    int wakeUps = 0;
    Clock::time_point lastSwitch{};
};

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// -1 when the thread is gone.
long voluntarySwitches(const std::filesystem::path& task) {
    std::ifstream status(task / "status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
            return std::stol(line.substr(24));
        }
    }
    return -1;
}

struct Window {
    std::map<int, Thread> threads;
    int wakeUps = 0;
    double seconds = 0;
};

Window watch(pid_t pid) {
    Window window;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    const auto begin = Clock::now();
    Clock::time_point lastSwitch{};
    bool firstPass = true;
    while (Clock::now() - begin < kWindow) {
        const auto now = Clock::now();
        bool switched = false;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(tasks, error)) {
            const long count = voluntarySwitches(entry.path());
            if (count < 0) {
                continue;
            }
            const int tid = std::stoi(entry.path().filename().string());
            auto [found, added] = window.threads.try_emplace(tid);
            Thread& thread = found->second;
            if (added) {
                thread.name = firstLine(entry.path() / "comm");
                // A thread born in the window counts from its start.
                thread.first = firstPass ? count : 0;
                thread.last = thread.first;
            }
            if (count > thread.last) {
                if (now - thread.lastSwitch > kSameWakeUp) {
                    ++thread.wakeUps;
                }
                thread.lastSwitch = now;
                thread.last = count;
                switched = true;
            }
        }
        if (error) {
            throw std::runtime_error("the app is gone");
        }
        if (switched) {
            if (now - lastSwitch > kSameWakeUp) {
                ++window.wakeUps;
            }
            lastSwitch = now;
        }
        firstPass = false;
        std::this_thread::sleep_until(now + kSample);
    }
    window.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return window;
}

bool logShows(const VirtualMac& mac, const std::string& text, std::chrono::milliseconds limit) {
    return VirtualMac::waitFor([&] { return mac.vmac({"log", "show"}).out.find(text) != std::string::npos; }, limit);
}

}  // namespace

int main() {
    VirtualMac mac(BENCH_BIN_DIR);
    mac.boot();
    const auto installed = mac.vmac({"install", LIDORA_BUNDLE});
    const auto opened = installed.status == 0 ? mac.vmac({"open", "Lidora"}) : installed;
    std::smatch match;
    if (opened.status != 0 || !std::regex_search(opened.out, match, std::regex("([0-9]+)"))) {
        std::fprintf(stderr, "cannot start the app: %s\n", opened.err.c_str());
        return 1;
    }
    const pid_t pid = std::stoi(match[1]);
    const auto stopApp = [&] {
        ::kill(pid, SIGTERM);
        VirtualMac::waitFor([&] { return ::kill(pid, 0) != 0; }, 5000ms);
    };
    if (!logShows(mac, "Phase loading -> needsApproval", 15000ms) || mac.vmac({"approve", kHelperLabel}).status != 0 ||
        !logShows(mac, "Phase needsApproval -> ready(on)", 15000ms)) {
        std::fprintf(stderr, "the app did not get to a lit logo:\n%s\n", mac.vmac({"log", "show"}).out.c_str());
        stopApp();
        return 1;
    }
    std::this_thread::sleep_for(kSettle);
    Window window;
    try {
        window = watch(pid);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    stopApp();

    const double minutes = window.seconds / 60;
    // The brightness upkeep and the updater's scheduled check; the approval
    // poll stops once the helper is approved.
    const double ownPerMinute = 60.0 / std::chrono::duration<double>(kBrightnessUpkeepInterval).count() +
                                60.0 / std::chrono::duration<double>(vmac::kDefaultCheckInterval).count();
    const double perMinute = window.wakeUps / minutes;
    std::printf("idle app over %.1f s (sampled every %lld ms; switches within %lld ms are one wake-up):\n",
                window.seconds, static_cast<long long>(kSample.count()), static_cast<long long>(kSameWakeUp.count()));
    for (const auto& [tid, thread] : window.threads) {
        std::printf("  thread %-16s %7d: %4ld voluntary switches, %3d wake-ups\n", thread.name.c_str(), tid,
                    thread.last - thread.first, thread.wakeUps);
    }
    std::printf("app wake-ups: %.1f a minute (%d in the window)\n", perMinute, window.wakeUps);
    std::printf(
        "its own timers: %.3f a minute (brightness upkeep every %lld s, update check every %lld s)\n", ownPerMinute,
        static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(kBrightnessUpkeepInterval).count()),
        static_cast<long long>(vmac::kDefaultCheckInterval.count()));
    std::printf("ratio idle_wakeups_vs_own_timers = %.2f (goal <= 1.1)\n", perMinute / ownPerMinute);
    return 0;
}
