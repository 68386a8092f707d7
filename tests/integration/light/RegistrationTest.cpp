#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

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

    // An updated app, its daemon re-signed alike, registers it again, still approved.
    const auto update = bundle / "Contents" / "MacOS" / ".update";
    std::filesystem::copy_file(std::filesystem::path(LIDORA_BUNDLE) / "Contents" / "MacOS" / kHelperLabel, update);
    std::filesystem::rename(update, helperProgram());
    ASSERT_EQ(mac.vmac({"codesign", "--identifier", kHelperLabel, "--team", kTeam, helperProgram().string()}).status,
              0);
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
    const auto saved = plist().string() + ".saved";
    std::filesystem::rename(plist(), saved);
    EXPECT_TRUE(becomes(DaemonService::notFound)) << "a property list gone is seen too";
    std::filesystem::rename(saved, plist());
    EXPECT_TRUE(becomes(DaemonService::requiresApproval)) << "and one put back";

    // The watched folders go with a bundle moved away; the one put in its place is followed.
    const auto moved = bundle.string() + ".moved";
    std::filesystem::rename(bundle, moved);
    EXPECT_TRUE(becomes(DaemonService::notFound));
    std::filesystem::rename(moved, bundle);
    EXPECT_TRUE(becomes(DaemonService::requiresApproval));
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
    EXPECT_EQ(appAsNobody({"status"}).out, "1 enabled\n");
}

TEST_F(Registration, AnApprovalRecordedByAnEarlierVersionNoLongerEnablesTheDaemon) {
    registerAndApprove();
    ASSERT_EQ(mac.vmac({"shutdown"}).status, 0);
    std::ofstream(mac.root() / "var" / "db" / "launchd" / "servicemanagement.json")
        << R"({"registrations":[{"label":")" << kHelperLabel << R"(","plist":")" << plist().string()
        << R"(","bundle":")" << bundle.string() << R"(","bundleIdentifier":"com.zelquin.lidora","state":"enabled"}],)"
        << R"("approvals":[{"label":")" << kHelperLabel << R"(","bundleIdentifier":"com.zelquin.lidora"}]})";
    mac.boot();
    EXPECT_EQ(status(), "2 requiresApproval\n");
    EXPECT_EQ(helper({"get-state"}).out, unreachable());
    // launchd logged the refusal at boot, maybe before logd listened: it is
    // sent once logd listens, with no later record of launchd's to carry it.
    EXPECT_TRUE(VirtualMac::waitFor(
        [&] {
            return mac.vmac({"log", "show", "--category", "launchd"}).out.find("no approval names its program") !=
                   std::string::npos;
        },
        std::chrono::seconds(5)));
    ASSERT_EQ(mac.vmac({"approve", kHelperLabel}).status, 0);
    EXPECT_EQ(status(), "1 enabled\n");
}

// Only code signed as the bundle's main executable is, and loaded unaltered,
// speaks for the bundle; where it lies counts for nothing.
TEST_F(Registration, OnlyUnalteredCodeSignedAsTheAppMayUnregisterItsDaemon) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the requesters as another user";
    }
    registerAndApprove();
    const auto macOS = bundle / "Contents" / "MacOS";
    std::filesystem::copy_file(REGISTER_PROBE, macOS / "unsigned");
    std::filesystem::copy_file(REGISTER_PROBE, macOS / "other");
    ASSERT_EQ(
        mac.vmac({"codesign", "--identifier", "com.zelquin.other", "--team", kTeam, (macOS / "other").string()}).status,
        0);
    const struct {
        const char* requester;
        std::vector<std::string> argv;
    } cases[] = {
        {"the app with a library preloaded",
         {"/usr/bin/env", "ASAN_OPTIONS=verify_asan_link_order=0", "LD_PRELOAD=libm.so.6", appExecutable.string()}},
        {"unsigned code inside the bundle", {(macOS / "unsigned").string()}},
        {"code signed for another identifier", {(macOS / "other").string()}},
    };
    for (const auto& c : cases) {
        auto argv = c.argv;
        argv.insert(argv.end(), {"unregister", "--bundle", bundle.string()});
        const auto refused = mac.runAsNobody(argv);
        EXPECT_EQ(refused.status, 1) << c.requester;
        EXPECT_THAT(refused.out, HasSubstr("permission denied")) << c.requester;
        EXPECT_EQ(status(), "1 enabled\n") << c.requester;
    }
    EXPECT_EQ(helper({"version"}).out, "2\n");
}

// A user's bundle that calls itself Lidora and links into the real one gets
// nothing from the real one's approval, whoever registers it.
TEST_F(Registration, ABundleClaimingTheAppsIdentityIsNotEnabledByItsApproval) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to build the bundle as another user";
    }
    registerAndApprove();
    ASSERT_EQ(app({"unregister"}).out, "unregistered\n");
    std::filesystem::permissions(mac.root() / "scratch", std::filesystem::perms::all);
    const auto evil = mac.root() / "scratch" / "Evil.app";
    const auto contents = evil / "Contents";
    std::filesystem::create_directories(contents / "Library" / "LaunchDaemons");
    std::filesystem::create_directories(contents / "Resources");
    std::ofstream(contents / "Info.plist")
        << "<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>com.zelquin.lidora</string>"
           "<key>CFBundleExecutable</key><string>Lidora</string></dict></plist>";
    std::filesystem::create_directory_symlink(bundle / "Contents" / "MacOS", contents / "MacOS");
    std::filesystem::create_symlink(plist(), contents / "Library" / "LaunchDaemons" / plist().filename());
    const auto own = contents / "Resources" / "probe";
    std::filesystem::copy_file(REGISTER_PROBE, own);
    ASSERT_EQ(::lchown(evil.c_str(), 65534, 65534), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(evil)) {
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0) << entry.path();
    }
    const auto evilStatus = [&] { return app({"status", "--bundle", evil.string()}).out; };
    const struct {
        const char* requester;
        bool asNobody;
        std::filesystem::path program;
    } cases[] = {
        {"its own program", true, own},
        {"the signed app", true, appExecutable},
        {"root on its behalf", false, appExecutable},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> argv{c.program.string(), "register", "--bundle", evil.string()};
        const auto registered = c.asNobody ? mac.runAsNobody(argv) : mac.run(argv);
        EXPECT_EQ(registered.status, 1) << c.requester << ": " << registered.out;
        EXPECT_NE(evilStatus(), "1 enabled\n") << c.requester;
        EXPECT_FALSE(std::filesystem::exists(machSocket())) << c.requester;
    }
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
