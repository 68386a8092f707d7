#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// How often a user had System Settings open at Login Items & Extensions, as
// var/db/vmac/settings/<uid>.json. One file a user, in a sticky shared folder,
// so every user records their own and nobody else's.
struct LoginItemsOpenings {
    std::int64_t count = 0;
    std::string last;  // local time, "2025-01-31 09:15:02 +0100"
    friend bool operator==(const LoginItemsOpenings&, const LoginItemsOpenings&) = default;
};

// Empty when the user never opened it.
Expected<std::optional<LoginItemsOpenings>, std::string> readLoginItemsOpenings(const VmacPaths& paths, uid_t uid);
// Counts one more opening, at `when`, under the file's lock.
Expected<LoginItemsOpenings, std::string> recordLoginItemsOpening(const VmacPaths& paths, uid_t uid,
                                                                  const std::string& when);

// "System Settings was opened at Login Items & Extensions N times, last at …"
std::string describeLoginItemsOpenings(const std::optional<LoginItemsOpenings>& openings);

std::string localTimestampNow();

}  // namespace lidora::vmac
