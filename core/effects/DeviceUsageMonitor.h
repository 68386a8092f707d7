#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/effects/DeviceUsage.h"
#include "core/ports/AudioHardware.h"
#include "core/ports/CMIOHardware.h"
#include "core/runtime/Logger.h"

namespace lidora {

// Whether any application uses a camera or a microphone, from the system's
// own usage flags, without opening a device: CoreMediaIO tells whether each
// video device is running somewhere, CoreAudio which client processes have
// input running. Listens to both and calls `onChange` only when the answer
// changes. Use on the run loop.
class DeviceUsageMonitor final : public DeviceUsage {
public:
    // `log` should have category "onair". Audio input of `ownProcessID`
    // (this program) never counts.
    DeviceUsageMonitor(CMIOHardware& video, AudioHardware& audio, std::int32_t ownProcessID, Logger log,
                       std::function<void()> onChange);
    DeviceUsageMonitor(const DeviceUsageMonitor&) = delete;
    DeviceUsageMonitor& operator=(const DeviceUsageMonitor&) = delete;

    // Begins monitoring; only the first call has an effect.
    void start() override;

    [[nodiscard]] bool cameraInUse() const override { return cameraInUse_; }
    [[nodiscard]] bool microphoneInUse() const override { return microphoneInUse_; }
    // Who uses audio input, in the order of the system's process list:
    // bundle identifiers, or "pid N" for a process without one.
    [[nodiscard]] const std::vector<std::string>& microphoneApps() const { return microphoneApps_; }

private:
    void refreshCameraListeners();
    void refreshProcessListeners();
    void evaluate();
    [[nodiscard]] bool isRunningSomewhere(CMIOObjectID camera) const;
    [[nodiscard]] std::optional<std::string> microphoneUser(AudioObjectID process) const;

    CMIOHardware& video_;
    AudioHardware& audio_;
    const std::int32_t ownProcessID_;
    const Logger log_;
    const std::function<void()> onChange_;

    bool cameraInUse_ = false;
    bool microphoneInUse_ = false;
    std::vector<std::string> microphoneApps_;
    std::vector<CMIOObjectID> cameraIDs_;
    std::vector<AudioObjectID> processIDs_;
    bool started_ = false;

    // Dropping a handle removes its listener, so the monitor's end ends them all.
    Cancellable deviceListListener_;
    Cancellable processListListener_;
    std::map<CMIOObjectID, Cancellable> cameraListeners_;
    std::map<AudioObjectID, Cancellable> processListeners_;
};

}  // namespace lidora
