#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "core/brightness/LogoBrightnessScale.h"
#include "core/effects/LogoEffectsWatcher.h"
#include "core/message/MessageSettings.h"

namespace lidora {

// The state parameter of the Shortcuts actions.
enum class LogoLightSwitch { on, off };

// One case as Shortcuts shows it and as a spoken phrase may name it.
struct AppEnumCase {
    std::string_view rawValue;
    std::string_view title;
    std::string_view subtitle;  // empty: none
    std::span<const std::string_view> synonyms;
};

// An enumeration the actions take, with its cases in the order of the
// C++ enumeration it stands for.
struct AppEnum {
    std::string_view identifier;
    std::string_view typeDisplayName;
    std::span<const AppEnumCase> cases;
};

const AppEnum& logoLightSwitchEnum();
const AppEnum& logoBrightnessChoiceEnum();
const AppEnum& messageSpeedEnum();
const AppEnum& onAirSourceEnum();
// All four, in that order.
std::span<const AppEnum* const> appEnums();

// The position of the case with that raw value (exact, case-sensitive).
std::optional<std::size_t> caseIndex(const AppEnum& appEnum, std::string_view rawValue);

template <typename E>
std::optional<E> caseValue(const AppEnum& appEnum, std::string_view rawValue) {
    const auto index = caseIndex(appEnum, rawValue);
    return index ? std::optional<E>(static_cast<E>(*index)) : std::nullopt;
}

template <typename E>
const AppEnumCase& caseOf(const AppEnum& appEnum, E value) {
    return appEnum.cases[static_cast<std::size_t>(value)];
}

}  // namespace lidora
