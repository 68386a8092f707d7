#pragma once

#include "core/ports/DaemonService.h"
#include "core/runtime/Logger.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// System Settings on the virtual Mac: opening a pane is recorded for
// `vmac settings` and in the unified log, since there is no window to show.
class VirtualSystemSettings final : public SystemSettings {
public:
    explicit VirtualSystemSettings(VmacPaths paths);

    void openLoginItems() override;

private:
    VmacPaths paths_;
    Logger log_;
};

}  // namespace lidora::vmac
