#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lidora {

// The power source types IOPSGetProvidingPowerSourceType names.
inline constexpr std::string_view kACPowerSourceType = "AC Power";
inline constexpr std::string_view kBatteryPowerSourceType = "Battery Power";
// kIOPSNotifyPowerSource: the Darwin notification posted when the providing
// power source changes.
inline constexpr std::string_view kPowerSourceNotification = "com.apple.system.powersources.source";

// The snapshot IOPSCopyPowerSourcesInfo hands out, opaque to its users; each
// implementation keeps its own contents behind it.
class PowerSourcesBlob {
public:
    virtual ~PowerSourcesBlob() = default;
};
using PowerSourcesInfo = std::shared_ptr<const PowerSourcesBlob>;

// IOKit's power sources (IOPowerSources.h).
class PowerSources {
public:
    virtual ~PowerSources() = default;

    // IOPSCopyPowerSourcesInfo: a snapshot of the power sources; null when
    // the call fails.
    [[nodiscard]] virtual PowerSourcesInfo copyPowerSourcesInfo() const = 0;
    // IOPSGetProvidingPowerSourceType: the type of the source the snapshot
    // says powers the Mac ("AC Power", "Battery Power", "UPS Power"); empty
    // when the snapshot is not one of this implementation's or names none.
    [[nodiscard]] virtual std::optional<std::string> providingPowerSourceType(
        const PowerSourcesBlob& snapshot) const = 0;
};

}  // namespace lidora
