#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/DisplayServices.h"
#include "core/ports/Geometry.h"
#include "core/runtime/Expected.h"
#include "platform/displays/DisplayRecords.h"
#include "platform/prefs/RecordFile.h"

namespace lidora::vmac {

// A space: a desktop, or one app in full screen.
struct Space {
    std::uint32_t id = 0;
    DisplayID display = 0;
    std::string app;  // empty: a desktop
    [[nodiscard]] bool isFullScreen() const { return !app.empty(); }
    friend bool operator==(const Space&, const Space&) = default;
};

// What one display shows, and the animations under way on it. Times are
// on the continuous clock, in nanoseconds.
struct DisplayStage {
    DisplayID display = 0;
    std::uint32_t active = 0;
    std::string previousApp;  // what the display showed before the last switch; empty: a desktop
    int direction = 1;        // the new space came in from the right (1) or the left (-1)
    std::int64_t switchedAt = 0;
    bool revealed = false;  // the pointer brought an auto-hidden menu bar down
    std::int64_t revealChangedAt = 0;
    friend bool operator==(const DisplayStage&, const DisplayStage&) = default;
};

// System Settings' "Automatically hide and show the menu bar".
enum class AutoHideSetting { always = 0, onDesktopOnly = 1, inFullScreenOnly = 2, never = 3 };

struct WindowServerState {
    std::vector<Space> spaces;
    std::vector<DisplayStage> stages;
    Point pointer{100, 300};  // global, top-left origin
    AutoHideSetting autoHide = AutoHideSetting::inFullScreenOnly;
    std::uint32_t nextSpace = 1;
    friend bool operator==(const WindowServerState&, const WindowServerState&) = default;
};

inline constexpr std::int64_t kSpaceSwitchNs = 300'000'000;
inline constexpr std::int64_t kMenuBarSlideNs = 250'000'000;

Expected<WindowServerState, std::string> decodeWindowServerState(std::string_view text);
std::string encodeWindowServerState(const WindowServerState& state);

// var/db/windowserver/state.json.
RecordFile<WindowServerState> windowServerStateRecord(const VmacPaths& paths,
                                                      RecordFile<WindowServerState>::Warn warn = {});

// Gives every display online a desktop and a stage, and drops those of
// displays gone. Deterministic, so readers agree without writing.
void settleSpaces(WindowServerState& state, const DisplayRecords& displays);

const DisplayStage* stageOf(const WindowServerState& state, DisplayID display);
DisplayStage* stageOf(WindowServerState& state, DisplayID display);
const Space* findSpace(const WindowServerState& state, std::uint32_t id);

// Whether the menu bar hides by itself on such a space.
bool barHiddenBySetting(AutoHideSetting setting, bool fullScreen);
// 0 … 1 of an animation of `length` begun at `start`; 1 once done (or
// begun in the future, as after a restart of the clock).
double progress(std::int64_t start, std::int64_t length, std::int64_t now);

// Switches the display to the space, animated from `now`.
void switchSpace(WindowServerState& state, DisplayStage& stage, std::uint32_t space, std::int64_t now);
// The pointer moves (global, top-left origin): a bar it reaches the top
// edge of comes down, and goes up again when it leaves the bar.
void movePointer(WindowServerState& state, const DisplayRecords& displays, Point to, std::int64_t now);

std::int64_t continuousNowNs();

}  // namespace lidora::vmac
