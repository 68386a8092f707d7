// The real app, headless, on a temporary virtual Mac, driven through vmac.
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kHelperLabel = "com.zelquin.lidora.helper";

class AppLaunchTest : public ::testing::Test {
protected:
    void SetUp() override {
        mac.boot();
        const auto installed = mac.vmac({"install", LIDORA_BUNDLE});
        ASSERT_EQ(installed.status, 0) << installed.err;
        const auto opened = mac.vmac({"open", "Lidora"});
        ASSERT_EQ(opened.status, 0) << opened.err;
        std::smatch match;
        ASSERT_TRUE(std::regex_search(opened.out, match, std::regex("([0-9]+)"))) << opened.out;
        pid = std::stoi(match[1]);
    }

    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            VirtualMac::waitFor([&] { return ::kill(pid, 0) != 0; }, 5000ms);
        }
    }

    bool logShows(const std::string& text, std::chrono::milliseconds limit = 15000ms) const {
        return VirtualMac::waitFor(
            [&] {
                return mac.vmac({"log", "show"}).out.find(text) != std::string::npos;
            },
            limit);
    }

    double nits() const {
        const auto logo = mac.vmac({"logo", "--nits"});
        return logo.status == 0 ? std::stod(logo.out) : -1;
    }

    VirtualMac mac{TEST_BIN_DIR};
    int pid = 0;
};

TEST_F(AppLaunchTest, RegistersWaitsForApprovalThenFollowsTheLight) {
    ASSERT_TRUE(logShows("Phase loading -> needsApproval"));
    const auto approved = mac.vmac({"approve", kHelperLabel});
    ASSERT_EQ(approved.status, 0) << approved.err;
    ASSERT_TRUE(logShows("Phase needsApproval -> ready(on)"));

    ASSERT_EQ(mac.vmac({"defaults", "write", "com.apple.CoreBrightness", "LEBacklightMode", "-int", "0"}).status, 0);
    ASSERT_EQ(mac.vmac({"notify", "post", "com.zelquin.lidora.changed"}).status, 0);
    EXPECT_TRUE(logShows("Phase ready(on) -> ready(off)"));
    EXPECT_EQ(::kill(pid, 0), 0) << "the app must keep running";
}

TEST_F(AppLaunchTest, ClassicLogoKeyRevealsAndTogglesIt) {
    ASSERT_TRUE(logShows("Phase loading"));
    ASSERT_TRUE(VirtualMac::waitFor([&] { return mac.vmac({"key", "shift+cmd+7"}).status == 0; }, 10000ms));
    // The press reaches the app's run loop after vmac returns, so the keys are awaited.
    auto reads = [&](const char* key, const char* value) {
        return VirtualMac::waitFor(
            [&] {
                return mac.vmac({"defaults", "read", "com.zelquin.lidora", key}).out == value;
            },
            5000ms);
    };
    EXPECT_TRUE(reads("classicLogoUnlocked", "1\n"));
    EXPECT_TRUE(reads("classicLogoEnabled", "1\n"));
    ASSERT_EQ(mac.vmac({"key", "⇧⌘7"}).status, 0);
    EXPECT_TRUE(reads("classicLogoEnabled", "0\n"));
    EXPECT_EQ(mac.vmac({"key", "shift+cmd+9"}).status, 1);
}

TEST_F(AppLaunchTest, AnnouncedLevelChangesTheLogo) {
    ASSERT_TRUE(VirtualMac::waitFor([&] { return nits() > 0; }, 10000ms));
    const double full = nits();
    ASSERT_EQ(
        mac.vmac({"defaults", "write", "K7QX4N2M9T.com.zelquin.lidora", "logoBrightnessLevel", "-float", "0.3"}).status,
        0);
    ASSERT_EQ(mac.vmac({"notify", "post", "com.zelquin.lidora.brightness-changed"}).status, 0);
    EXPECT_TRUE(VirtualMac::waitFor([&] { return nits() > 0 && nits() < full * 0.5; }, 10000ms))
        << "before " << full << ", now " << nits();
    EXPECT_TRUE(logShows("Logo brightness level 0.3")) << mac.vmac({"log", "show"}).out;
}

TEST_F(AppLaunchTest, PublishedUpdateWaitsInTheMenuOfABackgroundApp) {
    ASSERT_TRUE(logShows("Phase loading"));
    ASSERT_EQ(mac.vmac({"publish-update", "1.0.4"}).status, 0);
    EXPECT_TRUE(logShows("Update 1.0.4 offered in the menu")) << mac.vmac({"log", "show"}).out;
}

}  // namespace
}  // namespace lidora::testing
