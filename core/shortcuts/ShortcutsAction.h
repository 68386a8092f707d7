#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/brightness/LogoBrightnessController.h"
#include "core/light/LightService.h"
#include "core/ports/ControlCenter.h"
#include "core/ports/DarwinNotifications.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/Expected.h"
#include "core/runtime/Task.h"
#include "core/shortcuts/AppEnums.h"
#include "core/shortcuts/ShortcutsDelegate.h"

namespace lidora {

// What the actions work with in the app's process; all of it outlives them.
struct ShortcutsContext {
    // The daemon's client with its 5-second limit, not the light controller.
    LightService& light;
    UserDefaultsProvider& defaults;
    LogoBrightnessController& brightness;
    ControlCenter& controls;
    DarwinNotificationCenter& notifications;
    // AppDelegate.shared: none until the app's launch has begun.
    std::function<ShortcutsDelegate*()> sharedDelegate;
};

enum class ParameterKind { appEnum, integer, text, boolean };

struct IntegerRange {
    std::int64_t minimum;
    std::int64_t maximum;
};

struct ActionParameter {
    std::string_view name;
    std::string_view title;
    ParameterKind kind = ParameterKind::text;
    const AppEnum* appEnum = nullptr;
    bool optional = false;
    std::string_view description;         // empty: none
    std::string_view requestValueDialog;  // empty: ask with the title
    std::optional<IntegerRange> range;    // inclusive, shown as a stepper
};

// "${name}" in the text stands for that parameter; `listed` are shown under it.
struct ParameterSummary {
    std::string_view text;
    std::span<const std::string_view> listed;
};

// Enumeration values travel as raw values.
using ArgumentValue = std::variant<std::string, std::int64_t, bool>;
using ActionArguments = std::map<std::string, ArgumentValue, std::less<>>;

// The dialog, or the failure that ends the action.
using ActionResult = Expected<std::string, HelperError>;

// One action: what the system reads about it, and what running it does.
// `perform` gets arguments already checked against `parameters`.
struct ShortcutsAction {
    std::string_view identifier;
    std::string_view title;
    std::span<const ActionParameter> parameters;
    ParameterSummary summary;
    Task<ActionResult> (*perform)(ShortcutsContext& context, const ActionArguments& arguments);
    bool openAppWhenRun = false;
};

// One App Shortcut: "${applicationName}" and "${parameter}" stand in its phrases.
struct AppShortcut {
    std::string_view action;
    std::span<const std::string_view> phrases;
    std::string_view shortTitle;
    std::string_view systemImageName;
};

}  // namespace lidora
