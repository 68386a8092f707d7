// corebrightnessd: the virtual Mac's brightness service. It owns root's
// com.apple.CoreBrightness domain, serves the logo tables to clients of the
// CoreBrightness framework, and lights the logo as the light setting, the
// tables and the display brightness say. launchd keeps it running.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "platform/corebrightness/LineServer.h"
#include "platform/corebrightness/LogoEvaluator.h"
#include "platform/corebrightness/LogoPropertyService.h"
#include "platform/corebrightness/LogoTables.h"
#include "platform/corebrightness/PropertyWire.h"
#include "platform/launchd/SignalSource.h"
#include "platform/log/KeptRecordDelivery.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/runloop/PollRunLoop.h"

namespace {

using namespace lidora;
using namespace lidora::vmac;

// The listening socket launchd passed for the Mach service.
Expected<FileDescriptor, std::string> activatedSocket(std::string_view serviceName) {
    char** names = nullptr;
    const int count = sd_listen_fds_with_names(1, &names);
    int chosen = count == 1 ? SD_LISTEN_FDS_START : -1;
    for (int i = 0; i < count; ++i) {
        if (names != nullptr && names[i] != nullptr && serviceName == names[i]) {
            chosen = SD_LISTEN_FDS_START + i;
        }
    }
    if (names != nullptr) {
        for (int i = 0; i < count; ++i) {
            std::free(names[i]);  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory): sd-daemon's
        }
        std::free(static_cast<void*>(names));  // NOLINT(cppcoreguidelines-no-malloc,cppcoreguidelines-owning-memory)
    }
    for (int i = 0; i < count; ++i) {
        if (SD_LISTEN_FDS_START + i != chosen) {
            ::close(SD_LISTEN_FDS_START + i);
        }
    }
    if (chosen < 0 || sd_is_socket_unix(chosen, SOCK_STREAM, 1, nullptr, 0) <= 0) {
        return unexpected("launchd passed no listening socket for " + std::string(serviceName));
    }
    ::fcntl(chosen, F_SETFD, FD_CLOEXEC);
    return FileDescriptor(chosen);
}

std::int64_t unixMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace

int main() {
    const auto sink = UnifiedLogSink::forCurrentProcess();
    const Logger log(sink, std::string(kCoreBrightnessDomain), "logo");
    const auto paths = VmacPaths::fromEnvironment();
    PollRunLoop loop;
    // Started with logd at boot: what it logs first may come before logd listens.
    const KeptRecordDelivery keptRecords(loop, sink);

    // Ending cleanly on a plain kill lets launchd start the next instance at once.
    auto signals = SignalSource::create(loop, {SIGTERM, SIGINT, SIGHUP}, [&](int signal) {
        log.notice("corebrightnessd stopping on signal %d", signal);
        loop.stop();
    });
    if (!signals) {
        log.error("Cannot handle signals: %{public}s", signals.error());
    }

    // As root, root's home is checked like any home: a folder someone else
    // planted there is refused rather than read and written.
    const PreferencesDirectory rootPreferences =
        ::geteuid() == 0 ? PreferencesDirectory::ofUser(paths, 0)
                         : PreferencesDirectory(paths.homeOf(0) / "Library" / "Preferences");
    const auto warn = [log](const std::string& message) { log.error("%{public}s", message); };
    auto domain = PreferenceDomain::open(rootPreferences, std::string(kCoreBrightnessDomain), warn);
    if (!domain) {
        log.fault("Cannot open %{public}s: %{public}s", std::string(kCoreBrightnessDomain), domain.error());
        return 1;
    }
    LogoPropertyService service(*domain, log);
    if (auto installed = service.installFactoryTables(); !installed) {
        log.error("Cannot install the factory logo tables: %{public}s", installed.error());
    }

    LogoEvaluator evaluator(paths, *domain, log, unixMilliseconds);
    if (auto started = evaluator.start(loop); !started) {
        log.fault("Cannot follow the display brightness: %{public}s", started.error());
        return 1;
    }

    auto socket = activatedSocket(kCoreBrightnessService);
    if (!socket) {
        log.fault("%{public}s", socket.error());
        return 1;
    }
    const LineServer server(
        loop, std::move(socket).value(), kMaxPropertyLine,
        [&service](std::string_view line) { return service.handle(line); }, log);
    log.notice("corebrightnessd serving %{public}s", std::string(kCoreBrightnessService));
    loop.run();
    return 0;
}
