#pragma once

#include "core/light/LightService.h"
#include "core/ports/ApplicationWorkspace.h"
#include "core/ports/ControlCenter.h"
#include "core/ports/DarwinNotifications.h"
#include "core/ports/RunningApplications.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/Logger.h"

namespace lidora::control {

// The system services the controls use. The extension keeps nothing between
// runs: every value and action reads the daemon and the suite through these.
struct ControlParts {
    LightSwitch& light;
    UserDefaultsProvider& defaults;
    DarwinNotificationCenter& notifications;
    ControlCenter& controls;
    ApplicationWorkspace& workspace;
    RunningApplications& running;
    Logger log;
};

}  // namespace lidora::control
