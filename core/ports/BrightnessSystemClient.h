#pragma once

#include <optional>
#include <string_view>

#include "core/prefs/PreferenceValue.h"

namespace lidora {

// The CoreBrightness framework's BrightnessSystemClient object. Objects the
// framework hands back or takes are property-list values.
class BrightnessSystemClient {
public:
    virtual ~BrightnessSystemClient() = default;

    // The private class may lose a method between releases; callers ask first.
    [[nodiscard]] virtual bool respondsToSelector(std::string_view selector) const = 0;
    // copyPropertyForKey: nil comes back as absent.
    [[nodiscard]] virtual std::optional<PreferenceValue> copyPropertyForKey(std::string_view key) = 0;
    // setProperty:forKey:, with the method's BOOL result.
    virtual bool setPropertyForKey(const PreferenceValue& value, std::string_view key) = 0;
};

inline constexpr std::string_view kCopyPropertySelector = "copyPropertyForKey:";
inline constexpr std::string_view kSetPropertySelector = "setProperty:forKey:";

}  // namespace lidora
