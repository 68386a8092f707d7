#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/runtime/VirtualRunLoop.h"
#include "platform/sparkle/Appcast.h"
#include "platform/sparkle/SparkleUpdaterController.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/sparkle/SparkleFakes.h"

namespace lidora::testing {
namespace {

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Shown = FakeUpdateDialog::Shown;
using vmac::UpdateChoice;

std::string feedWith(const std::string& build, const std::string& display) {
    return vmac::renderAppcast({"Lidora", {{build, display}, {"13", "1.0.2"}}});
}

class SparkleUpdaterControllerTest : public ::testing::Test {
protected:
    void SetUp() override { feed->text = feedWith("15", "1.0.4"); }

    void start(bool automatic = true, bool starting = true) {
        vmac::UpdaterSetup setup;
        setup.currentVersion = "14";
        setup.currentDisplayVersion = "1.0.3";
        setup.automaticChecksByDefault = automatic;
        setup.checkInterval = 1h;
        setup.feed = std::make_unique<FakeAppcastSource>(feed);
        setup.defaults = defaults;
        setup.dialog = dialog;
        setup.applicationIsActive = [this] { return active; };
        setup.logger = Logger(log, "org.sparkle-project.Sparkle", "updater");
        updater = std::make_unique<vmac::SparkleUpdaterController>(loop, std::move(setup), delegate, starting);
        loop.runUntilIdle();
    }

    VirtualRunLoop loop;
    std::shared_ptr<FakeAppcastSource::State> feed = std::make_shared<FakeAppcastSource::State>();
    std::shared_ptr<MemoryUserDefaults> defaults = std::make_shared<MemoryUserDefaults>();
    std::shared_ptr<FakeUpdateDialog> dialog = std::make_shared<FakeUpdateDialog>();
    std::shared_ptr<RecordingLogSink> log = std::make_shared<RecordingLogSink>();
    FakeUserDriverDelegate delegate;
    bool active = false;
    std::unique_ptr<vmac::SparkleUpdaterController> updater;
};

TEST_F(SparkleUpdaterControllerTest, ScheduledUpdateInBackgroundWaitsForTheUser) {
    start();
    EXPECT_EQ(dialog->shown, Shown::nothing);
    EXPECT_THAT(delegate.calls, ElementsAre("shouldHandle 1.0.4 background", "willHandle left 1.0.4 scheduled"));
    EXPECT_TRUE(updater->canCheckForUpdates());

    // "Update Available…": the user comes for it.
    updater->checkForUpdates();
    EXPECT_EQ(dialog->shown, Shown::update);
    EXPECT_EQ(dialog->item.versionString, "15");
    EXPECT_FALSE(updater->canCheckForUpdates());
    dialog->choose(UpdateChoice::remindLater);
    EXPECT_THAT(delegate.calls, ElementsAre("shouldHandle 1.0.4 background", "willHandle left 1.0.4 scheduled",
                                            "willHandle shown 1.0.4 user", "attention 1.0.4", "finish"));
    EXPECT_TRUE(updater->canCheckForUpdates());
}

TEST_F(SparkleUpdaterControllerTest, ScheduledUpdateInFocusIsShownAtOnce) {
    active = true;
    start();
    EXPECT_EQ(dialog->shown, Shown::update);
    EXPECT_FALSE(updater->canCheckForUpdates());
    dialog->choose(UpdateChoice::install);
    EXPECT_EQ(dialog->shown, Shown::installed);
    dialog->dismiss();
    EXPECT_THAT(delegate.calls, ElementsAre("shouldHandle 1.0.4 focus", "willHandle shown 1.0.4 scheduled", "finish"));
    EXPECT_THAT(log->messages(), ::testing::Contains(HasSubstr("is simulated")));
}

TEST_F(SparkleUpdaterControllerTest, UserCheckShowsTheOutcomeAndBlocksChecksUntilDismissed) {
    struct Case {
        const char* name;
        Expected<std::string, std::string> feedText;
        Shown shown;
        const char* errorPart;
    };
    const Case cases[] = {
        {"no newer version", feedWith("14", "1.0.3"), Shown::upToDate, ""},
        {"older versions only", feedWith("9", "0.9"), Shown::upToDate, ""},
        {"malformed feed", std::string("<rss><channel><item>"), Shown::error, "malformed"},
        {"item without a version", std::string("<rss><channel><item><title>x</title></item></channel></rss>"),
         Shown::error, "no sparkle:version"},
        {"unreadable feed", unexpected(std::string("the update feed does not exist")), Shown::error, "does not exist"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        feed->text = c.feedText;
        start(false);
        std::vector<bool> seen;
        auto observation =
            updater->observeCanCheckForUpdates([&] { seen.push_back(updater->canCheckForUpdates()); }, true);
        updater->checkForUpdates();
        EXPECT_FALSE(updater->canCheckForUpdates());
        updater->checkForUpdates();  // ignored while the first runs
        loop.runUntilIdle();
        EXPECT_EQ(dialog->shown, c.shown);
        EXPECT_THAT(dialog->errorText, HasSubstr(c.errorPart));
        EXPECT_FALSE(updater->canCheckForUpdates());
        dialog->dismiss();
        EXPECT_THAT(seen, ElementsAre(true, false, true));
        EXPECT_EQ(feed->fetches, 1);
        EXPECT_EQ(delegate.calls.back(), "finish");
        feed->fetches = 0;
        dialog->errorText.clear();
    }
}

TEST_F(SparkleUpdaterControllerTest, MalformedFeedInTheBackgroundIsLoggedNotShown) {
    feed->text = std::string("not xml at all");
    start();
    EXPECT_EQ(dialog->windows, 0);
    EXPECT_THAT(log->messages(), ::testing::Contains(HasSubstr("malformed")));
    EXPECT_TRUE(updater->canCheckForUpdates());
}

TEST_F(SparkleUpdaterControllerTest, SkippedVersionIsNotOfferedAgainUntilANewerOne) {
    active = true;
    start();
    dialog->choose(UpdateChoice::skip);
    EXPECT_EQ(defaults->string(vmac::kSkippedVersionKey), "15");

    delegate.calls.clear();
    loop.advance(1h);
    EXPECT_EQ(dialog->shown, Shown::nothing);
    EXPECT_THAT(delegate.calls, ElementsAre("finish"));

    // The user asking still sees it, as with Sparkle.
    updater->checkForUpdates();
    loop.runUntilIdle();
    EXPECT_EQ(dialog->shown, Shown::update);
    dialog->choose(UpdateChoice::remindLater);

    feed->text = feedWith("16", "1.0.5");
    loop.advance(1h);
    EXPECT_EQ(dialog->shown, Shown::update);
    EXPECT_EQ(dialog->item.displayVersionString, "1.0.5");
}

TEST_F(SparkleUpdaterControllerTest, AutomaticChecksFollowTheStoredSetting) {
    start(false);
    EXPECT_FALSE(updater->automaticallyChecksForUpdates());
    loop.advance(3h);
    feed->changed();
    loop.advance(1s);
    EXPECT_EQ(feed->fetches, 0);

    updater->setAutomaticallyChecksForUpdates(true);
    EXPECT_EQ(defaults->boolean(vmac::kAutomaticChecksKey), true);
    EXPECT_TRUE(updater->automaticallyChecksForUpdates());
    loop.advance(1h);
    EXPECT_EQ(feed->fetches, 1);

    // Another process turning it off counts at the next due check.
    defaults->values.insert_or_assign(std::string(vmac::kAutomaticChecksKey), false);
    loop.advance(1h);
    EXPECT_EQ(feed->fetches, 1);
}

TEST_F(SparkleUpdaterControllerTest, NewlyPublishedFeedIsCheckedOnceItSettles) {
    feed->text = feedWith("14", "1.0.3");
    active = true;
    start();
    EXPECT_EQ(feed->fetches, 1);
    feed->text = feedWith("15", "1.0.4");
    feed->changed();
    feed->changed();
    loop.advance(100ms);
    EXPECT_EQ(feed->fetches, 1);
    loop.advance(200ms);
    EXPECT_EQ(feed->fetches, 2);
    EXPECT_EQ(dialog->shown, Shown::update);

    // A change while the window is open is looked at after the session.
    feed->text = feedWith("16", "1.0.5");
    feed->changed();
    loop.advance(1s);
    EXPECT_EQ(feed->fetches, 2);
    dialog->choose(UpdateChoice::remindLater);
    loop.advance(1s);
    EXPECT_EQ(feed->fetches, 3);
    EXPECT_EQ(dialog->item.displayVersionString, "1.0.5");
}

TEST_F(SparkleUpdaterControllerTest, UpdaterNotStartedNeitherChecksNorAllowsChecks) {
    start(true, false);
    EXPECT_FALSE(updater->canCheckForUpdates());
    updater->checkForUpdates();
    loop.advance(2h);
    EXPECT_EQ(feed->fetches, 0);
    updater->startUpdater();
    loop.runUntilIdle();
    EXPECT_TRUE(updater->canCheckForUpdates());
    EXPECT_EQ(feed->fetches, 1);
}

TEST_F(SparkleUpdaterControllerTest, AnswerArrivingAfterTheControllerIsGoneIsIgnored) {
    active = true;
    start();
    auto answer = dialog->answer;
    updater.reset();
    answer(UpdateChoice::skip);
    EXPECT_FALSE(defaults->string(vmac::kSkippedVersionKey));
}

}  // namespace
}  // namespace lidora::testing
