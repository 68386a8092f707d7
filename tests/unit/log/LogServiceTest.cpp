#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/log/KeptRecordDelivery.h"
#include "platform/log/LogServer.h"
#include "platform/log/LogService.h"
#include "platform/log/LogServiceClient.h"
#include "platform/log/LogWire.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/runloop/PollRunLoop.h"
#include "tests/support/TempDir.h"

namespace lidora::vmac {
namespace {

using namespace std::chrono_literals;

std::string recordDatagram(const std::string& message, const std::string& extra = "") {
    return R"({"subsystem":"com.zelquin.lidora","category":"helper","level":"Fault","message":")" + message + "\"" +
           extra + "}";
}

// The log service on a thread of its own, as logd runs it, until stop().
class ServiceThread {
public:
    explicit ServiceThread(const VmacPaths& paths)
        : service_(UnifiedLogFolder(paths.unifiedLog()), [this] { return ++clock_; }), server_(LogServer::open(paths)) {
        if (server_) {
            server_->serve(loop_, service_);
            thread_ = std::thread([this] { loop_.run(); });
        }
    }
    ServiceThread(const ServiceThread&) = delete;
    ServiceThread& operator=(const ServiceThread&) = delete;
    ~ServiceThread() { stop(); }

    // Empty when the service listens.
    [[nodiscard]] std::string failure() const { return server_ ? std::string() : server_.error(); }
    void stop() {
        if (thread_.joinable()) {
            loop_.stop();
            thread_.join();
        }
    }

private:
    std::atomic<std::int64_t> clock_ = 0;
    LogService service_;
    PollRunLoop loop_;
    Expected<LogServer, std::string> server_;
    std::thread thread_;
};

TEST(LogService, DropsMalformedDatagramsAndStampsTheSenderItself) {
    testing::TempDir dir;
    std::int64_t clock = 100;
    LogService service(UnifiedLogFolder(dir.path()), [&] { return clock++; });
    std::vector<StoredLogRecord> mirrored;
    service.setMirror([&](const StoredLogRecord& record) { mirrored.push_back(record); });
    const LogSender nobody{4242, 65534, "log-probe"};
    const std::string longName(kMaxLogNameBytes + 1, 'a');
    const struct {
        const char* what;
        std::string datagram;
    } malformed[] = {
        {"empty", ""},
        {"not JSON", "helper: forged"},
        {"not an object", "[1,2]"},
        {"no message", R"({"subsystem":"s","category":"c","level":"Default"})"},
        {"a message that is no string", R"({"subsystem":"s","category":"c","level":"Default","message":5})"},
        {"an unknown level", R"({"subsystem":"s","category":"c","level":"Loud","message":"m"})"},
        {"a control character in a name", R"({"subsystem":"s\n","category":"c","level":"Default","message":"m"})"},
        {"a name too long", R"({"subsystem":")" + longName + R"(","category":"c","level":"Default","message":"m"})"},
        {"too long", recordDatagram(std::string(kMaxLogDatagram, 'x'))},
        {"a sync without a number", R"({"sync":"now"})"},
    };
    for (const auto& bad : malformed) {
        EXPECT_FALSE(service.handle(bad.datagram, nobody)) << bad.what;
    }
    EXPECT_EQ(service.counts().dropped, std::size(malformed));

    // Whatever the sender says of itself is ignored.
    service.handle(recordDatagram("forged", R"(,"pid":1,"uid":0,"process":"com.zelquin.lidora.helper","time":1)"),
                   nobody);
    const auto records = UnifiedLogFolder(dir.path()).readAll();
    ASSERT_EQ(records.size(), 1U);
    EXPECT_EQ(records[0].message, "forged");
    EXPECT_EQ(records[0].pid, 4242);
    EXPECT_EQ(records[0].uid, 65534);
    EXPECT_EQ(records[0].process, "log-probe");
    EXPECT_EQ(records[0].microsecondsSinceEpoch, 100);
    EXPECT_EQ(records[0].level, LogLevel::Fault);

    const auto reply = service.handle(encodeLogSync(7), nobody);
    ASSERT_TRUE(reply);
    EXPECT_EQ(decodeLogSyncReply(*reply), 7U);
    // journald's copy: the stored record alone, under the sender logd named.
    ASSERT_EQ(mirrored.size(), 1U);
    EXPECT_EQ(mirrored[0].message, "forged");
    EXPECT_EQ(mirrored[0].pid, 4242);
    EXPECT_EQ(mirrored[0].process, "log-probe");
}

TEST(LogService, AFloodFromOneUserRotatesAwayOnlyItsOwnRecords) {
    testing::TempDir dir;
    std::int64_t clock = 0;
    LogService service(UnifiedLogFolder(dir.path(), 4096), [&] { return ++clock; });
    service.handle(recordDatagram("root's"), LogSender{1, 0, "launchd"});
    constexpr int kFlood = 500;
    for (int i = 0; i < kFlood; ++i) {
        service.handle(recordDatagram(std::string(100, 'f')), LogSender{4242, 65534, "flood"});
    }
    const auto records = UnifiedLogFolder(dir.path()).readAll();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.front().message, "root's");
    EXPECT_LT(records.size(), static_cast<std::size_t>(kFlood)) << "the flood rotated its own file";
    EXPECT_EQ(records.back().microsecondsSinceEpoch, kFlood + 1) << "and kept its newest records";
}

TEST(LogWire, CutsALongMessageToFitADatagram) {
    // Every newline takes two bytes once escaped.
    const auto datagram =
        encodeLogDatagram(LogRecord{"s", "c", LogLevel::Default, std::string(3 * kMaxLogDatagram, '\n')});
    EXPECT_LE(datagram.size(), kMaxLogDatagram);
    const auto decoded = decodeLogDatagram(datagram);
    ASSERT_TRUE(decoded) << decoded.error();
    EXPECT_GT(std::get<LogRecord>(*decoded).message.size(), kMaxLogDatagram / 4);
}

// log, then show: every record a process sent before a sync is stored when
// the sync is answered, stamped with the identity the kernel gives.
TEST(UnifiedLogSink, RecordsSentBeforeASyncAreStoredUnderTheSendersOwnIdentity) {
    testing::TempDir dir;
    const VmacPaths paths(dir.path());
    ServiceThread logd(paths);
    ASSERT_EQ(logd.failure(), "");
    constexpr int kRecords = 50;
    {
        auto sink = std::make_shared<UnifiedLogSink>(logServiceSocket(paths));
        const Logger log(sink, "com.zelquin.lidora", "brightness");
        for (int i = 0; i < kRecords; ++i) {
            log.notice("level %{public}d text %s", i, std::string("secret"));
        }
        EXPECT_EQ(sink->dropped(), 0U);
    }
    const bool synced = LogServiceClient(logServiceSocket(paths)).sync(5s);
    logd.stop();
    EXPECT_TRUE(synced);
    const auto records = UnifiedLogFolder(paths.unifiedLog()).readAll();
    ASSERT_EQ(records.size(), static_cast<std::size_t>(kRecords));
    EXPECT_EQ(records.back().message, "level 49 text <private>");
    EXPECT_EQ(records.back().pid, ::getpid());
    EXPECT_EQ(records.back().uid, ::geteuid());
    EXPECT_EQ(records.back().process, processNameOf(::getpid()));
    EXPECT_FALSE(LogServer::open(paths)) << "one service at a time";
}

TEST(UnifiedLogSink, KeepsWhatItLogsBeforeTheServiceListensAndSendsThatFirst) {
    testing::TempDir dir;
    const VmacPaths paths(dir.path());
    auto sink = std::make_shared<UnifiedLogSink>(logServiceSocket(paths));
    const Logger log(sink, "com.zelquin.vmac", "launchd");
    log.notice("at boot %{public}d", 1);
    log.notice("at boot %{public}d", 2);

    ServiceThread logd(paths);
    ASSERT_EQ(logd.failure(), "");
    log.notice("once it listens");
    const bool flushed = sink->flush(5s);
    logd.stop();
    EXPECT_TRUE(flushed);
    std::vector<std::string> messages;
    for (const auto& record : UnifiedLogFolder(paths.unifiedLog()).readAll()) {
        messages.push_back(record.message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"at boot 1", "at boot 2", "once it listens"}));
}

// A daemon that logs at boot and then stays quiet: its records arrive once
// the service listens, without a record or a flush of its own to carry them.
TEST(KeptRecordDelivery, SendsKeptRecordsOnceTheServiceListens) {
    testing::TempDir dir;
    const VmacPaths paths(dir.path());
    auto sink = std::make_shared<UnifiedLogSink>(logServiceSocket(paths));
    const Logger log(sink, "com.zelquin.vmac", "launchd");
    log.notice("before the loop");
    PollRunLoop daemonLoop;
    const KeptRecordDelivery delivery(daemonLoop, sink, 1ms);
    log.notice("while the loop runs");

    ServiceThread logd(paths);
    ASSERT_EQ(logd.failure(), "");
    // Turns of the daemon's loop until the service has both, bounded.
    std::vector<std::string> messages;
    for (int turn = 0; turn < 5000 && messages.size() < 2; ++turn) {
        daemonLoop.runUntil(daemonLoop.now() + 2ms);
        if (LogServiceClient(logServiceSocket(paths)).sync(1s)) {
            messages.clear();
            for (const auto& record : UnifiedLogFolder(paths.unifiedLog()).readAll()) {
                messages.push_back(record.message);
            }
        }
    }
    logd.stop();
    EXPECT_EQ(messages, (std::vector<std::string>{"before the loop", "while the loop runs"}));
}

TEST(LogServer, NamesTheSendersExecutableOrSaysItIsGone) {
    EXPECT_EQ(processNameOf(::getpid()), std::filesystem::read_symlink("/proc/self/exe").filename().string());
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(processNameOf(child), kGoneProcess) << "never a name from what the sender says";
}

TEST(UnifiedLogSink, DropsAndCountsWhatNoServiceTakesWithoutHanging) {
    testing::TempDir dir;
    UnifiedLogSink none(dir.path() / "missing.socket");
    none.write(LogRecord{"s", "c", LogLevel::Default, "lost"});
    EXPECT_EQ(none.dropped(), 1U);
    EXPECT_FALSE(none.flush(0ms));

    // A service that never reads: its queue fills and sends give up at once.
    const auto path = dir.path() / "stuck.socket";
    const FileDescriptor stuck(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    ASSERT_EQ(::bind(stuck.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    LogServiceClient client(path, 0ms);
    int refused = 0;
    for (int i = 0; i < 1000; ++i) {
        refused += client.send("x") ? 0 : 1;
    }
    EXPECT_GT(refused, 0);
    EXPECT_FALSE(client.sync(0ms));
}

}  // namespace
}  // namespace lidora::vmac
