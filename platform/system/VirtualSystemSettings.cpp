#include "platform/system/VirtualSystemSettings.h"

#include <unistd.h>

#include <memory>

#include "platform/log/LogWire.h"
#include "platform/log/UnifiedLogSink.h"
#include "platform/system/LoginItemsOpenings.h"

namespace lidora::vmac {

VirtualSystemSettings::VirtualSystemSettings(VmacPaths paths)
    : paths_(std::move(paths)),
      log_(std::make_shared<UnifiedLogSink>(logServiceSocket(paths_)), "com.zelquin.vmac", "settings") {}

void VirtualSystemSettings::openLoginItems() {
    const auto recorded = recordLoginItemsOpening(paths_, ::getuid(), localTimestampNow());
    if (!recorded) {
        log_.error("System Settings opened at Login Items & Extensions, but not recorded: %{public}s",
                   recorded.error());
        return;
    }
    log_.notice("System Settings opened at Login Items & Extensions (%lld times)",
                static_cast<long long>(recorded->count));
}

}  // namespace lidora::vmac
