#include <gtest/gtest.h>

#include "platform/corebrightness/LogoPropertyService.h"
#include "platform/corebrightness/LogoTables.h"
#include "platform/prefs/PreferenceJson.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

class LogoPropertyServiceTest : public ::testing::Test {
protected:
    PreferenceDomain domain() const {
        return *PreferenceDomain::open(PreferencesDirectory(root.path()), std::string(kCoreBrightnessDomain));
    }

    testing::TempDir root;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    LogoPropertyService service{domain(), Logger(sink, "com.apple.CoreBrightness", "logo")};
};

TEST_F(LogoPropertyServiceTest, FactoryTablesFillOnlyWhatIsMissing) {
    ASSERT_TRUE(domain().set(kBrightnessCurveKey, preferenceValue({{0.0, 7.0}})));
    ASSERT_TRUE(service.installFactoryTables());
    EXPECT_EQ(curve(domain().get(kBrightnessCurveKey)), (BrightnessTable{{0.0, 7.0}}));
    EXPECT_EQ(curve(domain().get(kBrightnessFloorKey)), factoryLogoTables().floor);
}

TEST_F(LogoPropertyServiceTest, ServesTheTwoTablesAndRefusesEverythingElse) {
    ASSERT_TRUE(service.installFactoryTables());
    ASSERT_TRUE(domain().set(kBacklightModeKey, 0));
    const auto factoryCurve = *encodePreferenceValueJson(preferenceValue(factoryLogoTables().curve));

    struct Case {
        std::string request;
        std::string reply;
    };
    for (const auto& [request, reply] : std::vector<Case>{
             {"copy LEPWMBrightnessNitsMapping", factoryCurve},
             {"copy LEBacklightMode", "null"},    // not a client's business
             {"set LEBacklightMode 1", "false"},  // nor is switching the light
             {"set LEPWMBrightnessNitsMapping [[0,1],[1]]", "false"},
             {"set LEPWMBrightnessNitsMapping not json", "false"},
             {"set LEPWMBrightnessNitsMapping [[0,1],[1,2]]", "true"},
             {"copy LEPWMBrightnessNitsMapping", "[[0.0,1.0],[1.0,2.0]]"},
             {"nonsense", "null"},
         }) {
        EXPECT_EQ(service.handle(request), reply) << request;
    }
    EXPECT_EQ(domain().get(kBacklightModeKey), PreferenceValue(0));
}

}  // namespace
}  // namespace lidora::vmac
