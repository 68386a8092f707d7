#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/effects/LogoEffectsWatcher.h"
#include "core/runtime/Task.h"

namespace lidora::testing {

struct FakeDistributed final : DistributedNotificationCenter {
    void post(std::string_view name) override { handlers.at(std::string(name))(); }
    Cancellable observe(std::string_view name, std::function<void()> handler) override {
        handlers[std::string(name)] = std::move(handler);
        return {};
    }
    std::map<std::string, std::function<void()>> handlers;
};

struct FakeSession final : SessionInfo {
    std::optional<PreferenceDictionary> copyCurrentDictionary() const override { return dictionary; }
    void setLocked(bool locked) {
        dictionary = PreferenceDictionary{};
        if (locked) {
            dictionary->emplace(std::string(kSessionScreenIsLockedKey), PreferenceValue(true));
        }
    }
    std::optional<PreferenceDictionary> dictionary = PreferenceDictionary{};
};

struct FakePower final : PowerSources {
    struct Snapshot final : PowerSourcesBlob {
        std::string type;
    };
    PowerSourcesInfo copyPowerSourcesInfo() const override {
        if (!type) {
            return nullptr;
        }
        auto snapshot = std::make_shared<Snapshot>();
        snapshot->type = *type;
        return snapshot;
    }
    std::optional<std::string> providingPowerSourceType(const PowerSourcesBlob& snapshot) const override {
        const auto* ours = dynamic_cast<const Snapshot*>(&snapshot);
        return ours != nullptr ? std::optional(ours->type) : std::nullopt;
    }
    std::optional<std::string> type = std::string(kBatteryPowerSourceType);
};

struct FakeDevices final : DeviceUsage {
    void start() override { ++starts; }
    bool cameraInUse() const override { return camera; }
    bool microphoneInUse() const override { return mic; }
    void change(bool cameraNow, bool micNow) {
        camera = cameraNow;
        mic = micNow;
        onChange();
    }
    bool camera = false;
    bool mic = false;
    int starts = 0;
    std::function<void()> onChange;
};

// The light as the controller switches it: at once, unless it refuses.
struct FakeLight {
    bool on = true;
    bool refuses = false;
    std::vector<bool> switches;
};

inline Task<void> switchFakeLight(FakeLight& light, bool on) {
    light.switches.push_back(on);
    if (!light.refuses) {
        light.on = on;
    }
    co_return;
}

}  // namespace lidora::testing
