#include <gtest/gtest.h>

#include "core/runtime/VirtualRunLoop.h"
#include "tests/unit/brightness/BrightnessFakes.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

using testing::FakeDisplay;

class FakeClient final : public BrightnessSystemClient {
public:
    bool respondsToSelector(std::string_view selector) const override { return selector != missing; }
    std::optional<PreferenceValue> copyPropertyForKey(std::string_view key) override {
        const auto found = properties.find(key);
        return found == properties.end() ? std::nullopt : std::optional(found->second);
    }
    bool setPropertyForKey(const PreferenceValue& value, std::string_view key) override {
        properties.insert_or_assign(std::string(key), value);
        return accepts;
    }
    std::map<std::string, PreferenceValue, std::less<>> properties;
    std::string missing;
    bool accepts = true;
};

class CoreBrightnessBackendTest : public ::testing::Test {
protected:
    CoreBrightnessBackend& make(bool withDisplayServices = true) {
        CoreBrightnessFrameworks found{client, nullptr, nullptr};
        if (withDisplayServices) {
            found.getBrightness = display;
            found.setBrightness = display;
        }
        backend.emplace(found, display, loop);
        return *backend;
    }
    [[nodiscard]] std::vector<float> written() const {
        std::vector<float> out;
        for (const auto& [id, value] : display->writes) {
            EXPECT_EQ(id, 1U);
            out.push_back(value);
        }
        return out;
    }

    VirtualRunLoop loop;
    std::shared_ptr<FakeClient> client = std::make_shared<FakeClient>();
    std::shared_ptr<FakeDisplay> display = std::make_shared<FakeDisplay>();
    std::optional<CoreBrightnessBackend> backend;
};

TEST_F(CoreBrightnessBackendTest, TablesGoThroughTheClientAndMalformedOrUnreachableOnesAreAbsent) {
    auto& b = make();
    const BrightnessTable table{{0, 10}, {1, 400}};
    EXPECT_TRUE(b.setProperty(table, kBrightnessCurveKey));
    EXPECT_EQ(b.copyProperty(kBrightnessCurveKey), table);
    client->properties[std::string(kBrightnessFloorKey)] = PreferenceArray{PreferenceArray{1}};
    EXPECT_EQ(b.copyProperty(kBrightnessFloorKey), std::nullopt);
    client->accepts = false;
    EXPECT_FALSE(b.setProperty(table, kBrightnessCurveKey));
    client->missing = std::string(kCopyPropertySelector);
    EXPECT_EQ(b.copyProperty(kBrightnessCurveKey), std::nullopt);
    client.reset();
    EXPECT_EQ(make().copyProperty(kBrightnessCurveKey), std::nullopt);
    EXPECT_FALSE(b.setProperty(table, kBrightnessCurveKey));
}

TEST_F(CoreBrightnessBackendTest, DisplayBrightnessIsReadAndClampedOnTheBuiltInDisplay) {
    auto& b = make();
    EXPECT_EQ(b.displayBrightness(), 0.8F);
    b.setDisplayBrightness(1.7F);
    b.setDisplayBrightness(-0.3F);
    EXPECT_EQ(written(), (std::vector<float>{1.0F, 0.0F}));
    display->readError = -1;
    EXPECT_EQ(b.displayBrightness(), std::nullopt);
}

TEST_F(CoreBrightnessBackendTest, AnUnreachableDisplayIsNeitherReadNorWrittenNorNudged) {
    display->readError = 1;
    make().nudge();
    make(false).nudge();
    display->readError = 0;
    display->builtIn = 99;
    for (const std::int32_t listError : {0, 1001}) {
        display->listError = listError;
        auto& b = make();
        EXPECT_EQ(b.displayBrightness(), std::nullopt);
        b.nudge();
        b.setDisplayBrightness(0.5F);
    }
    EXPECT_TRUE(display->writes.empty());
    EXPECT_EQ(loop.pendingTimers(), 0U);
}

TEST_F(CoreBrightnessBackendTest, NudgeBurstLeavesOneRestoreToTheValueBeforeTheFirstNudge) {
    auto& b = make();
    b.nudge();
    loop.advance(100ms);
    b.nudge();
    EXPECT_EQ(written(), (std::vector<float>{0.8F - kNudgeStep, 0.8F - kNudgeStep}));
    EXPECT_EQ(loop.pendingTimers(), 1U);
    loop.advance(149ms);
    EXPECT_EQ(display->writes.size(), 2U);
    loop.advance(1ms);
    EXPECT_EQ(written(), (std::vector<float>{0.8F - kNudgeStep, 0.8F - kNudgeStep, 0.8F}));
    EXPECT_FALSE(b.isRestorePending());
    // The next nudge reads the display afresh.
    display->brightness = 0.3F;
    b.nudge();
    EXPECT_EQ(display->writes.back().second, 0.3F + kNudgeStep);
}

TEST_F(CoreBrightnessBackendTest, NudgeStepsTowardsTheMiddle) {
    for (const auto& [start, nudged] : {std::pair{0.5F, 0.504F}, std::pair{0.5001F, 0.4961F}}) {
        display->brightness = start;
        make().nudge();
        EXPECT_FLOAT_EQ(display->writes.back().second, nudged) << start;
        loop.advance(150ms);
        EXPECT_EQ(display->writes.back().second, start);
    }
}

// The backend goes when the app quits, and the loop with it: the display
// goes back at once rather than on a timer that would never fire.
TEST_F(CoreBrightnessBackendTest, ANudgedDisplayGoesBackWhenTheBackendGoes) {
    make().nudge();
    backend.reset();
    EXPECT_EQ(written(), (std::vector<float>{0.8F - kNudgeStep, 0.8F}));
    EXPECT_EQ(loop.pendingTimers(), 0U);
    loop.advance(150ms);
    EXPECT_EQ(display->writes.size(), 2U);
}

}  // namespace
}  // namespace lidora
