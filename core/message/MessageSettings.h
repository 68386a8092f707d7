#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/morse/MorseCode.h"
#include "core/ports/UserDefaults.h"

// The message settings the message window, the settings window and the
// Shortcuts action share.
namespace lidora::MessageSettings {

inline constexpr std::string_view kSpeedKey = "morseSpeed";
inline constexpr std::string_view kMarkersKey = "morseMarkers";

enum class Speed { slow, normal, pro };

inline constexpr std::array<Speed, 3> kSpeeds = {Speed::slow, Speed::normal, Speed::pro};

// "slow", "normal", "pro": what is stored.
std::string_view rawValue(Speed speed);
// Exact and case-sensitive; anything else is no speed.
std::optional<Speed> speedFromRaw(std::string_view raw);
// "Slow", "Normal", "Pro".
std::string_view label(Speed speed);
// Seconds a unit lasts: 0.6, 0.4, 0.25.
double unit(Speed speed);
// The speed's unit with gaps of 2, 4 and 5 units.
MorseCode::Timing timing(Speed speed);

// What is stored, or normal when nothing usable is: no value, another type,
// or a text that is no speed (invalid UTF-8 included).
Speed speed(const UserDefaults& standard);
// What is stored, or true when nothing usable is.
bool markers(const UserDefaults& standard);

Expected<void, std::string> setSpeed(UserDefaults& standard, Speed speed);
Expected<void, std::string> setMarkers(UserDefaults& standard, bool markers);

}  // namespace lidora::MessageSettings
