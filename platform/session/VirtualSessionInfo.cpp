#include "platform/session/VirtualSessionInfo.h"

#include <pwd.h>
#include <unistd.h>

#include "platform/session/SessionState.h"

namespace lidora::vmac {

std::optional<PreferenceDictionary> VirtualSessionInfo::copyCurrentDictionary() const {
    const auto state = readSessionState(paths_);
    if (!state) {
        return std::nullopt;
    }
    const auto uid = ::getuid();
    PreferenceDictionary session{{"kCGSSessionOnConsoleKey", true},
                                 {"kCGSSessionUserIDKey", static_cast<std::int64_t>(uid)},
                                 {"kCGSessionLoginDoneKey", true}};
    if (const auto* user = ::getpwuid(uid); user != nullptr && user->pw_name != nullptr) {
        session.emplace("kCGSSessionUserNameKey", std::string(user->pw_name));
    }
    if (state->screenLocked) {
        session.emplace(std::string(kSessionScreenIsLockedKey), true);
    }
    return session;
}

}  // namespace lidora::vmac
