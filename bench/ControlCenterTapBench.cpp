// Times one `vmac controlcenter tap logo-brightness` end to end (the
// extension process started, the daemon called, the level stored, the
// running app notified, the control read again) against one bare daemon
// call from a fresh process, on a virtual Mac with the app running.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

#include "tests/support/VirtualMac.h"

using namespace lidora::testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 40;

double timed(const VirtualMac& mac, const std::vector<std::string>& argv) {
    const auto start = Clock::now();
    const auto result = mac.run(argv);
    const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (result.status != 0) {
        throw std::runtime_error(argv.front() + " failed: " + result.out + result.err);
    }
    return elapsed;
}

struct Spread {
    double median;
    double p10;
    double p90;
};

Spread spread(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() / 10], samples[samples.size() * 9 / 10]};
}

bool logShows(const VirtualMac& mac, const std::string& text) {
    return VirtualMac::waitFor(
        [&] {
            return mac.vmac({"log", "show"}).out.find(text) != std::string::npos;
        },
        std::chrono::seconds(15));
}

}  // namespace

int main() try {
    VirtualMac mac(BENCH_BIN_DIR);
    mac.boot();
    if (mac.vmac({"install", LIDORA_BUNDLE}).status != 0 || mac.vmac({"open", "Lidora"}).status != 0 ||
        !logShows(mac, "Phase loading -> needsApproval") ||
        mac.vmac({"approve", "com.zelquin.lidora.helper"}).status != 0 ||
        !logShows(mac, "Phase needsApproval -> ready(on)")) {
        throw std::runtime_error("the app did not come up with its helper");
    }
    const auto bare = mac.signedCopy(HELPER_CALL_ONCE, "helper-call-once", "com.zelquin.lidora.control", "K7QX4N2M9T");
    const std::vector<std::string> tap{(mac.bin() / "vmac").string(), "controlcenter", "tap", "logo-brightness"};

    // Warm both paths (daemon started, caches filled), then alternate.
    timed(mac, tap);
    timed(mac, {bare.string()});
    std::vector<double> taps;
    std::vector<double> calls;
    for (int i = 0; i < kRuns; ++i) {
        taps.push_back(timed(mac, tap));
        calls.push_back(timed(mac, {bare.string()}));
    }
    const auto t = spread(taps);
    const auto c = spread(calls);
    std::printf("controlcenter tap: median %.2f ms (p10 %.2f, p90 %.2f) over %d runs\n", t.median, t.p10, t.p90, kRuns);
    std::printf("bare helper call in a fresh process: median %.2f ms (p10 %.2f, p90 %.2f)\n", c.median, c.p10, c.p90);
    std::printf("ratio controlcenter_tap_vs_bare_helper_call = %.2f (goal <= 3.0)\n", t.median / c.median);
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench-controlcenter-tap: %s\n", error.what());
    return 1;
}
