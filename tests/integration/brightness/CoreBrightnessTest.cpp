#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "core/brightness/CoreBrightnessBackend.h"
#include "platform/corebrightness/LogoTables.h"
#include "platform/displays/VirtualDisplayList.h"
#include "platform/frameworks/CoreBrightnessLoader.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/Files.h"
#include "tests/support/Spawned.h"
#include "tests/support/TempDir.h"
#include "tests/support/VirtualMac.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

class CoreBrightness : public ::testing::Test {
protected:
    void SetUp() override {
        mac.boot();
        // The frameworks find their virtual Mac as every program does.
        ::setenv("VMAC_ROOT", mac.root().c_str(), 1);
        ASSERT_TRUE(testing::VirtualMac::waitFor([&] { return nits().has_value(); }, 5s)) << "no logo state";
    }
    void TearDown() override { ::unsetenv("VMAC_ROOT"); }

    std::optional<double> nits() const {
        const auto result = mac.vmac({"logo", "--nits"});
        if (result.status != 0) {
            return std::nullopt;
        }
        return std::stod(result.out);
    }
    bool nitsBecome(double expected) const {
        return testing::VirtualMac::waitFor(
            [&] {
                const auto now = nits();
                return now && std::abs(*now - expected) < 1e-6;
            },
            5s);
    }
    testing::ProcessResult probe(std::vector<std::string> arguments, bool asNobody = false) const {
        arguments.insert(arguments.begin(), BRIGHTNESS_PROBE);
        return asNobody ? mac.runAsNobody(arguments) : mac.run(arguments);
    }

    testing::VirtualMac mac{TEST_BIN_DIR};
};

TEST_F(CoreBrightness, DaemonInstallsFactoryTablesAndLightsTheLogoFromThem) {
    EXPECT_DOUBLE_EQ(*nits(), 60.0);  // factory curve at brightness 0.5, above the floor at 200 lux
    for (const auto key : {kBrightnessCurveKey, kBrightnessFloorKey}) {
        const auto read = mac.vmac({"defaults", "read", "com.apple.CoreBrightness", std::string(key)});
        EXPECT_EQ(read.status, 0) << key << ": " << read.err;
    }
    const auto logo = mac.vmac({"logo"});
    EXPECT_NE(logo.out.find("Logo: lit, 60 nits"), std::string::npos) << logo.out;
    EXPECT_NE(logo.out.find("Curve (LEPWMBrightnessNitsMapping): (0, 2) (0.25, 20)"), std::string::npos) << logo.out;
}

TEST_F(CoreBrightness, NewTablesShowOnlyAfterANudgeThroughTheLoadedFrameworks) {
    vmac::PollRunLoop loop;
    const vmac::VmacPaths paths(mac.root());
    CoreBrightnessBackend backend(vmac::loadCoreBrightnessFrameworks(paths),
                                  std::make_shared<vmac::VirtualDisplayList>(paths), loop);
    const auto factory = vmac::factoryLogoTables();
    ASSERT_EQ(backend.copyProperty(kBrightnessCurveKey), factory.curve);
    ASSERT_EQ(backend.copyProperty(kBrightnessFloorKey), factory.floor);
    EXPECT_EQ(backend.copyProperty("LEBacklightMode"), std::nullopt);
    EXPECT_EQ(backend.displayBrightness(), 0.5F);

    // Malformed tables and other keys are refused whole.
    EXPECT_FALSE(backend.setProperty({{0.0, 1.0}, {1.0}}, kBrightnessCurveKey));
    EXPECT_FALSE(backend.setProperty({}, kBrightnessCurveKey));
    EXPECT_FALSE(backend.setProperty({{0.0, 1.0}}, "LEBacklightMode"));
    EXPECT_EQ(backend.copyProperty(kBrightnessCurveKey), factory.curve);

    ASSERT_TRUE(backend.setProperty(scaled(factory.curve, 0.5), kBrightnessCurveKey));
    ASSERT_TRUE(backend.setProperty(scaled(factory.floor, 0.5), kBrightnessFloorKey));
    EXPECT_EQ(backend.copyProperty(kBrightnessCurveKey), scaled(factory.curve, 0.5));
    std::this_thread::sleep_for(200ms);
    EXPECT_DOUBLE_EQ(*nits(), 60.0) << "a table alone must not change the logo";

    backend.nudge();
    EXPECT_TRUE(backend.isRestorePending());
    loop.runUntil(loop.now() + 300ms);
    EXPECT_FALSE(backend.isRestorePending());
    EXPECT_EQ(backend.displayBrightness(), 0.5F);
    EXPECT_TRUE(nitsBecome(30.0));
}

TEST_F(CoreBrightness, LightSettingShowsAtOnceAndAfterARestart) {
    ASSERT_EQ(mac.vmac({"defaults", "write", "com.apple.CoreBrightness", "LEBacklightMode", "-int", "0"}).status, 0);
    EXPECT_TRUE(nitsBecome(0.0));

    const auto killed = mac.run({(mac.root() / "usr" / "bin" / "killall").string(), "corebrightnessd"});
    ASSERT_EQ(killed.status, 0) << killed.err;
    EXPECT_TRUE(nitsBecome(0.0));
    EXPECT_NE(mac.vmac({"logo"}).out.find("Logo: dark"), std::string::npos);

    ASSERT_EQ(mac.vmac({"defaults", "delete", "com.apple.CoreBrightness", "LEBacklightMode"}).status, 0);
    EXPECT_TRUE(nitsBecome(60.0));
}

TEST_F(CoreBrightness, AnotherUserCopiesAndSetsTablesAndMovesTheDisplay) {
    const auto copied = probe({"copy"}, true);
    ASSERT_EQ(copied.status, 0) << copied.err;
    EXPECT_EQ(copied.out.rfind("0.000000 2.000000 ;", 0), 0U) << copied.out;

    const auto set = probe({"scale", "0.25"}, true);
    ASSERT_EQ(set.status, 0) << set.out << set.err;
    EXPECT_EQ(set.out, "set set\n");

    // The display moving is the nudge that shows the new tables.
    const auto moved = probe({"display", "0.75"}, true);
    EXPECT_EQ(moved.out, "0.750000\n") << moved.err;
    EXPECT_TRUE(nitsBecome(130.0 * 0.25));
}

TEST_F(CoreBrightness, WatchPrintsALinePerChangeWhenNotOnATerminal) {
    std::atomic<bool> done = false;
    testing::ProcessResult watched;
    std::thread watcher([&] {
        watched = mac.vmac({"watch", "--count", "2"});
        done = true;
    });
    // Keep moving the display until the watcher has seen a change.
    for (int i = 0; i < 100 && !done; ++i) {
        (void)mac.vmac({"display", "brightness", i % 2 == 0 ? "1" : "0.5"});
        std::this_thread::sleep_for(50ms);
    }
    watcher.join();
    ASSERT_EQ(watched.status, 0) << watched.err;
    // Two different lines, each a lit logo at the display brightness of its moment.
    const auto firstEnd = watched.out.find('\n');
    ASSERT_NE(firstEnd, std::string::npos) << watched.out;
    const auto first = watched.out.substr(0, firstEnd + 1);
    const auto second = watched.out.substr(firstEnd + 1);
    for (const auto& line : {first, second}) {
        EXPECT_TRUE(line == "lit, 60 nits (display brightness 0.500, 200 lux)\n" ||
                    line == "lit, 250 nits (display brightness 1.000, 200 lux)\n")
            << line;
    }
    EXPECT_NE(first, second);
    EXPECT_EQ(mac.vmac({"watch", "--count", "0"}).status, 64);
}

TEST_F(CoreBrightness, WatchReadsBackAMessageFlashedAtTheFastestSpeed) {
    const auto output = mac.root() / "scratch" / "watch.out";
    const testing::Spawned watch(
        {"/bin/sh", "-c", "exec \"$0\" watch --seconds 20 >\"$1\"", (mac.bin() / "vmac").string(), output.string()},
        {"VMAC_ROOT=" + mac.root().string()});
    // Its first line says it has seen the steady logo.
    ASSERT_TRUE(
        testing::VirtualMac::waitFor([&] { return testing::readFile(output).find('\n') != std::string::npos; }, 5s));
    const auto sent = probe({"morse", "hi 5", "0.25"});
    ASSERT_EQ(sent.status, 0) << sent.out << sent.err;
    EXPECT_TRUE(testing::VirtualMac::waitFor(
        [&] { return testing::readFile(output).find("Morse text: ") != std::string::npos; }, 5s));
    const auto watched = testing::readFile(output);
    EXPECT_NE(watched.find("Morse text: HI 5\n"), std::string::npos) << watched;
}

TEST_F(CoreBrightness, MissingFrameworksLeaveEveryMemberEmpty) {
    const testing::TempDir bare;
    const auto loaded = testing::runProcess({BRIGHTNESS_PROBE, "loaded"}, {{"VMAC_ROOT", bare.path().string()}});
    EXPECT_EQ(loaded.out, "client=0 get=0 set=0\n") << loaded.err;
    EXPECT_EQ(probe({"loaded"}).out, "client=1 get=1 set=1\n");
}

}  // namespace
}  // namespace lidora
