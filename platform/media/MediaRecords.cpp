#include "platform/media/MediaRecords.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

namespace lidora::vmac {

namespace {

constexpr mode_t kRecordMode = 0666;
constexpr mode_t kFolderMode = 0777;

bool isObjectID(const nlohmann::json& value) {
    return value.is_number_unsigned() && value.get<std::uint64_t>() <= UINT32_MAX;
}

Expected<void, std::string> validateObjectIDs(const MediaRecords& records) {
    std::vector<std::uint32_t> ids;
    for (const auto& camera : records.cameras) {
        ids.push_back(camera.id);
    }
    for (const auto& process : records.audioProcesses) {
        ids.push_back(process.id);
    }
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] <= kCMIOObjectSystemObject || ids[i] >= records.nextObjectID) {
            return unexpected("object id " + std::to_string(ids[i]) + " is not between the system object and " +
                              std::to_string(records.nextObjectID));
        }
        if (std::find(ids.begin(), ids.begin() + static_cast<std::ptrdiff_t>(i), ids[i]) !=
            ids.begin() + static_cast<std::ptrdiff_t>(i)) {
            return unexpected("object id " + std::to_string(ids[i]) + " is used twice");
        }
    }
    return {};
}

}  // namespace

Expected<void, std::string> validateCameraName(std::string_view name) {
    if (name.empty() || name.size() > kMaxCameraNameBytes) {
        return unexpected("a camera name has 1 to " + std::to_string(kMaxCameraNameBytes) + " bytes");
    }
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        return unexpected(std::string("a camera name may not hold control characters"));
    }
    return {};
}

Expected<void, std::string> validateBundleID(std::string_view bundleID) {
    const bool allowed = std::all_of(bundleID.begin(), bundleID.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
    if (bundleID.empty() || bundleID.size() > kMaxBundleIDBytes || !allowed) {
        return unexpected("a bundle identifier has 1 to " + std::to_string(kMaxBundleIDBytes) +
                          " letters, digits, '.', '-' and '_'");
    }
    return {};
}

Expected<void, std::string> validateMediaRecords(const MediaRecords& records) {
    if (records.cameras.size() > kMaxVirtualCameras) {
        return unexpected("at most " + std::to_string(kMaxVirtualCameras) + " cameras can be connected");
    }
    if (records.audioProcesses.size() > kMaxAudioProcesses) {
        return unexpected("at most " + std::to_string(kMaxAudioProcesses) + " audio processes can run");
    }
    for (std::size_t i = 0; i < records.cameras.size(); ++i) {
        if (auto valid = validateCameraName(records.cameras[i].name); !valid) {
            return valid;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (records.cameras[j].name == records.cameras[i].name) {
                return unexpected("camera '" + records.cameras[i].name + "' is listed twice");
            }
        }
    }
    for (const auto& process : records.audioProcesses) {
        if (auto valid = validateBundleID(process.bundleID); !valid) {
            return valid;
        }
        if (process.pid <= 0) {
            return unexpected("process id " + std::to_string(process.pid) + " is not positive");
        }
    }
    return validateObjectIDs(records);
}

Expected<MediaRecords, std::string> decodeMediaRecords(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("cameras") || !json["cameras"].is_array() ||
        !json.contains("audioProcesses") || !json["audioProcesses"].is_array() || !json.contains("nextObjectID") ||
        !isObjectID(json["nextObjectID"])) {
        return unexpected(std::string("not a list of cameras and audio processes with the next object id"));
    }
    MediaRecords records;
    records.cameras.clear();
    records.nextObjectID = json["nextObjectID"].get<std::uint32_t>();
    for (const auto& entry : json["cameras"]) {
        if (!entry.is_object() || !entry.contains("id") || !isObjectID(entry["id"]) || !entry.contains("name") ||
            !entry["name"].is_string() || !entry.contains("runningSomewhere") ||
            !entry["runningSomewhere"].is_boolean()) {
            return unexpected(std::string("a camera lacks its id, name or running flag"));
        }
        records.cameras.push_back({entry["id"].get<std::uint32_t>(), entry["name"].get<std::string>(),
                                   entry["runningSomewhere"].get<bool>()});
    }
    for (const auto& entry : json["audioProcesses"]) {
        if (!entry.is_object() || !entry.contains("id") || !isObjectID(entry["id"]) || !entry.contains("pid") ||
            !entry["pid"].is_number_integer() || entry["pid"].get<std::int64_t>() > INT32_MAX ||
            entry["pid"].get<std::int64_t>() < INT32_MIN || !entry.contains("bundleID") ||
            !entry["bundleID"].is_string() || !entry.contains("runningInput") || !entry["runningInput"].is_boolean()) {
            return unexpected(std::string("an audio process lacks its id, pid, bundle identifier or input flag"));
        }
        records.audioProcesses.push_back({entry["id"].get<std::uint32_t>(), entry["pid"].get<std::int32_t>(),
                                          entry["bundleID"].get<std::string>(), entry["runningInput"].get<bool>()});
    }
    if (auto valid = validateMediaRecords(records); !valid) {
        return unexpected(valid.error());
    }
    return records;
}

std::string encodeMediaRecords(const MediaRecords& records) {
    nlohmann::json cameras = nlohmann::json::array();
    for (const auto& camera : records.cameras) {
        cameras.push_back({{"id", camera.id}, {"name", camera.name}, {"runningSomewhere", camera.runningSomewhere}});
    }
    nlohmann::json processes = nlohmann::json::array();
    for (const auto& process : records.audioProcesses) {
        processes.push_back({{"id", process.id},
                             {"pid", process.pid},
                             {"bundleID", process.bundleID},
                             {"runningInput", process.runningInput}});
    }
    const nlohmann::json json = {{"cameras", std::move(cameras)},
                                 {"audioProcesses", std::move(processes)},
                                 {"nextObjectID", records.nextObjectID}};
    return json.dump(2) + "\n";
}

std::optional<std::uint32_t> takeObjectID(MediaRecords& records) {
    if (records.nextObjectID == UINT32_MAX) {
        return std::nullopt;
    }
    return records.nextObjectID++;
}

VirtualCamera* findCamera(MediaRecords& records, std::string_view name) {
    const auto found = std::find_if(records.cameras.begin(), records.cameras.end(),
                                    [&](const VirtualCamera& camera) { return camera.name == name; });
    return found != records.cameras.end() ? &*found : nullptr;
}

const VirtualCamera* findCamera(const MediaRecords& records, CMIOObjectID id) {
    const auto found = std::find_if(records.cameras.begin(), records.cameras.end(),
                                    [&](const VirtualCamera& camera) { return camera.id == id; });
    return found != records.cameras.end() ? &*found : nullptr;
}

const VirtualAudioProcess* findAudioProcess(const MediaRecords& records, AudioObjectID id) {
    const auto found = std::find_if(records.audioProcesses.begin(), records.audioProcesses.end(),
                                    [&](const VirtualAudioProcess& process) { return process.id == id; });
    return found != records.audioProcesses.end() ? &*found : nullptr;
}

std::filesystem::path mediaFolder(const VmacPaths& paths) {
    return paths.root() / "var" / "db" / "media";
}

std::filesystem::path mediaRecordFile(const VmacPaths& paths) {
    return mediaFolder(paths) / "devices.json";
}

Expected<void, std::string> ensureMediaFolder(const VmacPaths& paths) {
    const auto folder = mediaFolder(paths);
    std::error_code error;
    const bool created = std::filesystem::create_directories(folder, error);
    if (error) {
        return unexpected("cannot create " + folder.string() + ": " + error.message());
    }
    // Not sticky: any user's replacement of the record must be able to take
    // the place of another's.
    struct stat info {};
    if (created && ::stat(folder.c_str(), &info) == 0 && info.st_uid == geteuid() &&
        (info.st_mode & 07777) != kFolderMode) {
        ::chmod(folder.c_str(), kFolderMode);
    }
    return {};
}

RecordFile<MediaRecords> mediaRecord(const VmacPaths& paths, RecordFile<MediaRecords>::Warn warn) {
    return RecordFile<MediaRecords>(mediaRecordFile(paths), decodeMediaRecords, encodeMediaRecords, kRecordMode,
                                    std::move(warn));
}

}  // namespace lidora::vmac
