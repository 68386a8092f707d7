#include "core/shortcuts/LidoraShortcuts.h"

#include <array>

namespace lidora {

namespace {

constexpr std::array<std::string_view, 3> kLightPhrases{
    "Turn ${state} the logo light in ${applicationName}",
    "Turn ${state} the Apple logo light with ${applicationName}",
    "Turn the logo light ${state} in ${applicationName}",
};
constexpr std::array<std::string_view, 3> kDimPhrases{
    "Dim the Apple logo in ${applicationName}",
    "Dim the logo with ${applicationName}",
    "Make the logo dimmer in ${applicationName}",
};
constexpr std::array<std::string_view, 3> kBrightenPhrases{
    "Brighten the Apple logo in ${applicationName}",
    "Brighten the logo with ${applicationName}",
    "Make the logo brighter in ${applicationName}",
};
constexpr std::array<std::string_view, 2> kPresetPhrases{
    "Set the logo brightness to ${level} in ${applicationName}",
    "Set the Apple logo to ${level} with ${applicationName}",
};
constexpr std::array<std::string_view, 3> kMorsePhrases{
    "Send a Morse message with ${applicationName}",
    "Send a message in Morse code with ${applicationName}",
    "Flash a Morse message in ${applicationName}",
};
constexpr std::array<std::string_view, 2> kOnAirPhrases{
    "Turn ${state} the On Air light in ${applicationName}",
    "Turn the On Air light ${state} with ${applicationName}",
};
constexpr std::array<std::string_view, 2> kBreathingPhrases{
    "Turn ${state} breathing in ${applicationName}",
    "Turn logo breathing ${state} with ${applicationName}",
};

constexpr std::array<AppShortcut, 7> kShortcuts{{
    {"LogoLightIntent", kLightPhrases, "Logo Light", "lightbulb"},
    {"DimLogoIntent", kDimPhrases, "Dim Logo", "sun.min"},
    {"BrightenLogoIntent", kBrightenPhrases, "Brighten Logo", "sun.max"},
    {"LogoBrightnessPresetIntent", kPresetPhrases, "Logo Brightness", "sun.max.fill"},
    {"SendMorseMessageIntent", kMorsePhrases, "Morse Message", "ellipsis.message"},
    {"SetOnAirIntent", kOnAirPhrases, "On Air Light", "video"},
    {"SetBreathingIntent", kBreathingPhrases, "Breathing", "lungs"},
}};

}  // namespace

std::span<const AppShortcut> lidoraShortcuts() {
    return kShortcuts;
}

}  // namespace lidora
