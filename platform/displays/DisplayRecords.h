#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/DisplayServices.h"
#include "core/runtime/Expected.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Where a display lies and what its top holds, in points: the origin is
// its top-left corner in global coordinates whose origin is the primary
// display's top-left corner, y downwards.
struct DisplayGeometry {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    double menuBarHeight = 0;  // the menu bar's thickness on this display
    double notch = 0;          // the top safe-area inset; 0 without a notch
    friend bool operator==(const DisplayGeometry&, const DisplayGeometry&) = default;
};

// One display the virtual Mac's window server has online.
struct VirtualDisplay {
    VirtualDisplay() = default;
    VirtualDisplay(DisplayID id, bool builtIn, double brightness, std::optional<DisplayGeometry> geometry = {})
        : id(id), builtIn(builtIn), brightness(brightness), geometry(geometry) {}

    DisplayID id = 0;
    bool builtIn = false;
    double brightness = 0.5;  // 0 to 1
    // Unset: a laptop panel or an HD monitor to the right of the display before.
    std::optional<DisplayGeometry> geometry;

    friend bool operator==(const VirtualDisplay&, const VirtualDisplay&) = default;
};

inline constexpr DisplayID kDefaultBuiltInDisplay = 1;
inline constexpr double kDefaultAmbientLux = 200.0;
inline constexpr double kMaxAmbientLux = 200000.0;  // brighter than direct sunlight
inline constexpr std::size_t kMaxVirtualDisplays = 16;

// The displays and the ambient light sensor. A Mac that never had its
// displays changed is a laptop with its lid open in an office.
struct DisplayRecords {
    std::vector<VirtualDisplay> displays{{kDefaultBuiltInDisplay, true, 0.5}};
    double ambientLux = kDefaultAmbientLux;

    friend bool operator==(const DisplayRecords&, const DisplayRecords&) = default;
};

// Ids are non-zero (0 is no display) and unique, brightness within 0..1,
// lux within 0..kMaxAmbientLux, at most kMaxVirtualDisplays displays.
Expected<void, std::string> validateDisplayRecords(const DisplayRecords& records);

Expected<DisplayRecords, std::string> decodeDisplayRecords(std::string_view text);
std::string encodeDisplayRecords(const DisplayRecords& records);

// var/db/displays: any user's process may change the display brightness,
// as any app may through DisplayServices, so the folder is open to all.
std::filesystem::path displaysFolder(const VmacPaths& paths);
std::filesystem::path displaysRecordFile(const VmacPaths& paths);
Expected<void, std::string> ensureDisplaysFolder(const VmacPaths& paths);

RecordFile<DisplayRecords> displaysRecord(const VmacPaths& paths, RecordFile<DisplayRecords>::Warn warn = {});

// A 14-inch laptop panel with its notch, or a 1920 × 1080 monitor.
DisplayGeometry defaultGeometry(bool builtIn);
// Every display's geometry, set or by default, in the records' order.
std::vector<DisplayGeometry> resolvedGeometry(const DisplayRecords& records);
// To the right of every display online.
DisplayGeometry nextToTheOthers(const DisplayRecords& records, bool builtIn);

const VirtualDisplay* findDisplay(const DisplayRecords& records, DisplayID id);
VirtualDisplay* findDisplay(DisplayRecords& records, DisplayID id);
// The first built-in display, as CoreGraphics lists them.
const VirtualDisplay* builtInDisplay(const DisplayRecords& records);

}  // namespace lidora::vmac
