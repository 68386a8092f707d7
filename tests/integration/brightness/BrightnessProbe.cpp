// Loads the virtual Mac's brightness frameworks the way the app does and
// reports what it gets, so a test can use them as another user or in a
// process where they were never loaded. It also flashes a message on the
// logo as the app's message player does.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/brightness/CoreBrightnessBackend.h"
#include "core/brightness/LogoBrightnessController.h"
#include "core/morse/MorsePlayer.h"
#include "platform/displays/VirtualDisplayList.h"
#include "platform/frameworks/CoreBrightnessLoader.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/MemoryDefaults.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

std::string text(const std::optional<BrightnessTable>& table) {
    if (!table) {
        return "absent";
    }
    std::string out;
    for (const auto& point : *table) {
        for (const double number : point) {
            out += std::to_string(number) + ' ';
        }
        out += ';';
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    const auto paths = VmacPaths::fromEnvironment();
    auto frameworks = loadCoreBrightnessFrameworks(paths);
    if (command == "loaded") {
        std::printf("client=%d get=%d set=%d\n", frameworks.client != nullptr, frameworks.getBrightness != nullptr,
                    frameworks.setBrightness != nullptr);
        return 0;
    }
    PollRunLoop loop;
    if (command == "morse" && argc == 4) {
        testing::MemoryDefaultsProvider defaults;
        LogoBrightnessController brightness(
            std::make_unique<CoreBrightnessBackend>(std::move(frameworks), std::make_shared<VirtualDisplayList>(paths),
                                                    loop),
            defaults, {});
        const MorseCode::Timing timing{std::strtod(argv[3], nullptr), 2, 4, 5};
        MorsePlayer player(MorseCode::steps(argv[2], timing, false), timing, 1, "Message", brightness.backend(),
                           brightness, loop, {});
        player.onFinish = [&loop] { loop.stop(); };
        player.start();
        if (!player.isRunning()) {
            std::printf("not started\n");
            return 1;
        }
        loop.run();
        return 0;
    }
    CoreBrightnessBackend backend(std::move(frameworks), std::make_shared<VirtualDisplayList>(paths), loop);
    if (command == "copy") {
        std::printf("%s\n", text(backend.copyProperty(kBrightnessCurveKey)).c_str());
        return 0;
    }
    if (command == "scale" && argc == 3) {
        const double factor = std::strtod(argv[2], nullptr);
        const auto curve = backend.copyProperty(kBrightnessCurveKey);
        const auto floor = backend.copyProperty(kBrightnessFloorKey);
        if (!curve || !floor) {
            std::printf("absent\n");
            return 1;
        }
        const bool curveSet = backend.setProperty(scaled(*curve, factor), kBrightnessCurveKey);
        const bool floorSet = backend.setProperty(scaled(*floor, factor), kBrightnessFloorKey);
        std::printf("%s %s\n", curveSet ? "set" : "refused", floorSet ? "set" : "refused");
        return curveSet && floorSet ? 0 : 1;
    }
    if (command == "display" && argc == 3) {
        backend.setDisplayBrightness(static_cast<float>(std::strtod(argv[2], nullptr)));
        const auto brightness = backend.displayBrightness();
        std::printf("%s\n", brightness ? std::to_string(*brightness).c_str() : "absent");
        return 0;
    }
    std::fprintf(stderr, "usage: brightness-probe loaded | copy | scale FACTOR | display VALUE | morse TEXT UNIT\n");
    return 64;
}
