#include "core/effects/LogoEffectsWatcher.h"

#include <utility>

#include "core/effects/KeepsLogoDark.h"
#include "core/runtime/Spawn.h"
#include "core/text/Characters.h"

namespace lidora {

namespace {

std::vector<MorseCode::Step> onAirSteps() {
    return MorseCode::steps(MorseCode::kOnAirText, MorseCode::kOnAirTiming, false);
}

struct Situation {
    bool message;
    bool displayAsleep;
    bool keepDark;
    bool lit;
    bool onAir;
    bool breathing;
};

// The first rule that applies decides.
LogoEffect chooseEffect(const Situation& now) {
    if (now.message) {
        return !now.displayAsleep && now.lit ? LogoEffect::message : LogoEffect::none;
    }
    if (now.displayAsleep) {
        return LogoEffect::none;
    }
    // The keep-dark mode is switching the light on for On Air: no waiting for
    // it, and never breathing.
    if (now.keepDark) {
        return now.onAir ? LogoEffect::onAir : LogoEffect::none;
    }
    if (!now.lit) {
        return LogoEffect::none;
    }
    if (now.onAir) {
        return LogoEffect::onAir;
    }
    return now.breathing ? LogoEffect::breathing : LogoEffect::none;
}

}  // namespace

std::string_view logoEffectName(LogoEffect effect) {
    switch (effect) {
        case LogoEffect::none: return "none";
        case LogoEffect::breathing: return "breathing";
        case LogoEffect::onAir: return "onAir";
        case LogoEffect::message: return "message";
    }
    return "none";
}

LogoEffectsWatcher::LogoEffectsWatcher(LogoEffectsParts parts)
    : parts_(std::move(parts)),
      log_(parts_.logSink, std::string(kLogSubsystem), std::string(kBrightnessLogCategory)),
      breather_(parts_.brightness, parts_.loop, log_),
      signal_(onAirSteps(), MorseCode::kOnAirTiming, std::nullopt, std::string(kOnAirSignalLabel), parts_.backend,
              parts_.brightness, parts_.loop, log_),
      screenLocked_(readScreenLocked()),
      onACPower_(readACPower()) {}

LogoEffectsWatcher::~LogoEffectsWatcher() = default;

void LogoEffectsWatcher::start() {
    const auto observe = [this](Cancellable handle) { observers_.push_back(std::move(handle)); };
    observe(parts_.distributed.observe(kScreenIsLockedNotification, [this] {
        screenLocked_ = true;
        update();
    }));
    observe(parts_.distributed.observe(kScreenIsUnlockedNotification, [this] {
        screenLocked_ = false;
        update();
    }));
    observe(parts_.workspace.observeScreensDidSleep([this] {
        displayAsleep_ = true;
        update();
    }));
    observe(parts_.workspace.observeScreensDidWake([this] {
        displayAsleep_ = false;
        update();
    }));
    observe(parts_.workspace.observeDidWake([this] {
        displayAsleep_ = false;
        screenLocked_ = readScreenLocked();
        update();
    }));
    observe(parts_.darwin.observe(kPowerSourceNotification, [this] {
        onACPower_ = readACPower();
        update();
    }));
    devices().start();
    update();
}

LogoEffectsWatcher::Settings LogoEffectsWatcher::readSettings() const {
    Settings settings;
    settings.breathe = parts_.standard.boolean(kBreatheWhenLockedAndChargingKey).value_or(true);
    settings.onAirEnabled = parts_.standard.boolean(kOnAirEnabledKey).value_or(true);
    settings.source = parts_.standard.string(kOnAirSourceKey) == std::optional<std::string>("camera")
                          ? OnAirSource::camera
                          : OnAirSource::cameraOrMicrophone;
    return settings;
}

bool LogoEffectsWatcher::keepDark() const {
    return keepsLogoDark(parts_.standard);
}

DeviceUsage& LogoEffectsWatcher::devices() {
    if (!devices_) {
        std::weak_ptr<bool> alive = alive_;
        devices_ = parts_.makeDevices([this, alive] {
            if (!alive.expired()) {
                update();
            }
        });
    }
    return *devices_;
}

void LogoEffectsWatcher::update() {
    const auto settings = readSettings();
    const bool camera = devices().cameraInUse();
    const bool mic = devices().microphoneInUse();
    const bool onAir = (camera || (settings.source == OnAirSource::cameraOrMicrophone && mic)) && settings.onAirEnabled;
    const bool darkMode = keepDark();
    applyDarkMode(darkMode, onAir || message_ != nullptr);
    const bool breathing = settings.breathe && screenLocked_ && onACPower_;
    const bool lit = parts_.light.isOn();

    const LogoEffect next = chooseEffect({.message = message_ != nullptr,
                                          .displayAsleep = displayAsleep_,
                                          .keepDark = darkMode,
                                          .lit = lit,
                                          .onAir = onAir,
                                          .breathing = breathing});
    if (next == effect_) {
        return;
    }
    log_.notice(
        "Logo effect %{public}s -> %{public}s: locked %{bool,public}d, AC %{bool,public}d, display asleep "
        "%{bool,public}d, camera %{bool,public}d, mic %{bool,public}d",
        logoEffectName(effect_), logoEffectName(next), screenLocked_, onACPower_, displayAsleep_, camera, mic);
    stopEffect(effect_);
    effect_ = next;
    startEffect(next);
    if (next != LogoEffect::message && message_) {
        endMessage();
    }
}

void LogoEffectsWatcher::stopEffect(LogoEffect effect) {
    switch (effect) {
        case LogoEffect::none: break;
        case LogoEffect::breathing: breather_.stop(); break;
        case LogoEffect::onAir: signal_.stop(); break;
        case LogoEffect::message:
            if (message_) {
                message_->stop();
            }
            break;
    }
}

void LogoEffectsWatcher::startEffect(LogoEffect effect) {
    switch (effect) {
        case LogoEffect::none: break;
        case LogoEffect::breathing: breather_.start(); break;
        case LogoEffect::onAir: signal_.start(); break;
        case LogoEffect::message:
            if (message_) {
                message_->start();
            }
            break;
    }
}

void LogoEffectsWatcher::applyDarkMode(bool keepDark, bool wantLight) {
    const bool turnedOff = parts_.standard.boolean(kOnAirTurnedLightOffKey).value_or(false);
    if (!keepDark && turnedOff && parts_.light.isOn()) {
        removeTurnedOffMark();  // the light is back; nothing is owed
    }
    if (pendingLight_) {
        return;  // a switch is in flight and ends with update()
    }
    const bool isOn = parts_.light.isOn();
    std::optional<bool> target;
    if (keepDark) {
        if (wantLight != isOn) {
            target = wantLight;
        }
    } else if (turnedOff && !isOn) {
        target = true;
    }
    if (!target) {
        return;
    }
    pendingLight_ = target;
    log_.notice("On Air dark mode: turning the light %{public}s", std::string(*target ? "on" : "off"));
    spawn(parts_.loop, switchForDarkMode(*target, keepDark, alive_));
}

Task<void> LogoEffectsWatcher::switchForDarkMode(bool target, bool keepDark, std::weak_ptr<bool> alive) {
    co_await parts_.light.set(target);
    if (alive.expired()) {
        co_return;
    }
    pendingLight_.reset();
    if (keepDark && !target) {
        if (const auto stored = parts_.standard.set(kOnAirTurnedLightOffKey, PreferenceValue(true)); !stored) {
            log_.error("Could not store %{public}s: %{public}s", kOnAirTurnedLightOffKey, stored.error());
        }
    } else if (!keepDark && target) {
        removeTurnedOffMark();
    }
    update();
}

void LogoEffectsWatcher::removeTurnedOffMark() {
    if (const auto removed = parts_.standard.remove(kOnAirTurnedLightOffKey); !removed) {
        log_.error("Could not remove %{public}s: %{public}s", kOnAirTurnedLightOffKey, removed.error());
    }
}

Task<bool> LogoEffectsWatcher::send(std::string text, MorseCode::Timing timing, bool markers) {
    const std::weak_ptr<bool> alive = alive_;
    messageState_.problem.set(std::nullopt);
    auto steps = MorseCode::steps(text, timing, markers);
    if (steps.empty()) {
        messageState_.problem.set(std::string(kNothingToSendProblem));
        co_return false;
    }
    auto player = std::make_unique<MorsePlayer>(std::move(steps), timing, 1, std::string(kMessageLabel), parts_.backend,
                                                parts_.brightness, parts_.loop, log_);
    // A message that replaces another one keeps the light the other one had
    // switched on, and starts afresh rather than passing for the one running.
    bool lightOwed = false;
    if (message_) {
        message_->stop();
        if (effect_ == LogoEffect::message) {
            effect_ = LogoEffect::none;
        }
        lightOwed = std::exchange(turnedLightOnForMessage_, false);
        endMessage();
    }
    turnedLightOnForMessage_ = lightOwed;
    if (!parts_.light.isOn()) {
        co_await parts_.light.set(true);
        if (alive.expired()) {
            co_return false;
        }
        if (!parts_.light.isOn()) {
            turnedLightOnForMessage_ = false;
            messageState_.problem.set(std::string(kLightDidNotComeOnProblem));
            co_return false;
        }
        turnedLightOnForMessage_ = true;
    }
    player->onProgress = [this](std::optional<int> position) {
        messageState_.character.set(position);
        messageState_.isBright.set(message_ && message_->isBright());
    };
    player->onFinish = [this] { endMessage(); };

    long units = 0;
    for (const auto& step : player->steps()) {
        units += step.units;
    }
    const auto characterCount = static_cast<long>(characters(text).size());
    const double seconds = timing.unit * static_cast<double>(units);
    message_ = std::move(player);
    messageState_.text.set(text);
    messageState_.problem.set(std::nullopt);
    log_.notice("Sending a message (%ld characters, %{public}f s): %{private}s", characterCount, seconds, text);
    update();
    // One the player could not start (the logo's tables unreadable, a timing
    // it cannot play) would never end: it is not reported as sent, and the
    // light switched on for it is given back.
    if (effect_ == LogoEffect::message && message_ && !message_->isRunning()) {
        endMessage();
        messageState_.problem.set(std::string(kCouldNotSendProblem));
        co_return false;
    }
    co_return true;
}

void LogoEffectsWatcher::stopMessage() {
    if (message_) {
        message_->stop();
    }
}

void LogoEffectsWatcher::endMessage() {
    // The player may be the caller (its last pass ended): it goes after the
    // state is cleared, and it touches nothing of itself afterwards.
    auto finished = std::move(message_);
    messageState_.text.set(std::nullopt);
    messageState_.character.set(std::nullopt);
    messageState_.isBright.set(false);
    const bool wasTurnedOn = std::exchange(turnedLightOnForMessage_, false);
    const bool switchOff = wasTurnedOn && !keepDark();
    spawn(parts_.loop, giveLightBack(switchOff, alive_));
    finished.reset();
}

Task<void> LogoEffectsWatcher::giveLightBack(bool switchOff, std::weak_ptr<bool> alive) {
    if (switchOff) {
        co_await parts_.light.set(false);
    }
    if (!alive.expired()) {
        update();
    }
}

void LogoEffectsWatcher::publishKeepsLogoDark() {
    lidora::publishKeepsLogoDark(parts_.standard, parts_.group, parts_.controls);
}

void LogoEffectsWatcher::stopAll() {
    breather_.stop();
    signal_.stop();
    if (message_) {
        message_->stop();
    }
    effect_ = LogoEffect::none;
}

bool LogoEffectsWatcher::readScreenLocked() const {
    const auto dictionary = parts_.session.copyCurrentDictionary();
    if (!dictionary) {
        return false;
    }
    const auto found = dictionary->find(std::string(kSessionScreenIsLockedKey));
    return found != dictionary->end() && found->second.isBool() && std::get<bool>(found->second.storage());
}

bool LogoEffectsWatcher::readACPower() const {
    const auto info = parts_.power.copyPowerSourcesInfo();
    if (!info) {
        return false;
    }
    return parts_.power.providingPowerSourceType(*info) == std::optional<std::string>(kACPowerSourceType);
}

}  // namespace lidora
