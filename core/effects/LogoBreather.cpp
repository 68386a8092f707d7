#include "core/effects/LogoBreather.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lidora {

namespace {

constexpr double kCycleSeconds = 8.0;
constexpr double kRestingFactor = 0.27;
constexpr double kPeakRatio = 12.962962962962962;  // 3.5 / 0.27
constexpr float kWiggleStep = 0.003F;
constexpr float kSameBrightness = 0.0005F;

float wiggleStep(float base) {
    return base <= 1.0F - kWiggleStep ? kWiggleStep : -kWiggleStep;
}

// A reading that is not a number is no reading.
std::optional<float> readDisplay(LogoBrightnessBackend& backend) {
    const auto value = backend.displayBrightness();
    return value && std::isfinite(*value) ? value : std::nullopt;
}

}  // namespace

double breathingFactor(double seconds) {
    const double phase = std::fmod(std::fmod(seconds, kCycleSeconds) + kCycleSeconds, kCycleSeconds) / kCycleSeconds;
    double shape = 0.0;
    if (phase < 0.375) {
        shape = 0.5 - 0.5 * std::cos(std::numbers::pi * phase / 0.375);
    } else if (phase < 0.7125) {
        shape = 0.5 + 0.5 * std::cos(std::numbers::pi * (phase - 0.375) / 0.3375);
    }
    return kRestingFactor * std::pow(kPeakRatio, shape);
}

LogoBreather::LogoBreather(LogoBrightnessController& brightness, RunLoop& loop, Logger log)
    : brightness_(brightness),
      backend_(brightness.backend()),
      loop_(loop),
      log_(std::move(log)),
      startDate_(loop.now()) {}

// Released while breathing, it still gives the display and the tables back:
// a controller left suspended would never apply the user's level again.
LogoBreather::~LogoBreather() {
    stop();
}

void LogoBreather::start() {
    if (isRunning_) {
        return;
    }
    auto tables = brightness_.prepareTables();
    if (!tables) {
        return;
    }
    tables_ = std::move(tables);
    isRunning_ = true;
    brightness_.setSuspended(true);
    brightness_.markAnimating();
    baseBrightness_ = readDisplay(backend_);
    startDate_ = loop_.now();
    frame_ = 0;
    log_.notice("Breathing started");
    writeFrame();
    timer_ = loop_.scheduleRepeating(kFrameInterval, [this] { writeFrame(); });
}

void LogoBreather::writeFrame() {
    if (!isRunning_ || !tables_) {
        return;
    }
    const double factor = breathingFactor(std::chrono::duration<double>(loop_.now() - startDate_).count());
    // A refused write is tried again on the next frame.
    (void)backend_.setProperty(scaled(tables_->curve, factor), kBrightnessCurveKey);
    (void)backend_.setProperty(scaled(tables_->floor, std::min(factor, 1.0)), kBrightnessFloorKey);
    wiggleDisplay();
    ++frame_;
}

void LogoBreather::wiggleDisplay() {
    auto base = baseBrightness_ ? baseBrightness_ : readDisplay(backend_);
    if (!base) {
        return;
    }
    // A value that is neither ours nor the one we wiggle around was set by
    // the user, and the wave follows it.
    if (const auto current = readDisplay(backend_)) {
        const bool ours = std::abs(*current - *base) <= kSameBrightness ||
                          std::abs(*current - (*base + wiggleStep(*base))) <= kSameBrightness;
        if (!ours) {
            base = current;
        }
    }
    baseBrightness_ = base;
    const float target = frame_ % 2 == 1 ? *base + wiggleStep(*base) : *base;
    backend_.setDisplayBrightness(std::clamp(target, 0.0F, 1.0F));
}

void LogoBreather::stop() {
    if (!isRunning_) {
        return;
    }
    timer_.cancel();
    isRunning_ = false;
    if (baseBrightness_) {
        backend_.setDisplayBrightness(std::clamp(*baseBrightness_, 0.0F, 1.0F));
        baseBrightness_.reset();
    }
    brightness_.setSuspended(false);
    brightness_.apply(true);
    log_.notice("Breathing stopped");
}

}  // namespace lidora
