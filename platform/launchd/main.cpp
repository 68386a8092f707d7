// vmac-launchd: the virtual Mac's launchd. Starts daemons when a client
// first connects to one of their Mach services, keeps KeepAlive jobs
// running, and answers `vmac launchctl` on var/run/launchd.sock.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/launchd/ControlServer.h"
#include "platform/launchd/JobSupervisor.h"
#include "platform/launchd/LaunchdPaths.h"
#include "platform/launchd/ProcessLauncher.h"
#include "platform/launchd/ServiceManager.h"
#include "platform/launchd/SignalSource.h"
#include "platform/log/KeptRecordDelivery.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/vmac/SystemDaemons.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac-launchd\n\n"
    "The virtual Mac's launchd; `vmac boot` starts it in the background and\n"
    "`vmac shutdown` stops it. Its state lives under $VMAC_ROOT.\n";

// Held for launchd's lifetime so that a second one cannot take over its
// sockets. The lock goes with the process, however it ends.
Expected<FileDescriptor, std::string> lockInstance(const VmacPaths& paths) {
    const auto lockFile = paths.runDirectory() / "launchd.lock";
    FileDescriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
    if (!fd.valid()) {
        return unexpected(systemError("cannot open", lockFile));
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return unexpected(errno == EWOULDBLOCK ? std::string("launchd is already running")
                                               : systemError("cannot lock", lockFile));
    }
    return fd;
}

Expected<void, std::string> writePidFile(const VmacPaths& paths) {
    const auto pidFile = processPidFile(paths, kLaunchdProcessName);
    if (!makeDirectories(pidFile.parent_path())) {
        return unexpected(systemError("cannot create", pidFile.parent_path()));
    }
    auto temporary = pidFile;
    temporary += ".tmp";
    return replaceFileAtomically(pidFile, temporary, std::to_string(::getpid()) + "\n", 0644);
}

int run() {
    const auto paths = VmacPaths::fromEnvironment();
    if (auto laidOut = ensureBaseLayout(paths, executableDirectory()); !laidOut) {
        std::fprintf(stderr, "vmac-launchd: %s\n", laidOut.error().c_str());
        return 1;
    }
    auto lock = lockInstance(paths);
    if (!lock) {
        std::fprintf(stderr, "vmac-launchd: %s\n", lock.error().c_str());
        return 1;
    }
    // Replies go to clients that may have hung up; send() says so instead.
    ::signal(SIGPIPE, SIG_IGN);

    const auto sink = UnifiedLogSink::forCurrentProcess();
    const Logger logger(sink, "com.zelquin.vmac", "launchd");
    PollRunLoop loop;
    // launchd starts logd: what it logs until logd listens is kept, then sent.
    const KeptRecordDelivery keptRecords(loop, sink);
    ProcessLauncher launcher(paths);
    JobSupervisor supervisor(
        loop, paths, launcher,
        JobRegistry::of(paths, [&](const std::string& warning) { logger.error("%{public}s", warning); }), logger);
    ServiceManager services(
        supervisor,
        ServiceRegistry::of(paths, [&](const std::string& warning) { logger.error("%{public}s", warning); }),
        SignatureStore::forRoot(paths), logger);
    bool stopping = false;
    auto stop = [&] {
        if (!stopping) {
            stopping = true;
            supervisor.shutdown([&] { loop.stop(); });
        }
    };
    auto signals = SignalSource::create(loop, {SIGCHLD, SIGTERM, SIGINT, SIGHUP}, [&](int signal) {
        if (signal == SIGCHLD) {
            supervisor.reapChildren();
        } else {
            logger.notice("received signal %d; stopping", signal);
            stop();
        }
    });
    if (!signals) {
        std::fprintf(stderr, "vmac-launchd: %s\n", signals.error().c_str());
        return 1;
    }
    auto control = ListeningSocket::listen(launchdControlSocket(paths), 0666);
    if (control) {
        if (auto published = control->publish(); !published) {
            control = unexpected(published.error());
        }
    }
    if (!control) {
        std::fprintf(stderr, "vmac-launchd: %s\n", control.error().c_str());
        logger.error("cannot start: %{public}s", control.error());
        return 1;
    }
    const ControlServer server(loop, std::move(control).value(), supervisor, services, stop, logger);
    if (auto written = writePidFile(paths); !written) {
        logger.error("%{public}s", written.error());
    }
    logger.notice("launchd started, pid %d", static_cast<int>(::getpid()));
    supervisor.loadFolder(systemLaunchDaemons(paths));
    supervisor.loadRegistered();
    services.loadEnabled();
    loop.run();
    ::unlink(processPidFile(paths, kLaunchdProcessName).c_str());
    logger.notice("launchd stopped");
    return 0;
}

}  // namespace

}  // namespace lidora::vmac

int main(int argc, char** argv) {
    if (argc > 1) {
        const bool help = std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0;
        std::fputs(lidora::vmac::kUsage, help ? stdout : stderr);
        return help ? 0 : 64;
    }
    return lidora::vmac::run();
}
