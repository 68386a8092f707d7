#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/ports/RunLoop.h"
#include "core/ports/SparkleUpdater.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/Logger.h"
#include "platform/sparkle/SparkleUpdaterController.h"
#include "platform/sparkle/UpdateDialog.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// What the application hands the updater besides its delegate.
struct SparkleHostOptions {
    std::shared_ptr<UserDefaults> defaults;  // the app's standard user defaults
    std::shared_ptr<UpdateDialog> dialog;
    std::function<bool()> applicationIsActive;
    Logger logger;
    // The application bundle; by default the one the running executable is in.
    std::optional<std::filesystem::path> bundle;
};

// Reads the bundle's Info.plist and opens its feed under the virtual Mac's
// root. Problems (no bundle, no SUFeedURL, a feed that is no file: URL) are
// logged and left in the setup, so that checks report them.
UpdaterSetup makeUpdaterSetup(RunLoop& loop, const VmacPaths& paths, SparkleHostOptions options);

// StandardUpdaterControllerFactory over makeUpdaterSetup().
StandardUpdaterControllerFactory makeStandardUpdaterControllerFactory(RunLoop& loop, VmacPaths paths,
                                                                      SparkleHostOptions options);

}  // namespace lidora::vmac
