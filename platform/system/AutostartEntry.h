#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// A login item of the virtual Mac: an XDG autostart desktop entry in the
// user's ~/.config/autostart that opens an application bundle.
struct AutostartEntry {
    std::string name;
    std::filesystem::path bundle;
    bool enabled = true;  // false for Hidden=true or X-GNOME-Autostart-enabled=false

    friend bool operator==(const AutostartEntry&, const AutostartEntry&) = default;
};

// The key naming the bundle; Exec is for other desktops.
inline constexpr std::string_view kAutostartBundleKey = "X-Vmac-Bundle";

std::filesystem::path autostartDirectory(const std::filesystem::path& home);

std::string renderAutostartEntry(const AutostartEntry& entry);
// Errors say which line is wrong or what is missing.
Expected<AutostartEntry, std::string> parseAutostartEntry(std::string_view text);

struct AutostartListing {
    std::vector<AutostartEntry> entries;  // enabled entries of the virtual Mac, by file name
    std::vector<std::string> problems;    // files that could not be used, and why
};

// The entries in a user's autostart folder; none when the folder is missing.
AutostartListing listAutostartEntries(const std::filesystem::path& home);

}  // namespace lidora::vmac
