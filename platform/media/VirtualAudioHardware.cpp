#include "platform/media/VirtualAudioHardware.h"

namespace lidora::vmac {

namespace {

bool isGlobal(const AudioObjectPropertyAddress& address) {
    return (address.scope == kAudioObjectPropertyScopeGlobal || address.scope == kAudioObjectPropertyScopeWildcard) &&
           (address.element == kAudioObjectPropertyElementMain ||
            address.element == kAudioObjectPropertyElementWildcard);
}

AudioObjectPropertyAddress globalAddress(FourCharCode selector) {
    return {selector, kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
}

std::vector<AudioObjectID> processIDs(const MediaRecords& records) {
    std::vector<AudioObjectID> ids;
    for (const auto& process : records.audioProcesses) {
        ids.push_back(process.id);
    }
    return ids;
}

// A CFStringRef, as the size query gives it.
constexpr std::uint32_t kStringReferenceSize = sizeof(void*);

}  // namespace

VirtualAudioHardware::VirtualAudioHardware(RunLoop& loop, const VmacPaths& paths)
    : record_(mediaRecord(paths)),
      follower_(loop, paths, [this](const MediaRecords& before, const MediaRecords& after) {
          listeners_.tell(audioChanges(before, after));
      }) {}

Expected<VirtualAudioProcess, OSStatus> VirtualAudioHardware::process(AudioObjectID object) const {
    const auto records = record_.read();
    if (!records) {
        return unexpected(kAudioHardwareUnspecifiedError);
    }
    const auto* found = findAudioProcess(*records, object);
    if (found == nullptr) {
        return unexpected(kAudioHardwareBadObjectError);
    }
    return *found;
}

Expected<PropertyWords, OSStatus> VirtualAudioHardware::property(AudioObjectID object,
                                                                 const AudioObjectPropertyAddress& address) const {
    if (!isGlobal(address)) {
        return unexpected(kAudioHardwareUnknownPropertyError);
    }
    if (object == kAudioObjectSystemObject) {
        if (address.selector != kAudioHardwarePropertyProcessObjectList) {
            return unexpected(kAudioHardwareUnknownPropertyError);
        }
        const auto records = record_.read();
        if (!records) {
            return unexpected(kAudioHardwareUnspecifiedError);
        }
        return PropertyWords{processIDs(*records), true};
    }
    const auto found = process(object);
    if (!found) {
        return unexpected(found.error());
    }
    if (address.selector == kAudioProcessPropertyIsRunningInput) {
        return PropertyWords{{found->runningInput ? 1U : 0U}, false};
    }
    if (address.selector == kAudioProcessPropertyPID) {
        return PropertyWords{{static_cast<std::uint32_t>(found->pid)}, false};
    }
    if (address.selector == kAudioProcessPropertyBundleID) {
        return unexpected(kAudioHardwareUnsupportedOperationError);
    }
    return unexpected(kAudioHardwareUnknownPropertyError);
}

Expected<std::uint32_t, OSStatus> VirtualAudioHardware::getPropertyDataSize(
    AudioObjectID object, const AudioObjectPropertyAddress& address) const {
    if (address.selector == kAudioProcessPropertyBundleID && object != kAudioObjectSystemObject && isGlobal(address)) {
        const auto found = process(object);
        if (!found) {
            return unexpected(found.error());
        }
        return kStringReferenceSize;
    }
    const auto value = property(object, address);
    if (!value) {
        return unexpected(value.error());
    }
    return static_cast<std::uint32_t>(value->words.size() * sizeof(std::uint32_t));
}

Expected<std::uint32_t, OSStatus> VirtualAudioHardware::getPropertyData(AudioObjectID object,
                                                                        const AudioObjectPropertyAddress& address,
                                                                        std::span<unsigned char> data) const {
    const auto value = property(object, address);
    if (!value) {
        return unexpected(value.error());
    }
    return copyPropertyWords(*value, data, kAudioHardwareBadPropertySizeError);
}

Expected<std::optional<std::string>, OSStatus> VirtualAudioHardware::getStringPropertyData(
    AudioObjectID object, const AudioObjectPropertyAddress& address) const {
    if (address.selector != kAudioProcessPropertyBundleID || !isGlobal(address)) {
        // Numbers and lists do not fit a string reference.
        const auto value = property(object, address);
        return unexpected(value ? kAudioHardwareBadPropertySizeError : value.error());
    }
    const auto found = process(object);
    if (!found) {
        return unexpected(found.error());
    }
    return std::optional<std::string>(found->bundleID);
}

Expected<Cancellable, OSStatus> VirtualAudioHardware::addPropertyListenerBlock(
    AudioObjectID object, const AudioObjectPropertyAddress& address, PropertyListener listener) {
    if (!listener) {
        return unexpected(kAudioHardwareIllegalOperationError);
    }
    if (object != kAudioObjectSystemObject) {
        if (const auto found = process(object); !found) {
            return unexpected(found.error());
        }
    }
    if (!follower_.begin()) {
        return unexpected(kAudioHardwareUnspecifiedError);
    }
    return listeners_.add(object, address, std::move(listener));
}

std::vector<PropertyChange<AudioObjectPropertyAddress>> audioChanges(const MediaRecords& before,
                                                                     const MediaRecords& after) {
    std::vector<PropertyChange<AudioObjectPropertyAddress>> changes;
    if (processIDs(before) != processIDs(after)) {
        changes.push_back({kAudioObjectSystemObject, globalAddress(kAudioHardwarePropertyProcessObjectList)});
    }
    for (const auto& process : after.audioProcesses) {
        const auto* earlier = findAudioProcess(before, process.id);
        if (earlier != nullptr && earlier->runningInput != process.runningInput) {
            changes.push_back({process.id, globalAddress(kAudioProcessPropertyIsRunningInput)});
        }
    }
    return changes;
}

}  // namespace lidora::vmac
