// The virtual Mac's message bus with real processes: the daemon launchd
// keeps, the vmac commands, and apps played by this test and by bus-probe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "platform/bus/BusControlCenter.h"
#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/bus/BusHotKeyEventManager.h"
#include "platform/bus/BusProtocol.h"
#include "platform/bus/BusWorkspace.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/vmac/MessageBusConfig.h"
#include "tests/support/Files.h"
#include "tests/support/Spawned.h"
#include "tests/support/VirtualMac.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using vmac::BusControlCenter;
using vmac::BusDarwinNotificationCenter;
using vmac::BusHotKeyEventManager;
using vmac::BusWorkspace;
using vmac::PollRunLoop;
using vmac::VmacBus;
using vmac::VmacPaths;

constexpr auto kLimit = 10s;

// Runs the loop until `done` holds; false after the limit.
bool runLoopUntil(PollRunLoop& loop, const std::function<bool()>& done) {
    const auto deadline = loop.now() + kLimit;
    while (!done() && loop.now() < deadline) {
        loop.runUntil(std::min(deadline, loop.now() + 20ms));
    }
    return done();
}

// A program with VMAC_ROOT set to `root`.
std::unique_ptr<Spawned> background(const std::filesystem::path& root, std::vector<std::string> argv) {
    return std::make_unique<Spawned>(std::move(argv), std::vector<std::string>{"VMAC_ROOT=" + root.string()});
}

class MessageBus : public ::testing::Test {
protected:
    void SetUp() override {
        mac.boot();
        ASSERT_TRUE(runUntil([&] { return bus.connected(); }));
    }

    bool runUntil(const std::function<bool()>& done) { return runLoopUntil(loop, done); }
    // Until the daemon has what this process sent, its subscriptions included.
    void settle() {
        bool settled = false;
        const auto waiting = bus.settle([&](bool ok) { settled = ok; });
        ASSERT_TRUE(runUntil([&] { return settled; }));
    }
    bool fileSays(const std::filesystem::path& file, const std::string& line) {
        return VirtualMac::waitFor([&] { return readFile(file).find(line + "\n") != std::string::npos; }, kLimit);
    }

    VirtualMac mac{TEST_BIN_DIR};
    VmacPaths paths{mac.root()};
    PollRunLoop loop;
    VmacBus bus{loop, paths, Logger()};
};

TEST_F(MessageBus, ComesUpWithBootAndTakesConnectionsFromEveryUser) {
    EXPECT_TRUE(bus.connected());
    EXPECT_THAT(mac.vmac({"launchctl", "list"}).out, HasSubstr("com.zelquin.vmac.bus"));
    const auto asNobody = mac.runAsNobody({(mac.bin() / "vmac").string(), "notify", "post", "from.nobody"});
    EXPECT_EQ(asNobody.status, 0) << asNobody.err;
}

TEST_F(MessageBus, PostedNotificationsReachTheirObserversOnly) {
    BusDarwinNotificationCenter center(bus);
    int changed = 0;
    int brightness = 0;
    const auto a = center.observe("com.zelquin.lidora.changed", [&] { ++changed; });
    const auto b = center.observe("com.zelquin.lidora.brightness-changed", [&] { ++brightness; });
    settle();

    for (const auto* name :
         {"com.zelquin.lidora.changed", "com.zelquin.lidora.unrelated", "com.zelquin.lidora.changed"}) {
        const auto posted = mac.vmac({"notify", "post", name});
        ASSERT_EQ(posted.status, 0) << posted.err;
    }
    EXPECT_TRUE(runUntil([&] { return changed == 2; }));
    // A process that posts and exits at once, as the extension does.
    ASSERT_EQ(mac.run({BUS_PROBE, "post", "com.zelquin.lidora.changed"}).status, 0);
    EXPECT_TRUE(runUntil([&] { return changed == 3; }));
    center.post("com.zelquin.lidora.brightness-changed");
    EXPECT_TRUE(runUntil([&] { return brightness == 1; }));
    int quoted = 0;
    const auto c = center.observe("it's", [&] { ++quoted; });
    ASSERT_EQ(mac.vmac({"notify", "post", "it's"}).status, 0);
    EXPECT_TRUE(runUntil([&] { return quoted == 1; }));
    settle();
    EXPECT_EQ(changed, 3);

    EXPECT_EQ(mac.vmac({"notify", "post"}).status, 64);
    EXPECT_EQ(mac.vmac({"notify", "send", "x"}).status, 64);
}

// An app observes at launch and then reads what the notification announces;
// a post from elsewhere after observe() returns must reach it, though
// observe() never waits and the loop does not run in between. The app
// launches once its connection is set up; an observer added before that
// comes into force with it.
TEST_F(MessageBus, ObservingOnASetUpConnectionCatchesTheNextPost) {
    VmacBus fresh(loop, paths, Logger());
    BusDarwinNotificationCenter center(fresh);
    int early = 0;
    const auto observingEarly = center.observe("com.zelquin.lidora.changed", [&] { ++early; });
    bool setUp = false;
    const auto settling = fresh.settle([&](bool ok) { setUp = ok; });
    ASSERT_TRUE(runUntil([&] { return setUp; }));

    int heard = 0;
    const auto observing = center.observe("com.zelquin.lidora.brightness-changed", [&] { ++heard; });
    ASSERT_EQ(mac.vmac({"notify", "post", "com.zelquin.lidora.brightness-changed"}).status, 0);
    ASSERT_EQ(mac.vmac({"notify", "post", "com.zelquin.lidora.changed"}).status, 0);
    EXPECT_TRUE(runUntil([&] { return heard == 1 && early == 1; }));
}

TEST_F(MessageBus, WakeReachesWorkspaceObserversAndReopenOnlyItsApp) {
    BusWorkspace workspace(bus, "com.zelquin.lidora");
    int wakes = 0;
    int reopens = 0;
    const auto wake = workspace.observeDidWake([&] { ++wakes; });
    const auto reopen = workspace.observeReopen([&] { ++reopens; });
    settle();

    ASSERT_EQ(mac.vmac({"wake"}).status, 0);
    EXPECT_TRUE(runUntil([&] { return wakes == 1; }));
    vmac::postReopen(bus, "com.example.other");
    vmac::postReopen(bus, "com.zelquin.lidora");
    EXPECT_TRUE(runUntil([&] { return reopens == 1; }));
    settle();
    EXPECT_EQ(reopens, 1);
    EXPECT_EQ(mac.vmac({"wake", "now"}).status, 64);
}

TEST_F(MessageBus, ControlReloadsAreCountedPerKindAndAnnounced) {
    EXPECT_EQ(mac.vmac({"controls"}).out,
              "com.zelquin.lidora.control.logo-brightness 0\ncom.zelquin.lidora.control.logo-light 0\n");
    std::vector<std::string> announced;
    const auto listening = bus.subscribe(vmac::kControlsReloaded, std::nullopt, [&](sd_bus_message* message) {
        const char* kind = nullptr;
        if (sd_bus_message_read(message, "s", &kind) >= 0) {
            announced.emplace_back(kind);
        }
    });
    settle();

    BusControlCenter controls(bus, paths, Logger());
    controls.reloadControls(kLogoLightControlKind);
    controls.reloadControls(kLogoBrightnessControlKind);
    controls.reloadControls(kLogoLightControlKind);
    EXPECT_EQ(mac.vmac({"controls"}).out,
              "com.zelquin.lidora.control.logo-brightness 1\ncom.zelquin.lidora.control.logo-light 2\n");
    EXPECT_TRUE(runUntil([&] { return announced.size() == 3; }));
    EXPECT_EQ(announced.front(), kLogoLightControlKind);
}

TEST_F(MessageBus, HotKeysAreHeldByOneProcessAndPressesGoToIt) {
    const auto events = mac.root() / "scratch" / "hold.events";
    const auto probe = background(mac.root(), {BUS_PROBE, "hold", "shift+cmd+7", events.string()});
    ASSERT_TRUE(fileSays(events, "registered")) << readFile(events);

    BusHotKeyEventManager manager(bus, paths, Logger());
    std::vector<EventHotKeyID> pressed;
    ASSERT_EQ(manager.installHotKeyPressedHandler([&](EventHotKeyID id) {
        pressed.push_back(id);
        return kNoErr;
    }),
              kNoErr);
    const EventHotKeyID ours{fourCharCode("LDRA"), 7};
    const auto refused = manager.registerEventHotKey(26, kCmdKey | kShiftKey, ours);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), kEventHotKeyExistsErr);

    const auto toProbe = mac.vmac({"key", "⇧⌘7"});
    EXPECT_EQ(toProbe.status, 0) << toProbe.err;
    EXPECT_THAT(toProbe.out, HasSubstr("⇧⌘7 went to bus-probe (pid " + std::to_string(probe->pid()) + ")"));
    EXPECT_TRUE(fileSays(events, "pressed " + std::to_string(fourCharCode("LDRA")) + " 1"));

    // A registration dies with its process.
    probe->kill();
    const auto nobody = mac.vmac({"key", "cmd+shift+7"});
    EXPECT_EQ(nobody.status, 1);
    EXPECT_EQ(nobody.out, "no application registered ⇧⌘7\n");
    ASSERT_TRUE(manager.registerEventHotKey(26, kCmdKey | kShiftKey, ours));
    ASSERT_TRUE(manager.registerEventHotKey(29, kCmdKey | kShiftKey, {fourCharCode("LDRA"), 8}));
    settle();

    const auto toUs = mac.vmac({"key", "cmd+shift+0"});
    EXPECT_THAT(toUs.out, HasSubstr("(pid " + std::to_string(::getpid()) + ")"));
    EXPECT_TRUE(runUntil([&] { return !pressed.empty(); }));
    EXPECT_EQ(pressed, (std::vector<EventHotKeyID>{{fourCharCode("LDRA"), 8}}));
    EXPECT_EQ(mac.vmac({"key", "cmd+shift+nothing"}).status, 64);
}

TEST_F(MessageBus, OpenStartsAnAppOnceAndReopensItAfterwards) {
    const auto bundle = mac.root() / "Applications" / "Probe.app";
    std::filesystem::create_directories(bundle / "Contents" / "MacOS");
    std::filesystem::copy_file(BUS_PROBE, bundle / "Contents" / "MacOS" / "Probe");
    std::ofstream(bundle / "Contents" / "Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "<key>CFBundleExecutable</key><string>Probe</string>\n"
           "<key>CFBundleIdentifier</key><string>com.zelquin.probe</string>\n</dict>\n</plist>\n";
    const auto events = mac.root() / "scratch" / "com.zelquin.probe.events";

    const auto first = mac.vmac({"open", "Probe"});
    ASSERT_EQ(first.status, 0) << first.err;
    pid_t pid = 0;
    ASSERT_EQ(std::sscanf(first.out.c_str(), "Probe started (pid %d)", &pid), 1) << first.out;
    struct Killer {
        pid_t pid;
        ~Killer() { ::kill(pid, SIGKILL); }
    } killer{pid};
    ASSERT_TRUE(fileSays(events, "instance " + std::to_string(pid))) << readFile(events);

    for (const auto* name : {"Probe", "/Applications/Probe.app"}) {
        const auto again = mac.vmac({"open", name});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(again.out, "Probe is already running (pid " + std::to_string(pid) + "); sent it the reopen event\n");
    }
    EXPECT_TRUE(
        VirtualMac::waitFor([&] { return readFile(events).find("reopen\nreopen\n") != std::string::npos; }, kLimit));
    EXPECT_EQ(readFile(events).find("instance", 1), std::string::npos);

    const auto missing = mac.vmac({"open", "Nothing"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("no application"));
}

TEST(MessageBusAbsent, NothingFailsLoudlyAndTheBusIsFoundOnceItComes) {
    VirtualMac mac{TEST_BIN_DIR};
    const VmacPaths paths{mac.root()};
    PollRunLoop loop;
    VmacBus bus(loop, paths, Logger());
    BusDarwinNotificationCenter center(bus);
    int heard = 0;
    const auto observing = center.observe("late", [&] { ++heard; });
    center.post("late");  // dropped, like a notification nobody could hear
    EXPECT_FALSE(bus.connected());
    EXPECT_EQ(mac.vmac({"notify", "post", "late"}).status, 1);

    mac.boot();
    bool settled = false;
    Cancellable settling;
    const auto waiting = bus.whenConnected([&] { settling = bus.settle([&](bool ok) { settled = ok; }); });
    ASSERT_TRUE(runLoopUntil(loop, [&] { return settled; }));
    ASSERT_EQ(mac.vmac({"notify", "post", "late"}).status, 0);
    EXPECT_TRUE(runLoopUntil(loop, [&] { return heard == 1; }));
}

TEST(MessageBusRestart, ClientsReconnectAndRenewSubscriptionsAndNames) {
    // The daemon alone, without launchd's throttle between restarts.
    VirtualMac mac{TEST_BIN_DIR};
    const VmacPaths paths{mac.root()};
    ASSERT_EQ(mac.vmac({"status"}).status, 0);  // lays out the root and the bus's configuration
    const std::vector<std::string> daemon = {"/usr/bin/dbus-daemon", "--nofork", "--nopidfile", "--config-file",
                                             vmac::messageBusConfig(paths).string()};
    auto running = background(mac.root(), daemon);
    ASSERT_TRUE(VirtualMac::waitFor([&] { return std::filesystem::exists(vmac::messageBusSocket(paths)); }, kLimit));

    PollRunLoop loop;
    VmacBus listener(loop, paths, Logger());
    VmacBus poster(loop, paths, Logger());
    BusDarwinNotificationCenter heard(listener);
    BusDarwinNotificationCenter posting(poster);
    int deliveries = 0;
    const auto observing = heard.observe("again", [&] { ++deliveries; });
    std::vector<vmac::NameClaim> claims;
    const auto claim =
        listener.claimName("vmac.app.com.zelquin.restart", [&](vmac::NameClaim answer) { claims.push_back(answer); });
    ASSERT_TRUE(runLoopUntil(loop, [&] { return !claims.empty(); }));
    EXPECT_EQ(claims.front(), vmac::NameClaim::Owned);

    running->kill();
    ASSERT_TRUE(runLoopUntil(loop, [&] { return !listener.connected() && !poster.connected(); }));
    posting.post("again");  // dropped and logged, nothing more
    EXPECT_EQ(listener.connected(), false);

    running = background(mac.root(), daemon);
    ASSERT_TRUE(runLoopUntil(loop, [&] { return listener.connected() && poster.connected(); }));
    // Both the subscription and the name came back with the connection.
    std::optional<pid_t> owner;
    bool answered = false;
    Cancellable asking;
    const auto settling = listener.settle([&](bool) {
        asking = poster.queryNameOwnerPid("vmac.app.com.zelquin.restart", [&](std::optional<pid_t> pid) {
            owner = pid;
            answered = true;
        });
    });
    ASSERT_TRUE(runLoopUntil(loop, [&] { return answered; }));
    EXPECT_EQ(owner, ::getpid());
    posting.post("again");
    EXPECT_TRUE(runLoopUntil(loop, [&] { return deliveries == 1; }));
    EXPECT_EQ(claims.size(), 1U);  // the first answer only
}

}  // namespace
}  // namespace lidora::testing
