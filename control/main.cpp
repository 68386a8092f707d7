// LidoraControl: the Control Center extension. Control Center starts it for
// one value or action and ends it afterwards; it keeps nothing between runs.
#include "core/control/HelperClient.h"
#include "core/control/LidoraControlBundle.h"
#include "platform/bus/BusControlCenter.h"
#include "platform/bus/BusDarwinNotificationCenter.h"
#include "platform/controlcenter/ControlExtensionMain.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/prefs/FileUserDefaults.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/workspace/BusRunningApplications.h"
#include "platform/workspace/VirtualApplicationWorkspace.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"

using namespace lidora;
using namespace lidora::vmac;

int main() {
    const auto paths = VmacPaths::fromEnvironment();
    PollRunLoop loop;
    const auto sink = UnifiedLogSink::forCurrentProcess();
    const Logger log(sink, std::string(kLogSubsystem), "control");

    // Not flushed to disk: the extension writes only the level a tap steps
    // to, while Control Center waits. The file is still replaced whole, so a
    // process killed part-way leaves the previous level. A power cut may cost
    // that last step, or on a file system that can put the rename on disk
    // before the data, the app-group file (kept aside, read as empty): the
    // level is back at 100 % and the app publishes its keep-dark flag again
    // at start. Both are a tap to repeat, not settings lost.
    FileUserDefaults defaults(
        paths, "com.zelquin.lidora.control", [&](const std::string& warning) { log.error("%{public}s", warning); },
        Durability::unflushed);
    VmacBus bus(loop, paths, Logger(sink, "com.zelquin.vmac", "bus"));
    VirtualXpcConnector connector(loop, machServiceSocket(paths, "").parent_path());
    control::HelperClient client(loop, connector);
    BusDarwinNotificationCenter notifications(bus);
    BusControlCenter controls(bus, paths, Logger(sink, "com.apple.widgetkit", "controls"));
    VirtualApplicationWorkspace workspace(loop, bus, paths, Logger(sink, "com.apple.launchservices", "open"));
    BusRunningApplications running(loop, bus);

    control::ControlParts parts{client, defaults, notifications, controls, workspace, running, log};
    const control::LidoraControlBundle bundle(parts);
    return controlExtensionMain(loop, bus, bundle.body());
}
