#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/bus/VmacBus.h"
#include "platform/windowserver/WindowServerState.h"

namespace lidora::vmac {

// Changes the window server's state under its lock, with the spaces
// settled for the displays online; `change` returns an error text to leave
// it as it was. Prints the error as `vmac COMMAND: …` and returns 1.
int changeWindowServer(
    const VmacPaths& paths, const char* command,
    const std::function<std::optional<std::string>(WindowServerState&, const DisplayRecords&)>& change);

// Tells the running apps, when the Mac is booted; the signal's arguments
// come from `append`. 0, or 1 with a message when the bus would not take it.
int announce(const VmacPaths& paths, const char* command, const BusSignalName& signal,
             const VmacBus::Append& append = {});

DisplayRecords readDisplays(const VmacPaths& paths, const char* command);

}  // namespace lidora::vmac
