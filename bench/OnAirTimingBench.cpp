// Times whole On Air passes as the app plays them: a MorsePlayer on the app's
// run loop (Qt's event loop through QtRunLoop) on the real clock, the time of
// each table write taken as it happens. A pass runs from the first bright
// write of one pass to that of the next. The baseline, in the same run: the
// same step durations as one-shot timers on the same loop, each scheduled
// when the one before fired, with no work, which is what the loop alone adds.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/QtRunLoop.h"
#include "core/brightness/LogoBrightnessController.h"
#include "core/morse/MorsePlayer.h"
#include "tests/support/MemoryDefaults.h"

using namespace lidora;

namespace {

// Five passes of 18.4 s and one of the baseline: under two minutes.
constexpr int kPasses = 5;

const BrightnessTable kCurve{{0, 10}, {0.5, 120}, {1, 400}};
const BrightnessTable kFloor{{0, 1}, {100, 50}};

// The system's tables, for the controller to capture and give back.
class SystemTables final : public LogoBrightnessBackend {
public:
    std::optional<BrightnessTable> copyProperty(std::string_view key) override {
        return key == kBrightnessCurveKey ? kCurve : kFloor;
    }
    bool setProperty(const BrightnessTable&, std::string_view) override { return true; }
    std::optional<float> displayBrightness() override { return 0.5F; }
    void setDisplayBrightness(float) override {}
    void nudge() override {}
};

// The player's backend: the time of every bright curve write.
class RecordingTables final : public LogoBrightnessBackend {
public:
    explicit RecordingTables(std::size_t wanted) : wanted_(wanted) { brightWrites.reserve(wanted); }
    std::optional<BrightnessTable> copyProperty(std::string_view) override { return std::nullopt; }
    bool setProperty(const BrightnessTable& table, std::string_view key) override {
        const auto now = ContinuousClock::now();
        if (key == kBrightnessCurveKey && table == bright_) {
            brightWrites.push_back(now);
            if (brightWrites.size() == wanted_) {
                QCoreApplication::quit();
            }
        }
        return true;
    }
    std::optional<float> displayBrightness() override { return std::nullopt; }
    void setDisplayBrightness(float) override {}
    void nudge() override {}

    std::vector<TimePoint> brightWrites;

private:
    // The player's bright end of the curve.
    BrightnessTable bright_ = scaled(kCurve, 3.5);
    std::size_t wanted_;
};

// The steps as bare one-shot timers, each scheduled from the moment the one
// before fired.
class BareChain {
public:
    BareChain(RunLoop& loop, std::vector<Duration> steps, int passes)
        : loop_(loop), steps_(std::move(steps)), passes_(passes) {}

    void start() {
        passStarts.push_back(loop_.now());
        scheduleNext();
    }

    std::vector<TimePoint> passStarts;
    std::vector<double> latenessMs;

private:
    void scheduleNext() {
        const TimePoint due = loop_.now() + steps_[index_];
        timer_ = loop_.scheduleAt(due, [this, due] {
            const TimePoint fired = loop_.now();
            latenessMs.push_back(std::chrono::duration<double, std::milli>(fired - due).count());
            index_ = (index_ + 1) % steps_.size();
            if (index_ == 0) {
                passStarts.push_back(fired);
                if (static_cast<int>(passStarts.size()) > passes_) {
                    QCoreApplication::quit();
                    return;
                }
            }
            scheduleNext();
        });
    }

    RunLoop& loop_;
    std::vector<Duration> steps_;
    int passes_;
    std::size_t index_ = 0;
    Cancellable timer_;
};

std::vector<double> passSeconds(const std::vector<TimePoint>& starts) {
    std::vector<double> seconds;
    for (std::size_t i = 1; i < starts.size(); ++i) {
        seconds.push_back(std::chrono::duration<double>(starts[i] - starts[i - 1]).count());
    }
    return seconds;
}

double at(std::vector<double> values, double quantile) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(std::lround(quantile * static_cast<double>(values.size() - 1)))];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication qt(argc, argv);
    app::QtRunLoop loop;
    const auto steps = MorseCode::steps(MorseCode::kOnAirText, MorseCode::kOnAirTiming, false);
    std::int64_t units = 0;
    std::size_t brightSteps = 0;
    std::vector<Duration> durations;
    for (const auto& step : steps) {
        units += step.units;
        brightSteps += step.on ? 1 : 0;
        durations.push_back(
            std::chrono::round<Duration>(std::chrono::duration<double>(step.units * MorseCode::kOnAirTiming.unit)));
    }
    const double ideal = static_cast<double>(units) * MorseCode::kOnAirTiming.unit;

    BareChain chain(loop, durations, 1);
    chain.start();
    QCoreApplication::exec();
    const auto bare = passSeconds(chain.passStarts);

    testing::MemoryDefaultsProvider defaults;
    LogoBrightnessController controller(std::make_unique<SystemTables>(), defaults, Logger());
    // The first bright write of pass k is bright write k * brightSteps.
    RecordingTables recording(kPasses * brightSteps + 1);
    MorsePlayer player(steps, MorseCode::kOnAirTiming, std::nullopt, std::string(kOnAirSignalLabel), recording,
                       controller, loop, Logger());
    player.start();
    if (!player.isRunning()) {
        std::fprintf(stderr, "the On Air player did not start\n");
        return 1;
    }
    QCoreApplication::exec();
    player.stop();
    std::vector<TimePoint> passStarts;
    for (std::size_t i = 0; i < recording.brightWrites.size(); i += brightSteps) {
        passStarts.push_back(recording.brightWrites[i]);
    }
    const auto passes = passSeconds(passStarts);
    if (static_cast<int>(passes.size()) != kPasses) {
        std::fprintf(stderr, "only %zu passes were played\n", passes.size());
        return 1;
    }
    std::vector<double> errors;
    for (const double seconds : passes) {
        errors.push_back(std::abs(seconds - ideal) / ideal);
    }

    std::printf("ideal On Air pass: %.1f s, %zu steps\n", ideal, steps.size());
    std::printf("On Air pass on the app's run loop: median %.4f s (min %.4f, max %.4f; %d passes)\n", at(passes, 0.5),
                at(passes, 0), at(passes, 1), kPasses);
    std::printf("  error: median %.2f ms (min %.2f, max %.2f)\n", at(errors, 0.5) * ideal * 1000,
                at(errors, 0) * ideal * 1000, at(errors, 1) * ideal * 1000);
    std::printf(
        "bare one-shot timers, the same steps back to back: pass %.4f s (error %.2f ms); a timer fires "
        "late by median %.3f ms (p90 %.3f, max %.3f; %zu timers)\n",
        bare.front(), std::abs(bare.front() - ideal) * 1000, at(chain.latenessMs, 0.5), at(chain.latenessMs, 0.9),
        at(chain.latenessMs, 1), chain.latenessMs.size());
    std::printf("ratio on_air_pass_timing_error = %.6f (goal <= 0.005)\n", at(errors, 0.5));
    return 0;
}
