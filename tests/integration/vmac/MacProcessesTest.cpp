#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/process/ChildProcess.h"
#include "platform/process/ProcProcessTable.h"
#include "platform/process/VmacMembership.h"
#include "tests/support/VirtualMac.h"

using ::testing::HasSubstr;
using namespace std::chrono_literals;

namespace lidora {
namespace {

using testing::VirtualMac;

constexpr const char* kBrightness = "com.apple.corebrightnessd";

// A host program that happens to share a name with one of the Mac's.
class HostNamesake {
public:
    explicit HostNamesake(const std::filesystem::path& copy) {
        std::filesystem::copy_file("/bin/sleep", copy);
        vmac::SpawnRequest request;
        request.program = copy;
        request.arguments = {copy.string(), "120"};
        request.environment = {"PATH=/usr/bin:/bin"};
        request.descriptors = {0, 1, 2};
        pid_ = vmac::spawnChild(request).value_or(0);
    }
    HostNamesake(const HostNamesake&) = delete;
    HostNamesake& operator=(const HostNamesake&) = delete;
    ~HostNamesake() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            [[maybe_unused]] const auto reaped = vmac::waitForChild(pid_);
        }
    }
    [[nodiscard]] pid_t pid() const { return pid_; }

private:
    pid_t pid_ = 0;
};

class TwoMacs : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto* mac : {&ours, &theirs}) {
            mac->boot();
            ASSERT_TRUE(VirtualMac::waitFor([&] { return mac->pidOf(kBrightness).has_value(); }, 5s));
        }
    }

    testing::ProcessResult killall(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), (ours.root() / "usr" / "bin" / "killall").string());
        return ours.run(arguments);
    }

    // Opens an app that starts two children, one with its environment
    // cleared; returns the app's pid and theirs.
    static std::vector<pid_t> openSleeper(const VirtualMac& mac) {
        const auto bundle = mac.root() / "Applications" / "Sleeper.app";
        std::filesystem::create_directories(bundle / "Contents" / "MacOS");
        const auto executable = bundle / "Contents" / "MacOS" / "Sleeper";
        std::ofstream(executable) << "#!/bin/sh\nsleep 600 &\nenv -i /bin/sleep 601 &\nwait\n";
        std::filesystem::permissions(executable, std::filesystem::perms::owner_all);
        std::ofstream(bundle / "Contents" / "Info.plist")
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
               "<key>CFBundleExecutable</key><string>Sleeper</string>\n"
               "<key>CFBundleIdentifier</key><string>com.zelquin.sleeper</string>\n</dict>\n</plist>\n";
        const auto opened = mac.vmac({"open", "Sleeper"});
        pid_t app = 0;
        if (std::sscanf(opened.out.c_str(), "Sleeper started (pid %d)", &app) != 1) {
            ADD_FAILURE() << opened.out << opened.err;
            return {};
        }
        std::vector<pid_t> pids{app};
        VirtualMac::waitFor(
            [&] {
                pids.resize(1);
                for (const auto& process : vmac::ProcProcessTable().processes()) {
                    if (process.parent == app && !process.zombie) {
                        pids.push_back(process.pid);
                    }
                }
                return pids.size() == 3;
            },
            5s);
        EXPECT_EQ(pids.size(), 3U);
        return pids;
    }

    static std::vector<pid_t> daemonsOf(const VirtualMac& mac) {
        std::vector<pid_t> pids;
        for (const auto* label : {"launchd", kBrightness, "com.zelquin.vmac.bus", "com.apple.logd"}) {
            if (const auto pid = mac.pidOf(label)) {
                pids.push_back(*pid);
            } else {
                ADD_FAILURE() << "no pid for " << label;
            }
        }
        return pids;
    }

    VirtualMac ours{TEST_BIN_DIR};
    VirtualMac theirs{TEST_BIN_DIR};
};

TEST_F(TwoMacs, KillallSignalsItsOwnMacsProcessesOnly) {
    const HostNamesake host(ours.root() / "scratch" / "corebrightnessd");
    ASSERT_GT(host.pid(), 0);
    const auto ourDaemon = *ours.pidOf(kBrightness);
    const auto theirDaemon = *theirs.pidOf(kBrightness);

    const auto shown = killall({"-s", "corebrightnessd"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(shown.out, "kill -TERM " + std::to_string(ourDaemon) + "\n");

    const auto killed = killall({"corebrightnessd"});
    EXPECT_EQ(killed.status, 0) << killed.err;
    EXPECT_TRUE(VirtualMac::waitFor(
        [&] {
            const auto pid = ours.pidOf(kBrightness);
            return pid && *pid != ourDaemon && VirtualMac::isRunning(*pid);
        },
        5s))
        << "launchd restarts the daemon it lost";
    EXPECT_EQ(theirs.pidOf(kBrightness), theirDaemon);
    EXPECT_TRUE(VirtualMac::isRunning(theirDaemon));
    EXPECT_TRUE(VirtualMac::isRunning(host.pid()));

    const auto none = killall({"-9", "no-such-process"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, ::geteuid() == 0 ? "No matching processes were found\n"
                                         : "No matching processes belonging to you were found\n");
}

TEST_F(TwoMacs, ShutdownEndsEveryProcessOfItsMacAndNoOther) {
    auto ourProcesses = daemonsOf(ours);
    const auto ourApp = openSleeper(ours);
    ourProcesses.insert(ourProcesses.end(), ourApp.begin(), ourApp.end());
    auto theirProcesses = daemonsOf(theirs);
    const auto theirApp = openSleeper(theirs);
    theirProcesses.insert(theirProcesses.end(), theirApp.begin(), theirApp.end());
    const auto ourRoot = vmac::canonicalVmacRoot(vmac::VmacPaths(ours.root()));
    ASSERT_EQ(vmac::vmacMembers(vmac::ProcProcessTable().processes(), ourRoot, ::getpid()).size(), ourProcesses.size());

    const auto stopped = ours.vmac({"shutdown"});
    EXPECT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_THAT(stopped.out, HasSubstr("launchd stopped\n"));
    EXPECT_THAT(stopped.out, HasSubstr("stopped Sleeper (pid " + std::to_string(ourApp.front()) + ")\n"));
    for (const auto pid : ourProcesses) {
        EXPECT_FALSE(VirtualMac::isRunning(pid)) << pid;
    }
    for (const auto& process : vmac::vmacMembers(vmac::ProcProcessTable().processes(), ourRoot, ::getpid())) {
        EXPECT_TRUE(process.zombie) << process.name << " (pid " << process.pid << ") is left";
    }
    for (const auto pid : theirProcesses) {
        EXPECT_TRUE(VirtualMac::isRunning(pid)) << pid;
    }
    EXPECT_EQ(theirs.pidOf(kBrightness), theirProcesses[1]);
}

}  // namespace
}  // namespace lidora
