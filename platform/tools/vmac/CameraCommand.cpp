// vmac camera: the virtual Mac's video devices and whether some app runs
// them, as CoreMediaIO tells apps.
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "platform/media/MediaRecords.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac camera               list the cameras and whether each is in use\n"
    "       vmac camera add NAME      plug in a camera\n"
    "       vmac camera remove NAME   unplug a camera\n"
    "       vmac camera start [NAME]  an app starts using the camera\n"
    "       vmac camera stop [NAME]   the app stops using it\n\n"
    "A fresh virtual Mac has its built-in camera, \"FaceTime HD Camera\"; start and\n"
    "stop without a name use the first camera connected. A camera\n"
    "in use is running somewhere in the system, which apps listening to\n"
    "CoreMediaIO hear at once. Names have 1 to 64 bytes, without control\n"
    "characters.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vmac camera: %s\n%s", message.c_str(), kUsage);
    return 64;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vmac camera: %s\n", message.c_str());
    return 1;
}

void warn(const std::string& warning) {
    std::fprintf(stderr, "vmac camera: %s\n", warning.c_str());
}

int list(const VmacPaths& paths) {
    const auto records = mediaRecord(paths, warn).read();
    if (!records) {
        return failure(records.error());
    }
    if (records->cameras.empty()) {
        std::printf("No cameras connected\n");
    }
    for (const auto& camera : records->cameras) {
        std::printf("camera %-6u %-7s %s\n", camera.id, camera.runningSomewhere ? "in use" : "idle",
                    camera.name.c_str());
    }
    return 0;
}

// Applies `apply` under the record's lock; an error text leaves the record
// as it was.
int change(const VmacPaths& paths, const std::function<std::optional<std::string>(MediaRecords&)>& apply) {
    if (auto folder = ensureMediaFolder(paths); !folder) {
        return failure(folder.error());
    }
    std::optional<std::string> refused;
    auto record = mediaRecord(paths, warn);
    const auto updated = record.update([&](MediaRecords& records) {
        refused = apply(records);
        return !refused;
    });
    if (refused) {
        return failure(*refused);
    }
    return updated ? 0 : failure(updated.error());
}

std::string unknown(const std::string& name) {
    return "no camera named '" + name + "' is connected (vmac camera lists them)";
}

}  // namespace

int runCamera(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        return list(paths);
    }
    const auto& action = arguments[0];
    if (action != "add" && action != "remove" && action != "start" && action != "stop") {
        return usageError("unknown action '" + action + "'");
    }
    const bool running = action == "start";
    if (arguments.size() == 1 && (running || action == "stop")) {
        return change(paths, [&](MediaRecords& records) -> std::optional<std::string> {
            if (records.cameras.empty()) {
                return std::string("no camera is connected");
            }
            records.cameras.front().runningSomewhere = running;
            return std::nullopt;
        });
    }
    if (arguments.size() != 2) {
        return usageError(action + " takes one camera name (quote a name with spaces)");
    }
    const auto& name = arguments[1];
    if (auto valid = validateCameraName(name); !valid) {
        return usageError(valid.error());
    }
    if (action == "add") {
        return change(paths, [&](MediaRecords& records) -> std::optional<std::string> {
            if (findCamera(records, name) != nullptr) {
                return "a camera named '" + name + "' is already connected";
            }
            if (records.cameras.size() >= kMaxVirtualCameras) {
                return "at most " + std::to_string(kMaxVirtualCameras) + " cameras can be connected";
            }
            const auto id = takeObjectID(records);
            if (!id) {
                return std::string("no object ids are left");
            }
            records.cameras.push_back({*id, name, false});
            return std::nullopt;
        });
    }
    if (action == "remove") {
        return change(paths, [&](MediaRecords& records) -> std::optional<std::string> {
            const auto* camera = findCamera(records, name);
            if (camera == nullptr) {
                return unknown(name);
            }
            records.cameras.erase(records.cameras.begin() + (camera - records.cameras.data()));
            return std::nullopt;
        });
    }
    return change(paths, [&](MediaRecords& records) -> std::optional<std::string> {
        auto* camera = findCamera(records, name);
        if (camera == nullptr) {
            return unknown(name);
        }
        camera->runningSomewhere = running;
        return std::nullopt;
    });
}

}  // namespace lidora::vmac
