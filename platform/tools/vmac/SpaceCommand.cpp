// vmac space: the displays' desktops and full-screen spaces, and switching
// among them as Mission Control does.
#include <algorithm>
#include <cstdio>

#include "platform/bus/BusProtocol.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/WindowServerChange.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac space list                          each display's spaces; * marks the active one\n"
    "       vmac space new-desktop [--display ID]    add a desktop\n"
    "       vmac space fullscreen APP [--display ID] APP enters full screen in a space of its own\n"
    "       vmac space switch N                      make space N active on its display\n"
    "       vmac space exit-fullscreen [--display ID]\n"
    "                                                the active full-screen app leaves full screen\n\n"
    "Without --display, the primary display. Switching animates for 0.3 s: the\n"
    "menu-bar cover (\"MenuBarAgent\") of a full-screen space slides sideways.\n"
    "Apps hear the workspace's active-space-did-change notification.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vmac space: %s\n%s", message.c_str(), kUsage);
    return 64;
}

std::optional<std::uint32_t> parseNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(text));
}

int list(const VmacPaths& paths) {
    const auto displays = readDisplays(paths, "space");
    auto state = windowServerStateRecord(paths).read().value_or(WindowServerState{});
    settleSpaces(state, displays);
    for (const auto& display : displays.displays) {
        std::printf("display %u:\n", display.id);
        const auto* stage = stageOf(state, display.id);
        for (const auto& space : state.spaces) {
            if (space.display == display.id) {
                std::printf("  %c %-4u %s\n", stage != nullptr && stage->active == space.id ? '*' : ' ', space.id,
                            space.isFullScreen() ? (space.app + " (full screen)").c_str() : "desktop");
            }
        }
    }
    return 0;
}

int announceSpaceChange(const VmacPaths& paths, int status) {
    return status != 0 ? status : announce(paths, "space", kWorkspaceActiveSpaceDidChange);
}

}  // namespace

int runSpace(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty() || arguments[0] == "list") {
        return arguments.size() <= 1 ? list(paths) : usageError("list takes no arguments");
    }
    auto rest = std::vector<std::string>(arguments.begin() + 1, arguments.end());
    std::optional<DisplayID> display;
    if (const auto flag = std::find(rest.begin(), rest.end(), "--display"); flag != rest.end()) {
        const auto id = flag + 1 != rest.end() ? parseNumber(*(flag + 1)) : std::nullopt;
        if (!id || *id == 0) {
            return usageError("--display takes a display id");
        }
        display = *id;
        rest.erase(flag, flag + 2);
    }
    auto stageFor = [&](WindowServerState& state, const DisplayRecords& displays) -> DisplayStage* {
        const DisplayID id = display.value_or(displays.displays.empty() ? 0 : displays.displays.front().id);
        return stageOf(state, id);
    };
    const auto& action = arguments[0];
    const auto now = continuousNowNs();
    if (action == "new-desktop") {
        if (!rest.empty()) {
            return usageError("new-desktop takes only --display");
        }
        return changeWindowServer(paths, "space", [&](WindowServerState& state, const DisplayRecords& displays) {
            auto* stage = stageFor(state, displays);
            if (stage == nullptr) {
                return std::optional<std::string>("no such display is online");
            }
            state.spaces.push_back({state.nextSpace++, stage->display, ""});
            std::printf("space %u\n", state.spaces.back().id);
            return std::optional<std::string>();
        });
    }
    if (action == "fullscreen") {
        if (rest.size() != 1 || rest[0].empty() || rest[0].size() > 64) {
            return usageError("fullscreen takes an app's name");
        }
        return announceSpaceChange(
            paths, changeWindowServer(paths, "space", [&](WindowServerState& state, const DisplayRecords& displays) {
                auto* stage = stageFor(state, displays);
                if (stage == nullptr) {
                    return std::optional<std::string>("no such display is online");
                }
                const auto active = std::find_if(state.spaces.begin(), state.spaces.end(),
                                                 [&](const Space& space) { return space.id == stage->active; });
                const auto id = state.nextSpace++;
                state.spaces.insert(active + 1, Space{id, stage->display, rest[0]});
                switchSpace(state, *stage, id, now);
                std::printf("space %u\n", id);
                return std::optional<std::string>();
            }));
    }
    if (action == "switch") {
        const auto id = rest.size() == 1 ? parseNumber(rest[0]) : std::nullopt;
        if (!id || display) {
            return usageError("switch takes a space number (vmac space list shows them)");
        }
        return announceSpaceChange(
            paths, changeWindowServer(paths, "space", [&](WindowServerState& state, const DisplayRecords&) {
                const auto* space = findSpace(state, *id);
                if (space == nullptr) {
                    return std::optional<std::string>("no space " + std::to_string(*id));
                }
                auto* stage = stageOf(state, space->display);
                if (stage->active == *id) {
                    return std::optional<std::string>("space " + std::to_string(*id) + " is active already");
                }
                switchSpace(state, *stage, *id, now);
                return std::optional<std::string>();
            }));
    }
    if (action == "exit-fullscreen") {
        if (!rest.empty()) {
            return usageError("exit-fullscreen takes only --display");
        }
        return announceSpaceChange(
            paths, changeWindowServer(paths, "space", [&](WindowServerState& state, const DisplayRecords& displays) {
                auto* stage = stageFor(state, displays);
                const auto* active = stage != nullptr ? findSpace(state, stage->active) : nullptr;
                if (active == nullptr || !active->isFullScreen()) {
                    return std::optional<std::string>("no app is in full screen there");
                }
                // Back to the nearest desktop before it.
                const auto here = std::find_if(state.spaces.begin(), state.spaces.end(),
                                               [&](const Space& space) { return space.id == active->id; });
                std::uint32_t target = 0;
                for (auto it = state.spaces.begin(); it != state.spaces.end(); ++it) {
                    if (it->display == stage->display && !it->isFullScreen() && (target == 0 || it < here)) {
                        target = it->id;
                    }
                }
                switchSpace(state, *stage, target, now);
                stage->direction = -1;
                state.spaces.erase(here);
                return std::optional<std::string>();
            }));
    }
    return usageError("unknown action '" + action + "'");
}

}  // namespace lidora::vmac
