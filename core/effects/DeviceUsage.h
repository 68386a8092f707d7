#pragma once

namespace lidora {

// Whether a camera or a microphone is in use, as the effects watcher reads it
// after each change it is told of.
class DeviceUsage {
public:
    virtual ~DeviceUsage() = default;
    // Begins following the system; only the first call has an effect.
    virtual void start() = 0;
    [[nodiscard]] virtual bool cameraInUse() const = 0;
    [[nodiscard]] virtual bool microphoneInUse() const = 0;
};

}  // namespace lidora
