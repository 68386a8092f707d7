#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/log/UnifiedLogStore.h"
#include "tests/support/VirtualMac.h"

using ::testing::HasSubstr;
using namespace std::chrono_literals;

namespace lidora {
namespace {

constexpr const char* kTeam = "K7QX4N2M9T";
constexpr const char* kLabel = "com.zelquin.lidora.helper";

class HelperDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        mac.boot();
        bundle = mac.installBundle(LIDORA_BUNDLE);
        const auto loaded = mac.vmac({"launchctl", "load", plist().string()});
        ASSERT_EQ(loaded.status, 0) << loaded.err;
        app = mac.signedCopy(HELPER_PROBE, "app-probe", "com.zelquin.lidora", kTeam);
    }

    std::filesystem::path plist() const {
        return bundle / "Contents" / "Library" / "LaunchDaemons" / "com.zelquin.lidora.helper.plist";
    }
    testing::ProcessResult probe(const std::filesystem::path& client, std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), client.string());
        return mac.run(arguments);
    }
    // As an unprivileged local user when the test can switch to one.
    testing::ProcessResult asAttacker(std::vector<std::string> argv) const {
        return geteuid() == 0 ? mac.runAsNobody(std::move(argv)) : mac.run(std::move(argv));
    }
    // A raw connection to the daemon, made as a well-behaved client makes it.
    int connectToHelper() const {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const auto path = (mac.root() / "var" / "run" / "mach" / kLabel).string();
        std::memcpy(address.sun_path, path.c_str(), std::min(path.size() + 1, sizeof address.sun_path - 1));
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    testing::ProcessResult defaults(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), "defaults");
        return mac.vmac(arguments);
    }
    std::vector<vmac::StoredLogRecord> helperLog() const {
        std::vector<vmac::StoredLogRecord> records;
        std::istringstream lines(mac.vmac({"log", "show", "--category", "helper", "--style", "json"}).out);
        for (std::string line; std::getline(lines, line);) {
            if (auto record = vmac::decodeLogRecord(line)) {
                records.push_back(*record);
            }
        }
        return records;
    }
    std::vector<std::int64_t> daemonPids() const {
        std::vector<std::int64_t> pids;
        for (const auto& record : helperLog()) {
            if (record.message.rfind("Helper 2 listening", 0) == 0) {
                pids.push_back(record.pid);
            }
        }
        return pids;
    }

    testing::VirtualMac mac{TEST_BIN_DIR};
    std::filesystem::path bundle;
    std::filesystem::path app;
};

TEST_F(HelperDaemon, ReadsSwitchesAndResetsTheLightThroughDefaults) {
    EXPECT_EQ(probe(app, {"version"}).out, "2\n");
    EXPECT_EQ(probe(app, {"get-state"}).out, "1\n") << "an absent key reads as on";

    const auto off = probe(app, {"set-light", "off"});
    ASSERT_EQ(off.status, 0) << off.out;
    EXPECT_EQ(defaults({"read", "com.apple.CoreBrightness", "LEBacklightMode"}).out, "0\n");
    EXPECT_EQ(defaults({"read-type", "com.apple.CoreBrightness", "LEBacklightMode"}).out, "Type is integer\n");
    EXPECT_EQ(probe(app, {"get-state"}).out, "0\n");

    ASSERT_EQ(probe(app, {"set-light", "on"}).status, 0);
    EXPECT_EQ(defaults({"read", "com.apple.CoreBrightness", "LEBacklightMode"}).status, 1) << "on is the key absent";
    EXPECT_EQ(probe(app, {"set-light", "on"}).status, 0) << "switching on twice is no error";

    const auto logged = helperLog();
    EXPECT_TRUE(std::any_of(logged.begin(), logged.end(),
                            [](const auto& r) { return r.message == "setLight(off) write exit=0 output="; }));
}

TEST_F(HelperDaemon, ResetDeletesBothTablesAndRestartsTheBrightnessService) {
    const std::string table = "<array><array><real>0</real><real>0</real></array></array>";
    ASSERT_EQ(defaults({"write", "com.apple.CoreBrightness", "LEPWMBrightnessNitsMapping", table}).status, 0);
    ASSERT_EQ(defaults({"write", "com.apple.CoreBrightness", "LEPWMLuxToMinNitsRestrictionMapping", table}).status, 0);

    // The tables go and corebrightnessd restarts, which puts its factory tables back.
    const auto reset = probe(app, {"reset"});
    EXPECT_EQ(reset.status, 0) << reset.out;
    EXPECT_EQ(reset.out, "ok\n");
    EXPECT_TRUE(testing::VirtualMac::waitFor(
        [&] {
            const auto read = defaults({"read", "com.apple.CoreBrightness", "LEPWMBrightnessNitsMapping"});
            return read.status == 0 && read.out.find("250") != std::string::npos;
        },
        5s));
    EXPECT_TRUE(testing::VirtualMac::waitFor([&] { return mac.vmac({"logo", "--nits"}).out == "60\n"; }, 5s));
}

TEST_F(HelperDaemon, ResetRestartsTheBrightnessServiceOfItsOwnMacOnly) {
    testing::VirtualMac other{TEST_BIN_DIR};
    other.boot();
    constexpr const char* kBrightness = "com.apple.corebrightnessd";
    for (const auto* each : {&mac, &other}) {
        ASSERT_TRUE(testing::VirtualMac::waitFor([&] { return each->pidOf(kBrightness).has_value(); }, 5s));
    }
    const auto ours = *mac.pidOf(kBrightness);
    const auto theirs = *other.pidOf(kBrightness);

    const auto reset = probe(app, {"reset"});
    EXPECT_EQ(reset.out, "ok\n") << reset.err;
    EXPECT_TRUE(testing::VirtualMac::waitFor(
        [&] {
            const auto pid = mac.pidOf(kBrightness);
            return pid && *pid != ours && testing::VirtualMac::isRunning(*pid);
        },
        5s));
    EXPECT_EQ(other.pidOf(kBrightness), theirs);
    EXPECT_TRUE(testing::VirtualMac::isRunning(theirs));
}

TEST_F(HelperDaemon, AdmitsOnlyTheAppAndTheExtensionOfItsTeam) {
    const auto extension = mac.signedCopy(HELPER_PROBE, "extension-probe", "com.zelquin.lidora.control", kTeam);
    const auto otherTeam = mac.signedCopy(HELPER_PROBE, "other-team", "com.zelquin.lidora", "AAAAAAAAAA");
    const auto otherIdentity = mac.signedCopy(HELPER_PROBE, "other-id", "com.example.other", kTeam);
    const auto adHoc = mac.signedCopy(HELPER_PROBE, "ad-hoc", "com.zelquin.lidora", "");
    const auto unsignedCopy = mac.signedCopy(HELPER_PROBE, "unsigned", "", "");

    EXPECT_EQ(probe(extension, {"get-state"}).status, 0);
    for (const auto& foreign : {otherTeam, otherIdentity, adHoc, unsignedCopy}) {
        const auto refused = probe(foreign, {"set-light", "off"});
        EXPECT_EQ(refused.status, 1) << foreign.filename() << ": " << refused.out;
        EXPECT_THAT(refused.out, ::testing::StartsWith("Couldn't reach the Lidora helper: "));
        EXPECT_THAT(refused.out, HasSubstr("com.zelquin.lidora.helper"));
    }
    EXPECT_EQ(defaults({"read", "com.apple.CoreBrightness", "LEBacklightMode"}).status, 1) << "nothing was switched";

    // A signed executable that is changed afterwards loses its signature.
    {
        std::ofstream append(app, std::ios::app | std::ios::binary);
        append << "tampered";
    }
    EXPECT_THAT(probe(app, {"version"}).out, ::testing::StartsWith("Couldn't reach the Lidora helper: "));

    const auto accepted = helperLog();
    EXPECT_GE(std::count_if(accepted.begin(), accepted.end(),
                            [](const auto& r) { return r.message.rfind("Accepted connection from pid ", 0) == 0; }),
              6);
}

TEST_F(HelperDaemon, RefusesAConnectionWhoseMakerExecsTheAppAndLeavesAChildOnIt) {
    const auto attacker = mac.signedCopy(EXEC_RACE_PROBE, "race", "", "");
    const auto socket = (mac.root() / "var" / "run" / "mach" / kLabel).string();
    // The connection survives the exec in the child only, or in both.
    for (const auto* variant : {"close", "keep"}) {
        // Stopped, so launchd starts the daemon on this connection: the exec
        // is done long before the daemon looks at the connecting pid.
        mac.vmac({"launchctl", "unload", plist().string()});
        ASSERT_EQ(mac.vmac({"launchctl", "load", plist().string()}).status, 0);
        const auto raced =
            asAttacker({attacker.string(), socket, variant, app.string(), "get-state", "--times", "200"});
        EXPECT_THAT(raced.out, HasSubstr("refused: ")) << variant;
        EXPECT_THAT(raced.out, ::testing::Not(HasSubstr("switched"))) << variant;
    }
    EXPECT_EQ(defaults({"read", "com.apple.CoreBrightness", "LEBacklightMode"}).status, 1) << "nothing was switched";
}

TEST_F(HelperDaemon, RefusesTheAppRunningCodeFromAnUnprotectedFolder) {
    // The attacker's own folder, with a library of theirs and a copy of one
    // the app needs.
    const auto folder = mac.root() / "scratch" / "injected";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(PRELOAD_PROBE, folder / "libinjected.so");
    std::string systemd;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line) && systemd.empty();) {
        if (const auto at = line.find(" /");
            at != std::string::npos && line.find("/libsystemd.so") != std::string::npos) {
            systemd = line.substr(at + 1);
        }
    }
    ASSERT_FALSE(systemd.empty());
    std::filesystem::copy_file(systemd, folder / "libsystemd.so.0");
    for (const auto& each : {folder, folder / "libinjected.so", folder / "libsystemd.so.0"}) {
        ASSERT_EQ(::chown(each.c_str(), geteuid() == 0 ? 65534 : geteuid(), static_cast<gid_t>(-1)), 0);
    }
    for (const auto& variable :
         {"LD_PRELOAD=" + (folder / "libinjected.so").string(), "LD_AUDIT=" + (folder / "libinjected.so").string(),
          "LD_LIBRARY_PATH=" + folder.string()}) {
#ifdef __SANITIZE_ADDRESS__
        // A sanitized app does not start at all under an audit library.
        if (variable.starts_with("LD_AUDIT=")) {
            continue;
        }
#endif
        // A sanitized build would refuse to start with a library ahead of its
        // runtime; what is tested is the daemon's answer.
        const auto injected = asAttacker(
            {"/usr/bin/env", "ASAN_OPTIONS=verify_asan_link_order=0", variable, app.string(), "set-light", "off"});
        EXPECT_EQ(injected.status, 1) << variable << ": " << injected.out;
        EXPECT_THAT(injected.out, ::testing::StartsWith("Couldn't reach the Lidora helper: ")) << variable;
    }
    EXPECT_EQ(defaults({"read", "com.apple.CoreBrightness", "LEBacklightMode"}).status, 1) << "nothing was switched";
    const auto clean = asAttacker({app.string(), "get-state"});
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
}

TEST_F(HelperDaemon, ServesOrdinaryUsersWhoRunTheSignedApp) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to switch users";
    }
    std::filesystem::permissions(mac.root() / "scratch", std::filesystem::perms::all);
    const auto result = mac.runAsNobody({app.string(), "get-state"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.out, "1\n");
}

TEST_F(HelperDaemon, ExitsTenSecondsAfterTheLastClientAndStartsAfreshOnTheNextCall) {
    ASSERT_EQ(probe(app, {"version"}).status, 0);
    const auto lastCall = std::chrono::system_clock::now();
    ASSERT_TRUE(testing::VirtualMac::waitFor(
        [&] {
            const auto log = helperLog();
            return std::any_of(log.begin(), log.end(),
                               [](const auto& r) { return r.message == "Helper idle; exiting"; });
        },
        30s));
    const auto log = helperLog();
    const auto exitRecord =
        *std::find_if(log.begin(), log.end(), [](const auto& r) { return r.message == "Helper idle; exiting"; });
    const auto exitedAt =
        std::chrono::system_clock::time_point(std::chrono::microseconds(exitRecord.microsecondsSinceEpoch));
    EXPECT_GE(exitedAt - lastCall, 9500ms) << "never before ten idle seconds";

    ASSERT_EQ(probe(app, {"version"}).status, 0);
    const auto pids = daemonPids();
    ASSERT_EQ(pids.size(), 2U);
    EXPECT_NE(pids[0], pids[1]);
}

TEST_F(HelperDaemon, AClientThatNeverSpeaksCannotKeepItRunning) {
    // This test process is the silent client; sign it so it is admitted.
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    ASSERT_EQ(mac.vmac({"codesign", "--identifier", "com.zelquin.lidora", "--team", kTeam, self.string()}).status, 0);
    ASSERT_EQ(probe(app, {"version"}).status, 0);
    const auto connectedAt = std::chrono::system_clock::now();
    const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const auto path = (mac.root() / "var" / "run" / "mach" / kLabel).string();
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(connect(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const bool exited = testing::VirtualMac::waitFor(
        [&] {
            const auto log = helperLog();
            return std::any_of(log.begin(), log.end(),
                               [](const auto& r) { return r.message == "Helper idle; exiting"; });
        },
        40s);
    close(silent);
    ASSERT_TRUE(exited);
    const auto log = helperLog();
    const auto exitRecord =
        *std::find_if(log.begin(), log.end(), [](const auto& r) { return r.message == "Helper idle; exiting"; });
    const auto exitedAt =
        std::chrono::system_clock::time_point(std::chrono::microseconds(exitRecord.microsecondsSinceEpoch));
    EXPECT_GE(exitedAt - connectedAt, 14500ms) << "dropped after five silent seconds, then ten idle ones";
}

TEST_F(HelperDaemon, AFloodOfIdleAndTricklingPeersNeitherMultipliesThreadsNorLocksOthersOut) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to call as another user than the flooder";
    }
    // The flooder is signed, so its connections get past the admission check.
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    ASSERT_EQ(mac.vmac({"codesign", "--identifier", "com.zelquin.lidora", "--team", kTeam, self.string()}).status, 0);
    ASSERT_EQ(probe(app, {"version"}).status, 0);
    // The trickler starts a request and sends one more byte of it every half second.
    const int trickler = connectToHelper();
    ASSERT_GE(trickler, 0);
    ASSERT_EQ(write(trickler, "\0AUTH", 5), 5);
    std::atomic<bool> dropped = false;
    std::thread trickle([&] {
        for (int i = 0; i < 24 && !dropped; ++i) {
            std::this_thread::sleep_for(500ms);
            dropped = send(trickler, " ", 1, MSG_NOSIGNAL) != 1;
        }
    });
    std::vector<int> idle;
    for (int i = 0; i < 200; ++i) {
        if (const int fd = connectToHelper(); fd >= 0) {
            idle.push_back(fd);
        }
    }
    const auto pid = mac.pidOf(kLabel);
    ASSERT_TRUE(pid.has_value());
    const auto threads = [&] {
        std::ifstream status("/proc/" + std::to_string(*pid) + "/status");
        std::string line;
        while (std::getline(status, line) && line.rfind("Threads:", 0) != 0) {
        }
        return line.empty() ? 0 : std::stoi(line.substr(8));
    };
    // Give the daemon time to take them all.
    EXPECT_FALSE(testing::VirtualMac::waitFor([&] { return threads() > 20; }, 2s)) << threads() << " threads";

    const auto served = mac.runAsNobody({app.string(), "get-state"});
    EXPECT_EQ(served.status, 0) << served.out;
    trickle.join();
    EXPECT_TRUE(dropped) << "a peer that never completes a request is dropped";
    for (const int fd : idle) {
        close(fd);
    }
    close(trickler);
}

TEST_F(HelperDaemon, ACallBeyondItsUsersShareWaitsForASlotInsteadOfBeingCutOff) {
    // This test process holds the user's whole share with silent connections.
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    ASSERT_EQ(mac.vmac({"codesign", "--identifier", "com.zelquin.lidora", "--team", kTeam, self.string()}).status, 0);
    ASSERT_EQ(probe(app, {"version"}).status, 0);
    const auto accepted = [&] {
        const auto log = helperLog();
        return std::count_if(log.begin(), log.end(),
                             [](const auto& r) { return r.message.rfind("Accepted connection from pid ", 0) == 0; });
    };
    const auto before = accepted();
    std::vector<int> share;
    for (int i = 0; i < 12; ++i) {
        share.push_back(connectToHelper());
        ASSERT_GE(share.back(), 0);
    }
    ASSERT_TRUE(testing::VirtualMac::waitFor([&] { return accepted() >= before + 12; }, 5s));
    testing::ProcessResult call;
    std::thread caller([&] { call = probe(app, {"version"}); });
    // The call is in the daemon's hands before a slot frees.
    std::this_thread::sleep_for(300ms);
    close(share.back());
    share.pop_back();
    caller.join();
    EXPECT_EQ(call.status, 0) << call.out;
    EXPECT_EQ(call.out, "2\n");
    for (const int fd : share) {
        close(fd);
    }
}

TEST_F(HelperDaemon, AWaitingCallWhoseClientHungUpIsDroppedWithoutACheck) {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    ASSERT_EQ(mac.vmac({"codesign", "--identifier", "com.zelquin.lidora", "--team", kTeam, self.string()}).status, 0);
    ASSERT_EQ(probe(app, {"version"}).status, 0);
    const auto count = [&](const std::string& prefix) {
        const auto log = helperLog();
        return std::count_if(log.begin(), log.end(),
                             [&](const auto& r) { return r.message.find(prefix) != std::string::npos; });
    };
    const auto accepted = count("Accepted connection from pid ");
    std::vector<int> share;
    for (int i = 0; i < 12; ++i) {
        share.push_back(connectToHelper());
    }
    ASSERT_TRUE(
        testing::VirtualMac::waitFor([&] { return count("Accepted connection from pid ") >= accepted + 12; }, 5s));
    const auto refusals = count("fails the code-signing requirement");
    close(connectToHelper());  // waits for a slot, then gives up
    close(share.back());
    share.pop_back();
    EXPECT_EQ(probe(app, {"version"}).out, "2\n");
    EXPECT_EQ(count("fails the code-signing requirement"), refusals) << "the abandoned call was checked";
    for (const int fd : share) {
        close(fd);
    }
}

TEST(HelperDaemonStartup, RefusesToStartWithoutATeamIdentifier) {
    testing::VirtualMac mac(TEST_BIN_DIR);
    mac.boot();
    for (const auto* variant : {"missing", "empty"}) {
        const auto plist = mac.root() / "scratch" / (std::string(variant) + ".plist");
        std::ofstream(plist) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                             << "<key>CFBundleIdentifier</key><string>com.zelquin.lidora.helper</string>\n"
                             << (std::string(variant) == "empty" ? "<key>LSTeamID</key><string></string>\n" : "")
                             << "</dict>\n</plist>\n";
        const auto daemon = mac.root() / "scratch" / (std::string("helper-") + variant);
        const auto patched = testing::runProcess(
            {"/usr/bin/objcopy", "--update-section", "__info_plist=" + plist.string(), HELPER_DAEMON, daemon.string()});
        ASSERT_EQ(patched.status, 0) << patched.err;
        const auto started = mac.run({daemon.string()});
        EXPECT_EQ(started.status, 1) << variant;
    }
    const auto log = mac.vmac({"log", "show", "--category", "helper"});
    EXPECT_THAT(log.out, HasSubstr("Fault"));
    EXPECT_THAT(log.out, HasSubstr("Helper is missing LSTeamID; refusing to start."));
}

}  // namespace
}  // namespace lidora
