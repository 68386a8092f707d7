#include "core/shortcuts/AppEnums.h"

#include <array>

namespace lidora {

namespace {

constexpr std::array<std::string_view, 0> kNoSynonyms{};

constexpr std::array<AppEnumCase, 2> kSwitchCases{{
    {"on", "on", "", kNoSynonyms},
    {"off", "off", "", kNoSynonyms},
}};

constexpr std::array<std::string_view, 4> kFullSynonyms{"100 percent", "full", "full brightness", "maximum"};
constexpr std::array<std::string_view, 2> kSixtySynonyms{"60 percent", "sixty percent"};
constexpr std::array<std::string_view, 2> kThirtySynonyms{"30 percent", "thirty percent"};
constexpr std::array<std::string_view, 3> kDimSynonyms{"dimmest", "lowest", "minimum"};

// Titles come from the presets, so the panel and Shortcuts name them alike.
constexpr std::array<AppEnumCase, 4> kBrightnessCases{{
    {"full", kLogoBrightnessPresets[0].text, "", kFullSynonyms},
    {"sixty", kLogoBrightnessPresets[1].text, "", kSixtySynonyms},
    {"thirty", kLogoBrightnessPresets[2].text, "", kThirtySynonyms},
    {"dim", kLogoBrightnessPresets[3].text, "", kDimSynonyms},
}};

constexpr std::array<AppEnumCase, 3> kSpeedCases{{
    {"slow", "Slow", "Easier to read", kNoSynonyms},
    {"normal", "Normal", "", kNoSynonyms},
    {"pro", "Pro", "Faster, for Morse readers", kNoSynonyms},
}};

constexpr std::array<AppEnumCase, 2> kOnAirSourceCases{{
    {"camera", "Camera only", "", kNoSynonyms},
    {"cameraOrMicrophone", "Camera or microphone", "", kNoSynonyms},
}};

constexpr AppEnum kSwitch{"LogoLightSwitch", "On/Off", kSwitchCases};
constexpr AppEnum kBrightness{"LogoBrightnessChoice", "Brightness", kBrightnessCases};
constexpr AppEnum kSpeed{"MessageSettings.Speed", "Speed", kSpeedCases};
constexpr AppEnum kOnAirSource{"OnAirSource", "On Air Trigger", kOnAirSourceCases};

constexpr std::array<const AppEnum*, 4> kAll{&kSwitch, &kBrightness, &kSpeed, &kOnAirSource};

static_assert(kLogoBrightnessPresets[0].choice == LogoBrightnessChoice::full &&
              kLogoBrightnessPresets[3].choice == LogoBrightnessChoice::dim);

}  // namespace

const AppEnum& logoLightSwitchEnum() {
    return kSwitch;
}

const AppEnum& logoBrightnessChoiceEnum() {
    return kBrightness;
}

const AppEnum& messageSpeedEnum() {
    return kSpeed;
}

const AppEnum& onAirSourceEnum() {
    return kOnAirSource;
}

std::span<const AppEnum* const> appEnums() {
    return kAll;
}

std::optional<std::size_t> caseIndex(const AppEnum& appEnum, std::string_view rawValue) {
    for (std::size_t i = 0; i < appEnum.cases.size(); ++i) {
        if (appEnum.cases[i].rawValue == rawValue) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace lidora
