#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "core/brightness/BrightnessTables.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// What corebrightnessd last made of the logo, published for whoever wants
// to see the light.
struct LogoState {
    bool lit = true;
    double nits = 0.0;
    BrightnessTables tables;  // in effect
    double displayBrightness = 0.0;
    double ambientLux = 0.0;
    std::int64_t evaluatedAtMs = 0;  // Unix time
    std::string reason;

    friend bool operator==(const LogoState&, const LogoState&) = default;
};

// Empty until the daemon first evaluated the logo.
using PublishedLogoState = std::optional<LogoState>;

Expected<PublishedLogoState, std::string> decodeLogoState(std::string_view text);
std::string encodeLogoState(const PublishedLogoState& state);

// var/run/corebrightnessd, so that watchers see only its changes.
std::filesystem::path logoStateFolder(const VmacPaths& paths);
inline constexpr std::string_view kLogoStateFileName = "logo.json";

RecordFile<PublishedLogoState> logoStateRecord(const VmacPaths& paths, RecordFile<PublishedLogoState>::Warn warn = {});

}  // namespace lidora::vmac
