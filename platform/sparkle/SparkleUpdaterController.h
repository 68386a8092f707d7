#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/ports/SparkleUpdater.h"
#include "core/ports/UserDefaults.h"
#include "core/runtime/Logger.h"
#include "core/runtime/Observable.h"
#include "platform/sparkle/AppcastSource.h"
#include "platform/sparkle/UpdateDialog.h"

namespace lidora::vmac {

inline constexpr std::string_view kAutomaticChecksKey = "SUEnableAutomaticChecks";
inline constexpr std::string_view kSkippedVersionKey = "SUSkippedVersion";
inline constexpr std::chrono::seconds kDefaultCheckInterval{86400};

// Everything the updater works with besides the run loop and the delegate.
struct UpdaterSetup {
    std::string currentVersion;         // CFBundleVersion
    std::string currentDisplayVersion;  // CFBundleShortVersionString
    bool automaticChecksByDefault = false;
    std::chrono::seconds checkInterval = kDefaultCheckInterval;
    std::unique_ptr<AppcastSource> feed;  // empty when there is none to use
    std::string feedProblem;              // why, when `feed` is empty
    std::shared_ptr<UserDefaults> defaults;
    std::shared_ptr<UpdateDialog> dialog;
    std::function<bool()> applicationIsActive;
    Logger logger;
};

// The standard updater controller of the virtual Mac: checks a local appcast
// on a schedule and on request, and drives the standard windows and the
// user-driver delegate as Sparkle 2 does. One update session at a time: a
// check, then what it shows, until the user answers.
class SparkleUpdaterController final : public StandardUpdaterController {
public:
    SparkleUpdaterController(RunLoop& loop, UpdaterSetup setup, StandardUserDriverDelegate& delegate,
                             bool startingUpdater);
    SparkleUpdaterController(const SparkleUpdaterController&) = delete;
    SparkleUpdaterController& operator=(const SparkleUpdaterController&) = delete;
    ~SparkleUpdaterController() override;

    // Starts scheduled checks; the first one at once when automatic checks are on.
    void startUpdater();

    void checkForUpdates() override;
    [[nodiscard]] bool canCheckForUpdates() const override { return canCheck_.get(); }
    [[nodiscard]] Cancellable observeCanCheckForUpdates(std::function<void()> handler, bool initial) override;
    [[nodiscard]] bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;

    // A scheduled check now, if automatic checks are on and no session runs.
    void checkForUpdatesInBackground();

private:
    enum class Session { none, checking, showing, waitingForAttention };

    void feedChanged();
    void beginCheck(bool userInitiated);
    void runCheck(std::uint64_t session);
    void presentUpdate(const AppcastItem& update);
    void showUpdateWindow(const AppcastItem& update);
    void answer(const AppcastItem& update, UpdateChoice choice);
    void finishSession();
    void refreshCanCheck();
    // A callback for the dialog that does nothing once this session is over.
    std::function<void()> inSession(std::function<void()> work);

    RunLoop& loop_;
    UpdaterSetup setup_;
    StandardUserDriverDelegate& delegate_;
    bool started_ = false;
    Session session_ = Session::none;
    bool userInitiated_ = false;
    // The feed changed while a session ran: check again after it.
    bool feedChangedMeanwhile_ = false;
    std::uint64_t sessionNumber_ = 0;
    std::optional<AppcastItem> waitingUpdate_;
    Observable<bool> canCheck_{false};
    Cancellable schedule_;
    Cancellable feedWatch_;
    Cancellable feedSettle_;
    Cancellable pendingCheck_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace lidora::vmac
