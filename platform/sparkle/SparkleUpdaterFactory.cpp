#include "platform/sparkle/SparkleUpdaterFactory.h"

#include "platform/sparkle/FileAppcastSource.h"
#include "platform/sparkle/HostBundle.h"

namespace lidora::vmac {

UpdaterSetup makeUpdaterSetup(RunLoop& loop, const VmacPaths& paths, SparkleHostOptions options) {
    UpdaterSetup setup;
    setup.defaults = std::move(options.defaults);
    setup.dialog = std::move(options.dialog);
    setup.applicationIsActive = std::move(options.applicationIsActive);
    setup.logger = std::move(options.logger);

    const auto bundlePath = options.bundle ? options.bundle : bundleOfRunningProcess();
    if (!bundlePath) {
        setup.feedProblem = "the application does not run from a bundle, so it has no Info.plist naming a feed";
        setup.logger.error("Updater: %{public}s", setup.feedProblem);
        return setup;
    }
    const auto host = HostBundle::load(*bundlePath);
    if (!host) {
        setup.feedProblem = host.error();
        setup.logger.error("Updater: %{public}s", setup.feedProblem);
        return setup;
    }
    setup.currentVersion = host->version;
    setup.currentDisplayVersion = host->shortVersion;
    setup.automaticChecksByDefault = host->enableAutomaticChecks.value_or(false);
    setup.checkInterval = host->scheduledCheckInterval.value_or(kDefaultCheckInterval);
    if (!host->feedURL) {
        setup.feedProblem = "the application's Info.plist has no SUFeedURL";
        return setup;
    }
    const auto feedPath = FileAppcastSource::pathOfFeedURL(paths, *host->feedURL);
    if (!feedPath) {
        setup.feedProblem = feedPath.error();
        return setup;
    }
    setup.feed = std::make_unique<FileAppcastSource>(loop, *feedPath, setup.logger);
    return setup;
}

StandardUpdaterControllerFactory makeStandardUpdaterControllerFactory(RunLoop& loop, VmacPaths paths,
                                                                      SparkleHostOptions options) {
    return
        [&loop, paths = std::move(paths), options = std::move(options)](
            bool startingUpdater, StandardUserDriverDelegate& delegate) -> std::unique_ptr<StandardUpdaterController> {
            return std::make_unique<SparkleUpdaterController>(loop, makeUpdaterSetup(loop, paths, options), delegate,
                                                              startingUpdater);
        };
}

}  // namespace lidora::vmac
