#include "core/brightness/LogoBrightnessController.h"

#include <cmath>

namespace lidora {

LogoBrightnessController::LogoBrightnessController(std::unique_ptr<LogoBrightnessBackend> backend,
                                                   UserDefaultsProvider& provider, Logger log)
    : backend_(std::move(backend)),
      defaults_(provider.standard()),
      levelStore_(suiteOrStandard(provider, kAppGroupSuite)),
      log_(std::move(log)) {}

bool LogoBrightnessController::apply(bool force) {
    if (suspended_) {
        return true;
    }
    const auto prepared = prepare();
    if (!prepared) {
        log_.error("Logo brightness tables not available");
        return false;
    }
    const double factor = factorForLevel(storedLevel(*levelStore_));
    const BrightnessTable newCurve = scaled(prepared->originals.curve, factor);

    // The periodic call costs one read when nothing changed: the live curve
    // prepare() read.
    if (!force && approximatelyEqual(prepared->live, newCurve)) {
        return true;
    }
    const BrightnessTable newFloor = scaled(prepared->originals.floor, factor);
    if (!write(newCurve, kBrightnessCurveKey)) {
        return false;
    }
    if (!write(newFloor, kBrightnessFloorKey)) {
        // The system now holds the new curve; remember it as ours, or the
        // next prepareTables() would take a scaled curve for an original.
        save(*defaults_, kAppliedCurveKey, preferenceValue(newCurve));
        return false;
    }
    if (factor == 1.0) {
        erase(*defaults_, kAppliedCurveKey);
    } else {
        save(*defaults_, kAppliedCurveKey, preferenceValue(newCurve));
    }
    backend_->nudge();
    log_.notice("Logo brightness level %{public}f (factor %{public}f) applied", storedLevel(*levelStore_), factor);
    return true;
}

std::optional<BrightnessTables> LogoBrightnessController::prepareTables() {
    auto prepared = prepare();
    if (!prepared) {
        return std::nullopt;
    }
    return std::move(prepared->originals);
}

std::optional<LogoBrightnessController::Prepared> LogoBrightnessController::prepare() {
    const auto savedCurve = curve(defaults_->object(kOriginalCurveKey));
    const auto savedFloor = curve(defaults_->object(kOriginalFloorKey));
    auto live = backend_->copyProperty(kBrightnessCurveKey);
    if (!live) {
        return std::nullopt;
    }
    const auto applied = curve(defaults_->object(kAppliedCurveKey));

    // An effect ended, or the app died during one: the live table is some
    // animation frame, not anything to compare or capture.
    const bool recovering = defaults_->boolean(kBrightnessAnimatingKey).value_or(false) && !suspended_;
    if (recovering) {
        erase(*defaults_, kBrightnessAnimatingKey);
        erase(*defaults_, kAppliedCurveKey);
    }
    if (savedCurve && savedFloor && (recovering || approximatelyEqual(live, applied))) {
        return Prepared{BrightnessTables{*savedCurve, *savedFloor}, std::move(*live)};
    }

    // The system replaced our table (reset, daemon restart): that is the
    // new original.
    auto floor = backend_->copyProperty(kBrightnessFloorKey);
    if (!floor) {
        return std::nullopt;
    }
    save(*defaults_, kOriginalCurveKey, preferenceValue(*live));
    save(*defaults_, kOriginalFloorKey, preferenceValue(*floor));
    erase(*defaults_, kAppliedCurveKey);
    return Prepared{BrightnessTables{*live, std::move(*floor)}, std::move(*live)};
}

void LogoBrightnessController::reset() {
    suspended_ = false;
    save(*levelStore_, kLogoBrightnessLevelKey, 1.0);
    for (const std::string_view key :
         {kOriginalCurveKey, kOriginalFloorKey, kAppliedCurveKey, kBrightnessAnimatingKey}) {
        erase(*defaults_, key);
    }
}

double LogoBrightnessController::storedLevel(const UserDefaults& store) {
    const auto level = store.number(kLogoBrightnessLevelKey);
    if (!level || std::isnan(*level)) {
        return 1.0;
    }
    return *level;
}

void LogoBrightnessController::migrateLevel(const UserDefaults& from, UserDefaults& to) {
    if (to.object(kLogoBrightnessLevelKey)) {
        return;
    }
    if (const auto old = from.object(kLogoBrightnessLevelKey); old && (old->isDouble() || old->isInteger())) {
        // Nothing to report to: a level that does not move over reads as 1.
        (void)to.set(kLogoBrightnessLevelKey, *old->asDouble());
    }
}

bool LogoBrightnessController::write(const BrightnessTable& table, std::string_view key) {
    if (!backend_->setProperty(table, key)) {
        log_.error("Logo brightness write refused");
        return false;
    }
    return true;
}

void LogoBrightnessController::save(UserDefaults& store, std::string_view key, PreferenceValue value) {
    if (const auto saved = store.set(key, std::move(value)); !saved) {
        log_.error("Could not store %{public}s: %{public}s", key, saved.error());
    }
}

void LogoBrightnessController::erase(UserDefaults& store, std::string_view key) {
    if (const auto removed = store.remove(key); !removed) {
        log_.error("Could not remove %{public}s: %{public}s", key, removed.error());
    }
}

}  // namespace lidora
