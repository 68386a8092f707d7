// Times `vmac shortcuts run "Turn Apple Logo Light On or Off" --state off`
// end to end, from starting vmac to its exit, with the app running and its
// helper approved, against the least a program can do for the same effect:
// a fresh process that makes one bare call to the helper.
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "bench/BenchRounds.h"
#include "tests/support/VirtualMac.h"

using namespace lidora;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 7;
constexpr int kPairs = 6;
constexpr int kWarmUp = 3;

double timed(const testing::VirtualMac& mac, std::vector<std::string> argv) {
    const auto start = Clock::now();
    const auto result = mac.run(std::move(argv));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (result.status != 0) {
        throw std::runtime_error("failed: " + result.out + result.err);
    }
    return ms;
}

bool logShows(const testing::VirtualMac& mac, const std::string& text) {
    return testing::VirtualMac::waitFor(
        [&] {
            return mac.vmac({"log", "show"}).out.find(text) != std::string::npos;
        },
        std::chrono::seconds(20));
}

}  // namespace

int main() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    const auto bin = self.parent_path();
    testing::VirtualMac mac(bin);
    try {
        mac.boot();
        if (const auto installed = mac.vmac({"install", (bin.parent_path() / "Lidora.app").string()});
            installed.status != 0) {
            throw std::runtime_error(installed.err);
        }
        // The baseline is admitted by the helper as the app is.
        const auto bare = mac.signedCopy(HELPER_CALL_ONCE, "helper-call-once", "com.zelquin.lidora", "K7QX4N2M9T");
        if (mac.vmac({"open", "Lidora"}).status != 0 || !logShows(mac, "Phase loading -> needsApproval") ||
            mac.vmac({"approve", "com.zelquin.lidora.helper"}).status != 0 || !logShows(mac, "-> ready(")) {
            std::fprintf(stderr, "bench-shortcuts-run: cannot set up the virtual Mac\n");
            return 1;
        }
        const std::vector<std::string> shortcut{(bin / "vmac").string(),           "shortcuts", "run",
                                                "Turn Apple Logo Light On or Off", "--state",   "off"};
        const std::vector<std::string> call{bare.string()};
        for (int i = 0; i < kWarmUp; ++i) {
            timed(mac, shortcut);
            timed(mac, call);
        }
        // In rounds, the two alternating (and which goes first too), so load
        // that comes and goes hits both alike.
        lidora::bench::Rounds rounds;
        for (int round = 0; round < kRounds; ++round) {
            std::vector<double> shortcuts;
            std::vector<double> calls;
            for (int i = 0; i < kPairs; ++i) {
                if (i % 2 == 0) {
                    shortcuts.push_back(timed(mac, shortcut));
                    calls.push_back(timed(mac, call));
                } else {
                    calls.push_back(timed(mac, call));
                    shortcuts.push_back(timed(mac, shortcut));
                }
            }
            rounds.add(shortcuts, calls);
        }
        std::printf("vmac shortcuts run, light off, end to end: median %.2f ms (%d rounds of %d)\n", rounds.subject(),
                    kRounds, kPairs);
        std::printf("bare helper call in a fresh process:       median %.2f ms\n", rounds.baseline());
        rounds.report("shortcuts_run_vs_bare_helper_call", 3.0);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench-shortcuts-run: %s\n", error.what());
        return 1;
    }
    return 0;
}
