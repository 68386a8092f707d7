#include "core/light/LightController.h"

#include <chrono>

#include "core/helper/LogoHelperProtocol.h"
#include "core/runtime/Sleep.h"

namespace lidora {

namespace {

constexpr const char* kHelperMissing = "Lidora's helper is missing. Please reinstall the app.";

std::string bundleString(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    if (found == info.end() || found->second.asString() == nullptr) {
        return "?";
    }
    return *found->second.asString();
}

}  // namespace

LightController::LightController(HardwareSupport hardware, std::string modelIdentifier,
                                 std::optional<std::string> installProblem, LightService& light,
                                 HelperRegistering& registration, std::function<void()> onLightChanged, Logger log,
                                 RunLoop& loop, ProcessEnvironment& environment)
    : hardware_(hardware),
      modelIdentifier_(std::move(modelIdentifier)),
      installProblem_(std::move(installProblem)),
      light_(light),
      registration_(registration),
      onLightChanged_(std::move(onLightChanged)),
      log_(std::move(log)),
      loop_(loop),
      environment_(environment) {}

std::optional<LightState> LightController::knownLightState() const {
    return lidora::knownLightState(phase());
}

std::optional<std::string> LightController::blockingMessage() const {
    if (hardware_ == HardwareSupport::unsupported) {
        return std::string(kUnsupportedText);
    }
    if (installProblem_) {
        return installProblem_;
    }
    if (registration_.status() != HelperStatus::enabled) {
        return "Lidora needs its helper approved first.";
    }
    return std::nullopt;
}

void LightController::setPhase(Phase phase) {
    if (phase == phase_.get()) {
        return;
    }
    log_.notice("Phase %{public}s -> %{public}s", phase_.get().text(), phase.text());
    phase_.set(std::move(phase));
}

Task<void> LightController::start() {
    if (installProblem_) {
        setPhase(Phase::failed(*installProblem_, std::nullopt));
        co_return;
    }
    const HelperStatus status = registration_.status();
    if (status != HelperStatus::enabled && status != HelperStatus::requiresApproval) {
        co_await registerHelper();
    }
    if (registration_.status() == HelperStatus::enabled) {
        co_await replaceOutdatedHelper();
    }
    co_await refresh();
}

Task<void> LightController::replaceOutdatedHelper() {
    const auto version = co_await light_.version();
    // A daemon that doesn't answer may be busy or old; the state read that
    // follows will tell the user.
    if (!version || *version == kHelperVersion) {
        co_return;
    }
    log_.notice("Helper version %{public}s != %{public}s; re-registering", *version, kHelperVersion);
    co_await unregisterHelper();
    co_await registerHelper();
}

Task<void> LightController::unregisterHelper() {
    const auto result = co_await registration_.unregister();
    if (!result) {
        log_.error("Unregister failed: %{public}s", result.error().localizedDescription);
    }
}

Task<void> LightController::registerHelper() {
    const auto result = co_await registration_.registerService();
    if (result) {
        log_.notice("Helper registered; status %{public}s", helperStatusName(registration_.status()));
        co_return;
    }
    // Registering a daemon the user has yet to approve fails, yet it is the expected first step.
    const HelperStatus status = registration_.status();
    if (status == HelperStatus::requiresApproval) {
        log_.notice("Helper registered; waiting for the user's approval in System Settings");
        co_return;
    }
    log_.error("Helper registration failed: %{public}s", result.error().localizedDescription);
    if (status == HelperStatus::notFound) {
        setPhase(Phase::failed(kHelperMissing, std::nullopt));
    }
}

Task<void> LightController::reinstallHelper() {
    co_await unregisterHelper();
    co_await registerHelper();
    co_await refresh();
}

Task<void> LightController::approveHelper() {
    const HelperStatus status = registration_.status();
    if (status == HelperStatus::notRegistered || status == HelperStatus::notFound) {
        co_await registerHelper();
    }
    registration_.openSystemSettings();
}

Task<void> LightController::refresh() {
    if (installProblem_) {
        co_return;
    }
    const HelperStatus status = registration_.status();
    if (status == HelperStatus::enabled) {
        const auto state = co_await light_.state();
        if (state) {
            setPhase(Phase::ready(*state));
        } else {
            setPhase(Phase::failed(state.error().message, knownLightState()));
        }
        co_return;
    }
    // Keep the reinstall advice rather than ask for an approval that can't come.
    if (phase().asFailed() != nullptr && status == HelperStatus::notFound) {
        co_return;
    }
    setPhase(Phase::needsApproval());
}

Task<void> LightController::setLight(LightState target) {
    if (isBusy() || registration_.status() != HelperStatus::enabled) {
        co_return;
    }
    busy_.set(true);
    const auto before = knownLightState();
    const auto switched = co_await light_.setLight(target);
    if (!switched) {
        setPhase(Phase::failed(switched.error().message, before));
    } else {
        onLightChanged_();
        // Read back rather than trust the switch: the daemon reports what the hardware does.
        const auto read = co_await light_.state();
        if (read) {
            setPhase(Phase::ready(*read));
        } else {
            setPhase(Phase::failed(read.error().message, target));
        }
    }
    busy_.set(false);
}

Task<void> LightController::waitUntilIdle(Duration timeout) {
    const TimePoint deadline = loop_.now() + timeout;
    while (isBusy() && loop_.now() < deadline) {
        co_await sleepFor(loop_, std::chrono::milliseconds(50));
    }
}

Task<bool> LightController::resetLogoBrightness() {
    if (installProblem_ || registration_.status() != HelperStatus::enabled) {
        co_return false;
    }
    const auto result = co_await light_.resetLogoTables();
    if (!result) {
        log_.error("Logo brightness reset failed: %{public}s", result.error().message);
        co_return false;
    }
    log_.notice("Logo brightness tables reset");
    co_return true;
}

std::string LightController::diagnostics() const {
    const PreferenceDictionary info = environment_.bundleInfo();
    const auto light = knownLightState();
    const std::string lines[] = {
        "Lidora diagnostics",
        "App version: " + bundleString(info, "CFBundleShortVersionString") + " (" +
            bundleString(info, "CFBundleVersion") + ")",
        "Helper version expected: " + std::string(kHelperVersion),
        "macOS: " + environment_.operatingSystemVersionString(),
        "Model: " + modelIdentifier_,
        "Hardware support: " + std::string(hardwareSupportName(hardware_)),
        "Helper status: " + std::string(helperStatusName(registration_.status())),
        "Light: " + std::string(light ? lightStateName(*light) : "unknown"),
        "Phase: " + phase().text(),
    };
    std::string out;
    for (const auto& line : lines) {
        if (!out.empty()) {
            out += '\n';
        }
        out += line;
    }
    return out;
}

}  // namespace lidora
