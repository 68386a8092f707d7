#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/brightness/BrightnessTables.h"
#include "core/brightness/LogoBrightnessBackend.h"
#include "core/brightness/LogoBrightnessController.h"
#include "core/morse/MorseCode.h"
#include "core/ports/RunLoop.h"
#include "core/runtime/Cancellable.h"
#include "core/runtime/Logger.h"

namespace lidora {

// Labels of the two players, as their log lines name them.
inline constexpr std::string_view kOnAirSignalLabel = "On Air signal";
inline constexpr std::string_view kMessageLabel = "Message";

// Flashes Morse steps on the lid logo by writing bright or dark copies of the
// brightness tables; it never switches the light, so it shows only while the
// light is on. The brightness controller is suspended while it plays. The
// backend, the controller and the loop must outlive the player. Use on the
// run loop's thread.
class MorsePlayer {
public:
    // repeats: passes to play; absent plays until stopped. `log` should have
    // category "brightness".
    MorsePlayer(std::vector<MorseCode::Step> steps, MorseCode::Timing timing, std::optional<int> repeats,
                std::string label, LogoBrightnessBackend& backend, LogoBrightnessController& brightness, RunLoop& loop,
                Logger log);
    MorsePlayer(const MorsePlayer&) = delete;
    MorsePlayer& operator=(const MorsePlayer&) = delete;
    // A player released while running gives the tables back, without
    // calling back, so the controller is never left suspended.
    ~MorsePlayer();

    // At every step: the step's character when it is bright, else absent;
    // absent once more when the player stops.
    std::function<void(std::optional<int>)> onProgress;
    // Once after the last pass, when the player has already stopped itself;
    // never after stop(). The player may be destroyed from here.
    std::function<void()> onFinish;

    // Does nothing when running, when there are no steps, or when the tables
    // cannot be read (the logo keeps its normal brightness).
    void start();
    // Hands the tables back to the brightness controller at its stored level.
    void stop();

    [[nodiscard]] bool isRunning() const { return running_; }
    [[nodiscard]] bool isBright() const { return bright_; }
    [[nodiscard]] const std::vector<MorseCode::Step>& steps() const { return steps_; }
    [[nodiscard]] const MorseCode::Timing& timing() const { return timing_; }
    [[nodiscard]] std::optional<int> repeats() const { return repeats_; }
    [[nodiscard]] const std::string& label() const { return label_; }

private:
    void show();
    void advance();
    void write(bool bright);
    [[nodiscard]] bool playable() const;
    // Ends playing; true when the tables were given back.
    bool halt();

    std::vector<MorseCode::Step> steps_;
    MorseCode::Timing timing_;
    std::optional<int> repeats_;
    std::string label_;
    LogoBrightnessBackend& backend_;
    LogoBrightnessController& brightness_;
    RunLoop& loop_;
    Logger log_;

    // The bright and dark tables, made from the originals captured at start.
    std::optional<BrightnessTables> brightTables_;
    std::optional<BrightnessTables> darkTables_;
    Cancellable timer_;
    // Where the current pass began on the loop's clock, and the units of
    // its steps before the current one: steps end at fixed places in it.
    TimePoint passStart_{};
    std::int64_t unitsIntoPass_ = 0;
    std::size_t index_ = 0;
    int repeatsDone_ = 0;
    bool running_ = false;
    bool bright_ = false;
    // Expires with the player, so code after a callback knows whether the
    // callback destroyed it.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
};

}  // namespace lidora
