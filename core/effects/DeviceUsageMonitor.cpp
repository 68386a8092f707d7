#include "core/effects/DeviceUsageMonitor.h"

#include <algorithm>
#include <span>

namespace lidora {

namespace {

constexpr CMIOObjectPropertyAddress kDeviceList{kCMIOHardwarePropertyDevices, kCMIOObjectPropertyScopeGlobal,
                                                kCMIOObjectPropertyElementMain};
constexpr CMIOObjectPropertyAddress kRunningSomewhere{
    kCMIODevicePropertyDeviceIsRunningSomewhere, kCMIOObjectPropertyScopeWildcard, kCMIOObjectPropertyElementWildcard};
constexpr AudioObjectPropertyAddress kProcessList{kAudioHardwarePropertyProcessObjectList,
                                                  kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMain};
constexpr AudioObjectPropertyAddress kRunningInput{kAudioProcessPropertyIsRunningInput, kAudioObjectPropertyScopeGlobal,
                                                   kAudioObjectPropertyElementMain};
constexpr AudioObjectPropertyAddress kProcessID{kAudioProcessPropertyPID, kAudioObjectPropertyScopeGlobal,
                                                kAudioObjectPropertyElementMain};
constexpr AudioObjectPropertyAddress kBundleID{kAudioProcessPropertyBundleID, kAudioObjectPropertyScopeGlobal,
                                               kAudioObjectPropertyElementMain};

template <typename T>
std::span<unsigned char> bytesOf(T* values, std::size_t count) {
    return {reinterpret_cast<unsigned char*>(values), count * sizeof(T)};
}

// The system object's list of object ids; empty when either read fails.
template <typename Hardware, typename Address>
std::vector<std::uint32_t> readIDList(const Hardware& hardware, const Address& address) {
    constexpr std::uint32_t kSystemObject = 1;
    const auto size = hardware.getPropertyDataSize(kSystemObject, address);
    if (!size || *size == 0) {
        return {};
    }
    std::vector<std::uint32_t> ids(*size / sizeof(std::uint32_t));
    const auto used = hardware.getPropertyData(kSystemObject, address, bytesOf(ids.data(), ids.size()));
    if (!used) {
        return {};
    }
    ids.resize(std::min<std::size_t>(ids.size(), *used / sizeof(std::uint32_t)));
    return ids;
}

// A fixed-size value, zero unless the read fills it in; empty when it fails.
template <typename T, typename Hardware, typename Address>
std::optional<T> readValue(const Hardware& hardware, std::uint32_t object, const Address& address) {
    T value{};
    if (!hardware.getPropertyData(object, address, bytesOf(&value, 1))) {
        return std::nullopt;
    }
    return value;
}

// Listens to each object of `ids` not yet listened to and stops listening to
// those that left the list, so an object that comes back is listened to once.
template <typename Hardware, typename Address>
void refreshListeners(Hardware& hardware, const std::vector<std::uint32_t>& ids, const Address& address,
                      std::map<std::uint32_t, Cancellable>& listeners, const std::function<void()>& changed) {
    for (const auto id : ids) {
        if (listeners.count(id) != 0) {
            continue;
        }
        auto added = hardware.addPropertyListenerBlock(id, address, [changed](auto) { changed(); });
        if (added) {
            listeners.emplace(id, std::move(added).value());
        }
    }
    std::erase_if(listeners,
                  [&](const auto& entry) { return std::find(ids.begin(), ids.end(), entry.first) == ids.end(); });
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) {
            out.append(separator);
        }
        out.append(part);
    }
    return out;
}

}  // namespace

DeviceUsageMonitor::DeviceUsageMonitor(CMIOHardware& video, AudioHardware& audio, std::int32_t ownProcessID, Logger log,
                                       std::function<void()> onChange)
    : video_(video), audio_(audio), ownProcessID_(ownProcessID), log_(std::move(log)), onChange_(std::move(onChange)) {}

void DeviceUsageMonitor::start() {
    if (started_) {
        return;
    }
    started_ = true;
    if (auto added = video_.addPropertyListenerBlock(kCMIOObjectSystemObject, kDeviceList, [this](auto) {
            refreshCameraListeners();
            evaluate();
        })) {
        deviceListListener_ = std::move(added).value();
    }
    if (auto added = audio_.addPropertyListenerBlock(kAudioObjectSystemObject, kProcessList, [this](auto) {
            refreshProcessListeners();
            evaluate();
        })) {
        processListListener_ = std::move(added).value();
    }
    refreshCameraListeners();
    refreshProcessListeners();
    evaluate();
}

void DeviceUsageMonitor::refreshCameraListeners() {
    auto ids = readIDList(video_, kDeviceList);
    refreshListeners(video_, ids, kRunningSomewhere, cameraListeners_, [this] { evaluate(); });
    cameraIDs_ = std::move(ids);
}

void DeviceUsageMonitor::refreshProcessListeners() {
    auto ids = readIDList(audio_, kProcessList);
    refreshListeners(audio_, ids, kRunningInput, processListeners_, [this] { evaluate(); });
    processIDs_ = std::move(ids);
}

bool DeviceUsageMonitor::isRunningSomewhere(CMIOObjectID camera) const {
    const auto running = readValue<std::uint32_t>(video_, camera, kRunningSomewhere);
    return running && *running != 0;
}

std::optional<std::string> DeviceUsageMonitor::microphoneUser(AudioObjectID process) const {
    const auto running = readValue<std::uint32_t>(audio_, process, kRunningInput);
    if (!running || *running == 0) {
        return std::nullopt;
    }
    const auto pid = readValue<std::int32_t>(audio_, process, kProcessID);
    if (pid && *pid == ownProcessID_) {
        return std::nullopt;
    }
    if (auto bundleID = audio_.getStringPropertyData(process, kBundleID); bundleID && bundleID->has_value()) {
        return **bundleID;
    }
    return "pid " + std::to_string(pid.value_or(0));
}

void DeviceUsageMonitor::evaluate() {
    const bool camera =
        std::any_of(cameraIDs_.begin(), cameraIDs_.end(), [this](auto id) { return isRunningSomewhere(id); });
    std::vector<std::string> apps;
    for (const auto process : processIDs_) {
        if (auto name = microphoneUser(process)) {
            apps.push_back(std::move(*name));
        }
    }
    const bool microphone = !apps.empty();
    if (camera == cameraInUse_ && microphone == microphoneInUse_ && apps == microphoneApps_) {
        return;
    }
    cameraInUse_ = camera;
    microphoneInUse_ = microphone;
    microphoneApps_ = std::move(apps);
    log_.notice("Camera in use: %{bool,public}d; microphone in use: %{bool,public}d %{public}s", camera, microphone,
                joined(microphoneApps_, ", "));
    onChange_();
}

}  // namespace lidora
