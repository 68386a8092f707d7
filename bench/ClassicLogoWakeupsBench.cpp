// How often the idle app's main thread wakes while it shows the classic
// logo on a desktop whose menu bar never hides, beyond what it does
// without the logo (its own timers), on a temporary virtual Mac.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "tests/support/VirtualMac.h"

using namespace lidora::testing;
using namespace std::chrono_literals;

namespace {

constexpr auto kSettle = 3s;
constexpr auto kWindow = 15s;

// Each wake-up of a thread blocked in poll(2) is one voluntary switch.
long mainThreadWakeups(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
            return std::stol(line.substr(24));
        }
    }
    return -1;
}

long wakeupsOver(pid_t pid) {
    const long before = mainThreadWakeups(pid);
    std::this_thread::sleep_for(kWindow);
    return mainThreadWakeups(pid) - before;
}

bool logoShown(const VirtualMac& mac) {
    return std::regex_search(mac.vmac({"windows"}).out, std::regex(R"(\nLidora\s+\d+\s+26\s+0 0 54.3 \S+\s+on)"));
}

}  // namespace

int main() {
    VirtualMac mac(BIN_DIR);
    mac.boot();
    if (mac.vmac({"install", LIDORA_BUNDLE}).status != 0 || mac.vmac({"menubar", "autohide", "never"}).status != 0) {
        std::fprintf(stderr, "cannot set up the virtual Mac\n");
        return 1;
    }
    const auto opened = mac.vmac({"open", "Lidora"});
    std::smatch match;
    if (opened.status != 0 || !std::regex_search(opened.out, match, std::regex("([0-9]+)"))) {
        std::fprintf(stderr, "cannot open the app: %s\n", opened.err.c_str());
        return 1;
    }
    const pid_t pid = std::stoi(match[1]);
    const bool ready = VirtualMac::waitFor(
                           [&] {
                               return mac.vmac({"approve", "com.zelquin.lidora.helper"}).status == 0;
                           },
                           10000ms) &&
                       VirtualMac::waitFor(
                           [&] {
                               return mac.vmac({"log", "show"}).out.find("ready(on)") != std::string::npos;
                           },
                           15000ms);
    if (!ready) {
        std::fprintf(stderr, "the app did not get ready\n");
        ::kill(pid, SIGTERM);
        return 1;
    }
    std::this_thread::sleep_for(kSettle);
    const long without = wakeupsOver(pid);
    if (mac.vmac({"key", "shift+cmd+7"}).status != 0 || !VirtualMac::waitFor([&] { return logoShown(mac); }, 10000ms)) {
        std::fprintf(stderr, "the classic logo did not show\n");
        ::kill(pid, SIGTERM);
        return 1;
    }
    std::this_thread::sleep_for(kSettle);  // the watcher's settle passes end within 2 s
    const long with = wakeupsOver(pid);
    ::kill(pid, SIGTERM);
    const double perMinute = 60.0 / std::chrono::duration<double>(kWindow).count();
    std::printf("main-thread wake-ups per minute: %.0f without the classic logo, %.0f with it\n", without * perMinute,
                with * perMinute);
    std::printf("ratio classic_logo_idle_wakeups = %.0f (goal <= 0)\n",
                std::max(0.0, static_cast<double>(with - without) * perMinute));
    return 0;
}
