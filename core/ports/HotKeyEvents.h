#pragma once

#include <cstdint>
#include <functional>

#include "core/ports/MacTypes.h"
#include "core/runtime/Expected.h"

namespace lidora {

// Carbon's EventHotKeyID: a four-character signature and a number.
struct EventHotKeyID {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;
    friend bool operator==(const EventHotKeyID&, const EventHotKeyID&) = default;
};

// EventHotKeyRef, opaque.
using EventHotKeyRef = std::uint64_t;

inline constexpr std::int32_t kNoErr = 0;
// eventHotKeyExistsErr: another application holds the combination.
inline constexpr std::int32_t kEventHotKeyExistsErr = -9878;
inline constexpr std::int32_t kEventInternalErr = -9868;

// Carbon modifier masks.
inline constexpr std::uint32_t kCmdKey = 256;
inline constexpr std::uint32_t kShiftKey = 512;
inline constexpr std::uint32_t kOptionKey = 2048;
inline constexpr std::uint32_t kControlKey = 4096;

// The Carbon event manager's hot keys on the application event target.
class HotKeyEventManager {
public:
    virtual ~HotKeyEventManager() = default;

    // InstallEventHandler for kEventClassKeyboard / kEventHotKeyPressed. The
    // handler runs on the run loop with the pressed key's id and returns an
    // OSStatus. Returns the OSStatus of the installation.
    virtual std::int32_t installHotKeyPressedHandler(std::function<std::int32_t(EventHotKeyID)> handler) = 0;
    // RegisterEventHotKey with no options.
    virtual Expected<EventHotKeyRef, std::int32_t> registerEventHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                                                                       EventHotKeyID id) = 0;
};

}  // namespace lidora
