// Screen lock, power source and display sleep played through vmac, as a
// running app hears them and a newly started one reads them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/bus/BusDistributedNotificationCenter.h"
#include "platform/bus/BusWorkspace.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/session/SessionState.h"
#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class SessionCommands : public ::testing::Test {
protected:
    bool runUntil(const std::function<bool()>& done) {
        const auto deadline = loop.now() + 10s;
        while (!done() && loop.now() < deadline) {
            loop.runUntil(std::min(deadline, loop.now() + 20ms));
        }
        return done();
    }
    void expectRuns(const std::vector<std::string>& arguments) {
        const auto result = mac.vmac(arguments);
        EXPECT_EQ(result.status, 0) << arguments[0] << ": " << result.err;
    }
    // What a process started now reads.
    std::string freshRead() const { return mac.run({BUS_PROBE, "session"}).out; }

    VirtualMac mac{TEST_BIN_DIR};
    vmac::PollRunLoop loop;
};

TEST_F(SessionCommands, ARunningAppHearsEachChangeInOrderAndANewOneReadsTheState) {
    mac.boot();
    vmac::VmacBus bus(loop, vmac::VmacPaths(mac.root()), Logger());
    vmac::BusDistributedNotificationCenter distributed(bus);
    vmac::BusDarwinNotificationCenter darwin(bus);
    vmac::BusWorkspace workspace(bus, "com.zelquin.lidora");
    std::vector<std::string> heard;
    const auto note = [&heard](const char* what) { return [&heard, what] { heard.emplace_back(what); }; };
    const Cancellable observers[] = {
        distributed.observe("com.apple.screenIsLocked", note("locked")),
        distributed.observe("com.apple.screenIsUnlocked", note("unlocked")),
        darwin.observe("com.apple.system.powersources.source", note("power")),
        workspace.observeScreensDidSleep(note("screens sleep")),
        workspace.observeScreensDidWake(note("screens wake")),
        workspace.observeDidWake(note("wake")),
    };
    bool settled = false;
    const auto settling = bus.settle([&](bool ok) { settled = ok; });
    ASSERT_TRUE(runUntil([&] { return settled; }));

    expectRuns({"lock"});
    expectRuns({"power", "battery"});
    expectRuns({"display", "sleep"});
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 3; }));
    EXPECT_THAT(heard, ElementsAre("locked", "power", "screens sleep"));
    EXPECT_EQ(freshRead(), "locked true\npower Battery Power\n");
    EXPECT_THAT(mac.vmac({"display"}).out, HasSubstr("displays asleep"));

    // Saying again what is so posts nothing.
    EXPECT_THAT(mac.vmac({"lock"}).out, HasSubstr("already locked"));
    EXPECT_THAT(mac.vmac({"power", "battery"}).out, HasSubstr("already on Battery Power"));

    expectRuns({"display", "wake"});
    expectRuns({"unlock"});
    expectRuns({"power", "ac"});
    ASSERT_TRUE(runUntil([&] { return heard.size() >= 7; }));
    EXPECT_THAT(heard, ElementsAre("locked", "power", "screens sleep", "wake", "screens wake", "unlocked", "power"));
    EXPECT_EQ(freshRead(), "locked false\npower AC Power\n");
    EXPECT_EQ(mac.vmac({"power"}).out, "AC Power\n");
}

TEST_F(SessionCommands, BadInputIsRefusedAndAMacNotBootedKeepsTheChange) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        const char* says;
    } cases[] = {
        {{"lock", "--help"}, 0, "com.apple.screenIsLocked"},
        {{"unlock", "--help"}, 0, "com.apple.screenIsUnlocked"},
        {{"power", "--help"}, 0, "com.apple.system.powersources.source"},
        {{"display", "--help"}, 0, "vmac display sleep"},
        {{"lock", "now"}, 64, "takes no arguments"},
        {{"unlock", ""}, 64, "takes no arguments"},
        {{"power", "mains"}, 64, "ac or battery"},
        {{"power", "ac", "battery"}, 64, "ac or battery"},
        {{"display", "sleep", "1"}, 64, "takes no arguments"},
        {{"display", "snooze"}, 64, "unknown action"},
    };
    for (const auto& c : cases) {
        const auto result = mac.vmac(c.arguments);
        EXPECT_EQ(result.status, c.status) << c.arguments[0] << " " << c.arguments[1];
        EXPECT_THAT(result.out + result.err, HasSubstr(c.says)) << c.arguments[0] << " " << c.arguments[1];
    }
    EXPECT_FALSE(std::filesystem::exists(vmac::sessionStateFile(vmac::VmacPaths(mac.root()))));

    expectRuns({"lock"});
    expectRuns({"power", "battery"});
    EXPECT_EQ(freshRead(), "locked true\npower Battery Power\n");
}

}  // namespace
}  // namespace lidora::testing
