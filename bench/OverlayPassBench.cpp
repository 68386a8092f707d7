// One pass of the full-screen watcher against one bare read of the window
// list, on a temporary virtual Mac with two displays (a desktop and a
// full-screen app) and the classic logo shown on both.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/overlay/FullScreenRevealWatcher.h"
#include "platform/bus/BusWorkspace.h"
#include "platform/prefs/FileUserDefaults.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/windowserver/VirtualWindowServer.h"

using namespace lidora;
using namespace lidora::vmac;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 7;
constexpr int kPasses = 1000;

template <typename Work>
double nanosecondsPerCall(Work&& work) {
    const auto start = Clock::now();
    for (int i = 0; i < kPasses; ++i) {
        work();
    }
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) /
           kPasses;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    char folder[] = "/tmp/bench-overlay-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const VmacPaths paths{std::filesystem::path(folder)};
    auto displays = displaysRecord(paths);
    auto state = windowServerStateRecord(paths);
    if (!displays.update([](DisplayRecords& records) {
            records.displays.push_back({2, false, 0.5});
            return true;
        }) ||
        !state.update([&](WindowServerState& s) {
            settleSpaces(s, *displays.read());
            s.spaces.push_back({s.nextSpace++, 2, "Safari"});
            stageOf(s, 2)->active = s.spaces.back().id;
            return true;
        })) {
        std::fprintf(stderr, "cannot set up the virtual Mac\n");
        return 1;
    }
    {
        PollRunLoop loop;
        VmacBus bus(loop, paths, Logger());
        const auto reader = std::make_shared<WindowServerReader>(paths);
        VirtualWindowServer server(reader);
        VirtualScreens screens(reader, bus);
        VirtualEventMonitors events(reader, bus);
        PanelRegistry registry(paths, "Lidora");
        RegisteredPanelMaker maker(registry, reader);
        BusWorkspace workspace(bus, "com.zelquin.lidora");
        FileUserDefaults defaults(paths, "com.zelquin.lidora");
        AppleLogoOverlay overlay({loop, server, screens, maker, nullptr});
        FullScreenRevealWatcher watcher({loop, overlay, workspace, events, defaults, nullptr});
        overlay.setStyle(Style::rainbow());
        overlay.update();
        watcher.start();

        std::vector<double> passes;
        std::vector<double> reads;
        std::vector<double> ratios;
        for (int round = 0; round < kRounds; ++round) {
            reads.push_back(nanosecondsPerCall([&] { (void)server.copyWindowInfo(kCGWindowListOptionOnScreenOnly); }));
            passes.push_back(nanosecondsPerCall([&] { watcher.evaluate(); }));
            ratios.push_back(passes.back() / reads.back());
        }
        const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("window-list read: %.1f us, watcher pass: %.1f us (medians of %d rounds of %d)\n",
                    median(reads) / 1000, median(passes) / 1000, kRounds, kPasses);
        std::printf("ratio spread %.2f .. %.2f\n", *low, *high);
        std::printf("ratio overlay_pass = %.2f (goal <= 1.5)\n", median(ratios));
    }
    std::error_code error;
    std::filesystem::remove_all(folder, error);
    return 0;
}
