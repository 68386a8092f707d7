// The message state under any sequence of what can happen to a message: sent
// (any text, any timing), stopped, ended, replaced, the light switched or
// refused, the screens asleep, the Mac locked on mains, time passing. At
// every point the state names a character of the message on the lid or
// none, and once nothing plays the brightness controller is not left
// suspended.
//
// Input: operations, each an op byte and its arguments (a send takes a
// timing byte, a markers byte and a NUL-ended text).

#include <chrono>

#include "core/effects/LogoEffectsWatcher.h"
#include "core/message/MessageModel.h"
#include "core/message/MessageSettings.h"
#include "core/runtime/Spawn.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/fuzz/FuzzInput.h"
#include "tests/unit/brightness/BrightnessFakes.h"
#include "tests/unit/effects/EffectsFakes.h"
#include "tests/unit/shell/ShellFakes.h"

using namespace lidora;

namespace {

MorseCode::Timing timingOf(std::uint8_t b) {
    if (b < 192) {
        return MessageSettings::timing(MessageSettings::kSpeeds[b % 3U]);
    }
    // Odd timings too: the watcher must refuse or play them without harm.
    constexpr double kUnits[] = {1e-6, 0.0, -0.4, 1e12};
    return MorseCode::Timing{kUnits[b % 4U], (b >> 2U) % 4, (b >> 4U) % 3, 0};
}

struct World {
    World() {
        backend.tables = {{std::string(kBrightnessCurveKey), {{0, 10}, {1, 400}}},
                          {std::string(kBrightnessFloorKey), {{0, 2}, {100, 40}}}};
        controller.emplace(std::make_unique<testing::FakeBackend>(backend), provider, Logger());
        watcher.emplace(LogoEffectsParts{
            .loop = loop,
            .backend = backend,
            .brightness = *controller,
            .standard = *provider.standardDefaults,
            .group = *provider.suiteDefaults,
            .controls = controls,
            .distributed = distributed,
            .workspace = workspace,
            .darwin = darwin,
            .session = session,
            .power = power,
            .makeDevices =
                [](std::function<void()> onChange) {
                    auto made = std::make_unique<testing::FakeDevices>();
                    made->onChange = std::move(onChange);
                    return made;
                },
            .light = {.isOn = [this] { return light.on; },
                      .set = [this](bool on) { return testing::switchFakeLight(light, on); }},
            .logSink = nullptr,
        });
        watcher->start();
        loop.runUntilIdle();
    }

    void send(std::string text, MorseCode::Timing timing, bool markers) {
        spawn(loop, [](Task<bool> task) -> Task<void> {
            co_await std::move(task);
        }(watcher->send(std::move(text), timing, markers)));
        loop.runUntilIdle();
    }

    // What the message window relies on.
    void check() {
        auto& state = watcher->messageState();
        if (!state.text.get()) {
            LIDORA_FUZZ_CHECK(!state.character.get() && !state.isBright.get());
        } else if (state.character.get()) {
            LIDORA_FUZZ_CHECK(SentMessage(*state.text.get()).index(state.character.get()).has_value());
        }
        if (watcher->effect() == LogoEffect::none) {
            LIDORA_FUZZ_CHECK(!controller->isSuspended());
        }
    }

    VirtualRunLoop loop;
    testing::FakeBackend backend;
    testing::MemoryDefaultsProvider provider;
    std::optional<LogoBrightnessController> controller;
    testing::FakeControls controls;
    testing::FakeDistributed distributed;
    testing::FakeWorkspace workspace;
    testing::FakeNotifications darwin;
    testing::FakeSession session;
    testing::FakePower power;
    testing::FakeLight light;
    std::optional<LogoEffectsWatcher> watcher;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    World world;
    int operations = 0;
    while (!input.rest().empty() && ++operations <= 64) {
        switch (input.byte() % 8U) {
            case 0: {
                const auto timing = timingOf(input.byte());
                const bool markers = input.flag();
                world.send(std::string(input.field()), timing, markers);
                break;
            }
            case 1: world.loop.advance(std::chrono::milliseconds(100) * input.byte()); break;
            case 2: world.watcher->stopMessage(); break;
            case 3: world.watcher->endMessage(); break;
            case 4: world.light.on = !world.light.on; break;
            case 5: world.light.refuses = !world.light.refuses; break;
            case 6: (input.flag() ? world.workspace.screensSleep : world.workspace.screensWake)(); break;
            default:
                world.session.setLocked(input.flag());
                world.power.type = std::string(input.flag() ? kACPowerSourceType : kBatteryPowerSourceType);
                world.watcher->update();
        }
        world.loop.runUntilIdle();
        world.check();
    }
    world.watcher->stopAll();
    world.loop.runUntilIdle();
    world.check();
    return 0;
}
