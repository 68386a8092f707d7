#pragma once

#include "core/ports/CMIOHardware.h"
#include "platform/media/MediaRecordFollower.h"
#include "platform/media/PropertyListeners.h"

namespace lidora::vmac {

// CoreMediaIO's hardware layer over the virtual Mac's media record: the
// system object lists the cameras ('dev#'), each camera tells whether it is
// running somewhere ('gone'). Reads are answered afresh from the record;
// listeners hear of changes any process makes to it.
class VirtualCMIOHardware final : public CMIOHardware {
public:
    VirtualCMIOHardware(RunLoop& loop, const VmacPaths& paths);

    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyDataSize(
        CMIOObjectID object, const CMIOObjectPropertyAddress& address) const override;
    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyData(CMIOObjectID object,
                                                                    const CMIOObjectPropertyAddress& address,
                                                                    std::span<unsigned char> data) const override;
    [[nodiscard]] Expected<Cancellable, OSStatus> addPropertyListenerBlock(CMIOObjectID object,
                                                                           const CMIOObjectPropertyAddress& address,
                                                                           PropertyListener listener) override;

private:
    [[nodiscard]] Expected<PropertyWords, OSStatus> property(CMIOObjectID object,
                                                             const CMIOObjectPropertyAddress& address) const;

    RecordFile<MediaRecords> record_;
    PropertyListeners<CMIOObjectPropertyAddress> listeners_;
    MediaRecordFollower follower_;
};

// What listeners on CoreMediaIO hear when the record goes from `before` to
// `after`: the device list when cameras came or went, the running flag of
// each camera that kept its place.
std::vector<PropertyChange<CMIOObjectPropertyAddress>> cameraChanges(const MediaRecords& before,
                                                                     const MediaRecords& after);

}  // namespace lidora::vmac
