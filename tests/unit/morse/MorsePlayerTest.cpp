#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "core/morse/MorsePlayer.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/brightness/BrightnessFakes.h"

namespace lidora {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using testing::FakeBackend;
using testing::RecordingLogSink;

const BrightnessTable kCurve{{0, 10}, {1, 400}};

// The virtual loop with every timer firing `lateness` after it is due, as a
// busy real loop fires them.
class LateLoop final : public RunLoop {
public:
    explicit LateLoop(VirtualRunLoop& inner) : inner_(inner) {}
    [[nodiscard]] TimePoint now() const override { return inner_.now(); }
    void post(std::function<void()> work) override { inner_.post(std::move(work)); }
    [[nodiscard]] Cancellable scheduleAt(TimePoint when, std::function<void()> work) override {
        return inner_.scheduleAt(when + lateness, std::move(work));
    }
    [[nodiscard]] Cancellable scheduleRepeating(Duration interval, std::function<void()> work) override {
        return inner_.scheduleRepeating(interval, std::move(work));
    }
    [[nodiscard]] Cancellable watch(int fd, unsigned events, std::function<void(unsigned)> ready) override {
        return inner_.watch(fd, events, std::move(ready));
    }
    Duration lateness{};

private:
    VirtualRunLoop& inner_;
};
const BrightnessTable kFloor{{0, 1}, {100, 50}};

class MorsePlayerTest : public ::testing::Test, public LogoBrightnessBackend {
protected:
    MorsePlayerTest() {
        auto system = std::make_unique<FakeBackend>();
        system->tables = {{std::string(kBrightnessCurveKey), kCurve}, {std::string(kBrightnessFloorKey), kFloor}};
        live = system.get();
        // The controller's own lines are its tests' business.
        controller.emplace(std::move(system), provider, Logger(std::make_shared<RecordingLogSink>(), "", ""));
    }

    std::unique_ptr<MorsePlayer> make(std::string_view text, std::optional<int> repeats, std::string label,
                                      MorseCode::Timing timing = MorseCode::kOnAirTiming) {
        return make(text, repeats, std::move(label), timing, loop);
    }
    std::unique_ptr<MorsePlayer> make(std::string_view text, std::optional<int> repeats, std::string label,
                                      MorseCode::Timing timing, RunLoop& on) {
        auto player =
            std::make_unique<MorsePlayer>(MorseCode::steps(text, timing, false), timing, repeats, std::move(label),
                                          *this, *controller, on, Logger(sink, "com.zelquin.lidora", "brightness"));
        player->onProgress = [this](std::optional<int> c) { note(c ? std::to_string(*c) : "-"); };
        player->onFinish = [this] { note("finish"); };
        return player;
    }
    // "1200 bright": what happened, at milliseconds since the test began.
    void note(const std::string& what) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(loop.now() - begin).count();
        timeline.push_back(std::to_string(ms) + " " + what);
    }
    bool animating() const { return provider.standardDefaults->boolean(kBrightnessAnimatingKey).value_or(false); }

    // The effects backend: records which end of the wave each curve write is.
    std::optional<BrightnessTable> copyProperty(std::string_view) override { return std::nullopt; }
    bool setProperty(const BrightnessTable& table, std::string_view key) override {
        if (key == kBrightnessCurveKey) {
            note(table == scaled(kCurve, 3.5) ? "bright" : table == scaled(kCurve, 0.27) ? "dark" : "other");
        }
        return !refuses;
    }
    std::optional<float> displayBrightness() override { return std::nullopt; }
    void setDisplayBrightness(float) override {}
    void nudge() override { ++nudges; }

    VirtualRunLoop loop;
    const TimePoint begin = loop.now();
    testing::MemoryDefaultsProvider provider;
    std::shared_ptr<RecordingLogSink> sink = std::make_shared<RecordingLogSink>();
    FakeBackend* live = nullptr;  // the system's tables, as the controller sees them
    std::optional<LogoBrightnessController> controller;
    std::vector<std::string> timeline;
    bool refuses = false;
    int nudges = 0;
};

TEST_F(MorsePlayerTest, MessageSendsOnceWaitsOutThePauseAndGivesTheTablesBack) {
    auto player = make("ee", 1, "Message");  // E, 2 dark, E, 5 dark: 9 units of 0.4 s
    player->start();
    EXPECT_TRUE(controller->isSuspended());
    EXPECT_TRUE(animating());
    loop.advance(3599ms);
    EXPECT_TRUE(player->isRunning());
    loop.advance(1ms);

    EXPECT_THAT(timeline, ElementsAre("0 bright", "0 0", "400 dark", "400 -", "1200 bright", "1200 1", "1600 dark",
                                      "1600 -", "3600 -", "3600 finish"));
    EXPECT_EQ(nudges, 4);
    EXPECT_FALSE(player->isRunning());
    EXPECT_FALSE(controller->isSuspended());
    EXPECT_FALSE(animating());
    EXPECT_EQ(live->tables[std::string(kBrightnessCurveKey)], kCurve);
    EXPECT_EQ(loop.pendingTimers(), 0U);
    EXPECT_THAT(sink->messages(), ElementsAre("Message started (3.600000 s a repeat)", "Message stopped"));
}

TEST_F(MorsePlayerTest, OnAirRepeatsUntilStoppedMidMessage) {
    auto player = make(MorseCode::kOnAirText, std::nullopt, "On Air signal");
    player->start();
    loop.advance(18400ms);
    // The second pass begins bright at the first step, with the first character.
    EXPECT_THAT(std::vector(timeline.end() - 4, timeline.end()),
                ElementsAre("16400 dark", "16400 -", "18400 bright", "18400 0"));
    loop.advance(100s);
    timeline.clear();
    player->stop();
    EXPECT_THAT(timeline, ElementsAre("118400 -"));
    EXPECT_FALSE(player->isBright());
    EXPECT_EQ(loop.pendingTimers(), 0U);
    EXPECT_FALSE(controller->isSuspended());
    EXPECT_THAT(sink->messages(), ElementsAre("On Air signal started (18.400000 s a repeat)", "On Air signal stopped"));

    // Stopping again changes nothing; starting again begins at the first step.
    player->stop();
    EXPECT_EQ(sink->messages().size(), 2U);
    player->start();
    EXPECT_THAT(timeline, ElementsAre("118400 -", "118400 bright", "118400 0"));
}

TEST_F(MorsePlayerTest, LateTimersDelayEachStepWithoutAddingUpAndAStallIsNotCaughtUpInABurst) {
    LateLoop late(loop);
    late.lateness = 3ms;
    auto player = make("et", std::nullopt, "On Air signal", MorseCode::kOnAirTiming, late);  // 1, 2, 3, 5 units
    player->start();
    loop.advance(6000ms);
    // Every step 3 ms late, the second pass too: 4.4 s a pass, not 4.4 s and 3 ms a step.
    EXPECT_THAT(timeline,
                ElementsAre("0 bright", "0 0", "403 dark", "403 -", "1203 bright", "1203 1", "2403 dark", "2403 -",
                            "4403 bright", "4403 0", "4803 dark", "4803 -", "5603 bright", "5603 1"));

    // A stall of a minute ends the pause late; the steps after it follow at
    // their length from there instead of all at once.
    late.lateness = 60s;
    loop.advance(1s);  // the pause, due at 8800, now ends at 68800
    late.lateness = 0ms;
    timeline.clear();
    loop.advance(63500ms);
    EXPECT_THAT(timeline, ElementsAre("68800 bright", "68800 0", "69200 dark", "69200 -", "70000 bright", "70000 1"));
    player->stop();
}

TEST_F(MorsePlayerTest, StartWhileRunningOrWithoutTablesDoesNothing) {
    auto player = make("e", 1, "Message");
    player->start();
    loop.advance(200ms);
    player->start();
    EXPECT_THAT(timeline, ElementsAre("0 bright", "0 0"));
    EXPECT_EQ(sink->messages().size(), 1U);
    player->stop();

    live->tables.clear();
    sink->records.clear();
    auto unreadable = make("e", 1, "Message");
    unreadable->start();
    EXPECT_FALSE(unreadable->isRunning());
    EXPECT_FALSE(controller->isSuspended());
    EXPECT_EQ(loop.pendingTimers(), 0U);
    EXPECT_TRUE(sink->messages().empty());
}

TEST_F(MorsePlayerTest, RefusedWritesKeepTheTiming) {
    refuses = true;
    auto player = make("t", 1, "Message");  // 3 bright, 5 dark
    player->start();
    loop.advance(3200ms);
    EXPECT_THAT(timeline, ElementsAre("0 bright", "0 0", "1200 dark", "1200 -", "3200 -", "3200 finish"));
}

TEST_F(MorsePlayerTest, StepsOfNoTimeAreRefusedRatherThanSpun) {
    for (const double unit : {0.0, -1.0, std::nan("")}) {
        auto player = make("e", std::nullopt, "On Air signal", MorseCode::Timing{unit, 2, 4, 5});
        player->start();
        EXPECT_FALSE(player->isRunning()) << unit;
    }
    MorsePlayer player({{true, 1, 0}, {false, 0, std::nullopt}}, MorseCode::kOnAirTiming, std::nullopt, "On Air signal",
                       *this, *controller, loop, {});
    player.start();
    EXPECT_FALSE(player.isRunning());
    EXPECT_EQ(loop.pendingTimers(), 0U);
    EXPECT_FALSE(controller->isSuspended());
}

TEST_F(MorsePlayerTest, ReleasedWhileRunningOrFromItsOwnFinishLeavesNothingBehind) {
    auto player = make("ee", std::nullopt, "On Air signal");
    player->start();
    loop.advance(500ms);
    timeline.clear();
    player.reset();
    EXPECT_TRUE(timeline.empty());
    EXPECT_FALSE(controller->isSuspended());
    EXPECT_FALSE(animating());
    EXPECT_EQ(loop.pendingTimers(), 0U);

    // The owner throws the message player away when it finishes.
    auto message = make("e", 1, "Message");
    message->onFinish = [&] { message.reset(); };
    message->start();
    loop.advance(10s);
    EXPECT_EQ(message, nullptr);
    EXPECT_FALSE(controller->isSuspended());
}

}  // namespace
}  // namespace lidora
