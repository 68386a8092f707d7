#include "platform/windowserver/WindowServerState.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "core/runtime/Clock.h"

namespace lidora::vmac {

namespace {

constexpr mode_t kRecordMode = 0666;
constexpr std::size_t kMaxSpaces = 64;

}  // namespace

Expected<WindowServerState, std::string> decodeWindowServerState(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return unexpected(std::string("not a window server state"));
    }
    WindowServerState state;
    try {
        for (const auto& entry : json.at("spaces")) {
            state.spaces.push_back({entry.at("id").get<std::uint32_t>(), entry.at("display").get<DisplayID>(),
                                    entry.at("app").get<std::string>()});
        }
        for (const auto& entry : json.at("stages")) {
            state.stages.push_back({entry.at("display").get<DisplayID>(), entry.at("active").get<std::uint32_t>(),
                                    entry.at("previousApp").get<std::string>(), entry.at("direction").get<int>(),
                                    entry.at("switchedAt").get<std::int64_t>(), entry.at("revealed").get<bool>(),
                                    entry.at("revealChangedAt").get<std::int64_t>()});
        }
        state.pointer = {json.at("pointer").at(0).get<double>(), json.at("pointer").at(1).get<double>()};
        const auto autoHide = json.at("autoHide").get<int>();
        if (autoHide < 0 || autoHide > 3) {
            return unexpected(std::string("the menu bar's auto-hide setting is not 0 to 3"));
        }
        state.autoHide = static_cast<AutoHideSetting>(autoHide);
        state.nextSpace = json.at("nextSpace").get<std::uint32_t>();
    } catch (const nlohmann::json::exception& error) {
        return unexpected(std::string("a field is missing or of the wrong type: ") + error.what());
    }
    if (state.spaces.size() > kMaxSpaces || !std::isfinite(state.pointer.x) || !std::isfinite(state.pointer.y)) {
        return unexpected(std::string("too many spaces, or no pointer"));
    }
    return state;
}

std::string encodeWindowServerState(const WindowServerState& state) {
    nlohmann::json spaces = nlohmann::json::array();
    for (const auto& space : state.spaces) {
        spaces.push_back({{"id", space.id}, {"display", space.display}, {"app", space.app}});
    }
    nlohmann::json stages = nlohmann::json::array();
    for (const auto& stage : state.stages) {
        stages.push_back({{"display", stage.display},
                          {"active", stage.active},
                          {"previousApp", stage.previousApp},
                          {"direction", stage.direction},
                          {"switchedAt", stage.switchedAt},
                          {"revealed", stage.revealed},
                          {"revealChangedAt", stage.revealChangedAt}});
    }
    const nlohmann::json json = {{"spaces", std::move(spaces)},
                                 {"stages", std::move(stages)},
                                 {"pointer", {state.pointer.x, state.pointer.y}},
                                 {"autoHide", static_cast<int>(state.autoHide)},
                                 {"nextSpace", state.nextSpace}};
    return json.dump(2) + "\n";
}

RecordFile<WindowServerState> windowServerStateRecord(const VmacPaths& paths,
                                                      RecordFile<WindowServerState>::Warn warn) {
    return RecordFile<WindowServerState>(paths.root() / "var" / "db" / "windowserver" / "state.json",
                                         decodeWindowServerState, encodeWindowServerState, kRecordMode,
                                         std::move(warn));
}

void settleSpaces(WindowServerState& state, const DisplayRecords& displays) {
    auto online = [&](DisplayID id) { return findDisplay(displays, id) != nullptr; };
    std::erase_if(state.spaces, [&](const Space& space) { return !online(space.display); });
    std::erase_if(state.stages, [&](const DisplayStage& stage) { return !online(stage.display); });
    for (const auto& display : displays.displays) {
        const bool hasDesktop = std::any_of(state.spaces.begin(), state.spaces.end(), [&](const Space& space) {
            return space.display == display.id && !space.isFullScreen();
        });
        if (!hasDesktop) {
            state.spaces.push_back({state.nextSpace++, display.id, ""});
        }
        auto* stage = stageOf(state, display.id);
        const auto* active = stage != nullptr ? findSpace(state, stage->active) : nullptr;
        if (active == nullptr || active->display != display.id) {
            const auto first = std::find_if(state.spaces.begin(), state.spaces.end(),
                                            [&](const Space& space) { return space.display == display.id; });
            if (stage == nullptr) {
                state.stages.push_back({display.id, first->id, "", 1, 0, false, 0});
            } else {
                stage->active = first->id;
            }
        }
    }
}

const DisplayStage* stageOf(const WindowServerState& state, DisplayID display) {
    const auto found = std::find_if(state.stages.begin(), state.stages.end(),
                                    [&](const DisplayStage& stage) { return stage.display == display; });
    return found == state.stages.end() ? nullptr : &*found;
}

DisplayStage* stageOf(WindowServerState& state, DisplayID display) {
    return const_cast<DisplayStage*>(stageOf(std::as_const(state), display));
}

const Space* findSpace(const WindowServerState& state, std::uint32_t id) {
    const auto found =
        std::find_if(state.spaces.begin(), state.spaces.end(), [&](const Space& space) { return space.id == id; });
    return found == state.spaces.end() ? nullptr : &*found;
}

bool barHiddenBySetting(AutoHideSetting setting, bool fullScreen) {
    switch (setting) {
        case AutoHideSetting::always: return true;
        case AutoHideSetting::onDesktopOnly: return !fullScreen;
        case AutoHideSetting::inFullScreenOnly: return fullScreen;
        case AutoHideSetting::never: return false;
    }
    return false;
}

double progress(std::int64_t start, std::int64_t length, std::int64_t now) {
    if (now < start || now - start >= length) {
        return 1.0;
    }
    return static_cast<double>(now - start) / static_cast<double>(length);
}

void switchSpace(WindowServerState& state, DisplayStage& stage, std::uint32_t space, std::int64_t now) {
    const auto* from = findSpace(state, stage.active);
    auto indexOf = [&](std::uint32_t id) {
        return std::find_if(state.spaces.begin(), state.spaces.end(), [&](const Space& s) { return s.id == id; }) -
               state.spaces.begin();
    };
    stage.previousApp = from != nullptr ? from->app : "";
    stage.direction = indexOf(space) >= indexOf(stage.active) ? 1 : -1;
    stage.active = space;
    stage.switchedAt = now;
}

void movePointer(WindowServerState& state, const DisplayRecords& displays, Point to, std::int64_t now) {
    state.pointer = to;
    const auto geometry = resolvedGeometry(displays);
    for (std::size_t i = 0; i < displays.displays.size(); ++i) {
        auto* stage = stageOf(state, displays.displays[i].id);
        if (stage == nullptr) {
            continue;
        }
        const auto& g = geometry[i];
        const bool across = g.x <= to.x && to.x < g.x + g.width;
        const bool atEdge = across && to.y >= g.y && to.y <= g.y + 1;
        const bool onBar = across && to.y >= g.y && to.y < g.y + g.menuBarHeight;
        const bool revealed = atEdge || (stage->revealed && onBar);
        if (revealed == stage->revealed) {
            continue;
        }
        // A bar turning back mid-slide goes on from where it is.
        const double done = progress(stage->revealChangedAt, kMenuBarSlideNs, now);
        stage->revealChangedAt = now - static_cast<std::int64_t>((1.0 - done) * kMenuBarSlideNs);
        stage->revealed = revealed;
    }
}

std::int64_t continuousNowNs() {
    return ContinuousClock::now().time_since_epoch().count();
}

}  // namespace lidora::vmac
