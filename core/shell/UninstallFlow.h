#pragma once

#include <memory>
#include <string>

#include "core/brightness/LogoBrightnessController.h"
#include "core/light/HelperRegistering.h"
#include "core/light/LightController.h"
#include "core/ports/ApplicationShell.h"
#include "core/ports/FileRecycler.h"
#include "core/ports/LoginItem.h"
#include "core/ports/ModalAlert.h"
#include "core/ports/RunLoop.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/Logger.h"
#include "core/runtime/Task.h"

namespace lidora {

// What uninstalling acts through; all of it lives as long as the app.
struct UninstallParts {
    RunLoop& loop;
    // Shared so that the flow keeps it while it waits on the helper.
    std::shared_ptr<LightController> controller;
    HelperRegistering& registration;
    UserDefaults& standard;
    LogoBrightnessController& brightness;
    MainAppLoginItem& loginItem;
    ApplicationShell& application;
    AlertRunner& alerts;
    FileRecycler& recycler;
    // The app's bundle, moved to the Trash.
    std::string bundlePath;
    // Category "app".
    Logger log;
};

// Asks first; then gives the light back at full brightness, removes the
// helper and the login item, moves the app to the Trash and quits, going
// on past every failure but a cancel. True when it went ahead.
Task<bool> uninstall(UninstallParts parts);

}  // namespace lidora
