// Times LogoBrightnessController::apply(false) when the tables are already
// right, as the app's minute timer calls it, against one bare copy of the
// curve through the loaded CoreBrightness framework, in the same run on a
// temporary virtual Mac. Single calls alternate within each round, so both
// see the same load on a busy machine.
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "bench/BenchRounds.h"
#include "core/brightness/CoreBrightnessBackend.h"
#include "core/brightness/LogoBrightnessController.h"
#include "platform/displays/VirtualDisplayList.h"
#include "platform/frameworks/CoreBrightnessLoader.h"
#include "platform/prefs/FileUserDefaults.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/VirtualMac.h"

using namespace lidora;
using namespace lidora::vmac;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 9;
constexpr int kPairs = 500;
constexpr int kWarmUpPairs = 200;

std::unique_ptr<CoreBrightnessBackend> makeBackend(const VmacPaths& paths, RunLoop& loop) {
    return std::make_unique<CoreBrightnessBackend>(loadCoreBrightnessFrameworks(paths),
                                                   std::make_shared<VirtualDisplayList>(paths), loop);
}

template <typename F>
double microseconds(F&& call) {
    const auto start = Clock::now();
    call();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main() {
    testing::VirtualMac mac(BENCH_BIN_DIR);
    mac.boot();
    ::setenv("VMAC_ROOT", mac.root().c_str(), 1);
    if (!testing::VirtualMac::waitFor(
            [&] {
                return mac.vmac({"logo", "--nits"}).status == 0;
            },
            std::chrono::seconds(5))) {
        std::fprintf(stderr, "corebrightnessd did not start\n");
        return 1;
    }
    const VmacPaths paths(mac.root());
    PollRunLoop loop;
    FileUserDefaults defaults(paths, "com.zelquin.lidora");
    LogoBrightnessController controller(makeBackend(paths, loop), defaults, Logger());
    auto baseline = makeBackend(paths, loop);

    // The 60 % preset, written once; from then on there is nothing to do.
    (void)controller.levelStore().set(kLogoBrightnessLevelKey, preset(LogoBrightnessChoice::sixty).level);
    if (!controller.apply(false)) {
        std::fprintf(stderr, "the first apply failed\n");
        return 1;
    }
    loop.runUntil(loop.now() + std::chrono::milliseconds(300));

    bool allRight = true;
    const auto copy = [&] { allRight &= baseline->copyProperty(kBrightnessCurveKey).has_value(); };
    const auto apply = [&] { allRight &= controller.apply(false); };
    for (int i = 0; i < kWarmUpPairs; ++i) {
        copy();
        apply();
    }
    bench::Rounds rounds;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<double> applies;
        std::vector<double> copies;
        for (int i = 0; i < kPairs; ++i) {
            // Alternate which goes first, so neither always finds the other's
            // data in the caches.
            if (i % 2 == 0) {
                copies.push_back(microseconds(copy));
                applies.push_back(microseconds(apply));
            } else {
                applies.push_back(microseconds(apply));
                copies.push_back(microseconds(copy));
            }
        }
        rounds.add(applies, copies);
    }
    if (!allRight) {
        std::fprintf(stderr, "a call failed during the run\n");
        return 1;
    }
    std::printf("apply(false), nothing to do: %.2f us per call (median of %d rounds of %d)\n", rounds.subject(),
                kRounds, kPairs);
    std::printf("bare copyProperty(LEPWMBrightnessNitsMapping): %.2f us per call\n", rounds.baseline());
    rounds.report("apply_nothing_to_do", 1.2);
    return 0;
}
