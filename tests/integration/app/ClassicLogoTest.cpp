// The classic logo of the real app on a temporary virtual Mac, read back
// through the window server: vmac windows and vmac screen.
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <regex>
#include <sstream>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;

class ClassicLogoTest : public ::testing::Test {
protected:
    void SetUp() override {
        mac.boot();
        ASSERT_EQ(mac.vmac({"install", LIDORA_BUNDLE}).status, 0);
        const auto opened = mac.vmac({"open", "Lidora"});
        ASSERT_EQ(opened.status, 0) << opened.err;
        std::smatch match;
        ASSERT_TRUE(std::regex_search(opened.out, match, std::regex("([0-9]+)"))) << opened.out;
        pid = std::stoi(match[1]);
        ASSERT_TRUE(VirtualMac::waitFor(
            [&] {
                return mac.vmac({"approve", "com.zelquin.lidora.helper"}).status == 0;
            },
            10000ms));
        ASSERT_TRUE(logShows("Phase needsApproval -> ready(on)"));
    }

    void TearDown() override {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            VirtualMac::waitFor([&] { return ::kill(pid, 0) != 0; }, 5000ms);
        }
    }

    bool logShows(const std::string& text) const {
        return VirtualMac::waitFor(
            [&] {
                return mac.vmac({"log", "show"}).out.find(text) != std::string::npos;
            },
            15000ms);
    }

    // "X Y W H" of each of Lidora's windows on screen.
    std::vector<std::string> onScreen() const {
        std::vector<std::string> found;
        std::istringstream lines(mac.vmac({"windows"}).out);
        std::string line;
        const std::regex row(R"(^Lidora\s+\d+\s+26\s+(\S+ \S+ \S+ \S+)\s+on\b)");
        while (std::getline(lines, line)) {
            std::smatch match;
            if (std::regex_search(line, match, row)) {
                found.push_back(match[1]);
            }
        }
        return found;
    }

    bool becomes(const std::vector<std::string>& wanted) const {
        return VirtualMac::waitFor([&] { return onScreen() == wanted; }, 10000ms);
    }

    // How many pixels of the top-left logo area have the six colours' hues.
    int rainbowPixels() const {
        const auto file = mac.root() / "top.png";
        if (mac.vmac({"screen", "--png", file.string()}).status != 0) {
            return -1;
        }
        const QImage image(QString::fromStdString(file.string()));
        int colourful = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < 110 && x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                colourful += pixel.saturationF() > 0.5 && pixel.valueF() > 0.5 ? 1 : 0;
            }
        }
        return colourful;
    }

    VirtualMac mac{TEST_BIN_DIR};
    int pid = 0;
};

TEST_F(ClassicLogoTest, ShownOverTheMenuBarFollowingTheLightAndTheMode) {
    EXPECT_EQ(rainbowPixels(), 0);
    ASSERT_EQ(mac.vmac({"key", "shift+cmd+7"}).status, 0);
    ASSERT_TRUE(becomes({"0 0 54.3 37"}));
    EXPECT_GT(rainbowPixels(), 100);

    // With the light off, the with-light mode hides it; always keeps it.
    ASSERT_EQ(mac.vmac({"defaults", "write", "com.apple.CoreBrightness", "LEBacklightMode", "-int", "0"}).status, 0);
    ASSERT_EQ(mac.vmac({"notify", "post", "com.zelquin.lidora.changed"}).status, 0);
    EXPECT_TRUE(becomes({}));
    EXPECT_EQ(rainbowPixels(), 0);
    ASSERT_EQ(mac.vmac({"defaults", "write", "com.zelquin.lidora", "classicLogoShowMode", "always"}).status, 0);
    EXPECT_TRUE(becomes({"0 0 54.3 37"}));
}

TEST_F(ClassicLogoTest, FullScreenHidesTheDesktopLogoAndThePointerRevealsIt) {
    ASSERT_EQ(mac.vmac({"key", "shift+cmd+7"}).status, 0);
    ASSERT_TRUE(becomes({"0 0 54.3 37"}));
    ASSERT_EQ(mac.vmac({"space", "fullscreen", "Safari"}).status, 0);
    EXPECT_TRUE(becomes({}));
    ASSERT_TRUE(logShows("Display 1: fullScreen(onScreen)"));

    ASSERT_EQ(mac.vmac({"pointer", "300", "0"}).status, 0);
    EXPECT_TRUE(becomes({"0 0 54.3 37"})) << "the reveal panel";
    EXPECT_TRUE(logShows("Display 1: full-screen logo shown"));
    ASSERT_EQ(mac.vmac({"pointer", "300", "500"}).status, 0);
    EXPECT_TRUE(becomes({}));

    ASSERT_EQ(mac.vmac({"space", "exit-fullscreen"}).status, 0);
    EXPECT_TRUE(becomes({"0 0 54.3 37"}));
}

TEST_F(ClassicLogoTest, ASecondDisplayGetsItsOwnPanels) {
    ASSERT_EQ(mac.vmac({"key", "shift+cmd+7"}).status, 0);
    ASSERT_TRUE(becomes({"0 0 54.3 37"}));
    ASSERT_EQ(mac.vmac({"display", "add", "2"}).status, 0);
    EXPECT_TRUE(becomes({"0 0 54.3 37", "1512 0 54.3 24"}));
    EXPECT_TRUE(logShows("Overlay built for display 2: desktop"));
    ASSERT_EQ(mac.vmac({"display", "remove", "2"}).status, 0);
    EXPECT_TRUE(becomes({"0 0 54.3 37"}));
}

}  // namespace
}  // namespace lidora::testing
