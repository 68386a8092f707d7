// Times LogoBrightnessController::apply(false) when the tables are already
// right, as the app's minute timer calls it, against one bare copy of the
// curve through the loaded CoreBrightness framework, in the same run on a
// temporary virtual Mac.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

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

// Single calls, alternating, so that both see the same load on a busy machine.
constexpr int kSamples = 4000;

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

double median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
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

    std::vector<double> applies;
    std::vector<double> copies;
    bool allRight = true;
    for (int sample = 0; sample < kSamples; ++sample) {
        copies.push_back(microseconds([&] { allRight &= baseline->copyProperty(kBrightnessCurveKey).has_value(); }));
        applies.push_back(microseconds([&] { allRight &= controller.apply(false); }));
    }
    if (!allRight) {
        std::fprintf(stderr, "a call failed during the run\n");
        return 1;
    }
    const double apply = median(applies);
    const double copy = median(copies);
    std::printf("apply(false), nothing to do: %.1f us per call (median of %d)\n", apply, kSamples);
    std::printf("bare copyProperty(LEPWMBrightnessNitsMapping): %.1f us per call\n", copy);
    std::printf("ratio apply_nothing_to_do = %.2f (goal <= 1.2)\n", apply / copy);
    return 0;
}
