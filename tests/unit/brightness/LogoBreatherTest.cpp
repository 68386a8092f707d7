#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "core/effects/LogoBreather.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/brightness/BrightnessFakes.h"

namespace lidora {
namespace {

using ::testing::ElementsAre;
using testing::FakeBackend;

TEST(BreathingWave, RisesFallsAndRestsEveryEightSeconds) {
    const struct {
        double seconds;
        double factor;
    } points[] = {{0.0, 0.27}, {3.0, 3.5},  {4.35, 0.9721111}, {5.7, 0.27},
                  {7.9, 0.27}, {8.0, 0.27}, {11.0, 3.5},       {-5.0, 3.5}};
    for (const auto& point : points) {
        EXPECT_NEAR(breathingFactor(point.seconds), point.factor, 1e-6) << point.seconds << " s";
    }
}

class LogoBreatherTest : public ::testing::Test {
protected:
    LogoBreatherTest() {
        auto owned = std::make_unique<FakeBackend>();
        owned->tables = {{std::string(kBrightnessCurveKey), kCurve}, {std::string(kBrightnessFloorKey), kFloor}};
        owned->display = 1.0F;
        backend = owned.get();
        (void)provider.suiteDefaults->set(kLogoBrightnessLevelKey, 0.5);
        controller.emplace(std::move(owned), provider, Logger(sink, "com.zelquin.lidora", "brightness"));
        breather.emplace(*controller, loop, Logger(sink, "com.zelquin.lidora", "brightness"));
    }
    [[nodiscard]] BrightnessTable table(std::string_view key) const { return backend->tables.at(std::string(key)); }
    [[nodiscard]] bool animating() const {
        return provider.standardDefaults->boolean(kBrightnessAnimatingKey).value_or(false);
    }

    const BrightnessTable kCurve{{0, 10}, {1, 400}};
    const BrightnessTable kFloor{{0, 2}, {100, 40}};
    VirtualRunLoop loop;
    testing::MemoryDefaultsProvider provider;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    FakeBackend* backend = nullptr;
    std::optional<LogoBrightnessController> controller;
    std::optional<LogoBreather> breather;
};

TEST_F(LogoBreatherTest, FramesFollowTheWaveAndWiggleTheDisplay) {
    breather->start();
    EXPECT_TRUE(controller->isSuspended());
    EXPECT_TRUE(animating());
    EXPECT_EQ(table(kBrightnessCurveKey), scaled(kCurve, 0.27)) << "the first frame is written at once";
    EXPECT_EQ(table(kBrightnessFloorKey), scaled(kFloor, 0.27));

    loop.advance(45 * LogoBreather::kFrameInterval);
    EXPECT_EQ(breather->frame(), 46);
    EXPECT_TRUE(approximatelyEqual(table(kBrightnessCurveKey), BrightnessTable{{0, 35}, {1, 1000}}))
        << "capped at the peak";
    EXPECT_EQ(table(kBrightnessFloorKey), kFloor) << "the floor never rises above its original";
    // A display at full brightness is wiggled down, starting unchanged.
    EXPECT_THAT(std::vector(backend->displayWrites.begin(), backend->displayWrites.begin() + 4),
                ElementsAre(1.0F, 0.997F, 1.0F, 0.997F));

    // The user dims the display: the wave follows, and stop leaves it there.
    backend->display = 0.6F;
    loop.advance(LogoBreather::kFrameInterval);
    EXPECT_THAT(backend->displayWrites.back(), ::testing::AnyOf(::testing::FloatEq(0.6F), ::testing::FloatEq(0.603F)));
    breather->stop();
    EXPECT_EQ(backend->display, 0.6F);
    EXPECT_FALSE(controller->isSuspended());
    EXPECT_FALSE(animating());
    EXPECT_EQ(table(kBrightnessCurveKey), scaled(kCurve, factorForLevel(0.5))) << "the stored level is back";
    EXPECT_THAT(sink->messages(), ::testing::Contains("Breathing stopped"));

    const int frames = breather->frame();
    loop.advance(std::chrono::seconds(1));
    EXPECT_EQ(breather->frame(), frames) << "no frame after stop";
}

TEST_F(LogoBreatherTest, StopRightAfterStartGivesEverythingBack) {
    backend->display = 0.5F;
    breather->start();
    breather->start();  // already running: nothing more
    breather->stop();
    EXPECT_THAT(backend->displayWrites, ElementsAre(0.5F, 0.5F));
    EXPECT_THAT(sink->messages(),
                ElementsAre("Breathing started", "Logo brightness level 0.500000 (factor 0.141421) applied",
                            "Breathing stopped"));
    breather->stop();  // stopped already: nothing more
    EXPECT_EQ(sink->messages().size(), 3U);
}

TEST_F(LogoBreatherTest, WithoutTablesNothingStartsAndAnUnreadableDisplayIsNotWiggled) {
    backend->tables.clear();
    breather->start();
    EXPECT_FALSE(breather->isRunning());
    EXPECT_TRUE(sink->messages().empty());

    backend->tables = {{std::string(kBrightnessCurveKey), kCurve}, {std::string(kBrightnessFloorKey), kFloor}};
    backend->display = std::nanf("");
    breather->start();
    loop.advance(std::chrono::seconds(1));
    EXPECT_TRUE(backend->displayWrites.empty());
    EXPECT_GT(backend->writes, 20) << "the tables are still written every frame";
    breather->stop();
}

}  // namespace
}  // namespace lidora
