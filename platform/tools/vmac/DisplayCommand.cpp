// vmac display: the displays the virtual Mac's window server has online,
// their brightness, the ambient light sensor, and display sleep.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "platform/displays/DisplayRecords.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/SessionChange.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac display                        list the displays and the ambient light\n"
    "       vmac display add ID [--builtin]     connect a display\n"
    "       vmac display remove ID              disconnect a display\n"
    "       vmac display brightness [ID] VALUE  set a display's brightness (0 to 1);\n"
    "                                           without ID, the built-in display's\n"
    "       vmac display ambient LUX            set the ambient light in lux\n"
    "       vmac display sleep                  put the displays to sleep\n"
    "       vmac display wake                   wake the Mac and its displays\n\n"
    "A fresh virtual Mac has one built-in display, id 1, at brightness 0.5, in\n"
    "200 lux. corebrightnessd looks at the logo again when the built-in display's\n"
    "brightness changes. Apps hear display sleep as the workspace's screens-did-sleep\n"
    "notification, and waking as the Mac's did-wake and then screens-did-wake.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vmac display: %s\n%s", message.c_str(), kUsage);
    return 64;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vmac display: %s\n", message.c_str());
    return 1;
}

std::optional<DisplayID> parseId(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const auto value = std::stoull(text);
    if (value == 0 || value > UINT32_MAX) {
        return std::nullopt;
    }
    return static_cast<DisplayID>(value);
}

std::optional<double> parseNumber(const std::string& text, double low, double high) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value) || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

int list(const VmacPaths& paths) {
    const auto records = displaysRecord(paths, [](const std::string& warning) {
                             std::fprintf(stderr, "vmac display: %s\n", warning.c_str());
                         }).read();
    if (!records) {
        return failure(records.error());
    }
    if (records->displays.empty()) {
        std::printf("No displays online\n");
    }
    for (const auto& display : records->displays) {
        std::printf("display %-10u %-9s brightness %.3f\n", display.id, display.builtIn ? "built-in" : "external",
                    display.brightness);
    }
    std::printf("ambient light %g lux\n", records->ambientLux);
    if (const auto session = readSessionState(paths); session && session->displaysAsleep) {
        std::printf("displays asleep\n");
    }
    return 0;
}

// Applies `change` under the record's lock; it returns an error text to
// leave the record as it was.
int change(const VmacPaths& paths, const std::function<std::optional<std::string>(DisplayRecords&)>& apply) {
    std::optional<std::string> refused;
    auto record = displaysRecord(paths);
    const auto updated = record.update([&](DisplayRecords& records) {
        refused = apply(records);
        return !refused;
    });
    if (refused) {
        return failure(*refused);
    }
    return updated ? 0 : failure(updated.error());
}

}  // namespace

int runDisplay(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        return list(paths);
    }
    const auto& action = arguments[0];
    if (action == "add") {
        const bool builtIn = arguments.size() == 3 && arguments[2] == "--builtin";
        if (arguments.size() != 2 && !builtIn) {
            return usageError("add takes a display id and, optionally, --builtin");
        }
        const auto id = parseId(arguments[1]);
        if (!id) {
            return usageError("a display id is a whole number from 1 to 4294967295, not '" + arguments[1] + "'");
        }
        return change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            if (findDisplay(records, *id) != nullptr) {
                return "display " + std::to_string(*id) + " is already online";
            }
            if (records.displays.size() >= kMaxVirtualDisplays) {
                return "at most " + std::to_string(kMaxVirtualDisplays) + " displays can be online";
            }
            records.displays.push_back({*id, builtIn, 0.5});
            return std::nullopt;
        });
    }
    if (action == "remove") {
        const auto id = arguments.size() == 2 ? parseId(arguments[1]) : std::nullopt;
        if (!id) {
            return usageError("remove takes one display id");
        }
        return change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            const auto* found = findDisplay(records, *id);
            if (found == nullptr) {
                return "no display " + std::to_string(*id) + " is online";
            }
            records.displays.erase(records.displays.begin() + (found - records.displays.data()));
            return std::nullopt;
        });
    }
    if (action == "brightness") {
        if (arguments.size() != 2 && arguments.size() != 3) {
            return usageError("brightness takes an optional display id and a value");
        }
        const auto id = arguments.size() == 3 ? parseId(arguments[1]) : std::nullopt;
        if (arguments.size() == 3 && !id) {
            return usageError("a display id is a whole number from 1 to 4294967295, not '" + arguments[1] + "'");
        }
        const auto value = parseNumber(arguments.back(), 0.0, 1.0);
        if (!value) {
            return usageError("a brightness is a number from 0 to 1, not '" + arguments.back() + "'");
        }
        return change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            auto* display = id ? findDisplay(records, *id) : nullptr;
            if (!id) {
                const auto* builtIn = builtInDisplay(records);
                display = builtIn != nullptr ? findDisplay(records, builtIn->id) : nullptr;
            }
            if (display == nullptr) {
                return id ? "no display " + std::to_string(*id) + " is online"
                          : std::string("no built-in display is online");
            }
            display->brightness = *value;
            return std::nullopt;
        });
    }
    if (action == "ambient") {
        const auto lux = arguments.size() == 2 ? parseNumber(arguments[1], 0.0, kMaxAmbientLux) : std::nullopt;
        if (!lux) {
            return usageError("ambient takes the light in lux, a number from 0 to " +
                              std::to_string(static_cast<int>(kMaxAmbientLux)));
        }
        return change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            records.ambientLux = *lux;
            return std::nullopt;
        });
    }
    if (action == "sleep" || action == "wake") {
        if (arguments.size() != 1) {
            return usageError(action + " takes no arguments");
        }
        const bool asleep = action == "sleep";
        return changeSession(
            paths, "display", [asleep](SessionState& state) { state.displaysAsleep = asleep; },
            asleep ? "The displays are already asleep" : "The displays are already awake");
    }
    return usageError("unknown action '" + action + "'");
}

}  // namespace lidora::vmac
