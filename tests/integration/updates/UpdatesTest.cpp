// vmac install, vmac publish-update and login items opened at boot, on a
// temporary virtual Mac with the real vmac.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "platform/runloop/PollRunLoop.h"
#include "platform/sparkle/Appcast.h"
#include "platform/sparkle/SparkleUpdaterFactory.h"
#include "platform/system/AutostartLoginItem.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/VirtualMac.h"
#include "tests/unit/sparkle/SparkleFakes.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;
using ::testing::HasSubstr;

constexpr const char* kTeam = "K7QX4N2M9T";

void writeFile(const std::filesystem::path& file, const std::string& text, bool executable = false) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text;
    if (executable) {
        std::filesystem::permissions(file,
                                     std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                         std::filesystem::perms::others_exec,
                                     std::filesystem::perm_options::add);
    }
}

std::string infoPlist(const std::string& identifier, const std::string& team = "", const std::string& executable = "") {
    std::string text = "<?xml version=\"1.0\"?>\n<plist version=\"1.0\"><dict><key>CFBundleIdentifier</key><string>" +
                       identifier + "</string><key>CFBundleVersion</key><string>3</string>";
    if (!executable.empty()) {
        text += "<key>CFBundleExecutable</key><string>" + executable + "</string>";
    }
    if (!team.empty()) {
        text += "<key>LSTeamID</key><string>" + team + "</string>";
    }
    return text + "</dict></plist>\n";
}

class UpdatesTest : public ::testing::Test {
protected:
    // Probe.app: a script app, the real helper with its built-in Info.plist,
    // and an extension of another team.
    std::filesystem::path makeProbeBundle(const std::string& marker = "") {
        const auto bundle = mac.root() / "scratch" / "build" / "Probe.app";
        writeFile(bundle / "Contents" / "Info.plist", infoPlist("com.example.probe", "", "probe"));
        writeFile(bundle / "Contents" / "MacOS" / "probe",
                  "#!/bin/sh\necho opened >> '" + (marker.empty() ? "/dev/null" : marker) + "'\n", true);
        writeFile(bundle / "Contents" / "MacOS" / "README", "not an executable");
        std::filesystem::copy_file(HELPER_DAEMON, bundle / "Contents" / "MacOS" / "helper",
                                   std::filesystem::copy_options::overwrite_existing);
        const auto extension = bundle / "Contents" / "PlugIns" / "Ext.appex";
        writeFile(extension / "Contents" / "Info.plist", infoPlist("com.example.probe.ext", "ABCDE12345"));
        writeFile(extension / "Contents" / "MacOS" / "ext", "#!/bin/sh\n", true);
        return bundle;
    }

    std::filesystem::path installed(const std::string& relative) const {
        return mac.root() / "Applications" / "Probe.app" / relative;
    }

    VirtualMac mac{TEST_BIN_DIR};
};

TEST_F(UpdatesTest, InstallCopiesTheBundleAndSignsEachExecutableAsItsBundleSays) {
    const auto result = mac.vmac({"install", makeProbeBundle().string()});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("installed " + (mac.root() / "Applications" / "Probe.app").string()));

    struct Case {
        const char* executable;
        const char* identifier;
        const char* team;
    };
    const Case cases[] = {
        {"Contents/MacOS/probe", "com.example.probe", kTeam},
        {"Contents/MacOS/helper", "com.zelquin.lidora.helper", kTeam},
        {"Contents/PlugIns/Ext.appex/Contents/MacOS/ext", "com.example.probe.ext", "ABCDE12345"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable);
        EXPECT_THAT(result.out, HasSubstr(std::string("signed ") + c.executable + " as " + c.identifier));
        const auto verified = mac.vmac({"codesign", "--verify", installed(c.executable).string()});
        ASSERT_EQ(verified.status, 0) << verified.err;
        EXPECT_THAT(verified.out, HasSubstr(std::string("Identifier=") + c.identifier + "\n"));
        EXPECT_THAT(verified.out, HasSubstr(std::string("TeamIdentifier=") + c.team + "\n"));
    }
    EXPECT_NE(mac.vmac({"codesign", "--verify", installed("Contents/MacOS/README").string()}).status, 0);
}

TEST_F(UpdatesTest, InstallReplacesAnOlderCopyWhole) {
    const auto bundle = makeProbeBundle();
    writeFile(bundle / "Contents" / "Resources" / "old-only.txt", "from the old build");
    ASSERT_EQ(mac.vmac({"install", bundle.string()}).status, 0);
    std::filesystem::remove(bundle / "Contents" / "Resources" / "old-only.txt");
    writeFile(bundle / "Contents" / "MacOS" / "probe", "#!/bin/sh\necho new build\n", true);

    const auto again = mac.vmac({"install", bundle.string()});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_THAT(again.out, HasSubstr("replacing the older copy"));
    EXPECT_FALSE(std::filesystem::exists(installed("Contents/Resources/old-only.txt")));
    std::vector<std::string> entries;
    for (const auto& entry : std::filesystem::directory_iterator(mac.root() / "Applications")) {
        entries.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(entries, std::vector<std::string>{"Probe.app"});
    const auto verified = mac.vmac({"codesign", "--verify", installed("Contents/MacOS/probe").string()});
    EXPECT_EQ(verified.status, 0) << verified.err;
}

TEST_F(UpdatesTest, InstallRefusesWhatCannotBeInstalledAndTouchesNothing) {
    const auto bundle = makeProbeBundle();
    writeFile(bundle / "Contents" / "PlugIns" / "Ext.appex" / "Contents" / "Info.plist", "<plist><dict>");
    const auto damaged = mac.vmac({"install", bundle.string()});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_THAT(damaged.err, HasSubstr("cannot sign Contents/PlugIns/Ext.appex/Contents/MacOS/ext"));

    std::filesystem::create_directories(mac.root() / "scratch" / "Plain.app");
    const auto notBundle = mac.vmac({"install", (mac.root() / "scratch" / "Plain.app").string()});
    EXPECT_EQ(notBundle.status, 1);
    EXPECT_THAT(notBundle.err, HasSubstr("is no application bundle"));
    EXPECT_EQ(mac.vmac({"install"}).status, 64);
    EXPECT_TRUE(std::filesystem::is_empty(mac.root() / "Applications"));
}

TEST_F(UpdatesTest, PublishedUpdateReachesARunningUpdater) {
    ASSERT_EQ(mac.vmac({"install", LIDORA_BUNDLE}).status, 0);
    vmac::PollRunLoop loop;
    auto log = std::make_shared<RecordingLogSink>();
    auto dialog = std::make_shared<FakeUpdateDialog>();
    FakeUserDriverDelegate delegate;
    const auto factory = vmac::makeStandardUpdaterControllerFactory(
        loop, vmac::VmacPaths(mac.root()),
        {std::make_shared<MemoryUserDefaults>(), dialog, [] { return false; }, Logger(log, "sparkle", "test"),
         mac.root() / "Applications" / "Lidora.app"});
    const auto controller = factory(true, delegate);
    loop.runUntil(loop.now() + 100ms);
    // No feed has been published yet.
    EXPECT_THAT(log->messages(), Contains(HasSubstr("does not exist")));
    EXPECT_TRUE(delegate.calls.empty() || delegate.calls.back() == "finish");

    const auto published = mac.vmac({"publish-update", "1.0.4"});
    ASSERT_EQ(published.status, 0) << published.err;
    EXPECT_THAT(published.out, HasSubstr("published 1.0.4 (build 15)"));
    auto poll = loop.scheduleRepeating(10ms, [&] {
        if (std::find(delegate.calls.begin(), delegate.calls.end(), "willHandle left 1.0.4 scheduled") !=
            delegate.calls.end()) {
            loop.stop();
        }
    });
    loop.runUntil(loop.now() + 10s);
    EXPECT_THAT(delegate.calls, Contains("willHandle left 1.0.4 scheduled"));
    EXPECT_EQ(dialog->windows, 0);
}

TEST_F(UpdatesTest, PublishUpdateKeepsAMalformedFeedAndCountsOnFromTheNewestBuild) {
    ASSERT_EQ(mac.vmac({"install", LIDORA_BUNDLE}).status, 0);
    const auto feed = mac.root() / "Library" / "Updates" / "com.zelquin.lidora" / "appcast.xml";
    ASSERT_EQ(mac.vmac({"publish-update", "2.0", "--build", "20"}).status, 0);
    const auto next = mac.vmac({"publish-update", "2.1"});
    EXPECT_THAT(next.out, HasSubstr("(build 21)"));
    std::ifstream in(feed);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto appcast = vmac::parseAppcast(text);
    ASSERT_TRUE(appcast) << appcast.error();
    EXPECT_EQ(appcast->items.size(), 2U);

    const auto older = mac.vmac({"publish-update", "0.9", "--build", "9"});
    EXPECT_EQ(older.status, 0);
    EXPECT_THAT(older.err, HasSubstr("will not offer build 9"));

    writeFile(feed, "<rss><channel>");
    const auto refused = mac.vmac({"publish-update", "3.0"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("malformed"));
    std::ifstream after(feed);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), "<rss><channel>");
    EXPECT_EQ(mac.vmac({"publish-update", "1.0", "--build", "x"}).status, 64);
}

TEST_F(UpdatesTest, BootOpensTheUsersLoginItems) {
    const auto marker = mac.root() / "scratch" / "opened";
    ASSERT_EQ(mac.vmac({"install", makeProbeBundle(marker.string()).string()}).status, 0);
    vmac::AutostartLoginItem item(vmac::VmacPaths(mac.root()), mac.root() / "Applications" / "Probe.app",
                                  "com.example.probe");
    ASSERT_TRUE(item.registerItem());
    ASSERT_EQ(item.status(), HelperStatus::enabled);

    const auto booted = mac.boot();
    const bool canOpen = mac.vmac({"open", "--help"}).status != 64;
    if (!canOpen) {
        // Until vmac has an open command, boot says why the item stays closed.
        EXPECT_THAT(booted.err, HasSubstr("no 'open' command"));
        GTEST_SKIP() << "vmac has no open command yet";
    }
    EXPECT_THAT(booted.out, HasSubstr("opened login item")) << booted.err;
    EXPECT_TRUE(VirtualMac::waitFor([&] { return std::filesystem::exists(marker); }, 5s));
}

}  // namespace
}  // namespace lidora::testing
