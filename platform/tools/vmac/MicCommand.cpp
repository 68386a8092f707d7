// vmac mic: the virtual Mac's audio client processes and whether each runs
// audio input, as CoreAudio tells apps.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "platform/media/MediaRecords.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

// Above Linux's largest pid, so a made-up pid is never a real process's.
constexpr std::int64_t kFirstMadeUpPid = 4194304;

constexpr const char* kUsage =
    "usage: vmac mic                            list the audio processes and their input\n"
    "       vmac mic start BUNDLE_ID [PID]      a process starts using the microphone\n"
    "       vmac mic stop BUNDLE_ID [PID]       it stops using the microphone\n"
    "       vmac mic remove BUNDLE_ID [PID]     the process quits\n\n"
    "Each process has one audio process object, which CoreAudio lists to apps\n"
    "with its pid, its bundle identifier and whether its input runs. start\n"
    "adds the process when it is not listed yet, with PID or else a made-up pid\n"
    "that no real process has. Without PID, stop and remove act on every\n"
    "process of that bundle identifier.\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "vmac mic: %s\n%s", message.c_str(), kUsage);
    return 64;
}

int failure(const std::string& message) {
    std::fprintf(stderr, "vmac mic: %s\n", message.c_str());
    return 1;
}

void warn(const std::string& warning) {
    std::fprintf(stderr, "vmac mic: %s\n", warning.c_str());
}

std::optional<std::int32_t> parsePid(const std::string& text) {
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const auto value = std::stoll(text);
    if (value <= 0 || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

int list(const VmacPaths& paths) {
    const auto records = mediaRecord(paths, warn).read();
    if (!records) {
        return failure(records.error());
    }
    if (records->audioProcesses.empty()) {
        std::printf("No audio processes\n");
    }
    for (const auto& process : records->audioProcesses) {
        std::printf("process %-6u pid %-10d %-13s %s\n", process.id, process.pid,
                    process.runningInput ? "input running" : "no input", process.bundleID.c_str());
    }
    return 0;
}

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

std::string described(const std::string& bundleID, std::optional<std::int32_t> pid) {
    return pid ? bundleID + " (pid " + std::to_string(*pid) + ")" : bundleID;
}

std::optional<std::string> start(MediaRecords& records, const std::string& bundleID, std::optional<std::int32_t> pid) {
    for (auto& process : records.audioProcesses) {
        if (pid && process.pid == *pid && process.bundleID != bundleID) {
            return "pid " + std::to_string(*pid) + " is " + process.bundleID + ", not " + bundleID;
        }
    }
    const auto found = std::find_if(records.audioProcesses.begin(), records.audioProcesses.end(),
                                    [&](const auto& p) { return p.bundleID == bundleID && (!pid || p.pid == *pid); });
    if (found != records.audioProcesses.end()) {
        found->runningInput = true;
        return std::nullopt;
    }
    if (records.audioProcesses.size() >= kMaxAudioProcesses) {
        return "at most " + std::to_string(kMaxAudioProcesses) + " audio processes can run";
    }
    const auto id = takeObjectID(records);
    if (!id) {
        return std::string("no object ids are left");
    }
    const auto madeUp = std::min<std::int64_t>(kFirstMadeUpPid + *id, INT32_MAX);
    records.audioProcesses.push_back({*id, pid.value_or(static_cast<std::int32_t>(madeUp)), bundleID, true});
    return std::nullopt;
}

}  // namespace

int runMic(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        return list(paths);
    }
    const auto& action = arguments[0];
    if (action != "start" && action != "stop" && action != "remove") {
        return usageError("unknown action '" + action + "'");
    }
    if (arguments.size() != 2 && arguments.size() != 3) {
        return usageError(action + " takes a bundle identifier and, optionally, a pid");
    }
    const auto& bundleID = arguments[1];
    if (auto valid = validateBundleID(bundleID); !valid) {
        return usageError(valid.error() + ", not '" + bundleID + "'");
    }
    std::optional<std::int32_t> pid;
    if (arguments.size() == 3) {
        pid = parsePid(arguments[2]);
        if (!pid) {
            return usageError("a pid is a whole number from 1 to 2147483647, not '" + arguments[2] + "'");
        }
    }
    if (action == "start") {
        return change(paths, [&](MediaRecords& records) { return start(records, bundleID, pid); });
    }
    const bool removing = action == "remove";
    return change(paths, [&](MediaRecords& records) -> std::optional<std::string> {
        const auto matches = [&](const VirtualAudioProcess& p) {
            return p.bundleID == bundleID && (!pid || p.pid == *pid);
        };
        auto& processes = records.audioProcesses;
        if (std::none_of(processes.begin(), processes.end(), matches)) {
            return "no audio process of " + described(bundleID, pid) + " is running (vmac mic lists them)";
        }
        if (removing) {
            std::erase_if(processes, matches);
        } else {
            for (auto& process : processes) {
                process.runningInput = process.runningInput && !matches(process);
            }
        }
        return std::nullopt;
    });
}

}  // namespace lidora::vmac
