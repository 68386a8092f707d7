#pragma once

#include <string_view>

namespace lidora {

// Darwin notifications, without payload, from the Control Center extension
// and Shortcuts to the running app: the light was switched; a new
// brightness level was stored.
inline constexpr std::string_view kChangedNotification = "com.zelquin.lidora.changed";
inline constexpr std::string_view kBrightnessChangedNotification = "com.zelquin.lidora.brightness-changed";

// The app's bundle identifier, by which the extension finds and opens it.
inline constexpr std::string_view kAppBundleIdentifier = "com.zelquin.lidora";

}  // namespace lidora
