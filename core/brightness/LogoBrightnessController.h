#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "core/brightness/BrightnessTables.h"
#include "core/brightness/LogoBrightnessBackend.h"
#include "core/brightness/LogoBrightnessScale.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/Logger.h"

namespace lidora {

// The app group is named after the team that signs the app; the build says which.
inline constexpr std::string_view kAppGroupSuite = LIDORA_TEAM_ID ".com.zelquin.lidora";

// In the app-group suite, shared with the Control Center extension.
inline constexpr std::string_view kLogoBrightnessLevelKey = "logoBrightnessLevel";
// In the app's standard defaults.
inline constexpr std::string_view kOriginalCurveKey = "logoBrightnessOriginalCurve";
inline constexpr std::string_view kOriginalFloorKey = "logoBrightnessOriginalFloor";
inline constexpr std::string_view kAppliedCurveKey = "logoBrightnessAppliedCurve";
// Set by effects while they write the tables frame by frame.
inline constexpr std::string_view kBrightnessAnimatingKey = "logoBrightnessAnimating";

inline constexpr std::string_view kBrightnessLogCategory = "brightness";

// Turns the stored level into scaled copies of the logo tables, keeping the
// tables the system made as originals. The app creates one and keeps it;
// callers reload the Control Center brightness control themselves after
// changing the level. Use on the run loop's thread.
class LogoBrightnessController {
public:
    // `log` should have category "brightness".
    LogoBrightnessController(std::unique_ptr<LogoBrightnessBackend> backend, UserDefaultsProvider& provider,
                             Logger log);

    // While an effect owns the tables, apply() leaves them alone.
    [[nodiscard]] bool isSuspended() const { return suspended_; }
    void setSuspended(bool suspended) { suspended_ = suspended; }

    [[nodiscard]] UserDefaults& levelStore() { return *levelStore_; }
    [[nodiscard]] LogoBrightnessBackend& backend() { return *backend_; }
    // The app's standard defaults, where effects mark that they animate the tables.
    [[nodiscard]] UserDefaults& defaults() { return *defaults_; }

    // True when the tables match the stored level (or an effect owns them);
    // false when they cannot be read or written. Without force, tables
    // already right are not written again.
    bool apply(bool force);

    // The tables as the system made them, captured from the system when the
    // live ones are not known to be this program's own writes.
    std::optional<BrightnessTables> prepareTables();

    // After the system's tables were deleted: back to level 1 and no memory
    // of originals.
    void reset();

    // A stored level that is missing or not a number reads as 1.
    [[nodiscard]] static double storedLevel(const UserDefaults& store);
    // Copies a level kept by older versions in the app's own defaults into
    // the shared suite, once; the old value stays.
    static void migrateLevel(const UserDefaults& from, UserDefaults& to);

private:
    // The originals, with the live curve read on the way, so that apply()
    // can compare against it without reading it again.
    struct Prepared {
        BrightnessTables originals;
        BrightnessTable live;
    };
    std::optional<Prepared> prepare();

    void save(UserDefaults& store, std::string_view key, PreferenceValue value);
    void erase(UserDefaults& store, std::string_view key);
    bool write(const BrightnessTable& table, std::string_view key);

    bool suspended_ = false;
    std::unique_ptr<LogoBrightnessBackend> backend_;
    std::shared_ptr<UserDefaults> defaults_;
    std::shared_ptr<UserDefaults> levelStore_;
    Logger log_;
};

}  // namespace lidora
