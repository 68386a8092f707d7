#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/ports/MacTypes.h"
#include "core/runtime/Cancellable.h"
#include "core/runtime/Expected.h"

namespace lidora {

// CoreAudio's hardware layer: objects (the system, the processes that are
// its clients) whose properties are read by address and listened to.
using AudioObjectID = std::uint32_t;

struct AudioObjectPropertyAddress {
    FourCharCode selector = 0;
    FourCharCode scope = 0;
    std::uint32_t element = 0;
    friend bool operator==(const AudioObjectPropertyAddress&, const AudioObjectPropertyAddress&) = default;
};

inline constexpr AudioObjectID kAudioObjectSystemObject = 1;

inline constexpr FourCharCode kAudioHardwarePropertyProcessObjectList = fourCharCode("prs#");
inline constexpr FourCharCode kAudioProcessPropertyIsRunningInput = fourCharCode("piri");
inline constexpr FourCharCode kAudioProcessPropertyPID = fourCharCode("ppid");
inline constexpr FourCharCode kAudioProcessPropertyBundleID = fourCharCode("pbid");
inline constexpr FourCharCode kAudioObjectPropertySelectorWildcard = fourCharCode("****");
inline constexpr FourCharCode kAudioObjectPropertyScopeGlobal = fourCharCode("glob");
inline constexpr FourCharCode kAudioObjectPropertyScopeWildcard = fourCharCode("****");
inline constexpr std::uint32_t kAudioObjectPropertyElementMain = 0;
inline constexpr std::uint32_t kAudioObjectPropertyElementWildcard = 0xFFFFFFFF;

inline constexpr OSStatus kAudioHardwareNoError = 0;
inline constexpr OSStatus kAudioHardwareUnspecifiedError = static_cast<OSStatus>(fourCharCode("what"));
inline constexpr OSStatus kAudioHardwareUnknownPropertyError = static_cast<OSStatus>(fourCharCode("who?"));
inline constexpr OSStatus kAudioHardwareBadPropertySizeError = static_cast<OSStatus>(fourCharCode("!siz"));
inline constexpr OSStatus kAudioHardwareBadObjectError = static_cast<OSStatus>(fourCharCode("!obj"));
inline constexpr OSStatus kAudioHardwareIllegalOperationError = static_cast<OSStatus>(fourCharCode("nope"));
inline constexpr OSStatus kAudioHardwareUnsupportedOperationError = static_cast<OSStatus>(fourCharCode("unop"));

class AudioHardware {
public:
    // The changed addresses of one notification.
    using PropertyListener = std::function<void(std::span<const AudioObjectPropertyAddress>)>;

    virtual ~AudioHardware() = default;

    // AudioObjectGetPropertyDataSize without qualifier: the size in bytes, or the error.
    [[nodiscard]] virtual Expected<std::uint32_t, OSStatus> getPropertyDataSize(
        AudioObjectID object, const AudioObjectPropertyAddress& address) const = 0;
    // AudioObjectGetPropertyData without qualifier into `data`: the bytes used, or the error.
    [[nodiscard]] virtual Expected<std::uint32_t, OSStatus> getPropertyData(AudioObjectID object,
                                                                            const AudioObjectPropertyAddress& address,
                                                                            std::span<unsigned char> data) const = 0;
    // AudioObjectGetPropertyData of a CFString property ('pbid') as UTF-8: empty when it gives NULL.
    [[nodiscard]] virtual Expected<std::optional<std::string>, OSStatus> getStringPropertyData(
        AudioObjectID object, const AudioObjectPropertyAddress& address) const = 0;
    // AudioObjectAddPropertyListenerBlock on the main queue: `listener` runs on the run loop after each change
    // until the handle is dropped (AudioObjectRemovePropertyListenerBlock).
    [[nodiscard]] virtual Expected<Cancellable, OSStatus> addPropertyListenerBlock(
        AudioObjectID object, const AudioObjectPropertyAddress& address, PropertyListener listener) = 0;
};

}  // namespace lidora
