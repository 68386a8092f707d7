#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "core/ports/MacTypes.h"
#include "core/runtime/Cancellable.h"
#include "core/runtime/Expected.h"

namespace lidora {

// CoreMediaIO's hardware layer: objects (the system, its video devices)
// whose properties are read by address and listened to.
using CMIOObjectID = std::uint32_t;

struct CMIOObjectPropertyAddress {
    FourCharCode selector = 0;
    FourCharCode scope = 0;
    std::uint32_t element = 0;
    friend bool operator==(const CMIOObjectPropertyAddress&, const CMIOObjectPropertyAddress&) = default;
};

inline constexpr CMIOObjectID kCMIOObjectSystemObject = 1;

inline constexpr FourCharCode kCMIOHardwarePropertyDevices = fourCharCode("dev#");
inline constexpr FourCharCode kCMIODevicePropertyDeviceIsRunningSomewhere = fourCharCode("gone");
inline constexpr FourCharCode kCMIOObjectPropertySelectorWildcard = fourCharCode("****");
inline constexpr FourCharCode kCMIOObjectPropertyScopeGlobal = fourCharCode("glob");
inline constexpr FourCharCode kCMIOObjectPropertyScopeWildcard = fourCharCode("****");
inline constexpr std::uint32_t kCMIOObjectPropertyElementMain = 0;
inline constexpr std::uint32_t kCMIOObjectPropertyElementWildcard = 0xFFFFFFFF;

inline constexpr OSStatus kCMIOHardwareNoError = 0;
inline constexpr OSStatus kCMIOHardwareUnspecifiedError = static_cast<OSStatus>(fourCharCode("what"));
inline constexpr OSStatus kCMIOHardwareUnknownPropertyError = static_cast<OSStatus>(fourCharCode("who?"));
inline constexpr OSStatus kCMIOHardwareBadPropertySizeError = static_cast<OSStatus>(fourCharCode("!siz"));
inline constexpr OSStatus kCMIOHardwareBadObjectError = static_cast<OSStatus>(fourCharCode("!obj"));
inline constexpr OSStatus kCMIOHardwareIllegalOperationError = static_cast<OSStatus>(fourCharCode("nope"));

class CMIOHardware {
public:
    // The changed addresses of one notification.
    using PropertyListener = std::function<void(std::span<const CMIOObjectPropertyAddress>)>;

    virtual ~CMIOHardware() = default;

    // CMIOObjectGetPropertyDataSize without qualifier: the size in bytes, or the error.
    [[nodiscard]] virtual Expected<std::uint32_t, OSStatus> getPropertyDataSize(
        CMIOObjectID object, const CMIOObjectPropertyAddress& address) const = 0;
    // CMIOObjectGetPropertyData without qualifier into `data`: the bytes used, or the error.
    [[nodiscard]] virtual Expected<std::uint32_t, OSStatus> getPropertyData(CMIOObjectID object,
                                                                            const CMIOObjectPropertyAddress& address,
                                                                            std::span<unsigned char> data) const = 0;
    // CMIOObjectAddPropertyListenerBlock on the main queue: `listener` runs on the run loop after each change
    // until the handle is dropped (CMIOObjectRemovePropertyListenerBlock).
    [[nodiscard]] virtual Expected<Cancellable, OSStatus> addPropertyListenerBlock(
        CMIOObjectID object, const CMIOObjectPropertyAddress& address, PropertyListener listener) = 0;
};

}  // namespace lidora
