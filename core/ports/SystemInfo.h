#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "core/prefs/PreferenceValue.h"

namespace lidora {

// The system control interface ("hw.model" and friends), as sysctlbyname
// gives it: a size query, then a read into a buffer of that size.
class SystemControl {
public:
    virtual ~SystemControl() = default;
    // The value's size in bytes; empty when the call fails.
    [[nodiscard]] virtual std::optional<std::size_t> valueSize(const std::string& name) const = 0;
    // Fills `buffer` with up to its size; false when the call fails.
    virtual bool readValue(const std::string& name, std::span<unsigned char> buffer) const = 0;
};

// What the running process knows of itself and the system.
class ProcessEnvironment {
public:
    virtual ~ProcessEnvironment() = default;
    // The main bundle's folder, e.g. /Applications/Lidora.app.
    [[nodiscard]] virtual std::string bundlePath() const = 0;
    [[nodiscard]] virtual PreferenceDictionary bundleInfo() const = 0;
    // The operating system's version string for display, e.g.
    // "Version 26.1 (Build 25B78)".
    [[nodiscard]] virtual std::string operatingSystemVersionString() const = 0;
};

}  // namespace lidora
