#pragma once

#include <functional>
#include <optional>

#include "core/brightness/BrightnessTables.h"
#include "core/brightness/LogoBrightnessController.h"
#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"

namespace lidora {

// The breathing wave's factor `seconds` after it started: 0.27 resting, up
// to 3.5 in 3 s, down in 2.7 s, dark for 2.3 s, every 8 s.
double breathingFactor(double seconds);

// Makes the lid logo breathe by rewriting both tables 15 times a second,
// scaled by the wave, and nudging the display brightness by a tiny step on
// alternate frames so that the system applies each table at once. Use on
// the run loop's thread.
class LogoBreather {
public:
    static constexpr Duration kFrameInterval = std::chrono::nanoseconds(66'666'667);

    // `log` should have category "brightness".
    LogoBreather(LogoBrightnessController& brightness, RunLoop& loop, Logger log);
    ~LogoBreather();
    LogoBreather(const LogoBreather&) = delete;
    LogoBreather& operator=(const LogoBreather&) = delete;

    // Does nothing when running already or when the tables cannot be had.
    void start();
    // Hands the display and the tables back; does nothing when stopped.
    void stop();

    [[nodiscard]] bool isRunning() const { return isRunning_; }
    [[nodiscard]] int frame() const { return frame_; }

private:
    void writeFrame();
    void wiggleDisplay();

    LogoBrightnessController& brightness_;
    LogoBrightnessBackend& backend_;
    RunLoop& loop_;
    Logger log_;
    std::optional<BrightnessTables> tables_;
    TimePoint startDate_;
    int frame_ = 0;
    std::optional<float> baseBrightness_;
    Cancellable timer_;
    bool isRunning_ = false;
};

}  // namespace lidora
