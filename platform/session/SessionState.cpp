#include "platform/session/SessionState.h"

#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr mode_t kRecordMode = 0666;
constexpr mode_t kFolderMode = 0777;

std::filesystem::path sessionFolder(const VmacPaths& paths) {
    return paths.root() / "var" / "db" / "session";
}

}  // namespace

std::string_view powerSourceTypeName(PowerSourceKind kind) {
    return kind == PowerSourceKind::ac ? "AC Power" : "Battery Power";
}

Expected<SessionState, std::string> decodeSessionState(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return unexpected(std::string("not a JSON object"));
    }
    const auto flag = [&json](const char* key) -> const nlohmann::json* {
        const auto found = json.find(key);
        return found != json.end() && found->is_boolean() ? &*found : nullptr;
    };
    const auto* locked = flag("screenLocked");
    const auto* asleep = flag("displaysAsleep");
    const auto power = json.find("powerSource");
    if (locked == nullptr || asleep == nullptr || power == json.end() || !power->is_string()) {
        return unexpected(std::string("lacks screenLocked, displaysAsleep or powerSource"));
    }
    SessionState state;
    state.screenLocked = locked->get<bool>();
    state.displaysAsleep = asleep->get<bool>();
    const auto& source = power->get_ref<const std::string&>();
    if (source == powerSourceTypeName(PowerSourceKind::ac)) {
        state.powerSource = PowerSourceKind::ac;
    } else if (source == powerSourceTypeName(PowerSourceKind::battery)) {
        state.powerSource = PowerSourceKind::battery;
    } else {
        return unexpected("no power source is called '" + source + "'");
    }
    return state;
}

std::string encodeSessionState(const SessionState& state) {
    const nlohmann::json json = {{"screenLocked", state.screenLocked},
                                 {"powerSource", std::string(powerSourceTypeName(state.powerSource))},
                                 {"displaysAsleep", state.displaysAsleep}};
    return json.dump(2) + "\n";
}

std::filesystem::path sessionStateFile(const VmacPaths& paths) {
    return sessionFolder(paths) / "state.json";
}

Expected<void, std::string> ensureSessionFolder(const VmacPaths& paths) {
    const auto folder = sessionFolder(paths);
    std::error_code error;
    const bool created = std::filesystem::create_directories(folder, error);
    if (error) {
        return unexpected("cannot create " + folder.string() + ": " + error.message());
    }
    // Not sticky, as the displays' folder: one user's change replaces the
    // file another wrote.
    struct stat info {};
    if ((created || geteuid() == 0) && ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == geteuid() && (info.st_mode & 07777) != kFolderMode) {
        ::chmod(folder.c_str(), kFolderMode);
    }
    return {};
}

Expected<SessionState, std::string> readSessionState(const VmacPaths& paths) {
    const auto file = sessionStateFile(paths);
    auto contents = readFileIfPresent(file);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return SessionState{};
    }
    auto decoded = decodeSessionState((*contents)->bytes);
    if (!decoded) {
        return unexpected(file.string() + " is damaged: " + decoded.error());
    }
    return decoded;
}

RecordFile<SessionState> sessionRecord(const VmacPaths& paths, RecordFile<SessionState>::Warn warn) {
    return RecordFile<SessionState>(sessionStateFile(paths), decodeSessionState, encodeSessionState, kRecordMode,
                                    std::move(warn));
}

}  // namespace lidora::vmac
