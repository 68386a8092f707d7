#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/brightness/BrightnessTables.h"
#include "core/prefs/PreferenceValue.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

inline constexpr std::string_view kCoreBrightnessDomain = "com.apple.CoreBrightness";
inline constexpr std::string_view kBacklightModeKey = "LEBacklightMode";
inline constexpr std::size_t kMaxLogoTablePoints = 64;

// The two properties clients may copy and set.
bool isLogoTableKey(std::string_view key);

// A table must be an array of 1 to kMaxLogoTablePoints pairs of finite
// numbers; anything else is refused whole, saying why.
Expected<BrightnessTable, std::string> validateLogoTable(const PreferenceValue& value);

// What a Mac comes with: display brightness (0 to 1) to nits, and ambient
// lux to the least nits the logo may show.
BrightnessTables factoryLogoTables();

// LEBacklightMode absent means lit; 0 means dark.
bool backlightOn(const std::optional<PreferenceValue>& mode);

}  // namespace lidora::vmac
