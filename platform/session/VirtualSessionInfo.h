#pragma once

#include "core/ports/SessionInfo.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// CGSessionCopyCurrentDictionary on the virtual Mac: the console session of
// the user the process runs as, from the session state in the root. Like
// the system, it names the lock flag only while the screen is locked, and it
// has no dictionary when the state cannot be read.
class VirtualSessionInfo final : public SessionInfo {
public:
    explicit VirtualSessionInfo(VmacPaths paths) : paths_(std::move(paths)) {}

    [[nodiscard]] std::optional<PreferenceDictionary> copyCurrentDictionary() const override;

private:
    VmacPaths paths_;
};

}  // namespace lidora::vmac
