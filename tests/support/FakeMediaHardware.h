#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/AudioHardware.h"
#include "core/ports/CMIOHardware.h"
#include "core/runtime/Registry.h"

namespace lidora::testing {

// Listener blocks that a test fires by hand, as the system does after a change.
template <typename Address>
class FakeListenerBlocks {
public:
    using Listener = std::function<void(std::span<const Address>)>;

    [[nodiscard]] Cancellable add(std::uint32_t object, const Address& address, Listener listener) {
        return registry_.add(Entry{object, address, std::move(listener)});
    }
    // Tells the listeners on `object` for `selector`.
    void fire(std::uint32_t object, FourCharCode selector) const {
        for (const auto& [id, entry] : registry_.snapshot()) {
            if (registry_.contains(id) && entry->object == object && entry->address.selector == selector) {
                const Address changed{selector, entry->address.scope, entry->address.element};
                entry->listener(std::span(&changed, 1));
            }
        }
    }
    [[nodiscard]] std::size_t count(std::uint32_t object) const {
        const auto all = registry_.snapshot();
        return std::count_if(all.begin(), all.end(), [&](const auto& entry) { return entry.second->object == object; });
    }

private:
    struct Entry {
        std::uint32_t object;
        Address address;
        Listener listener;
    };
    Registry<Entry> registry_;
};

inline Expected<std::uint32_t, OSStatus> copyWords(std::span<unsigned char> data,
                                                   const std::vector<std::uint32_t>& words) {
    const auto bytes = std::min(data.size(), words.size() * sizeof(std::uint32_t));
    if (bytes != 0) {
        std::memcpy(data.data(), words.data(), bytes);
    }
    return static_cast<std::uint32_t>(bytes);
}

class FakeCMIOHardware final : public CMIOHardware {
public:
    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyDataSize(
        CMIOObjectID object, const CMIOObjectPropertyAddress& address) const override {
        const auto words = read(object, address);
        return words ? Expected<std::uint32_t, OSStatus>(static_cast<std::uint32_t>(words->size() * 4))
                     : unexpected(words.error());
    }
    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyData(CMIOObjectID object,
                                                                    const CMIOObjectPropertyAddress& address,
                                                                    std::span<unsigned char> data) const override {
        const auto words = read(object, address);
        return words ? copyWords(data, *words) : unexpected(words.error());
    }
    [[nodiscard]] Expected<Cancellable, OSStatus> addPropertyListenerBlock(CMIOObjectID object,
                                                                           const CMIOObjectPropertyAddress& address,
                                                                           PropertyListener listener) override {
        return listeners.add(object, address, std::move(listener));
    }

    std::vector<CMIOObjectID> devices;
    // Each device's running flag; a device missing here fails the read.
    std::map<CMIOObjectID, std::uint32_t> running;
    bool deviceListFails = false;
    FakeListenerBlocks<CMIOObjectPropertyAddress> listeners;

private:
    [[nodiscard]] Expected<std::vector<std::uint32_t>, OSStatus> read(CMIOObjectID object,
                                                                      const CMIOObjectPropertyAddress& address) const {
        if (object == kCMIOObjectSystemObject && address.selector == kCMIOHardwarePropertyDevices) {
            return deviceListFails ? unexpected(kCMIOHardwareUnspecifiedError)
                                   : Expected<std::vector<std::uint32_t>, OSStatus>(devices);
        }
        const auto found = running.find(object);
        if (found == running.end() || address.selector != kCMIODevicePropertyDeviceIsRunningSomewhere) {
            return unexpected(kCMIOHardwareBadObjectError);
        }
        return std::vector<std::uint32_t>{found->second};
    }
};

// One audio client process; an empty field fails its read.
struct FakeAudioProcess {
    std::optional<std::uint32_t> runningInput;
    std::optional<std::int32_t> pid;
    std::optional<std::optional<std::string>> bundleID;  // inner empty: the property gives NULL
};

class FakeAudioHardware final : public AudioHardware {
public:
    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyDataSize(
        AudioObjectID object, const AudioObjectPropertyAddress& address) const override {
        const auto words = read(object, address);
        return words ? Expected<std::uint32_t, OSStatus>(static_cast<std::uint32_t>(words->size() * 4))
                     : unexpected(words.error());
    }
    [[nodiscard]] Expected<std::uint32_t, OSStatus> getPropertyData(AudioObjectID object,
                                                                    const AudioObjectPropertyAddress& address,
                                                                    std::span<unsigned char> data) const override {
        const auto words = read(object, address);
        return words ? copyWords(data, *words) : unexpected(words.error());
    }
    [[nodiscard]] Expected<std::optional<std::string>, OSStatus> getStringPropertyData(
        AudioObjectID object, const AudioObjectPropertyAddress& address) const override {
        const auto found = processes.find(object);
        if (found == processes.end() || address.selector != kAudioProcessPropertyBundleID || !found->second.bundleID) {
            return unexpected(kAudioHardwareUnspecifiedError);
        }
        return *found->second.bundleID;
    }
    [[nodiscard]] Expected<Cancellable, OSStatus> addPropertyListenerBlock(AudioObjectID object,
                                                                           const AudioObjectPropertyAddress& address,
                                                                           PropertyListener listener) override {
        return listeners.add(object, address, std::move(listener));
    }

    std::vector<AudioObjectID> processList;
    std::map<AudioObjectID, FakeAudioProcess> processes;
    bool processListFails = false;
    FakeListenerBlocks<AudioObjectPropertyAddress> listeners;

private:
    [[nodiscard]] Expected<std::vector<std::uint32_t>, OSStatus> read(AudioObjectID object,
                                                                      const AudioObjectPropertyAddress& address) const {
        if (object == kAudioObjectSystemObject && address.selector == kAudioHardwarePropertyProcessObjectList) {
            return processListFails ? unexpected(kAudioHardwareUnspecifiedError)
                                    : Expected<std::vector<std::uint32_t>, OSStatus>(processList);
        }
        const auto found = processes.find(object);
        if (found == processes.end()) {
            return unexpected(kAudioHardwareBadObjectError);
        }
        std::optional<std::uint32_t> value;
        if (address.selector == kAudioProcessPropertyIsRunningInput) {
            value = found->second.runningInput;
        } else if (address.selector == kAudioProcessPropertyPID && found->second.pid) {
            value = static_cast<std::uint32_t>(*found->second.pid);
        }
        if (!value) {
            return unexpected(kAudioHardwareUnspecifiedError);
        }
        return std::vector<std::uint32_t>{*value};
    }
};

}  // namespace lidora::testing
