#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

enum class PowerSourceKind { ac, battery };

// The user's session and the Mac's power as the system services report
// them. A Mac that never had them changed is unlocked, awake and plugged in.
struct SessionState {
    bool screenLocked = false;
    PowerSourceKind powerSource = PowerSourceKind::ac;
    bool displaysAsleep = false;

    friend bool operator==(const SessionState&, const SessionState&) = default;
};

// "AC Power" or "Battery Power", as IOKit names them.
std::string_view powerSourceTypeName(PowerSourceKind kind);

Expected<SessionState, std::string> decodeSessionState(std::string_view text);
std::string encodeSessionState(const SessionState& state);

// var/db/session: any user's vmac may lock the screen or pull the plug, so
// the folder is open to all.
std::filesystem::path sessionStateFile(const VmacPaths& paths);
Expected<void, std::string> ensureSessionFolder(const VmacPaths& paths);

// What the system services read: the default when there is no file yet, an
// error when it cannot be read or is damaged, so that they fail as the
// system's calls do instead of guessing. Reading never writes.
Expected<SessionState, std::string> readSessionState(const VmacPaths& paths);

// For changes: under the file's lock; a damaged file is kept aside and
// counts as the default.
RecordFile<SessionState> sessionRecord(const VmacPaths& paths, RecordFile<SessionState>::Warn warn = {});

}  // namespace lidora::vmac
