#include "core/morse/MorsePlayer.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdint>

namespace lidora {

namespace {

// The two ends of the breathing wave.
constexpr double kBrightCurveFactor = 3.5;
constexpr double kBrightFloorFactor = 1.0;
constexpr double kDarkFactor = 0.27;

// Keeps a wait within the clock's range whatever the units.
constexpr double kLongestWaitSeconds = 1e9;

Duration unitsDuration(std::int64_t units, double unit) {
    const double seconds = std::min(static_cast<double>(units) * unit, kLongestWaitSeconds);
    return std::chrono::round<Duration>(std::chrono::duration<double>(seconds));
}

}  // namespace

MorsePlayer::MorsePlayer(std::vector<MorseCode::Step> steps, MorseCode::Timing timing, std::optional<int> repeats,
                         std::string label, LogoBrightnessBackend& backend, LogoBrightnessController& brightness,
                         RunLoop& loop, Logger log)
    : steps_(std::move(steps)),
      timing_(timing),
      repeats_(repeats),
      label_(std::move(label)),
      backend_(backend),
      brightness_(brightness),
      loop_(loop),
      log_(std::move(log)) {}

MorsePlayer::~MorsePlayer() {
    if (halt()) {
        log_.notice("%{public}s stopped", label_);
    }
}

bool MorsePlayer::playable() const {
    // A step of no time would make an endless player spin the run loop.
    return std::isfinite(timing_.unit) && timing_.unit > 0 &&
           std::all_of(steps_.begin(), steps_.end(), [](const MorseCode::Step& step) { return step.units >= 1; });
}

void MorsePlayer::start() {
    if (running_ || steps_.empty()) {
        return;
    }
    if (!playable()) {
        log_.error("%{public}s not started: every step must last at least one unit of a positive length", label_);
        return;
    }
    const auto tables = brightness_.prepareTables();
    if (!tables) {
        return;
    }
    brightTables_ =
        BrightnessTables{scaled(tables->curve, kBrightCurveFactor), scaled(tables->floor, kBrightFloorFactor)};
    darkTables_ = BrightnessTables{scaled(tables->curve, kDarkFactor), scaled(tables->floor, kDarkFactor)};
    running_ = true;
    brightness_.setSuspended(true);
    brightness_.markAnimating();
    index_ = 0;
    repeatsDone_ = 0;
    bright_ = false;
    passStart_ = loop_.now();
    unitsIntoPass_ = 0;

    std::int64_t units = 0;
    for (const auto& step : steps_) {
        units += step.units;
    }
    const double passSeconds = static_cast<double>(units) * timing_.unit;
    const std::weak_ptr<int> alive = lifetime_;
    show();
    if (!alive.expired()) {
        log_.notice("%{public}s started (%{public}f s a repeat)", label_, passSeconds);
    }
}

void MorsePlayer::show() {
    if (!brightTables_ || index_ >= steps_.size()) {
        return;
    }
    const MorseCode::Step& step = steps_[index_];
    if (step.on != bright_ || (index_ == 0 && repeatsDone_ == 0)) {
        write(step.on);
    }
    // Each step ends at its place in the pass rather than a step's length
    // after the previous one fired, so the loop's lateness does not add up
    // over a pass.
    const TimePoint now = loop_.now();
    TimePoint due = passStart_ + unitsDuration(unitsIntoPass_ + step.units, timing_.unit);
    if (due <= now) {
        // A whole step behind (a stalled loop, a machine that slept): go on
        // from here instead of flashing the missed steps in a burst.
        passStart_ = now - unitsDuration(unitsIntoPass_, timing_.unit);
        due = now + unitsDuration(step.units, timing_.unit);
    }
    // Scheduled before telling anyone: the callback may stop, restart or
    // destroy the player.
    timer_ = loop_.scheduleAt(due, [this] { advance(); });
    if (const auto progress = onProgress) {
        progress(step.on ? step.character : std::nullopt);
    }
}

void MorsePlayer::write(bool bright) {
    const BrightnessTables& tables = bright ? *brightTables_ : *darkTables_;
    // A refused write does not stop the player: the next change tries again
    // and the timing stays right.
    (void)backend_.setProperty(tables.curve, kBrightnessCurveKey);
    (void)backend_.setProperty(tables.floor, kBrightnessFloorKey);
    backend_.nudge();
    bright_ = bright;
}

void MorsePlayer::advance() {
    if (!running_) {
        return;
    }
    unitsIntoPass_ += steps_[index_].units;
    std::size_t next = index_ + 1;
    if (next >= steps_.size()) {
        if (repeatsDone_ < INT_MAX) {
            ++repeatsDone_;
        }
        if (repeats_ && repeatsDone_ >= *repeats_) {
            const std::weak_ptr<int> alive = lifetime_;
            stop();
            if (alive.expired()) {
                return;
            }
            if (const auto finish = onFinish) {
                finish();
            }
            return;
        }
        next = 0;
        passStart_ += unitsDuration(unitsIntoPass_, timing_.unit);
        unitsIntoPass_ = 0;
    }
    index_ = next;
    show();
}

void MorsePlayer::stop() {
    if (!halt()) {
        return;
    }
    // Copies: the callback may destroy the player.
    const Logger log = log_;
    const std::string label = label_;
    if (const auto progress = onProgress) {
        progress(std::nullopt);
    }
    log.notice("%{public}s stopped", label);
}

bool MorsePlayer::halt() {
    if (!running_) {
        return false;
    }
    timer_.cancel();
    running_ = false;
    bright_ = false;
    brightness_.setSuspended(false);
    // Restores the stored level and clears the animating mark.
    (void)brightness_.apply(true);
    return true;
}

}  // namespace lidora
