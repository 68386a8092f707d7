#pragma once

#include <optional>
#include <string_view>

#include "core/prefs/PreferenceValue.h"

namespace lidora {

// The session dictionary's lock flag: true while the screen is locked. The
// system leaves the key out while the screen is unlocked.
inline constexpr std::string_view kSessionScreenIsLockedKey = "CGSSessionScreenIsLocked";

// CoreGraphics' view of the login session the process runs in.
class SessionInfo {
public:
    virtual ~SessionInfo() = default;

    // CGSessionCopyCurrentDictionary: the current session's dictionary; empty
    // when the process has no window server session or it cannot be read.
    [[nodiscard]] virtual std::optional<PreferenceDictionary> copyCurrentDictionary() const = 0;
};

}  // namespace lidora
