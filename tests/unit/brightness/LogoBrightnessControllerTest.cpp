#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "core/brightness/LogoBrightnessController.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/brightness/BrightnessFakes.h"

namespace lidora {
namespace {

using ::testing::ElementsAre;
using testing::FakeBackend;
using testing::MemoryDefaultsProvider;

constexpr double kSixty = 0.8694216207171603;

TEST(LogoBrightnessScaleTest, LevelsFactorsPresetsAndTexts) {
    EXPECT_NEAR(factorForLevel(kSixty), 0.6, 1e-12);
    EXPECT_NEAR(levelForFactor(0.3), 0.6922378005816023, 1e-12);
    for (const auto& [level, factor] : {std::pair{1.3, 1.0}, std::pair{-0.2, 0.02}, std::pair{std::nan(""), 0.02}}) {
        EXPECT_EQ(factorForLevel(level), factor) << level;
    }
    for (const auto& [level, text] : std::vector<std::pair<double, std::string>>{
             {kSixty, "60%"}, {0.998, "100%"}, {0.003, "Dim"}, {0.5, "14%"}, {0.1, "3%"}, {0.05, "Dim"}}) {
        EXPECT_EQ(levelText(level), text) << level;
    }
    // Stepping from a preset, or from between two, moves to the next one.
    for (const auto& [level, brighter, dimmer] :
         std::vector<std::tuple<double, double, double>>{{0.0, 0.3, 0.02},
                                                         {levelForFactor(0.3), 0.6, 0.02},
                                                         {0.75, 0.6, 0.3},
                                                         {kSixty, 1.0, 0.3},
                                                         {1.0, 1.0, 0.6}}) {
        EXPECT_EQ(brighterPresetFactor(level), brighter) << level;
        EXPECT_EQ(dimmerPresetFactor(level), dimmer) << level;
    }
}

class LogoBrightnessControllerTest : public ::testing::Test {
protected:
    LogoBrightnessControllerTest() {
        backend.tables = {{std::string(kBrightnessCurveKey), kCurve}, {std::string(kBrightnessFloorKey), kFloor}};
    }
    LogoBrightnessController& make() {
        auto owned = std::make_unique<FakeBackend>();
        owned->tables = backend.tables;
        owned->refused = backend.refused;
        live = owned.get();
        controller.emplace(std::move(owned), provider, Logger(sink, "com.zelquin.lidora", "brightness"));
        return *controller;
    }
    void setLevel(double level) { (void)provider.suiteDefaults->set(kLogoBrightnessLevelKey, level); }
    [[nodiscard]] std::optional<BrightnessTable> stored(std::string_view key) const {
        return curve(provider.standardDefaults->object(key));
    }

    const BrightnessTable kCurve{{0, 10}, {1, 500}};
    const BrightnessTable kFloor{{0, 1}, {100, 50}};
    MemoryDefaultsProvider provider;
    FakeBackend backend;  // the system's tables before the controller exists
    FakeBackend* live = nullptr;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    std::optional<LogoBrightnessController> controller;
};

TEST_F(LogoBrightnessControllerTest, ApplyCapturesOriginalsScalesAndSkipsWhenAlreadyRight) {
    setLevel(kSixty);
    auto& c = make();
    ASSERT_TRUE(c.apply(false));
    EXPECT_EQ(stored(kOriginalCurveKey), kCurve);
    EXPECT_EQ(stored(kOriginalFloorKey), kFloor);
    EXPECT_TRUE(approximatelyEqual(live->tables[std::string(kBrightnessCurveKey)], scaled(kCurve, 0.6)));
    EXPECT_TRUE(approximatelyEqual(live->tables[std::string(kBrightnessFloorKey)], scaled(kFloor, 0.6)));
    EXPECT_EQ(stored(kAppliedCurveKey), live->tables[std::string(kBrightnessCurveKey)]);
    EXPECT_EQ(live->nudges, 1);
    EXPECT_THAT(sink->messages(), ElementsAre("Logo brightness level 0.869422 (factor 0.600000) applied"));

    // Nothing changed: one read, no write, no log; the originals stay.
    const int readsBefore = live->reads;
    EXPECT_TRUE(c.apply(false));
    EXPECT_EQ(live->reads - readsBefore, 1);
    EXPECT_EQ(live->writes, 2);
    EXPECT_EQ(sink->messages().size(), 1U);
    EXPECT_EQ(stored(kOriginalCurveKey), kCurve);
}

TEST_F(LogoBrightnessControllerTest, TablesReplacedBySystemBecomeNewOriginals) {
    setLevel(0.5);
    auto& c = make();
    ASSERT_TRUE(c.apply(false));
    const BrightnessTable fresh{{0, 20}, {1, 800}};
    live->tables[std::string(kBrightnessCurveKey)] = fresh;
    const auto tables = c.prepareTables();
    ASSERT_TRUE(tables);
    EXPECT_EQ(tables->curve, fresh);
    EXPECT_EQ(stored(kOriginalCurveKey), fresh);
    EXPECT_EQ(stored(kAppliedCurveKey), std::nullopt);
}

TEST_F(LogoBrightnessControllerTest, AnimatingFlagWithoutSuspensionRecoversSavedOriginals) {
    setLevel(0.5);
    make().apply(false);
    // The app died mid-effect: the live curve is some frame.
    live->tables[std::string(kBrightnessCurveKey)] = {{0, 3}, {1, 7}};
    (void)provider.standardDefaults->set(kBrightnessAnimatingKey, true);

    controller->setSuspended(true);
    EXPECT_TRUE(controller->apply(true));
    EXPECT_EQ(live->tables[std::string(kBrightnessCurveKey)], (BrightnessTable{{0, 3}, {1, 7}}));

    controller->setSuspended(false);
    EXPECT_EQ(controller->prepareTables(), (BrightnessTables{kCurve, kFloor}));
    EXPECT_EQ(provider.standardDefaults->object(kBrightnessAnimatingKey), std::nullopt);
    EXPECT_EQ(stored(kAppliedCurveKey), std::nullopt);
}

TEST_F(LogoBrightnessControllerTest, UnreadableOrRefusedTablesFailWithTheirLogLines) {
    backend.tables.erase(std::string(kBrightnessFloorKey));
    EXPECT_FALSE(make().apply(true));
    EXPECT_THAT(sink->messages(), ElementsAre("Logo brightness tables not available"));
    EXPECT_EQ(live->writes, 0);

    backend.tables[std::string(kBrightnessFloorKey)] = kFloor;
    backend.refused = {std::string(kBrightnessCurveKey)};
    sink->records.clear();
    EXPECT_FALSE(make().apply(true));
    EXPECT_THAT(sink->messages(), ElementsAre("Logo brightness write refused"));
    EXPECT_EQ(live->nudges, 0);
}

TEST_F(LogoBrightnessControllerTest, RefusedFloorKeepsTheWrittenCurveFromBecomingAnOriginal) {
    setLevel(0.0);
    backend.refused = {std::string(kBrightnessFloorKey)};
    auto& c = make();
    EXPECT_FALSE(c.apply(false));
    EXPECT_EQ(live->nudges, 0);
    live->refused.clear();
    EXPECT_TRUE(c.apply(true));
    EXPECT_EQ(stored(kOriginalCurveKey), kCurve);
    EXPECT_TRUE(approximatelyEqual(live->tables[std::string(kBrightnessCurveKey)], scaled(kCurve, 0.02)));
}

TEST_F(LogoBrightnessControllerTest, ResetForgetsEverythingAndLevelOneLeavesTheSystemTablesAlone) {
    setLevel(0.5);
    auto& c = make();
    c.apply(false);
    c.setSuspended(true);
    c.reset();
    EXPECT_FALSE(c.isSuspended());
    EXPECT_EQ(LogoBrightnessController::storedLevel(*provider.suiteDefaults), 1.0);
    EXPECT_TRUE(provider.standardDefaults->values.empty());

    const BrightnessTable systemDefault{{0, 30}, {1, 600}};
    live->tables[std::string(kBrightnessCurveKey)] = systemDefault;
    EXPECT_TRUE(c.apply(true));
    EXPECT_EQ(live->tables[std::string(kBrightnessCurveKey)], systemDefault);
    EXPECT_EQ(stored(kAppliedCurveKey), std::nullopt);
}

TEST_F(LogoBrightnessControllerTest, LevelStorageAndMigration) {
    provider.suiteOpens = false;
    make();
    EXPECT_EQ(&controller->levelStore(), provider.standardDefaults.get());

    auto& store = *provider.suiteDefaults;
    for (const PreferenceValue& odd : {PreferenceValue("0.3"), PreferenceValue(std::nan(""))}) {
        (void)store.set(kLogoBrightnessLevelKey, odd);
        EXPECT_EQ(LogoBrightnessController::storedLevel(store), 1.0);
    }
    (void)store.remove(kLogoBrightnessLevelKey);
    auto& old = *provider.standardDefaults;
    (void)old.set(kLogoBrightnessLevelKey, 0.25);
    LogoBrightnessController::migrateLevel(old, store);
    EXPECT_EQ(LogoBrightnessController::storedLevel(store), 0.25);
    (void)old.set(kLogoBrightnessLevelKey, 0.75);
    LogoBrightnessController::migrateLevel(old, store);
    EXPECT_EQ(LogoBrightnessController::storedLevel(store), 0.25) << "a migrated level is never overwritten";
}

}  // namespace
}  // namespace lidora
