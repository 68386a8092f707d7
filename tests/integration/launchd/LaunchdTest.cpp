#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/VirtualMac.h"

using ::testing::HasSubstr;
using namespace std::chrono_literals;

namespace lidora {
namespace {

bool alive(long pid) {
    return testing::VirtualMac::isRunning(static_cast<pid_t>(pid));
}

// The bound only keeps a broken build from hanging.
bool eventually(const std::function<bool()>& done) {
    return testing::VirtualMac::waitFor(done, 20s);
}

struct Call {
    bool connected = false;
    bool hung = false;
    std::string answer;
    [[nodiscard]] long pid() const { return answer.rfind("pid ", 0) == 0 ? std::stol(answer.substr(4)) : 0; }
};

class Launchd : public ::testing::Test {
protected:
    void SetUp() override { mac.boot(); }

    // Whatever happened, no process of this virtual Mac outlives the test.
    void TearDown() override {
        const auto stopped = vmac({"shutdown"});
        EXPECT_EQ(stopped.status, 0) << stopped.err;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(mac.root() / "var/run/vmac", error)) {
            std::ifstream in(entry.path());
            long pid = 0;
            if (in >> pid && pid > 0 && alive(pid)) {
                ADD_FAILURE() << entry.path() << " still runs";
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            }
        }
    }

    testing::ProcessResult vmac(std::vector<std::string> arguments) const { return mac.vmac(std::move(arguments)); }

    std::filesystem::path plist(const std::string& label, const std::vector<std::string>& daemonArguments,
                                const std::string& extraKeys = "", const std::filesystem::path& program = TEST_DAEMON) {
        auto path = root / (label + ".plist");
        std::ofstream out(path);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
               "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
               "<plist version=\"1.0\">\n<dict>\n"
            << "  <key>Label</key><string>" << label << "</string>\n"
            << "  <key>Program</key><string>" << program.string() << "</string>\n"
            << "  <key>ProgramArguments</key><array><string>activated-daemon</string>";
        for (const auto& argument : daemonArguments) {
            out << "<string>" << argument << "</string>";
        }
        out << "</array>\n"
            << "  <key>MachServices</key><dict><key>" << label << "</key><true/></dict>\n"
            << extraKeys << "</dict>\n</plist>\n";
        return path;
    }

    std::filesystem::path service(const std::string& name) const { return root / "var/run/mach" / name; }

    void load(const std::filesystem::path& plistPath) {
        const auto loaded = vmac({"launchctl", "load", plistPath.string()});
        ASSERT_EQ(loaded.status, 0) << loaded.err;
    }

    Call call(const std::string& name) const {
        Call result;
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, service(name).c_str(), sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            result.connected = true;
            const timeval bound{20, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
            char buffer[256];
            for (;;) {
                const auto count = ::read(fd, buffer, sizeof buffer);
                if (count > 0) {
                    result.answer.append(buffer, static_cast<std::size_t>(count));
                    continue;
                }
                result.hung = count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
                break;
            }
        }
        ::close(fd);
        return result;
    }

    // The pid launchctl list shows for the job: 0 for "-", -1 when not listed.
    long listedPid(const std::string& label) {
        const auto listed = vmac({"launchctl", "list"});
        std::istringstream lines(listed.out);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.size() > label.size() && line.substr(line.size() - label.size() - 1) == "\t" + label) {
                return line.front() == '-' ? 0 : std::stol(line);
            }
        }
        return -1;
    }

    testing::VirtualMac mac{TEST_BIN_DIR};
    const std::filesystem::path& root = mac.root();
};

TEST_F(Launchd, FirstCallStartsTheDaemonLaterCallsShareItAndAFreshOneFollowsItsExit) {
    load(plist("com.zelquin.test.ondemand", {"--idle-ms", "500"}));
    EXPECT_TRUE(std::filesystem::exists(service("com.zelquin.test.ondemand")));
    EXPECT_EQ(listedPid("com.zelquin.test.ondemand"), 0);

    const auto first = call("com.zelquin.test.ondemand");
    ASSERT_GT(first.pid(), 0) << first.answer;
    EXPECT_EQ(call("com.zelquin.test.ondemand").pid(), first.pid());

    ASSERT_TRUE(eventually([&] { return listedPid("com.zelquin.test.ondemand") == 0; }));
    EXPECT_FALSE(alive(first.pid()));
    const auto next = call("com.zelquin.test.ondemand");
    EXPECT_GT(next.pid(), 0);
    EXPECT_NE(next.pid(), first.pid());
}

TEST_F(Launchd, CallMadeWhileTheDaemonExitsIsServedByTheNextInstance) {
    const auto marker = root / "exiting";
    load(plist("com.zelquin.test.lingering", {"--idle-ms", "200", "--linger-ms", "1500", "--marker", marker.string()}));
    const auto first = call("com.zelquin.test.lingering");
    ASSERT_GT(first.pid(), 0);
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(marker); }));

    const auto duringExit = call("com.zelquin.test.lingering");
    EXPECT_FALSE(duringExit.hung);
    EXPECT_GT(duringExit.pid(), 0) << "answer: " << duringExit.answer;
    EXPECT_NE(duringExit.pid(), first.pid());
}

TEST_F(Launchd, DaemonFailingAtStartFailsTheWaitingCallInsteadOfHanging) {
    load(plist("com.zelquin.test.crasher", {"--exit-status", "1"},
               "  <key>ThrottleInterval</key><integer>1</integer>\n"));
    const auto failed = call("com.zelquin.test.crasher");
    EXPECT_TRUE(failed.connected);
    EXPECT_FALSE(failed.hung);
    EXPECT_EQ(failed.answer, "");
    EXPECT_THAT(vmac({"launchctl", "list"}).out, HasSubstr("-\t1\tcom.zelquin.test.crasher"));
}

TEST_F(Launchd, CallWaitingWhenItsDaemonIsKilledIsServedByTheNextInstance) {
    load(plist("com.zelquin.test.killed", {"--idle-ms", "60000"},
               "  <key>ThrottleInterval</key><integer>1</integer>\n"));
    const auto first = call("com.zelquin.test.killed");
    ASSERT_GT(first.pid(), 0) << first.answer;
    const auto launchd = mac.pidOf("launchd");
    ASSERT_TRUE(launchd.has_value());
    // launchd hears of the kill only once the next call waits on the socket.
    ASSERT_EQ(::kill(*launchd, SIGSTOP), 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(first.pid()), SIGKILL), 0);
    ASSERT_TRUE(eventually([&] { return !alive(first.pid()); }));
    Call next;
    std::thread caller([&] { next = call("com.zelquin.test.killed"); });
    std::this_thread::sleep_for(200ms);
    ::kill(*launchd, SIGCONT);
    caller.join();
    EXPECT_GT(next.pid(), 0) << "refused: " << next.answer;
    EXPECT_NE(next.pid(), first.pid());
}

TEST_F(Launchd, KeepAliveDaemonStartsAtLoadAndAgainAfterItExits) {
    load(plist("com.zelquin.test.keepalive", {"--idle-ms", "200"},
               "  <key>KeepAlive</key><true/>\n  <key>ThrottleInterval</key><integer>1</integer>\n"));
    long first = 0;
    ASSERT_TRUE(eventually([&] { return (first = listedPid("com.zelquin.test.keepalive")) > 0; }));
    ASSERT_TRUE(eventually([&] {
        const long now = listedPid("com.zelquin.test.keepalive");
        return now > 0 && now != first;
    }));
}

TEST_F(Launchd, UnloadStopsTheDaemonAndRemovesItsSocket) {
    const auto path = plist("com.zelquin.test.unload", {"--idle-ms", "60000"});
    load(path);
    const auto running = call("com.zelquin.test.unload");
    ASSERT_GT(running.pid(), 0);

    const auto unloaded = vmac({"launchctl", "unload", path.string()});
    ASSERT_EQ(unloaded.status, 0) << unloaded.err;
    EXPECT_FALSE(std::filesystem::exists(service("com.zelquin.test.unload")));
    EXPECT_FALSE(alive(running.pid()));
    EXPECT_EQ(listedPid("com.zelquin.test.unload"), -1);
    EXPECT_FALSE(call("com.zelquin.test.unload").connected);
}

TEST_F(Launchd, ShutdownStopsEverythingAndTheNextBootLoadsTheRecordedJobs) {
    const auto kept = plist("com.zelquin.test.kept", {"--idle-ms", "60000"});
    const auto vanishing = plist("com.zelquin.test.vanishing", {});
    load(kept);
    load(vanishing);
    const auto running = call("com.zelquin.test.kept");
    ASSERT_GT(running.pid(), 0);
    // launchd records the pid just after the program starts, so it may answer first.
    EXPECT_TRUE(eventually([&] { return vmac({"status"}).out.find("com.zelquin.test.kept") != std::string::npos; }));
    EXPECT_THAT(vmac({"boot"}).out, HasSubstr("already running"));

    const auto stopped = vmac({"shutdown"});
    ASSERT_EQ(stopped.status, 0) << stopped.err;
    EXPECT_FALSE(alive(running.pid()));
    EXPECT_FALSE(std::filesystem::exists(service("com.zelquin.test.kept")));
    EXPECT_THAT(vmac({"launchctl", "list"}).err, HasSubstr("not running"));
    const auto offline = vmac({"launchctl", "load", plist("com.zelquin.test.offline", {}).string()});
    EXPECT_EQ(offline.status, 0) << offline.err;
    EXPECT_THAT(offline.out, HasSubstr("not running"));
    std::filesystem::remove(vanishing);

    ASSERT_EQ(vmac({"boot"}).status, 0);
    EXPECT_EQ(listedPid("com.zelquin.test.kept"), 0);
    EXPECT_EQ(listedPid("com.zelquin.test.vanishing"), -1);
    EXPECT_GT(call("com.zelquin.test.offline").pid(), 0);
}

// What launchd checked when loading is what it runs: a program swapped in
// afterwards, through a re-pointed folder link or in place, never runs.
TEST_F(Launchd, AProgramSwappedInAfterLoadingNeverRuns) {
    const auto marker = root / "swapped-ran";
    const auto swap = root / "swap";
    std::filesystem::create_directories(swap);
    std::ofstream(swap / "daemon") << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
    std::filesystem::permissions(swap / "daemon", std::filesystem::perms::owner_all);
    using Swap = std::function<void(const std::filesystem::path& folder, const std::filesystem::path& link)>;
    const struct {
        const char* label;
        bool throughLink;  // the job names its program through a link to its folder
        Swap swapIn;
    } cases[] = {
        {"com.zelquin.test.repointed", true,
         [&](const std::filesystem::path&, const std::filesystem::path& link) {
             std::filesystem::remove(link);
             std::filesystem::create_directory_symlink(swap, link);
         }},
        {"com.zelquin.test.replaced", false,
         [&](const std::filesystem::path& folder, const std::filesystem::path&) {
             std::filesystem::copy_file(swap / "daemon", folder / "new");
             std::filesystem::rename(folder / "new", folder / "daemon");
         }},
    };
    for (const auto& c : cases) {
        const auto folder = root / c.label;
        const auto link = root / ("link-" + std::string(c.label));
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(TEST_DAEMON, folder / "daemon");
        std::filesystem::create_directory_symlink(folder, link);
        const auto loaded =
            vmac({"launchctl", "load", plist(c.label, {}, "", (c.throughLink ? link : folder) / "daemon").string()});
        c.swapIn(folder, link);
        if (loaded.status == 0) {
            call(c.label);
        }
        EXPECT_FALSE(std::filesystem::exists(marker)) << c.label;
    }
}

TEST_F(Launchd, OnlyRootMayLoadButAnyoneMayList) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run a client as another user";
    }
    const auto nobody = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), (mac.bin() / "vmac").string());
        return mac.runAsNobody(std::move(arguments));
    };
    const auto path = plist("com.zelquin.test.refused", {});
    EXPECT_THAT(nobody({"launchctl", "load", path.string()}).err, HasSubstr("permission denied"));
    EXPECT_EQ(nobody({"launchctl", "list"}).status, 0);
    EXPECT_NE(nobody({"shutdown"}).status, 0);
    EXPECT_EQ(listedPid("com.zelquin.test.refused"), -1);
}

}  // namespace
}  // namespace lidora
