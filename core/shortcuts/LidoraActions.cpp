#include "core/shortcuts/LidoraActions.h"

#include <algorithm>
#include <array>

#include "core/effects/KeepsLogoDark.h"
#include "core/shortcuts/ShortcutsOperations.h"
#include "core/text/Characters.h"
#include "core/text/UnicodeText.h"

namespace lidora {

namespace {

// Arguments were checked against the declarations before perform runs;
// the fallbacks only keep a wrong call harmless.
std::string textArgument(const ActionArguments& arguments, std::string_view name) {
    const auto found = arguments.find(name);
    const auto* text = found == arguments.end() ? nullptr : std::get_if<std::string>(&found->second);
    return text != nullptr ? *text : std::string();
}

std::optional<std::int64_t> integerArgument(const ActionArguments& arguments, std::string_view name) {
    const auto found = arguments.find(name);
    const auto* value = found == arguments.end() ? nullptr : std::get_if<std::int64_t>(&found->second);
    return value != nullptr ? std::optional(*value) : std::nullopt;
}

std::optional<bool> booleanArgument(const ActionArguments& arguments, std::string_view name) {
    const auto found = arguments.find(name);
    const auto* value = found == arguments.end() ? nullptr : std::get_if<bool>(&found->second);
    return value != nullptr ? std::optional(*value) : std::nullopt;
}

template <typename E>
std::optional<E> enumArgument(const ActionArguments& arguments, std::string_view name, const AppEnum& appEnum) {
    const auto found = arguments.find(name);
    const auto* raw = found == arguments.end() ? nullptr : std::get_if<std::string>(&found->second);
    return raw != nullptr ? caseValue<E>(appEnum, *raw) : std::nullopt;
}

bool stateIsOn(const ActionArguments& arguments) {
    return enumArgument<LogoLightSwitch>(arguments, "state", logoLightSwitchEnum()) == LogoLightSwitch::on;
}

double storedLevel(ShortcutsContext& context) {
    return LogoBrightnessController::storedLevel(*suiteOrStandard(context.defaults, kAppGroupSuite));
}

Expected<std::string, HelperError> saved(Expected<void, std::string> written, std::string dialog) {
    if (!written) {
        return unexpected(HelperError{std::string(kSettingNotSavedText)});
    }
    return dialog;
}

// The light and brightness actions.

Task<ActionResult> performLogoLight(ShortcutsContext& context, const ActionArguments& arguments) {
    co_return co_await switchLight(context, stateIsOn(arguments));
}

Task<ActionResult> performDim(ShortcutsContext& context, const ActionArguments& /*arguments*/) {
    co_return co_await setBrightness(context, levelForFactor(dimmerPresetFactor(storedLevel(context))));
}

Task<ActionResult> performBrighten(ShortcutsContext& context, const ActionArguments& /*arguments*/) {
    co_return co_await setBrightness(context, levelForFactor(brighterPresetFactor(storedLevel(context))));
}

Task<ActionResult> performPreset(ShortcutsContext& context, const ActionArguments& arguments) {
    const auto choice = enumArgument<LogoBrightnessChoice>(arguments, "level", logoBrightnessChoiceEnum())
                            .value_or(LogoBrightnessChoice::full);
    co_return co_await setBrightness(context, levelForFactor(preset(choice).factor));
}

Task<ActionResult> performPercent(ShortcutsContext& context, const ActionArguments& arguments) {
    const auto percent = std::clamp<std::int64_t>(integerArgument(arguments, "percent").value_or(100), 0, 100);
    const double factor = static_cast<double>(percent) / 100.0;
    const double level = factor <= kMinLogoBrightnessFactor ? 0.0 : levelForFactor(factor);
    co_return co_await setBrightness(context, level);
}

// The Morse action.

Task<ActionResult> performMorse(ShortcutsContext& context, const ActionArguments& arguments) {
    const std::string text = firstCharacters(
        trimmingWhitespaceAndNewlines(decodingUtf8Lossily(textArgument(arguments, "message"))), kShortcutsMessageLimit);
    const auto standard = context.defaults.standard();
    const auto speed = enumArgument<MessageSettings::Speed>(arguments, "speed", messageSpeedEnum());
    const double unit = MessageSettings::unit(speed.value_or(MessageSettings::speed(*standard)));
    const bool markers = booleanArgument(arguments, "markers").value_or(MessageSettings::markers(*standard));
    const MorseCode::Timing timing{unit, 2, 4, 5};
    ShortcutsDelegate* delegate = context.sharedDelegate ? context.sharedDelegate() : nullptr;
    if (delegate == nullptr) {
        co_return unexpected(HelperError{std::string(kStillStartingText)});
    }
    auto problem = co_await delegate->sendMessage(text, timing, markers);
    if (problem) {
        co_return unexpected(HelperError{std::move(*problem)});
    }
    const double seconds = MorseCode::duration(MorseCode::steps(text, timing, markers), unit);
    std::string dialog =
        "Sending \u201C" + text + "\u201D in Morse code. It takes " + MorseCode::durationText(seconds) + ".";
    const auto skipped = MorseCode::skippedCharacters(text);
    if (!skipped.empty()) {
        dialog += " Skipped: ";
        for (const auto& character : skipped) {
            dialog += character;
        }
        dialog += ".";
    }
    co_return dialog;
}

// The setting actions write the app's defaults; the app follows them.

Task<ActionResult> performOnAir(ShortcutsContext& context, const ActionArguments& arguments) {
    const bool on = stateIsOn(arguments);
    co_return saved(context.defaults.standard()->set(kOnAirEnabledKey, PreferenceValue(on)),
                    on ? "The On Air light is on. The Apple logo will signal ON AIR while you're on a call."
                       : "The On Air light is off.");
}

Task<ActionResult> performOnAirTrigger(ShortcutsContext& context, const ActionArguments& arguments) {
    const auto source =
        enumArgument<OnAirSource>(arguments, "trigger", onAirSourceEnum()).value_or(OnAirSource::cameraOrMicrophone);
    const auto standard = context.defaults.standard();
    const auto written =
        standard->set(kOnAirSourceKey, PreferenceValue(std::string(caseOf(onAirSourceEnum(), source).rawValue)));
    std::string dialog = "The On Air light will turn on while an app uses ";
    dialog += source == OnAirSource::camera ? "the camera." : "the camera or a microphone.";
    if (!standard->boolean(kOnAirEnabledKey).value_or(true)) {
        dialog += " The On Air light itself is off.";
    }
    co_return saved(written, std::move(dialog));
}

Task<ActionResult> performOnAirDark(ShortcutsContext& context, const ActionArguments& arguments) {
    const bool on = stateIsOn(arguments);
    const auto standard = context.defaults.standard();
    const auto written = standard->set(kOnAirDarkOtherwiseKey, PreferenceValue(on));
    std::string dialog = "The Apple logo light is back under your control.";
    if (on) {
        dialog = standard->boolean(kOnAirEnabledKey).value_or(true)
                     ? "The Apple logo will stay dark except while you're on air."
                     : "Saved. Turn the On Air light on for it to take effect.";
    }
    co_return saved(written, std::move(dialog));
}

Task<ActionResult> performBreathing(ShortcutsContext& context, const ActionArguments& arguments) {
    const bool on = stateIsOn(arguments);
    co_return saved(
        context.defaults.standard()->set(kBreatheWhenLockedAndChargingKey, PreferenceValue(on)),
        on ? "Breathing is on. The Apple logo will breathe while the screen is locked and the Mac is plugged in."
           : "Breathing is off.");
}

// The declarations.

constexpr std::array<std::string_view, 0> kNothingListed{};
constexpr std::array<std::string_view, 2> kMorseListed{"speed", "markers"};

ActionParameter parameter(std::string_view name, std::string_view title, ParameterKind kind,
                          const AppEnum* appEnum = nullptr) {
    ActionParameter p;
    p.name = name;
    p.title = title;
    p.kind = kind;
    p.appEnum = appEnum;
    return p;
}

ActionParameter optionalParameter(ActionParameter p, std::string_view description) {
    p.optional = true;
    p.description = description;
    return p;
}

ActionParameter switchParameter(std::string_view title) {
    return parameter("state", title, ParameterKind::appEnum, &logoLightSwitchEnum());
}

ActionParameter percentParameter() {
    auto p = parameter("percent", "Brightness (%)", ParameterKind::integer);
    p.range = IntegerRange{0, 100};
    return p;
}

ActionParameter messageParameter() {
    auto p = parameter("message", "Message", ParameterKind::text);
    p.requestValueDialog = "What's the message?";
    return p;
}

// The enumerations are constants of another file, so these are set up at start.
const std::array<ActionParameter, 1> kLightParameters{switchParameter("Light")};
const std::array<ActionParameter, 1> kPresetParameters{
    parameter("level", "Brightness", ParameterKind::appEnum, &logoBrightnessChoiceEnum())};
const std::array<ActionParameter, 1> kPercentParameters{percentParameter()};
const std::array<ActionParameter, 3> kMorseParameters{
    messageParameter(),
    optionalParameter(parameter("speed", "Speed", ParameterKind::appEnum, &messageSpeedEnum()),
                      "Unset uses the speed last chosen in the Send a Message window."),
    optionalParameter(parameter("markers", "Start and End Markers", ParameterKind::boolean),
                      "Unset uses the choice in the Send a Message window."),
};
const std::array<ActionParameter, 1> kOnAirParameters{switchParameter("On Air")};
const std::array<ActionParameter, 1> kTriggerParameters{
    parameter("trigger", "Turn On For", ParameterKind::appEnum, &onAirSourceEnum())};
const std::array<ActionParameter, 1> kDarkParameters{switchParameter("Keep Dark")};
const std::array<ActionParameter, 1> kBreathingParameters{switchParameter("Breathing")};

const std::array<ShortcutsAction, 10> kActions{{
    {"LogoLightIntent",
     "Turn Apple Logo Light On or Off",
     kLightParameters,
     {"Turn the Apple logo light ${state}", kNothingListed},
     performLogoLight},
    {"DimLogoIntent", "Dim the Apple Logo", {}, {"Dim the Apple Logo", kNothingListed}, performDim},
    {"BrightenLogoIntent", "Brighten the Apple Logo", {}, {"Brighten the Apple Logo", kNothingListed}, performBrighten},
    {"LogoBrightnessPresetIntent",
     "Set Apple Logo Brightness Level",
     kPresetParameters,
     {"Set the Apple logo brightness to ${level}", kNothingListed},
     performPreset},
    {"LogoBrightnessPercentIntent",
     "Set Apple Logo Brightness",
     kPercentParameters,
     {"Set the Apple logo brightness to ${percent}%", kNothingListed},
     performPercent},
    {"SendMorseMessageIntent",
     "Send a Morse Message",
     kMorseParameters,
     {"Send ${message} in Morse code", kMorseListed},
     performMorse},
    {"SetOnAirIntent",
     "Turn On Air Light On or Off",
     kOnAirParameters,
     {"Turn the On Air light ${state}", kNothingListed},
     performOnAir},
    {"SetOnAirTriggerIntent",
     "Set On Air Trigger",
     kTriggerParameters,
     {"Turn the On Air light on for ${trigger}", kNothingListed},
     performOnAirTrigger},
    {"SetOnAirDarkIntent",
     "Keep Logo Dark Except When On Air",
     kDarkParameters,
     {"Turn keeping the logo dark except when on air ${state}", kNothingListed},
     performOnAirDark},
    {"SetBreathingIntent",
     "Turn Breathing On or Off",
     kBreathingParameters,
     {"Turn breathing ${state}", kNothingListed},
     performBreathing},
}};

}  // namespace

std::span<const ShortcutsAction> lidoraActions() {
    return kActions;
}

const ShortcutsAction* findAction(std::string_view identifier) {
    for (const auto& action : kActions) {
        if (action.identifier == identifier) {
            return &action;
        }
    }
    return nullptr;
}

}  // namespace lidora
