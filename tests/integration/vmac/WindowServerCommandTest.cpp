// vmac's window-server commands on a Mac that is not booted: what they
// record, and bad input refused with the state left as it was.
#include <gtest/gtest.h>

#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

TEST(WindowServerCommands, BadInputIsRefusedAndChangesNothing) {
    VirtualMac mac(TEST_BIN_DIR);
    using namespace std::chrono_literals;
    ASSERT_EQ(mac.vmac({"space", "fullscreen", "Safari"}).status, 0);
    // Once the cover has slid into place the list holds still.
    ASSERT_TRUE(VirtualMac::waitFor(
        [&] { return mac.vmac({"windows"}).out.find("24  0 0 1512 37 ") != std::string::npos; }, 2000ms));
    const auto spaces = mac.vmac({"space", "list"}).out;
    const auto windows = mac.vmac({"windows"}).out;
    struct Row {
        std::vector<std::string> arguments;
        int status;
    };
    const Row rows[] = {
        {{"space", "switch", "99"}, 1},
        {{"space", "switch", "two"}, 64},
        {{"space", "fullscreen"}, 64},
        {{"space", "new-desktop", "--display", "7"}, 1},
        {{"space", "exit-fullscreen", "--display", "0"}, 64},
        {{"space", "jump"}, 64},
        {{"pointer", "1", "nan"}, 64},
        {{"pointer", "1"}, 64},
        {{"menubar", "autohide", "sometimes"}, 64},
        {{"display", "add", "2", "--size", "10x10"}, 1},
        {{"display", "add", "2", "--menubar", "90"}, 64},
        {{"display", "add", "1"}, 1},
        {{"display", "arrange", "5", "0", "0"}, 1},
        {{"screen", "--display", "9", "--png", "x.png"}, 1},
        {{"screen"}, 64},
    };
    for (const auto& row : rows) {
        const auto result = mac.vmac(row.arguments);
        EXPECT_EQ(result.status, row.status) << row.arguments[0] << " " << row.arguments[1];
        EXPECT_FALSE(result.err.empty()) << row.arguments[0] << " " << row.arguments[1];
    }
    EXPECT_EQ(mac.vmac({"space", "list"}).out, spaces);
    EXPECT_EQ(mac.vmac({"windows"}).out, windows);

    ASSERT_EQ(mac.vmac({"space", "exit-fullscreen"}).status, 0);
    EXPECT_EQ(mac.vmac({"space", "list"}).out, "display 1:\n  * 1    desktop\n");
    ASSERT_EQ(mac.vmac({"menubar", "autohide", "always"}).status, 0);
    EXPECT_EQ(mac.vmac({"defaults", "read", "com.apple.controlcenter", "AutoHideMenuBarOption"}).out, "0\n");
    EXPECT_NE(mac.vmac({"windows"}).out.find("MenuBarAgent"), std::string::npos);
}

}  // namespace
}  // namespace lidora::testing
