#include "platform/corebrightness/LogoEvaluator.h"

#include "platform/corebrightness/LogoLuminance.h"
#include "platform/corebrightness/LogoTables.h"
#include "platform/displays/DisplayRecords.h"

namespace lidora::vmac {

namespace {

std::optional<double> builtInBrightness(const DisplayRecords& records) {
    const auto* display = builtInDisplay(records);
    return display != nullptr ? std::optional<double>(display->brightness) : std::nullopt;
}

}  // namespace

LogoEvaluator::LogoEvaluator(VmacPaths paths, PreferenceDomain domain, Logger log, Clock clock)
    : paths_(std::move(paths)), domain_(std::move(domain)), log_(std::move(log)), clock_(std::move(clock)) {}

Expected<void, std::string> LogoEvaluator::start(RunLoop& loop) {
    if (auto folder = ensureDisplaysFolder(paths_); !folder) {
        return folder;
    }
    // Watch first, so that no change between the reading and the watch is missed.
    auto watch = FileChangeWatch::create(loop, displaysRecordFile(paths_), [this] { displaysChanged(); });
    if (!watch) {
        return unexpected(watch.error());
    }
    watch_ = std::move(watch).value();
    // The light setting takes effect at once; new tables wait for a nudge.
    if (auto settings = FileChangeWatch::create(loop, domain_.file(), [this] { settingsChanged(); })) {
        settingsWatch_ = std::move(settings).value();
    } else {
        log_.error("Cannot follow the light setting: %{public}s", settings.error());
    }
    evaluate("start");
    return {};
}

void LogoEvaluator::settingsChanged() {
    const auto values = domain_.load();
    if (!values) {
        log_.error("Cannot read %{public}s: %{public}s", domain_.name(), values.error());
        return;
    }
    const auto mode = values->find(kBacklightModeKey);
    if (backlightOn(mode != values->end() ? std::optional(mode->second) : std::nullopt) != evaluatedLit_) {
        evaluate("light setting changed");
    }
}

void LogoEvaluator::displaysChanged() {
    const auto records = displaysRecord(paths_).read();
    if (!records) {
        log_.error("Cannot read the displays: %{public}s", records.error());
        return;
    }
    if (builtInBrightness(*records) != evaluatedBrightness_) {
        evaluate("display brightness changed");
    }
}

LogoState LogoEvaluator::evaluate(const std::string& reason) {
    const auto warn = [this](const std::string& message) { log_.error("%{public}s", message); };
    auto records = displaysRecord(paths_, warn).read();
    if (!records) {
        log_.error("Cannot read the displays: %{public}s", records.error());
        records = DisplayRecords{};
    }
    auto values = domain_.load();
    if (!values) {
        log_.error("Cannot read %{public}s: %{public}s", domain_.name(), values.error());
        values = PreferenceDictionary{};
    }
    const auto value = [&](std::string_view key) -> std::optional<PreferenceValue> {
        const auto found = values->find(key);
        return found != values->end() ? std::optional(found->second) : std::nullopt;
    };
    const auto factory = factoryLogoTables();
    const auto table = [&](std::string_view key, const BrightnessTable& fallback) {
        const auto stored = value(key);
        if (!stored) {
            return fallback;
        }
        auto valid = validateLogoTable(*stored);
        if (!valid) {
            log_.error("Ignoring %{public}s: %{public}s", key, valid.error());
            return fallback;
        }
        return std::move(valid).value();
    };

    evaluatedBrightness_ = builtInBrightness(*records);
    evaluatedLit_ = backlightOn(value(kBacklightModeKey));
    LogoInputs inputs{
        evaluatedLit_,
        BrightnessTables{table(kBrightnessCurveKey, factory.curve), table(kBrightnessFloorKey, factory.floor)},
        evaluatedBrightness_.value_or(0.0), records->ambientLux};
    LogoState state{inputs.backlightOn,
                    logoLuminance(inputs),
                    inputs.tables,
                    inputs.displayBrightness,
                    inputs.ambientLux,
                    clock_(),
                    reason};

    log_.notice("Logo %{public}s, %{public}f nits (display brightness %{public}f, %{public}f lux) after %{public}s",
                std::string(state.lit ? "lit" : "dark"), state.nits, state.displayBrightness, state.ambientLux, reason);
    auto record = logoStateRecord(paths_, warn);
    if (auto published = record.update([&](PublishedLogoState& current) {
            current = state;
            return true;
        });
        !published) {
        log_.error("Cannot publish the logo state: %{public}s", published.error());
    }
    return state;
}

}  // namespace lidora::vmac
