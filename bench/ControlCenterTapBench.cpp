// Times one `vmac controlcenter tap logo-brightness` end to end (the
// extension process started, the daemon called, the level stored, the
// running app notified, the control read again) against one bare daemon
// call from a fresh process, on a virtual Mac with the app running. Taps and
// bare calls alternate within each round; after each tap the app's own
// answer to it (applying the level, the display nudge and its restore) is
// let finish untimed, so it does not land in the next sample.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/BenchRounds.h"
#include "tests/support/VirtualMac.h"

using namespace lidora::testing;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 7;
constexpr int kPairs = 6;
constexpr int kWarmUpPairs = 2;
// Longer than the app's apply and the 0.15 s nudge restore a tap sets off.
constexpr auto kSettle = std::chrono::milliseconds(250);

// Processor time of the children waited for so far (and of theirs), in ms.
double childrenProcessorMs() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double timed(const VirtualMac& mac, const std::vector<std::string>& argv, double* processorMs = nullptr) {
    const double processorBefore = childrenProcessorMs();
    const auto start = Clock::now();
    const auto result = mac.run(argv);
    const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (processorMs != nullptr) {
        *processorMs += childrenProcessorMs() - processorBefore;
    }
    if (result.status != 0) {
        throw std::runtime_error(argv.front() + " failed: " + result.out + result.err);
    }
    return elapsed;
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

    double tapProcessorMs = 0;
    double callProcessorMs = 0;
    const auto tapOnce = [&] {
        const double elapsed = timed(mac, tap, &tapProcessorMs);
        std::this_thread::sleep_for(kSettle);
        return elapsed;
    };
    // Warm both paths (daemon started, caches filled), then alternate.
    for (int i = 0; i < kWarmUpPairs; ++i) {
        tapOnce();
        timed(mac, {bare.string()});
    }
    tapProcessorMs = 0;
    lidora::bench::Rounds rounds;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<double> taps;
        std::vector<double> calls;
        for (int i = 0; i < kPairs; ++i) {
            if (i % 2 == 0) {
                calls.push_back(timed(mac, {bare.string()}, &callProcessorMs));
                taps.push_back(tapOnce());
            } else {
                taps.push_back(tapOnce());
                calls.push_back(timed(mac, {bare.string()}, &callProcessorMs));
            }
        }
        rounds.add(taps, calls);
    }
    std::printf("controlcenter tap: median %.2f ms (%d rounds of %d)\n", rounds.subject(), kRounds, kPairs);
    std::printf("bare helper call in a fresh process: median %.2f ms\n", rounds.baseline());
    std::printf("processor time of the programs started, per run: tap %.2f ms, bare call %.2f ms\n",
                tapProcessorMs / (kRounds * kPairs), callProcessorMs / (kRounds * kPairs));
    rounds.report("controlcenter_tap_vs_bare_helper_call", 3.0);
    return 0;
} catch (const std::exception& error) {
    std::fprintf(stderr, "bench-controlcenter-tap: %s\n", error.what());
    return 1;
}
