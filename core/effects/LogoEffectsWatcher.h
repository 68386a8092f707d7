#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/brightness/LogoBrightnessController.h"
#include "core/effects/DeviceUsage.h"
#include "core/effects/LogoBreather.h"
#include "core/effects/LogoEffects.h"
#include "core/morse/MorseCode.h"
#include "core/morse/MorseMessageState.h"
#include "core/morse/MorsePlayer.h"
#include "core/ports/ControlCenter.h"
#include "core/ports/DarwinNotifications.h"
#include "core/ports/DistributedNotifications.h"
#include "core/ports/PowerSources.h"
#include "core/ports/RunLoop.h"
#include "core/ports/SessionInfo.h"
#include "core/ports/UserDefaults.h"
#include "core/ports/Workspace.h"
#include "core/runtime/Task.h"

namespace lidora {

enum class LogoEffect { none, breathing, onAir, message };
std::string_view logoEffectName(LogoEffect effect);

enum class OnAirSource { camera, cameraOrMicrophone };

inline constexpr std::string_view kBreatheWhenLockedAndChargingKey = "breatheWhenLockedAndCharging";
inline constexpr std::string_view kOnAirSourceKey = "onAirSource";
inline constexpr std::string_view kOnAirTurnedLightOffKey = "onAirTurnedLightOff";

inline constexpr std::string_view kNothingToSendProblem = "There's nothing in that message that Morse code can send.";
inline constexpr std::string_view kLightDidNotComeOnProblem = "Couldn't turn the logo light on.";
inline constexpr std::string_view kCouldNotSendProblem = "Couldn't send the message.";

// What the watcher follows and acts through. Everything must outlive it.
struct LogoEffectsParts {
    RunLoop& loop;
    LogoBrightnessBackend& backend;
    LogoBrightnessController& brightness;
    UserDefaults& standard;
    UserDefaults& group;
    ControlCenter& controls;
    DistributedNotificationCenter& distributed;
    Workspace& workspace;
    DarwinNotificationCenter& darwin;
    const SessionInfo& session;
    const PowerSources& power;
    // Built on first use, calling back on every change of its answer.
    std::function<std::unique_ptr<DeviceUsage>(std::function<void()> onChange)> makeDevices;
    LogoEffectsLight light;
    std::shared_ptr<LogSink> logSink;
};

// Decides which one effect runs on the logo (breathing, On Air or a message)
// from lock, power, display sleep, camera and microphone, the settings and
// the light, and runs the mode that keeps the logo dark except on air by
// switching the light itself. Use on the run loop's thread.
class LogoEffectsWatcher final : public LogoEffects {
public:
    explicit LogoEffectsWatcher(LogoEffectsParts parts);
    ~LogoEffectsWatcher() override;
    LogoEffectsWatcher(const LogoEffectsWatcher&) = delete;
    LogoEffectsWatcher& operator=(const LogoEffectsWatcher&) = delete;

    // Follows the system from now on and evaluates once; call once.
    void start() override;
    // Re-evaluates and switches effects when the answer changed.
    void update() override;
    // True once sending has begun; otherwise the message state says why not.
    Task<bool> send(std::string text, MorseCode::Timing timing, bool markers) override;
    // Stops the message on the lid; it stays until endMessage().
    void stopMessage() override;
    // Forgets the message and gives back a light switched on for it.
    void endMessage() override;
    // Mirrors the keep-dark mode for the Control Center extension.
    void publishKeepsLogoDark();
    // At termination: every player stopped and no effect, light left as is.
    void stopAll() override;

    [[nodiscard]] bool readScreenLocked() const;
    [[nodiscard]] bool readACPower() const;

    [[nodiscard]] LogoEffect effect() const { return effect_; }
    [[nodiscard]] MorseMessageState& messageState() override { return messageState_; }
    [[nodiscard]] MorsePlayer* message() { return message_.get(); }
    [[nodiscard]] LogoBreather& breather() { return breather_; }
    [[nodiscard]] MorsePlayer& signal() { return signal_; }

private:
    struct Settings {
        bool breathe = true;
        bool onAirEnabled = true;
        OnAirSource source = OnAirSource::cameraOrMicrophone;
    };
    [[nodiscard]] Settings readSettings() const;
    [[nodiscard]] bool keepDark() const;
    DeviceUsage& devices();
    void applyDarkMode(bool keepDark, bool wantLight);
    Task<void> switchForDarkMode(bool target, bool keepDark, std::weak_ptr<bool> alive);
    Task<void> giveLightBack(bool switchOff, std::weak_ptr<bool> alive);
    void stopEffect(LogoEffect effect);
    void startEffect(LogoEffect effect);
    void removeTurnedOffMark();

    LogoEffectsParts parts_;
    Logger log_;
    LogoBreather breather_;
    MorsePlayer signal_;
    MorseMessageState messageState_;
    std::unique_ptr<MorsePlayer> message_;
    bool turnedLightOnForMessage_ = false;
    std::optional<bool> pendingLight_;
    std::unique_ptr<DeviceUsage> devices_;
    bool screenLocked_ = false;
    bool onACPower_ = false;
    bool displayAsleep_ = false;
    std::vector<Cancellable> observers_;
    LogoEffect effect_ = LogoEffect::none;
    // Tasks still waiting on the light check it before touching the watcher.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace lidora
