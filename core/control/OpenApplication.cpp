#include "core/control/OpenApplication.h"

#include <string>

#include "core/light/LightNotifications.h"

namespace lidora::control {

Task<void> openApplication(ApplicationWorkspace& workspace, bool activates) {
    const auto url = workspace.urlForApplication(kAppBundleIdentifier);
    if (!url) {
        co_return;
    }
    // Whoever tapped the control learns of a failure from the control itself.
    (void)co_await workspace.openApplication(*url, OpenConfiguration{.activates = activates});
}

}  // namespace lidora::control
