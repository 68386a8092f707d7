#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/runloop/PollRunLoop.h"
#include "platform/servicemanagement/VirtualDaemonService.h"
#include "tests/integration/light/LightFixture.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace std::chrono_literals;

namespace lidora::testing {
namespace {

using Registration = LightFixture;

TEST_F(Registration, GoesThroughApprovalToADaemonStartedOnDemand) {
    EXPECT_EQ(status(), "0 notRegistered\n");
    const auto first = app({"register"});
    EXPECT_EQ(first.status, 1);
    EXPECT_EQ(first.out, kApproving);
    EXPECT_EQ(status(), "2 requiresApproval\n");
    EXPECT_EQ(helper({"get-state"}).out, unreachable()) << "nothing runs before approval";

    const auto approved = mac.vmac({"approve", kHelperLabel});
    ASSERT_EQ(approved.status, 0) << approved.err;
    EXPECT_EQ(approved.out, "approved com.zelquin.lidora.helper of " + bundle.string() + "\n");
    EXPECT_EQ(status(), "1 enabled\n");
    EXPECT_THAT(mac.vmac({"loginitems"}).out, HasSubstr("enabled\tcom.zelquin.lidora.helper\t" + bundle.string()));

    // What the daemon then does is the helper daemon's tests' business.
    EXPECT_EQ(helper({"get-state"}).out, "1\n");

    EXPECT_EQ(app({"register"}).out, "registered\n") << "registering an enabled daemon again succeeds";
}

TEST_F(Registration, NothingAnswersForADaemonNeverRegistered) {
    const auto call = helper({"get-state"});
    EXPECT_EQ(call.status, 1);
    EXPECT_EQ(call.out, unreachable());
    EXPECT_EQ(mac.vmac({"loginitems"}).out, "No daemons are registered.\n");
    EXPECT_NE(mac.vmac({"approve", kHelperLabel}).status, 0) << "nothing to approve";
}

TEST_F(Registration, UnregisteringStopsTheDaemonAndReRegisteringNeedsNoNewApproval) {
    registerAndApprove();
    ASSERT_EQ(helper({"version"}).out, "2\n");

    const auto removed = app({"unregister"});
    ASSERT_EQ(removed.status, 0) << removed.out;
    EXPECT_EQ(status(), "0 notRegistered\n");
    EXPECT_FALSE(std::filesystem::exists(machSocket()));
    EXPECT_EQ(helper({"get-state"}).out, unreachable());
    EXPECT_EQ(app({"unregister"}).status, 1) << "twice is an error";

    // An updated app registers its daemon again, still approved.
    EXPECT_EQ(app({"register"}).out, "registered\n");
    EXPECT_EQ(status(), "1 enabled\n");
    EXPECT_EQ(helper({"version"}).out, "2\n");

    ASSERT_EQ(mac.vmac({"approve", "--revoke", kHelperLabel}).status, 0);
    EXPECT_EQ(status(), "2 requiresApproval\n");
    EXPECT_FALSE(std::filesystem::exists(machSocket()));
    EXPECT_EQ(app({"register"}).out, kApproving) << "a revoked approval is gone";
}

TEST_F(Registration, AMissingPropertyListIsNotFound) {
    std::filesystem::remove(plist());
    EXPECT_EQ(status(), "3 notFound\n");
    const auto registered = app({"register"});
    EXPECT_EQ(registered.status, 1);
    EXPECT_THAT(registered.out, HasSubstr("com.zelquin.lidora.helper.plist"));

    std::ofstream(plist()) << "<plist><dict><key>Label</key>";
    EXPECT_EQ(status(), "3 notFound\n") << "a damaged one is no better";
}

TEST_F(Registration, StatusComesFromTheRecordsWhileLaunchdIsDown) {
    registerAndApprove();
    ASSERT_EQ(mac.vmac({"shutdown"}).status, 0);
    EXPECT_EQ(status(), "1 enabled\n");
    const auto registered = app({"register"});
    EXPECT_EQ(registered.status, 1);
    EXPECT_THAT(registered.out, HasSubstr("launchd is not running"));

    // The next boot brings the approved daemon back.
    mac.boot();
    EXPECT_EQ(helper({"version"}).out, "2\n");
}

// The app reads the status on every redraw and approval poll; it is kept
// current from launchd's records rather than asked of launchd each time.
TEST_F(Registration, TheAppsStatusFollowsRegistrationApprovalAndRemoval) {
    vmac::PollRunLoop loop;
    const vmac::VirtualDaemonService service(vmac::VmacPaths(mac.root()), bundle, "com.zelquin.lidora.helper.plist",
                                             loop);
    const auto becomes = [&](int raw) { return VirtualMac::waitFor([&] { return service.status() == raw; }, 5000ms); };
    EXPECT_EQ(service.status(), DaemonService::notRegistered) << "right from the start";
    ASSERT_EQ(app({"register"}).out, kApproving);
    EXPECT_TRUE(becomes(DaemonService::requiresApproval));
    ASSERT_EQ(mac.vmac({"approve", kHelperLabel}).status, 0);
    EXPECT_TRUE(becomes(DaemonService::enabled));
    ASSERT_EQ(mac.vmac({"approve", "--revoke", kHelperLabel}).status, 0);
    EXPECT_TRUE(becomes(DaemonService::requiresApproval));
    std::filesystem::remove(plist());
    EXPECT_TRUE(becomes(DaemonService::notFound)) << "a property list gone is seen too";
}

TEST_F(Registration, AskingForApprovalOpensLoginItems) {
    EXPECT_EQ(mac.vmac({"settings"}).out, "System Settings was never opened at Login Items & Extensions\n");
    EXPECT_EQ(app({"approve-request"}).out, "requiresApproval\n") << "registers before asking";
    EXPECT_EQ(app({"approve-request"}).out, "requiresApproval\n");
    EXPECT_THAT(mac.vmac({"settings"}).out,
                StartsWith("System Settings was opened at Login Items & Extensions 2 times, last at "));
    EXPECT_THAT(mac.vmac({"log", "show", "--category", "settings"}).out,
                HasSubstr("System Settings opened at Login Items & Extensions"));
}

TEST_F(Registration, OrdinaryUsersRegisterOnlyTheBundleTheyRunFrom) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to switch users";
    }
    EXPECT_EQ(appAsNobody({"status"}).out, "0 notRegistered\n");
    EXPECT_EQ(appAsNobody({"register"}).out, kApproving);
    EXPECT_EQ(appAsNobody({"status"}).out, "2 requiresApproval\n");

    const auto byNobody = mac.runAsNobody({(mac.bin() / "vmac").string(), "approve", kHelperLabel});
    EXPECT_EQ(byNobody.status, 1);
    EXPECT_THAT(byNobody.err, HasSubstr("only root may approve"));
    ASSERT_EQ(mac.vmac({"approve", kHelperLabel}).status, 0);

    EXPECT_EQ(appAsNobody({"unregister"}).out, "unregistered\n");
    EXPECT_EQ(appAsNobody({"register"}).out, "registered\n");

    // The same program outside the bundle, or inside another, may not speak for it.
    std::filesystem::permissions(mac.root() / "scratch", std::filesystem::perms::all);
    const auto outsider = mac.signedCopy(REGISTER_PROBE, "outsider", "com.zelquin.lidora", kTeam);
    for (const auto* verb : {"unregister", "register"}) {
        const auto refused = mac.runAsNobody({outsider.string(), verb, "--bundle", bundle.string()});
        EXPECT_EQ(refused.status, 1) << verb;
        EXPECT_THAT(refused.out, HasSubstr("permission denied")) << verb;
    }
    EXPECT_EQ(appAsNobody({"status"}).out, "1 enabled\n") << "nothing changed";
}

TEST_F(Registration, RefusesPropertyListsOutsideLaunchDaemons) {
    const auto elsewhere = bundle / "Contents" / "Info.plist";
    ASSERT_TRUE(std::filesystem::exists(elsewhere));
    for (const auto* name : {"../../Info.plist", "..", ""}) {
        const auto refused = app({"register", "--plist", name});
        EXPECT_EQ(refused.status, 1) << name;
        EXPECT_THAT(refused.out, HasSubstr("is not the name of a property list")) << name;
        EXPECT_EQ(app({"status", "--plist", name}).out, "3 notFound\n") << name;
    }
    EXPECT_EQ(mac.vmac({"loginitems"}).out, "No daemons are registered.\n");
}

}  // namespace
}  // namespace lidora::testing
