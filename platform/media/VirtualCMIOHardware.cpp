#include "platform/media/VirtualCMIOHardware.h"

namespace lidora::vmac {

namespace {

bool isGlobal(const CMIOObjectPropertyAddress& address) {
    return (address.scope == kCMIOObjectPropertyScopeGlobal || address.scope == kCMIOObjectPropertyScopeWildcard) &&
           (address.element == kCMIOObjectPropertyElementMain || address.element == kCMIOObjectPropertyElementWildcard);
}

CMIOObjectPropertyAddress globalAddress(FourCharCode selector) {
    return {selector, kCMIOObjectPropertyScopeGlobal, kCMIOObjectPropertyElementMain};
}

std::vector<CMIOObjectID> cameraIDs(const MediaRecords& records) {
    std::vector<CMIOObjectID> ids;
    for (const auto& camera : records.cameras) {
        ids.push_back(camera.id);
    }
    return ids;
}

}  // namespace

VirtualCMIOHardware::VirtualCMIOHardware(RunLoop& loop, const VmacPaths& paths)
    : record_(mediaRecord(paths)),
      follower_(loop, paths, [this](const MediaRecords& before, const MediaRecords& after) {
          listeners_.tell(cameraChanges(before, after));
      }) {}

Expected<PropertyWords, OSStatus> VirtualCMIOHardware::property(CMIOObjectID object,
                                                                const CMIOObjectPropertyAddress& address) const {
    const auto records = record_.read();
    if (!records) {
        return unexpected(kCMIOHardwareUnspecifiedError);
    }
    if (object == kCMIOObjectSystemObject) {
        if (address.selector != kCMIOHardwarePropertyDevices || !isGlobal(address)) {
            return unexpected(kCMIOHardwareUnknownPropertyError);
        }
        return PropertyWords{cameraIDs(*records), true};
    }
    const auto* camera = findCamera(*records, object);
    if (camera == nullptr) {
        return unexpected(kCMIOHardwareBadObjectError);
    }
    if (address.selector != kCMIODevicePropertyDeviceIsRunningSomewhere || !isGlobal(address)) {
        return unexpected(kCMIOHardwareUnknownPropertyError);
    }
    return PropertyWords{{camera->runningSomewhere ? 1U : 0U}, false};
}

Expected<std::uint32_t, OSStatus> VirtualCMIOHardware::getPropertyDataSize(
    CMIOObjectID object, const CMIOObjectPropertyAddress& address) const {
    const auto value = property(object, address);
    if (!value) {
        return unexpected(value.error());
    }
    return static_cast<std::uint32_t>(value->words.size() * sizeof(std::uint32_t));
}

Expected<std::uint32_t, OSStatus> VirtualCMIOHardware::getPropertyData(CMIOObjectID object,
                                                                       const CMIOObjectPropertyAddress& address,
                                                                       std::span<unsigned char> data) const {
    const auto value = property(object, address);
    if (!value) {
        return unexpected(value.error());
    }
    return copyPropertyWords(*value, data, kCMIOHardwareBadPropertySizeError);
}

Expected<Cancellable, OSStatus> VirtualCMIOHardware::addPropertyListenerBlock(CMIOObjectID object,
                                                                              const CMIOObjectPropertyAddress& address,
                                                                              PropertyListener listener) {
    if (!listener) {
        return unexpected(kCMIOHardwareIllegalOperationError);
    }
    if (object != kCMIOObjectSystemObject) {
        const auto records = record_.read();
        if (!records) {
            return unexpected(kCMIOHardwareUnspecifiedError);
        }
        if (findCamera(*records, object) == nullptr) {
            return unexpected(kCMIOHardwareBadObjectError);
        }
    }
    if (!follower_.begin()) {
        return unexpected(kCMIOHardwareUnspecifiedError);
    }
    return listeners_.add(object, address, std::move(listener));
}

std::vector<PropertyChange<CMIOObjectPropertyAddress>> cameraChanges(const MediaRecords& before,
                                                                     const MediaRecords& after) {
    std::vector<PropertyChange<CMIOObjectPropertyAddress>> changes;
    if (cameraIDs(before) != cameraIDs(after)) {
        changes.push_back({kCMIOObjectSystemObject, globalAddress(kCMIOHardwarePropertyDevices)});
    }
    for (const auto& camera : after.cameras) {
        const auto* earlier = findCamera(before, camera.id);
        if (earlier != nullptr && earlier->runningSomewhere != camera.runningSomewhere) {
            changes.push_back({camera.id, globalAddress(kCMIODevicePropertyDeviceIsRunningSomewhere)});
        }
    }
    return changes;
}

}  // namespace lidora::vmac
