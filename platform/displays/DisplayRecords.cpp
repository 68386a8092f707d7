#include "platform/displays/DisplayRecords.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <utility>

namespace lidora::vmac {

namespace {

constexpr mode_t kRecordMode = 0666;
constexpr mode_t kFolderMode = 0777;

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
        records.displays.push_back(
            {static_cast<DisplayID>(id), entry["builtIn"].get<bool>(), entry["brightness"].get<double>()});
    }
    if (auto valid = validateDisplayRecords(records); !valid) {
        return unexpected(valid.error());
    }
    return records;
}

std::string encodeDisplayRecords(const DisplayRecords& records) {
    nlohmann::json displays = nlohmann::json::array();
    for (const auto& display : records.displays) {
        displays.push_back({{"id", display.id}, {"builtIn", display.builtIn}, {"brightness", display.brightness}});
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
