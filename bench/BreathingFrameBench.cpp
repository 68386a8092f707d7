// Times one breathing frame as the app writes it (both tables scaled afresh,
// the display read and wiggled) against the bare cost of writing the two
// tables once through the loaded CoreBrightness framework, in the same run on
// a temporary virtual Mac.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/brightness/CoreBrightnessBackend.h"
#include "core/brightness/LogoBrightnessController.h"
#include "core/effects/LogoBreather.h"
#include "core/runtime/VirtualRunLoop.h"
#include "platform/displays/VirtualDisplayList.h"
#include "platform/frameworks/CoreBrightnessLoader.h"
#include "platform/prefs/FileUserDefaults.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/VirtualMac.h"

using namespace lidora;
using namespace lidora::vmac;
using Clock = std::chrono::steady_clock;

namespace {

// Alternating single samples, so that both see the same load.
constexpr int kSamples = 1500;

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

struct Summary {
    double median;
    double p10;
    double p90;
};

Summary summarize(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const auto at = [&](double q) { return samples[static_cast<std::size_t>(q * (samples.size() - 1))]; };
    return {at(0.5), at(0.1), at(0.9)};
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
    PollRunLoop backendLoop;
    VirtualRunLoop frames;
    FileUserDefaults defaults(paths, "com.zelquin.lidora");
    LogoBrightnessController controller(makeBackend(paths, backendLoop), defaults, Logger());
    auto baseline = makeBackend(paths, backendLoop);
    const auto tables = controller.prepareTables();
    if (!tables) {
        std::fprintf(stderr, "the logo tables cannot be read\n");
        return 1;
    }
    const auto curve = scaled(tables->curve, 2.0);
    const auto floor = scaled(tables->floor, 1.0);

    LogoBreather breather(controller, frames, Logger());
    breather.start();
    if (!breather.isRunning()) {
        std::fprintf(stderr, "breathing did not start\n");
        return 1;
    }
    std::vector<double> frameTimes;
    std::vector<double> bareTimes;
    bool allRight = true;
    for (int sample = 0; sample < kSamples; ++sample) {
        bareTimes.push_back(microseconds([&] {
            allRight &= baseline->setProperty(curve, kBrightnessCurveKey);
            allRight &= baseline->setProperty(floor, kBrightnessFloorKey);
        }));
        const int before = breather.frame();
        frameTimes.push_back(microseconds([&] { frames.advance(LogoBreather::kFrameInterval); }));
        allRight &= breather.frame() == before + 1;
    }
    breather.stop();
    if (!allRight) {
        std::fprintf(stderr, "a write or a frame failed during the run\n");
        return 1;
    }
    const auto frame = summarize(frameTimes);
    const auto bare = summarize(bareTimes);
    std::printf("breathing frame: median %.1f us (p10 %.1f, p90 %.1f; %d samples)\n", frame.median, frame.p10,
                frame.p90, kSamples);
    std::printf("bare write of both tables: median %.1f us (p10 %.1f, p90 %.1f)\n", bare.median, bare.p10, bare.p90);
    std::printf("ratio breathing_frame_vs_bare_table_writes = %.2f (goal <= 1.5)\n", frame.median / bare.median);
    return 0;
}
