#pragma once

#include <systemd/sd-bus.h>

#include <string>

#include "core/runtime/Expected.h"
#include "core/shortcuts/ShortcutsAction.h"
#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// How Shortcuts asks a running app to perform one of its actions, on the
// bus name the app owns: Run(s identifier, a{sv} arguments) → (b performed,
// s dialog or error text). Arguments are strings (text and enumeration raw
// values), 64-bit integers or Booleans.
inline constexpr const char* kShortcutsPath = "/com/zelquin/vmac/Shortcuts";
inline constexpr const char* kShortcutsInterface = "com.zelquin.vmac.Shortcuts";
inline constexpr const char* kRunActionMember = "Run";

inline BusMethod runActionMethod(std::string appBusName) {
    return {std::move(appBusName), kShortcutsPath, kShortcutsInterface, kRunActionMember};
}

struct RunRequest {
    std::string identifier;
    ActionArguments arguments;
};

int appendRunRequest(sd_bus_message* message, const RunRequest& request);
Expected<RunRequest, std::string> readRunRequest(sd_bus_message* message);

int appendRunReply(sd_bus_message* message, const ActionResult& result);
Expected<ActionResult, std::string> readRunReply(sd_bus_message* message);

}  // namespace lidora::vmac
