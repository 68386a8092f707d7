#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/runtime/Logger.h"
#include "platform/prefs/PreferenceStore.h"

namespace lidora::vmac {

// corebrightnessd's properties for its clients: the two logo tables of the
// com.apple.CoreBrightness domain, copied and set on request. Nothing else
// is served, and only valid tables are stored.
class LogoPropertyService {
public:
    LogoPropertyService(PreferenceDomain domain, Logger log) : domain_(std::move(domain)), log_(std::move(log)) {}

    // Writes the factory tables whose keys are absent.
    Expected<void, std::string> installFactoryTables();

    [[nodiscard]] std::optional<PreferenceValue> copyProperty(std::string_view key) const;
    bool setProperty(std::string_view key, const PreferenceValue& value);

    // One request line of the wire, answered by one reply line.
    std::string handle(std::string_view line);

private:
    PreferenceDomain domain_;
    Logger log_;
};

}  // namespace lidora::vmac
