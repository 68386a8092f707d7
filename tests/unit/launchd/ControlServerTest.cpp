#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "core/runtime/VirtualRunLoop.h"
#include "platform/launchd/ControlServer.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace lidora::vmac {
namespace {

constexpr uid_t kRoot = 0;
constexpr uid_t kAlice = 60001;
constexpr uid_t kBob = 60002;
constexpr uid_t kCarol = 60003;

class NoProcesses final : public JobProcesses {
public:
    Expected<pid_t, std::string> start(const LaunchJob&, const std::vector<int>&) override {
        return unexpected(std::string("not in this test"));
    }
    void signal(pid_t, int) override {}
    void ended(const LaunchJob&, pid_t) override {}
};

ControlServerLimits limits(std::size_t maxConnections, std::size_t perUser, std::size_t maxPrivileged) {
    ControlServerLimits result;
    result.maxConnections = maxConnections;
    result.perUser = perUser;
    result.maxPrivileged = maxPrivileged;
    result.idleTimeout = 5s;
    return result;
}

struct Client {
    FileDescriptor fd;
    int serverFd = -1;
};

// Drives the server with real sockets on the virtual clock; the peer of each
// accepted connection is the uid the test connected as.
class ControlServerOnVirtualClock : public ::testing::Test {
protected:
    void start(ControlServerLimits limits) {
        auto socket = ListeningSocket::listen(dir.path() / "launchd.sock", 0666);
        ASSERT_TRUE(socket) << socket.error();
        ASSERT_TRUE(socket->publish());
        listeningFd = socket->fd();
        limits.peerOf = [this](int fd) -> std::optional<ucred> {
            acceptedFd = fd;
            return ucred{.pid = static_cast<pid_t>(1000 + nextUid), .uid = nextUid, .gid = nextUid};
        };
        server = std::make_unique<ControlServer>(
            loop, std::move(socket).value(), supervisor, services, [] {}, logger, std::move(limits));
    }

    Client connectAs(uid_t uid) {
        nextUid = uid;
        acceptedFd = -1;
        auto client = connectUnix(dir.path() / "launchd.sock");
        EXPECT_TRUE(client) << client.error().message;
        loop.signal(listeningFd, FdEvent::Readable);
        return {client ? std::move(client).value() : FileDescriptor(), acceptedFd};
    }

    void write(const Client& client, const std::string& bytes) {
        ASSERT_EQ(::send(client.fd.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
        loop.signal(client.serverFd, FdEvent::Readable);
    }

    // What the server has sent so far, and whether it has closed its side.
    static std::pair<std::string, bool> received(const Client& client) {
        std::string text;
        char buffer[4096];
        for (;;) {
            const auto count = ::recv(client.fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (count > 0) {
                text.append(buffer, static_cast<std::size_t>(count));
                continue;
            }
            // Closing with requests unread resets the connection.
            return {text, count == 0 || errno == ECONNRESET};
        }
    }

    bool served(const Client& client) {
        write(client, R"({"command":"list"})"
                      "\n");
        const auto [text, closed] = received(client);
        return !closed && text.find(R"("ok":true)") != std::string::npos;
    }

    bool closed(const Client& client) { return received(client).second; }

    testing::TempDir dir;
    VirtualRunLoop loop;
    std::shared_ptr<testing::RecordingLogSink> log = std::make_shared<testing::RecordingLogSink>();
    Logger logger{log, "com.zelquin.vmac", "launchd"};
    VmacPaths paths{dir.path()};
    NoProcesses processes;
    JobSupervisor supervisor{loop, paths, processes, JobRegistry::of(paths), logger};
    // What the service manager was given to prove who sent a request.
    std::vector<std::pair<int, ucred>> verified;
    ServiceManager services{supervisor, ServiceRegistry::of(paths), SignatureStore::forRoot(paths), logger,
                            [this](int socket, const ucred& peer) -> Expected<CodeSignature, std::string> {
                                verified.emplace_back(socket, peer);
                                return unexpected(std::string("not proven in this test"));
                            }};
    std::unique_ptr<ControlServer> server;
    int listeningFd = -1;
    int acceptedFd = -1;
    uid_t nextUid = 0;
};

TEST_F(ControlServerOnVirtualClock, OneUserCannotTakeTheSlotsOfOthersOrOfRoot) {
    struct Case {
        const char* name;
        ControlServerLimits limits;
        std::vector<uid_t> admitted;  // all connected first, in this order
        uid_t refused;
        std::vector<uid_t> stillServed;
    };
    const std::vector<Case> cases = {
        {"ninth from one user", limits(64, 8, 16), std::vector<uid_t>(8, kAlice), kAlice, {kBob, kRoot}},
        {"all users' slots taken", limits(4, 2, 16), {kAlice, kAlice, kBob, kBob}, kCarol, {kRoot}},
        {"root's own slots taken", limits(64, 8, 2), {kRoot, kRoot}, kRoot, {kAlice}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server.reset();
        log->records.clear();
        start(c.limits);
        std::vector<Client> open;
        for (const auto uid : c.admitted) {
            open.push_back(connectAs(uid));
        }
        const auto refused = connectAs(c.refused);
        const auto [reply, closedAfter] = received(refused);
        EXPECT_THAT(reply, HasSubstr("too many connections"));
        EXPECT_TRUE(closedAfter);
        ASSERT_FALSE(log->records.empty());
        EXPECT_THAT(log->records.back().message,
                    HasSubstr("refused a control connection from uid " + std::to_string(c.refused)));
        for (const auto uid : c.stillServed) {
            open.push_back(connectAs(uid));
            EXPECT_TRUE(served(open.back())) << "uid " << uid;
        }
        for (const auto& client : open) {
            EXPECT_TRUE(served(client));
        }
    }
}

TEST_F(ControlServerOnVirtualClock, ClosesAConnectionIdleSinceConnectingOrSinceItsLastReply) {
    start(limits(64, 8, 16));
    const auto quiet = connectAs(kAlice);
    const auto talking = connectAs(kAlice);
    loop.advance(4s);
    EXPECT_TRUE(served(talking));
    loop.advance(1s - 1ms);
    EXPECT_FALSE(closed(quiet));
    loop.advance(1ms);
    EXPECT_TRUE(closed(quiet));
    ASSERT_FALSE(log->records.empty());
    EXPECT_THAT(log->records.back().message, HasSubstr("closed a control connection from uid 60001"));

    // The reply at 4 s gave `talking` until 9 s.
    loop.advance(4s - 1ms);
    EXPECT_FALSE(closed(talking));
    loop.advance(1ms);
    EXPECT_TRUE(closed(talking));

    // Closed connections give their slots back.
    EXPECT_TRUE(served(connectAs(kAlice)));
}

TEST_F(ControlServerOnVirtualClock, DropsARequestTricklingInPastTheDeadline) {
    start(limits(64, 8, 16));
    const auto slow = connectAs(kBob);
    for (const char* part : {R"({"comm)", R"(and":)", R"("li)", R"(s)"}) {
        loop.advance(1s);
        write(slow, part);
        EXPECT_FALSE(closed(slow));
    }
    loop.advance(1s - 1ms);
    EXPECT_FALSE(closed(slow));
    loop.advance(1ms);
    const auto [reply, closedAfter] = received(slow);
    EXPECT_EQ(reply, "");
    EXPECT_TRUE(closedAfter);
}

TEST_F(ControlServerOnVirtualClock, StopsTakingRequestsFromAClientThatReadsNoReplies) {
    start(limits(64, 8, 16));
    const auto greedy = connectAs(kAlice);
    std::string burst;
    for (int i = 0; i < 1000; ++i) {
        burst += R"({"command":"list"})"
                 "\n";
    }
    std::size_t written = 0;
    bool blocked = false;
    while (!blocked && written < std::size_t{8} * 1024 * 1024) {
        const auto sent = ::send(greedy.fd.get(), burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        blocked = sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        written += sent > 0 ? static_cast<std::size_t>(sent) : 0;
        loop.signal(greedy.serverFd, FdEvent::Readable);
    }
    EXPECT_TRUE(blocked) << written << " bytes of requests taken";
    loop.advance(5s);
    EXPECT_TRUE(closed(greedy));
}

TEST_F(ControlServerOnVirtualClock, ServiceRequestsOfOrdinaryUsersAreProvenOnTheirConnection) {
    start(limits(64, 8, 16));
    const auto alice = connectAs(kAlice);
    std::filesystem::create_directories(dir.path() / "A.app");
    write(alice, R"({"command":"sm-unregister","bundle":")" + (dir.path() / "A.app").string() +
                     R"(","plistName":"x.plist"})"
                     "\n");
    EXPECT_THAT(received(alice).first, HasSubstr("permission denied; not proven in this test"));
    ASSERT_EQ(verified.size(), 1U);
    EXPECT_EQ(verified[0].first, alice.serverFd) << "the accepted socket itself";
    EXPECT_EQ(verified[0].second.uid, kAlice);
    EXPECT_EQ(verified[0].second.pid, static_cast<pid_t>(1000 + kAlice));
}

}  // namespace
}  // namespace lidora::vmac

namespace lidora::vmac {
namespace {

TEST_F(ControlServerOnVirtualClock, RefusalsAUserProvokesAtWillDoNotFloodTheLog) {
    start(limits(64, 1, 16));
    const auto kept = connectAs(kAlice);
    for (int i = 0; i < 100; ++i) {
        (void)connectAs(kAlice);
    }
    const auto refusals = [&] {
        return std::count_if(log->records.begin(), log->records.end(), [](const auto& record) {
            return record.message.find("refused a control connection") != std::string::npos;
        });
    };
    EXPECT_EQ(refusals(), static_cast<long>(kRefusalLinesPerWindow));
    EXPECT_TRUE(served(kept));

    loop.advance(kRefusalWindow);
    (void)connectAs(kAlice);
    (void)connectAs(kAlice);
    EXPECT_THAT(log->messages(), ::testing::Contains("80 more like it were not logged"));
}

}  // namespace
}  // namespace lidora::vmac
