#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/AudioHardware.h"
#include "core/ports/CMIOHardware.h"
#include "core/runtime/Expected.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// A video device as CoreMediaIO lists it.
struct VirtualCamera {
    CMIOObjectID id = 0;
    std::string name;
    bool runningSomewhere = false;  // some app has it open and running
    friend bool operator==(const VirtualCamera&, const VirtualCamera&) = default;
};

// A process that is a client of CoreAudio, with its process object.
struct VirtualAudioProcess {
    AudioObjectID id = 0;
    std::int32_t pid = 0;
    std::string bundleID;
    bool runningInput = false;
    friend bool operator==(const VirtualAudioProcess&, const VirtualAudioProcess&) = default;
};

inline constexpr CMIOObjectID kBuiltInCameraID = 2;
inline constexpr std::string_view kBuiltInCameraName = "FaceTime HD Camera";
inline constexpr std::size_t kMaxVirtualCameras = 32;
inline constexpr std::size_t kMaxAudioProcesses = 256;
inline constexpr std::size_t kMaxCameraNameBytes = 64;
inline constexpr std::size_t kMaxBundleIDBytes = 255;

// The cameras and the audio client processes. Object ids come from one
// counter and are never handed out twice, so a listener on an object that
// went away never hears of a newcomer. A Mac that never had its devices
// changed has its built-in camera, idle.
struct MediaRecords {
    std::vector<VirtualCamera> cameras{{kBuiltInCameraID, std::string(kBuiltInCameraName), false}};
    std::vector<VirtualAudioProcess> audioProcesses;
    std::uint32_t nextObjectID = kBuiltInCameraID + 1;
    friend bool operator==(const MediaRecords&, const MediaRecords&) = default;
};

// 1 to 64 bytes without control characters.
Expected<void, std::string> validateCameraName(std::string_view name);
// 1 to 255 letters, digits, '.', '-' and '_'.
Expected<void, std::string> validateBundleID(std::string_view bundleID);
// Ids above the system object (1) and below nextObjectID, each once; valid
// names, bundle identifiers and positive pids; at most kMaxVirtualCameras
// cameras and kMaxAudioProcesses processes.
Expected<void, std::string> validateMediaRecords(const MediaRecords& records);

Expected<MediaRecords, std::string> decodeMediaRecords(std::string_view text);
std::string encodeMediaRecords(const MediaRecords& records);

// Hands out the next object id; empty once the counter ran out.
std::optional<std::uint32_t> takeObjectID(MediaRecords& records);

VirtualCamera* findCamera(MediaRecords& records, std::string_view name);
const VirtualCamera* findCamera(const MediaRecords& records, CMIOObjectID id);
const VirtualAudioProcess* findAudioProcess(const MediaRecords& records, AudioObjectID id);

// var/db/media: any user's app may use a camera or a microphone, so the
// folder is open to all, like the displays'.
std::filesystem::path mediaFolder(const VmacPaths& paths);
std::filesystem::path mediaRecordFile(const VmacPaths& paths);
Expected<void, std::string> ensureMediaFolder(const VmacPaths& paths);

RecordFile<MediaRecords> mediaRecord(const VmacPaths& paths, RecordFile<MediaRecords>::Warn warn = {});

}  // namespace lidora::vmac
