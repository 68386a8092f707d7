#include "platform/tools/vmac/WindowServerChange.h"

#include <algorithm>
#include <cstdio>

#include "platform/launchd/LaunchdPaths.h"
#include "platform/tools/vmac/CommandBus.h"
#include "platform/vmac/VmacLayout.h"

namespace lidora::vmac {

DisplayRecords readDisplays(const VmacPaths& paths, const char* command) {
    return displaysRecord(paths,
                          [command](const std::string& warning) {
                              std::fprintf(stderr, "vmac %s: %s\n", command, warning.c_str());
                          })
        .read()
        .value_or(DisplayRecords{});
}

int changeWindowServer(
    const VmacPaths& paths, const char* command,
    const std::function<std::optional<std::string>(WindowServerState&, const DisplayRecords&)>& change) {
    const auto displays = readDisplays(paths, command);
    std::optional<std::string> refused;
    auto record = windowServerStateRecord(paths, [command](const std::string& warning) {
        std::fprintf(stderr, "vmac %s: %s\n", command, warning.c_str());
    });
    const auto updated = record.update([&](WindowServerState& state) {
        settleSpaces(state, displays);
        refused = change(state, displays);
        return !refused;
    });
    if (refused || !updated) {
        std::fprintf(stderr, "vmac %s: %s\n", command, refused ? refused->c_str() : updated.error().c_str());
        return 1;
    }
    return 0;
}

int announce(const VmacPaths& paths, const char* command, const BusSignalName& signal, const VmacBus::Append& append) {
    const auto running = runningProcesses(paths);
    const bool booted = std::any_of(running.begin(), running.end(),
                                    [](const RunningProcess& process) { return process.name == kLaunchdProcessName; });
    if (!booted) {
        return 0;
    }
    CommandBus bus(paths);
    if (!bus.connect() || !bus.bus().emit(signal, append) || !bus.settle()) {
        std::fprintf(stderr, "vmac %s: %s, so no app heard of it\n", command, kNoBusMessage);
        return 1;
    }
    return 0;
}

}  // namespace lidora::vmac
