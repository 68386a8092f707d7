// vmac display: the displays the virtual Mac's window server has online,
// their brightness, the ambient light sensor, and display sleep.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "platform/bus/BusProtocol.h"
#include "platform/displays/DisplayRecords.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/SessionChange.h"
#include "platform/tools/vmac/WindowServerChange.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac display                        list the displays and the ambient light\n"
    "       vmac display add ID [--builtin] [--size WxH] [--at X,Y] [--menubar H] [--notch N]\n"
    "                                           connect a display (by default to the right of\n"
    "                                           the others; X,Y its top-left corner, points)\n"
    "       vmac display arrange ID X Y         move a display's top-left corner there\n"
    "       vmac display remove ID              disconnect a display\n"
    "       vmac display brightness [ID] VALUE  set a display's brightness (0 to 1);\n"
    "                                           without ID, the built-in display's\n"
    "       vmac display ambient LUX            set the ambient light in lux\n"
    "       vmac display sleep                  put the displays to sleep\n"
    "       vmac display wake                   wake the Mac and its displays\n\n"
    "A fresh virtual Mac has one built-in display, id 1, 1512 x 982 points with a\n"
    "notch of 32 and a menu bar of 37, at brightness 0.5, in\n"
    "200 lux. corebrightnessd looks at the logo again when the built-in display's\n"
    "brightness changes. Apps hear display sleep as the workspace's screens-did-sleep\n"
    "notification, and waking as the Mac's did-wake and then screens-did-wake.\n"
    "The first display is the primary one; adding, arranging or removing one tells\n"
    "apps that the screen parameters changed.\n";

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
        std::printf("display %-10u %-9s brightness %.3f", display.id, display.builtIn ? "built-in" : "external",
                    display.brightness);
        const auto g = resolvedGeometry(*records)[static_cast<std::size_t>(&display - records->displays.data())];
        std::printf("  %gx%g at %g,%g  menu bar %g%s\n", g.width, g.height, g.x, g.y, g.menuBarHeight,
                    g.notch > 0 ? ("  notch " + std::to_string(static_cast<int>(g.notch))).c_str() : "");
    }
    std::printf("ambient light %g lux\n", records->ambientLux);
    if (const auto session = readSessionState(paths); session && session->displaysAsleep) {
        std::printf("displays asleep\n");
    }
    return 0;
}

// "A,B" or "AxB" as two numbers.
std::optional<std::pair<double, double>> parsePair(const std::string& text, char separator) {
    const auto split = text.find(separator);
    if (split == std::string::npos) {
        return std::nullopt;
    }
    const auto a = parseNumber(text.substr(0, split), -100000, 100000);
    const auto b = parseNumber(text.substr(split + 1), -100000, 100000);
    if (!a || !b) {
        return std::nullopt;
    }
    return std::pair{*a, *b};
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
        const auto id = arguments.size() >= 2 ? parseId(arguments[1]) : std::nullopt;
        if (!id) {
            return usageError("add takes a display id, a whole number from 1 to 4294967295");
        }
        bool builtIn = false;
        std::optional<std::pair<double, double>> size;
        std::optional<std::pair<double, double>> at;
        std::optional<double> menuBar;
        std::optional<double> notch;
        for (std::size_t i = 2; i < arguments.size(); ++i) {
            const auto& option = arguments[i];
            const bool hasValue = i + 1 < arguments.size();
            if (option == "--builtin") {
                builtIn = true;
            } else if (option == "--size" && hasValue) {
                size = parsePair(arguments[++i], 'x');
            } else if (option == "--at" && hasValue) {
                at = parsePair(arguments[++i], ',');
            } else if (option == "--menubar" && hasValue) {
                menuBar = parseNumber(arguments[++i], 20, 60);
            } else if (option == "--notch" && hasValue) {
                notch = parseNumber(arguments[++i], 0, 60);
            } else {
                return usageError("add does not take '" + option + "' there");
            }
            if ((option == "--size" && !size) || (option == "--at" && !at) || (option == "--menubar" && !menuBar) ||
                (option == "--notch" && !notch)) {
                return usageError("a bad value for " + option);
            }
        }
        const int status = change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            if (findDisplay(records, *id) != nullptr) {
                return "display " + std::to_string(*id) + " is already online";
            }
            if (records.displays.size() >= kMaxVirtualDisplays) {
                return "at most " + std::to_string(kMaxVirtualDisplays) + " displays can be online";
            }
            auto geometry = nextToTheOthers(records, builtIn);
            if (size) {
                geometry.width = size->first;
                geometry.height = size->second;
            }
            if (at) {
                geometry.x = at->first;
                geometry.y = at->second;
            }
            geometry.menuBarHeight = menuBar.value_or(geometry.menuBarHeight);
            geometry.notch = notch.value_or(geometry.notch);
            records.displays.push_back({*id, builtIn, 0.5, geometry});
            if (auto valid = validateDisplayRecords(records); !valid) {
                return valid.error();
            }
            return std::nullopt;
        });
        return status != 0 ? status : announce(paths, "display", kScreenParametersChanged);
    }
    if (action == "arrange") {
        const auto id = arguments.size() == 4 ? parseId(arguments[1]) : std::nullopt;
        const auto x = arguments.size() == 4 ? parseNumber(arguments[2], -100000, 100000) : std::nullopt;
        const auto y = arguments.size() == 4 ? parseNumber(arguments[3], -100000, 100000) : std::nullopt;
        if (!id || !x || !y) {
            return usageError("arrange takes a display id and the x and y of its top-left corner");
        }
        const int status = change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            auto* display = findDisplay(records, *id);
            if (display == nullptr) {
                return "no display " + std::to_string(*id) + " is online";
            }
            auto geometry = resolvedGeometry(records)[static_cast<std::size_t>(display - records.displays.data())];
            geometry.x = *x;
            geometry.y = *y;
            display->geometry = geometry;
            return std::nullopt;
        });
        return status != 0 ? status : announce(paths, "display", kScreenParametersChanged);
    }
    if (action == "remove") {
        const auto id = arguments.size() == 2 ? parseId(arguments[1]) : std::nullopt;
        if (!id) {
            return usageError("remove takes one display id");
        }
        const int status = change(paths, [&](DisplayRecords& records) -> std::optional<std::string> {
            const auto* found = findDisplay(records, *id);
            if (found == nullptr) {
                return "no display " + std::to_string(*id) + " is online";
            }
            // The others keep their places.
            const auto geometry = resolvedGeometry(records);
            for (std::size_t i = 0; i < records.displays.size(); ++i) {
                records.displays[i].geometry = geometry[i];
            }
            records.displays.erase(records.displays.begin() + (found - records.displays.data()));
            return std::nullopt;
        });
        if (status != 0) {
            return status;
        }
        return announce(paths, "display", kScreenParametersChanged);
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
