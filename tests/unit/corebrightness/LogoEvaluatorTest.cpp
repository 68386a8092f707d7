#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/corebrightness/LogoEvaluator.h"
#include "platform/corebrightness/LogoTables.h"
#include "platform/displays/DisplayRecords.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

class LogoEvaluatorTest : public ::testing::Test {
protected:
    PreferenceDomain domain() const {
        return *PreferenceDomain::open(PreferencesDirectory(root.path() / "prefs"), std::string(kCoreBrightnessDomain));
    }
    void change(const std::function<void(DisplayRecords&)>& apply) {
        ASSERT_TRUE(displaysRecord(paths).update([&](DisplayRecords& records) {
            apply(records);
            return true;
        }));
    }
    [[nodiscard]] std::size_t evaluations() const {
        const auto messages = sink->messages();
        return std::count_if(messages.begin(), messages.end(), [](const auto& m) { return m.rfind("Logo ", 0) == 0; });
    }
    // inotify is the one thing here that takes real time. The test's own watch on the record, made after the
    // evaluator's, is called after it for the same change: once it fired, the evaluator has seen the change too.
    void watchAfterEvaluator() {
        auto watch = FileChangeWatch::create(loop, displaysRecordFile(paths), [this] {
            seen = true;
            loop.stop();
        });
        ASSERT_TRUE(watch) << watch.error();
        seenWatch = std::move(watch).value();
    }
    bool runUntilSeen() {
        seen = false;
        loop.runUntil(loop.now() + std::chrono::seconds(5));
        return seen;
    }
    [[nodiscard]] LogoState published() const { return **logoStateRecord(paths).read(); }

    testing::TempDir root;
    VmacPaths paths{root.path()};
    std::unique_ptr<FileChangeWatch> seenWatch;
    bool seen = false;
    PollRunLoop loop;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    LogoEvaluator evaluator{paths, domain(), Logger(sink, "com.apple.CoreBrightness", "logo"), [] { return 1234; }};
};

TEST_F(LogoEvaluatorTest, NewTablesShowOnlyWhenTheDisplayBrightnessChanges) {
    ASSERT_TRUE(domain().set(kBrightnessCurveKey, preferenceValue({{0.0, 0.0}, {1.0, 100.0}})));
    ASSERT_TRUE(evaluator.start(loop));
    EXPECT_DOUBLE_EQ(published().nits, 50.0);
    EXPECT_EQ(published().evaluatedAtMs, 1234);

    watchAfterEvaluator();

    // Neither new tables nor the room count on their own...
    ASSERT_TRUE(domain().set(kBrightnessCurveKey, preferenceValue({{0.0, 0.0}, {1.0, 200.0}})));
    change([](DisplayRecords& records) { records.ambientLux = 1000.0; });
    ASSERT_TRUE(runUntilSeen());
    change([](DisplayRecords& records) { records.displays.push_back({2, false, 0.1}); });
    ASSERT_TRUE(runUntilSeen());
    EXPECT_EQ(evaluations(), 1U);
    EXPECT_DOUBLE_EQ(published().nits, 50.0);
    // ...until the built-in display moves.
    change([](DisplayRecords& records) { records.displays.front().brightness = 0.75; });
    ASSERT_TRUE(runUntilSeen());
    EXPECT_EQ(evaluations(), 2U);
    const auto logo = published();
    EXPECT_DOUBLE_EQ(logo.nits, 150.0);
    EXPECT_EQ(logo.ambientLux, 1000.0);
    EXPECT_EQ(logo.tables.curve, (BrightnessTable{{0.0, 0.0}, {1.0, 200.0}}));
    EXPECT_EQ(logo.reason, "display brightness changed");
}

TEST_F(LogoEvaluatorTest, TheLightSettingShowsAtOnceWithTheTablesOfThatMoment) {
    ASSERT_TRUE(domain().set(kBrightnessCurveKey, preferenceValue({{0.0, 0.0}, {1.0, 100.0}})));
    ASSERT_TRUE(evaluator.start(loop));
    // The test's own watch on the domain, made after the evaluator's, fires after it.
    auto watch = FileChangeWatch::create(loop, domain().file(), [this] {
        seen = true;
        loop.stop();
    });
    ASSERT_TRUE(watch) << watch.error();

    ASSERT_TRUE(domain().set(kBrightnessCurveKey, preferenceValue({{0.0, 0.0}, {1.0, 200.0}})));
    ASSERT_TRUE(runUntilSeen());
    EXPECT_EQ(evaluations(), 1U) << "tables wait for a nudge";
    for (const bool on : {false, true}) {
        ASSERT_TRUE(on ? bool(domain().remove(kBacklightModeKey)) : bool(domain().set(kBacklightModeKey, 0)));
        ASSERT_TRUE(runUntilSeen());
        EXPECT_EQ(published().lit, on);
        EXPECT_EQ(published().reason, "light setting changed");
    }
    EXPECT_EQ(evaluations(), 3U);
    EXPECT_DOUBLE_EQ(published().nits, 100.0);
}

TEST_F(LogoEvaluatorTest, BrokenTablesFallBackToTheFactoryOnesAndSaySo) {
    ASSERT_TRUE(domain().set(kBrightnessFloorKey, "not a table"));
    ASSERT_TRUE(evaluator.start(loop));
    EXPECT_EQ(published().tables, factoryLogoTables());
    EXPECT_THAT(sink->messages().front(), HasSubstr("Ignoring LEPWMLuxToMinNitsRestrictionMapping"));

    // Without a built-in display the curve is read at 0, and the floor holds.
    watchAfterEvaluator();
    change([](DisplayRecords& records) { records.displays = {{3, false, 0.9}}; });
    ASSERT_TRUE(runUntilSeen());
    EXPECT_EQ(evaluations(), 2U);
    EXPECT_DOUBLE_EQ(published().nits, 15.0);
}

}  // namespace
}  // namespace lidora::vmac
