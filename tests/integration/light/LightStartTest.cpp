#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/integration/light/LightFixture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace lidora::testing {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return lines;
}

using LightStart = LightFixture;

TEST_F(LightStart, IsReadyWithAnApprovedDaemonAndDiagnosesTheMac) {
    registerAndApprove();
    const auto started = app({"start"});
    EXPECT_EQ(started.status, 0) << started.out << started.err;
    EXPECT_THAT(linesOf(started.out),
                ElementsAre("ready(on)", "Lidora diagnostics", "App version: 1.0.3 (14)", "Helper version expected: 2",
                            "macOS: Version 26.1 (Build 25B78)", "Model: Mac17,12", "Hardware support: supported",
                            "Helper status: enabled", "Light: on", "Phase: ready(on)"));

    ASSERT_EQ(mac.vmac({"model", "MacBookPro18,3"}).status, 0);
    EXPECT_EQ(mac.vmac({"model"}).out, "MacBookPro18,3\n");
    const auto older = app({"start"});
    EXPECT_THAT(older.out, HasSubstr("\nModel: MacBookPro18,3\nHardware support: unsupported\n"));
}

TEST_F(LightStart, AsksToBeMovedWhenOpenedFromADiskImage) {
    const auto image = mac.root() / "Volumes" / "Lidora" / "Lidora.app";
    std::filesystem::create_directories(image.parent_path());
    std::filesystem::copy(bundle, image, std::filesystem::copy_options::recursive);
    const auto started = mac.run({(image / "Contents" / "MacOS" / "Lidora").string(), "start"});
    EXPECT_EQ(started.status, 1);
    EXPECT_THAT(started.out, StartsWith("failed(Move Lidora to your Applications folder, then open it from there., "
                                        "last: none)\n"));
    EXPECT_EQ(status(), "0 notRegistered\n") << "nothing was registered";
}

TEST_F(LightStart, RejectsModelsThatNoSysctlWouldReport) {
    for (const auto* bad :
         {"", "Mac\t17", "\xc3\xa9", "M12345678901234567890123456789012345678901234567890123456789012345"}) {
        const auto refused = mac.vmac({"model", bad});
        EXPECT_EQ(refused.status, 64) << bad;
        EXPECT_THAT(refused.err, StartsWith("vmac model: the model identifier")) << bad;
    }
    EXPECT_EQ(mac.vmac({"model"}).out, "Mac17,12\n") << "unchanged";
}

}  // namespace
}  // namespace lidora::testing
