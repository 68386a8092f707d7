// com.zelquin.lidora.helper: the root daemon that reads, switches and resets
// the logo light. launchd starts it when a client connects; it ends itself
// ten seconds after the last client went away.
#include <memory>

#include "core/helper/ConnectionTracker.h"
#include "core/helper/HelperService.h"
#include "core/helper/ListenerDelegate.h"
#include "platform/bundle/EmbeddedInfoPlist.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/process/SystemToolRunner.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/xpc/PeerRequirementCheck.h"
#include "platform/xpc/XpcServiceListener.h"

int main() {
    using namespace lidora;
    using namespace lidora::vmac;

    const Logger log(UnifiedLogSink::forCurrentProcess(), std::string(kLogSubsystem), "helper");

    const auto info = readEmbeddedInfoPlist("/proc/self/exe");
    const auto teamID = info ? teamIdentifier(*info) : std::nullopt;
    if (!teamID) {
        log.fault("Helper is missing LSTeamID; refusing to start.");
        return 1;
    }

    PollRunLoop loop;
    // Idle: leave the loop, so everything below is torn down in order. launchd
    // keeps the socket and starts us again on the next connection.
    auto tracker = ConnectionTracker::make(loop, ConnectionTracker::kIdleTimeout, [log, &loop] {
        log.notice("Helper idle; exiting");
        loop.stop();
    });
    const auto paths = VmacPaths::fromEnvironment();
    auto service = std::make_shared<HelperService>(std::make_shared<SystemToolRunner>("/usr/bin/defaults", paths),
                                                   std::make_shared<SystemToolRunner>("/usr/bin/killall", paths), log);
    auto delegate = std::make_shared<ListenerDelegate>(*teamID, service, tracker, log);

    auto listener =
        XpcServiceListener::forMachService(loop, std::string(kHelperMachService), makePeerRequirementCheck(paths, log));
    if (!listener) {
        log.error("Cannot listen: %{public}s", listener.error());
        return 1;
    }
    (*listener)->setDelegate(delegate);
    (*listener)->resume();
    log.notice("Helper %{public}s listening for team %{public}s", std::string(kHelperVersion), *teamID);

    tracker->start();
    loop.run();
    return 0;
}
