#include "platform/sparkle/SparkleUpdaterController.h"

#include "platform/sparkle/Appcast.h"
#include "platform/sparkle/BundleVersion.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

// Writers replace the feed in a few steps; one check after they settle.
constexpr auto kFeedSettleDelay = 200ms;

}  // namespace

SparkleUpdaterController::SparkleUpdaterController(RunLoop& loop, UpdaterSetup setup,
                                                   StandardUserDriverDelegate& delegate, bool startingUpdater)
    : loop_(loop), setup_(std::move(setup)), delegate_(delegate) {
    if (setup_.checkInterval <= std::chrono::seconds::zero()) {
        setup_.checkInterval = kDefaultCheckInterval;
    }
    if (startingUpdater) {
        startUpdater();
    }
}

SparkleUpdaterController::~SparkleUpdaterController() = default;

void SparkleUpdaterController::startUpdater() {
    if (started_) {
        return;
    }
    started_ = true;
    if (!setup_.feed) {
        setup_.logger.error("Updates cannot be checked: %{public}s", setup_.feedProblem);
    } else {
        feedWatch_ = setup_.feed->watchChanges([this] { feedChanged(); });
    }
    schedule_ = loop_.scheduleRepeating(setup_.checkInterval, [this] { checkForUpdatesInBackground(); });
    refreshCanCheck();
    if (automaticallyChecksForUpdates()) {
        pendingCheck_ = loop_.scheduleAfter(Duration::zero(), [this] { checkForUpdatesInBackground(); });
    }
}

void SparkleUpdaterController::feedChanged() {
    feedSettle_ = loop_.scheduleAfter(kFeedSettleDelay, [this] {
        if (session_ == Session::none) {
            checkForUpdatesInBackground();
        } else {
            feedChangedMeanwhile_ = true;
        }
    });
}

void SparkleUpdaterController::checkForUpdatesInBackground() {
    if (!started_ || !automaticallyChecksForUpdates()) {
        return;
    }
    if (session_ != Session::none) {
        setup_.logger.info("Skipping a scheduled update check: an update session is running");
        return;
    }
    beginCheck(false);
}

void SparkleUpdaterController::checkForUpdates() {
    if (!started_) {
        setup_.logger.error("Cannot check for updates: the updater has not been started");
        return;
    }
    if (session_ == Session::waitingForAttention && waitingUpdate_) {
        // The user comes for the update a scheduled check left waiting.
        const auto update = *waitingUpdate_;
        userInitiated_ = true;
        delegate_.standardUserDriverWillHandleShowingUpdate(true, update, UserUpdateState{{}, true});
        showUpdateWindow(update);
        delegate_.standardUserDriverDidReceiveUserAttention(update);
        return;
    }
    if (session_ != Session::none) {
        setup_.logger.info("An update session is already running");
        return;
    }
    beginCheck(true);
}

void SparkleUpdaterController::beginCheck(bool userInitiated) {
    session_ = Session::checking;
    userInitiated_ = userInitiated;
    const auto session = ++sessionNumber_;
    refreshCanCheck();
    // Sparkle fetches the feed asynchronously; so does this.
    pendingCheck_ = loop_.scheduleAfter(Duration::zero(), [this, session] { runCheck(session); });
}

void SparkleUpdaterController::runCheck(std::uint64_t session) {
    if (session != sessionNumber_ || session_ != Session::checking) {
        return;
    }
    auto fail = [this](const std::string& problem) {
        setup_.logger.error("Update check failed: %{public}s", problem);
        if (!userInitiated_) {
            finishSession();
            return;
        }
        session_ = Session::showing;
        setup_.dialog->showError("An error occurred in retrieving update information. " + problem,
                                 inSession([this] { finishSession(); }));
    };
    if (!setup_.feed) {
        fail(setup_.feedProblem);
        return;
    }
    const auto text = setup_.feed->fetch();
    if (!text) {
        fail(text.error());
        return;
    }
    const auto appcast = parseAppcast(*text);
    if (!appcast) {
        fail("The update feed " + setup_.feed->address() + " is malformed: " + appcast.error());
        return;
    }
    const auto newest = newestItem(*appcast);
    if (!newest || compareBundleVersions(newest->versionString, setup_.currentVersion) <= 0) {
        setup_.logger.info("No update found; %{public}s (%{public}s) is the newest version",
                           setup_.currentDisplayVersion, setup_.currentVersion);
        if (!userInitiated_) {
            finishSession();
            return;
        }
        session_ = Session::showing;
        setup_.dialog->showUpToDate(setup_.currentDisplayVersion, inSession([this] { finishSession(); }));
        return;
    }
    if (!userInitiated_ && setup_.defaults && setup_.defaults->string(kSkippedVersionKey) == newest->versionString) {
        setup_.logger.info("Version %{public}s was skipped by the user", newest->displayVersionString);
        finishSession();
        return;
    }
    setup_.logger.notice("Found update %{public}s (%{public}s)", newest->displayVersionString, newest->versionString);
    presentUpdate(*newest);
}

void SparkleUpdaterController::presentUpdate(const AppcastItem& update) {
    const UserUpdateState state{UserUpdateState::Stage::notDownloaded, userInitiated_};
    if (userInitiated_) {
        delegate_.standardUserDriverWillHandleShowingUpdate(true, update, state);
        showUpdateWindow(update);
        delegate_.standardUserDriverDidReceiveUserAttention(update);
        return;
    }
    const bool immediateFocus = setup_.applicationIsActive && setup_.applicationIsActive();
    const bool handle = !delegate_.supportsGentleScheduledUpdateReminders() ||
                        delegate_.standardUserDriverShouldHandleShowingScheduledUpdate(update, immediateFocus);
    delegate_.standardUserDriverWillHandleShowingUpdate(handle, update, state);
    if (handle) {
        showUpdateWindow(update);
        return;
    }
    session_ = Session::waitingForAttention;
    waitingUpdate_ = update;
    refreshCanCheck();
}

void SparkleUpdaterController::showUpdateWindow(const AppcastItem& update) {
    session_ = Session::showing;
    waitingUpdate_.reset();
    refreshCanCheck();
    const auto session = sessionNumber_;
    std::weak_ptr<int> alive = alive_;
    setup_.dialog->showUpdateFound(
        update, setup_.currentDisplayVersion, [this, alive, session, update](UpdateChoice choice) {
            if (!alive.expired() && session == sessionNumber_ && session_ == Session::showing) {
                answer(update, choice);
            }
        });
}

void SparkleUpdaterController::answer(const AppcastItem& update, UpdateChoice choice) {
    switch (choice) {
        case UpdateChoice::install:
            // The virtual Mac keeps the installed bundle; installing is `vmac install`'s job.
            setup_.logger.notice("Installing update %{public}s (%{public}s) is simulated; the bundle stays as it is",
                                 update.displayVersionString, update.versionString);
            setup_.dialog->showInstalled(update, inSession([this] { finishSession(); }));
            return;
        case UpdateChoice::skip:
            if (setup_.defaults) {
                if (auto saved = setup_.defaults->set(kSkippedVersionKey, update.versionString); !saved) {
                    setup_.logger.error("Cannot remember the skipped version: %{public}s", saved.error());
                }
            }
            finishSession();
            return;
        case UpdateChoice::remindLater: finishSession(); return;
    }
}

void SparkleUpdaterController::finishSession() {
    session_ = Session::none;
    waitingUpdate_.reset();
    ++sessionNumber_;
    pendingCheck_.cancel();
    refreshCanCheck();
    delegate_.standardUserDriverWillFinishUpdateSession();
    if (feedChangedMeanwhile_) {
        feedChangedMeanwhile_ = false;
        feedChanged();
    }
}

std::function<void()> SparkleUpdaterController::inSession(std::function<void()> work) {
    const auto session = sessionNumber_;
    std::weak_ptr<int> alive = alive_;
    return [this, alive, session, work = std::move(work)] {
        if (!alive.expired() && session == sessionNumber_ && session_ == Session::showing) {
            work();
        }
    };
}

void SparkleUpdaterController::refreshCanCheck() {
    canCheck_.set(started_ && (session_ == Session::none || session_ == Session::waitingForAttention));
}

Cancellable SparkleUpdaterController::observeCanCheckForUpdates(std::function<void()> handler, bool initial) {
    auto subscription = canCheck_.subscribe([handler](const bool&) { handler(); });
    if (initial) {
        handler();
    }
    return subscription;
}

bool SparkleUpdaterController::automaticallyChecksForUpdates() const {
    if (setup_.defaults) {
        if (const auto stored = setup_.defaults->boolean(kAutomaticChecksKey)) {
            return *stored;
        }
    }
    return setup_.automaticChecksByDefault;
}

void SparkleUpdaterController::setAutomaticallyChecksForUpdates(bool enabled) {
    if (!setup_.defaults) {
        setup_.automaticChecksByDefault = enabled;
        return;
    }
    if (auto saved = setup_.defaults->set(kAutomaticChecksKey, enabled); !saved) {
        setup_.logger.error("Cannot save the automatic-check setting: %{public}s", saved.error());
    }
}

}  // namespace lidora::vmac
