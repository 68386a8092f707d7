// logd: the virtual Mac's log service. Every process sends its records to
// logd's socket; logd stamps each with the sender the kernel names and
// keeps them in the unified log, one file per user. launchd keeps it running.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/launchd/SignalSource.h"
#include "platform/log/JournalMirror.h"
#include "platform/log/LogServer.h"
#include "platform/log/LogService.h"
#include "platform/runloop/PollRunLoop.h"

namespace {

using namespace lidora;
using namespace lidora::vmac;

std::int64_t microsecondsNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        std::fputs("usage: logd\n\nThe virtual Mac's log service; launchd starts it at boot.\n",
                   help ? stdout : stderr);
        return help ? 0 : 64;
    }
    const auto paths = VmacPaths::fromEnvironment();
    auto server = LogServer::open(paths);
    if (!server) {
        std::fprintf(stderr, "logd: %s\n", server.error().c_str());
        return 1;
    }
    LogService service(UnifiedLogFolder(paths.unifiedLog()), microsecondsNow);
    if (journalAvailable()) {
        service.setMirror(mirrorToJournal);
    }
    const LogSender self{::getpid(), ::geteuid(), processNameOf(::getpid())};
    const auto note = [&](const std::string& message) {
        service.note(LogRecord{"com.zelquin.vmac", "logd", LogLevel::Default, message}, self);
    };
    PollRunLoop loop;
    auto signals = SignalSource::create(loop, {SIGTERM, SIGINT, SIGHUP}, [&](int) { loop.stop(); });
    if (!signals) {
        std::fprintf(stderr, "logd: %s\n", signals.error().c_str());
        return 1;
    }
    server->serve(loop, service);
    note("logd started, pid " + std::to_string(::getpid()));
    loop.run();
    const auto& counts = service.counts();
    note("logd stopped: " + std::to_string(counts.stored) + " records stored, " + std::to_string(counts.dropped) +
         " malformed dropped");
    return 0;
}
