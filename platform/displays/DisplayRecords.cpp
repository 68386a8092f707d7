#include "platform/displays/DisplayRecords.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>

namespace lidora::vmac {

namespace {

constexpr mode_t kRecordMode = 0666;
constexpr mode_t kFolderMode = 0777;
constexpr double kMinDisplaySide = 200;
constexpr double kMaxDisplaySide = 16384;
constexpr double kMaxCoordinate = 100000;

}  // namespace

Expected<void, std::string> validateDisplayRecords(const DisplayRecords& records) {
    if (records.displays.size() > kMaxVirtualDisplays) {
        return unexpected("at most " + std::to_string(kMaxVirtualDisplays) + " displays can be online");
    }
    for (std::size_t i = 0; i < records.displays.size(); ++i) {
        const auto& display = records.displays[i];
        if (display.id == 0) {
            return unexpected(std::string("display id 0 means no display"));
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (records.displays[j].id == display.id) {
                return unexpected("display " + std::to_string(display.id) + " is listed twice");
            }
        }
        if (!(display.brightness >= 0.0 && display.brightness <= 1.0)) {
            return unexpected("the brightness of display " + std::to_string(display.id) + " is not within 0..1");
        }
        if (const auto& g = display.geometry) {
            const bool finite = std::isfinite(g->x) && std::isfinite(g->y);
            if (!finite || std::abs(g->x) > kMaxCoordinate || std::abs(g->y) > kMaxCoordinate ||
                !(g->width >= kMinDisplaySide && g->width <= kMaxDisplaySide) ||
                !(g->height >= kMinDisplaySide && g->height <= kMaxDisplaySide)) {
                return unexpected("display " + std::to_string(display.id) + " has an impossible size or place");
            }
            if (!(g->menuBarHeight >= 20 && g->menuBarHeight <= 60) || !(g->notch >= 0 && g->notch <= 60)) {
                return unexpected("display " + std::to_string(display.id) +
                                  " needs a menu bar of 20 to 60 points and a notch of at most 60");
            }
        }
    }
    if (!(records.ambientLux >= 0.0 && records.ambientLux <= kMaxAmbientLux)) {
        return unexpected("the ambient light is not within 0.." + std::to_string(static_cast<int>(kMaxAmbientLux)) +
                          " lux");
    }
    return {};
}

Expected<DisplayRecords, std::string> decodeDisplayRecords(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("displays") || !json["displays"].is_array() ||
        !json.contains("ambientLux") || !json["ambientLux"].is_number()) {
        return unexpected(std::string("not a list of displays with the ambient light"));
    }
    DisplayRecords records;
    records.displays.clear();
    records.ambientLux = json["ambientLux"].get<double>();
    for (const auto& entry : json["displays"]) {
        if (!entry.is_object() || !entry.contains("id") || !entry["id"].is_number_unsigned() ||
            !entry.contains("builtIn") || !entry["builtIn"].is_boolean() || !entry.contains("brightness") ||
            !entry["brightness"].is_number()) {
            return unexpected(std::string("a display lacks its id, built-in flag or brightness"));
        }
        const auto id = entry["id"].get<std::uint64_t>();
        if (id > UINT32_MAX) {
            return unexpected(std::string("a display id is beyond 32 bits"));
        }
        VirtualDisplay display{static_cast<DisplayID>(id), entry["builtIn"].get<bool>(),
                               entry["brightness"].get<double>()};
        if (entry.contains("geometry")) {
            const auto& g = entry["geometry"];
            const char* fields[] = {"x", "y", "width", "height", "menuBarHeight", "notch"};
            for (const char* field : fields) {
                if (!g.is_object() || !g.contains(field) || !g[field].is_number()) {
                    return unexpected(std::string("a display's geometry lacks its ") + field);
                }
            }
            display.geometry = DisplayGeometry{g["x"].get<double>(),
                                               g["y"].get<double>(),
                                               g["width"].get<double>(),
                                               g["height"].get<double>(),
                                               g["menuBarHeight"].get<double>(),
                                               g["notch"].get<double>()};
        }
        records.displays.push_back(display);
    }
    if (auto valid = validateDisplayRecords(records); !valid) {
        return unexpected(valid.error());
    }
    return records;
}

std::string encodeDisplayRecords(const DisplayRecords& records) {
    nlohmann::json displays = nlohmann::json::array();
    for (const auto& display : records.displays) {
        nlohmann::json entry = {{"id", display.id}, {"builtIn", display.builtIn}, {"brightness", display.brightness}};
        if (const auto& g = display.geometry) {
            entry["geometry"] = {{"x", g->x},
                                 {"y", g->y},
                                 {"width", g->width},
                                 {"height", g->height},
                                 {"menuBarHeight", g->menuBarHeight},
                                 {"notch", g->notch}};
        }
        displays.push_back(std::move(entry));
    }
    const nlohmann::json json = {{"displays", std::move(displays)}, {"ambientLux", records.ambientLux}};
    return json.dump(2) + "\n";
}

std::filesystem::path displaysFolder(const VmacPaths& paths) {
    return paths.root() / "var" / "db" / "displays";
}

std::filesystem::path displaysRecordFile(const VmacPaths& paths) {
    return displaysFolder(paths) / "displays.json";
}

Expected<void, std::string> ensureDisplaysFolder(const VmacPaths& paths) {
    const auto folder = displaysFolder(paths);
    std::error_code error;
    const bool created = std::filesystem::create_directories(folder, error);
    if (error) {
        return unexpected("cannot create " + folder.string() + ": " + error.message());
    }
    // Not sticky: a user's replacement of the record must be able to take
    // the place of one root wrote.
    struct stat info {};
    if ((created || geteuid() == 0) && ::stat(folder.c_str(), &info) == 0 && info.st_uid == geteuid() &&
        (info.st_mode & 07777) != kFolderMode) {
        ::chmod(folder.c_str(), kFolderMode);
    }
    return {};
}

RecordFile<DisplayRecords> displaysRecord(const VmacPaths& paths, RecordFile<DisplayRecords>::Warn warn) {
    return RecordFile<DisplayRecords>(displaysRecordFile(paths), decodeDisplayRecords, encodeDisplayRecords,
                                      kRecordMode, std::move(warn));
}

DisplayGeometry defaultGeometry(bool builtIn) {
    if (builtIn) {
        return {0, 0, 1512, 982, 37, 32};
    }
    return {0, 0, 1920, 1080, 24, 0};
}

std::vector<DisplayGeometry> resolvedGeometry(const DisplayRecords& records) {
    std::vector<DisplayGeometry> resolved;
    double right = 0;
    for (const auto& display : records.displays) {
        auto geometry = display.geometry.value_or(defaultGeometry(display.builtIn));
        if (!display.geometry) {
            geometry.x = right;
        }
        right = std::max(right, geometry.x + geometry.width);
        resolved.push_back(geometry);
    }
    return resolved;
}

DisplayGeometry nextToTheOthers(const DisplayRecords& records, bool builtIn) {
    auto geometry = defaultGeometry(builtIn);
    for (const auto& other : resolvedGeometry(records)) {
        geometry.x = std::max(geometry.x, other.x + other.width);
    }
    return geometry;
}

const VirtualDisplay* findDisplay(const DisplayRecords& records, DisplayID id) {
    for (const auto& display : records.displays) {
        if (display.id == id) {
            return &display;
        }
    }
    return nullptr;
}

VirtualDisplay* findDisplay(DisplayRecords& records, DisplayID id) {
    return const_cast<VirtualDisplay*>(findDisplay(std::as_const(records), id));
}

const VirtualDisplay* builtInDisplay(const DisplayRecords& records) {
    for (const auto& display : records.displays) {
        if (display.builtIn) {
            return &display;
        }
    }
    return nullptr;
}

}  // namespace lidora::vmac
