#pragma once

#include "core/ports/AudioHardware.h"
#include "platform/media/MediaRecordFollower.h"
#include "platform/media/PropertyListeners.h"

namespace lidora::vmac {

// CoreAudio's hardware layer over the virtual Mac's media record: the system
// object lists the client processes ('prs#'), each process object tells
// whether its input runs ('piri'), its pid ('ppid') and bundle identifier
// ('pbid'). Reads are answered afresh from the record; listeners hear of
// changes any process makes to it.
class VirtualAudioHardware final : public AudioHardware {
public:
    VirtualAudioHardware(RunLoop& loop, const VmacPaths& paths);

    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyDataSize(
        AudioObjectID object, const AudioObjectPropertyAddress& address) const override;
    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyData(AudioObjectID object,
                                                                    const AudioObjectPropertyAddress& address,
                                                                    std::span<unsigned char> data) const override;
    [[nodiscard]] Expected<std::optional<std::string>, OSStatus> getStringPropertyData(
        AudioObjectID object, const AudioObjectPropertyAddress& address) const override;
    [[nodiscard]] Expected<Cancellable, OSStatus> addPropertyListenerBlock(AudioObjectID object,
                                                                           const AudioObjectPropertyAddress& address,
                                                                           PropertyListener listener) override;

private:
    // The process object `object`, or the error for a read of it.
    [[nodiscard]] Expected<VirtualAudioProcess, OSStatus> process(AudioObjectID object) const;
    [[nodiscard]] Expected<PropertyWords, OSStatus> property(AudioObjectID object,
                                                             const AudioObjectPropertyAddress& address) const;

    RecordFile<MediaRecords> record_;
    PropertyListeners<AudioObjectPropertyAddress> listeners_;
    MediaRecordFollower follower_;
};

// What listeners on CoreAudio hear when the record goes from `before` to
// `after`: the process list when processes came or went, the input flag of
// each process that kept its place.
std::vector<PropertyChange<AudioObjectPropertyAddress>> audioChanges(const MediaRecords& before,
                                                                     const MediaRecords& after);

}  // namespace lidora::vmac
