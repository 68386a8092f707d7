#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/light/HelperClient.h"
#include "core/light/InstallLocation.h"
#include "core/light/LightController.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"
#include "tests/unit/light/FakeHelperConnection.h"
#include "tests/unit/light/LightFakes.h"

using namespace std::chrono_literals;
using ::testing::ElementsAre;

namespace lidora {

void PrintTo(const Phase& phase, std::ostream* out) {
    *out << phase.text();
}

namespace {

using testing::failure;
using testing::FakeEnvironment;
using testing::FakeLight;
using testing::FakeRegistration;
using testing::Trace;

class LightControllerTest : public ::testing::Test {
protected:
    LightController& make(std::optional<std::string> installProblem = std::nullopt,
                          HardwareSupport hardware = HardwareSupport::supported, LightService* service = nullptr) {
        controller.emplace(
            hardware, "Mac17,10", std::move(installProblem), service ? *service : light, registration,
            [this] { ++lightChanges; }, Logger(sink, "com.zelquin.lidora", "app"), loop, environment);
        return *controller;
    }

    // Each record as "<level>: <message>".
    [[nodiscard]] Trace logged() const {
        Trace out;
        for (const auto& record : sink->records) {
            out.push_back(std::string(logLevelName(record.level)) + ": " + record.message);
        }
        return out;
    }

    void runToEnd(Task<void> task) {
        auto running = testing::start(std::move(task));
        loop.runUntilIdle();
        ASSERT_TRUE(running.done());
    }

    VirtualRunLoop loop;
    Trace trace;
    FakeLight light{loop, trace};
    FakeRegistration registration{trace};
    FakeEnvironment environment;
    std::shared_ptr<testing::RecordingLogSink> sink = std::make_shared<testing::RecordingLogSink>();
    int lightChanges = 0;
    std::optional<LightController> controller;
};

const char* const kWaiting = "Default: Helper registered; waiting for the user's approval in System Settings";
const char* const kMissing = "Lidora's helper is missing. Please reinstall the app.";

TEST_F(LightControllerTest, FirstLaunchRegistersThenWaitsForApproval) {
    registration.current = HelperStatus::notRegistered;
    registration.statusAfterRegister = HelperStatus::requiresApproval;
    registration.registerError = PlatformError{"Operation not permitted"};
    auto& c = make();

    runToEnd(c.registerHelper());
    EXPECT_THAT(logged(), ElementsAre(kWaiting));
    EXPECT_EQ(c.phase(), Phase::loading());

    sink->records.clear();
    trace.clear();
    registration.current = HelperStatus::notRegistered;
    runToEnd(c.start());
    EXPECT_THAT(trace, ElementsAre("register")) << "no daemon call before approval";
    EXPECT_THAT(logged(), ElementsAre(kWaiting, "Default: Phase loading -> needsApproval"));

    runToEnd(c.approveHelper());
    EXPECT_THAT(trace, ElementsAre("register", "settings")) << "already registered: only the settings open";
}

TEST_F(LightControllerTest, StartWaitsForTheRegistrationBeforeAskingTheDaemon) {
    registration.current = HelperStatus::notRegistered;
    registration.statusAfterRegister = HelperStatus::enabled;
    registration.registerGate.emplace(loop);
    light.versions.scripted.push_back(std::string("2"));
    light.states.scripted.push_back(LightState::on);
    auto& c = make();
    auto running = testing::start(c.start());
    loop.runUntilIdle();
    EXPECT_THAT(trace, ElementsAre("register"));
    EXPECT_EQ(c.phase(), Phase::loading());

    registration.registerGate->resolve(true);
    loop.runUntilIdle();
    EXPECT_TRUE(running.done());
    EXPECT_THAT(trace, ElementsAre("register", "version", "state"));
    EXPECT_EQ(c.phase(), Phase::ready(LightState::on));
}

TEST_F(LightControllerTest, AMissingPropertyListAsksForAReinstall) {
    registration.current = HelperStatus::notFound;
    registration.registerError = PlatformError{"Invalid argument"};
    auto& c = make();
    runToEnd(c.start());
    EXPECT_EQ(c.phase(), Phase::failed(kMissing, std::nullopt)) << "refresh keeps it";
    EXPECT_THAT(trace, ElementsAre("register"));
    EXPECT_THAT(logged(), ElementsAre("Error: Helper registration failed: Invalid argument",
                                      std::string("Default: Phase loading -> failed(") + kMissing + ", last: none)"));

    runToEnd(c.approveHelper());
    EXPECT_THAT(trace, ElementsAre("register", "register", "settings"));
}

TEST_F(LightControllerTest, AnOutdatedHelperIsReplacedBeforeTheStateRead) {
    light.versions.scripted.push_back(std::string("1"));
    light.states.scripted.push_back(LightState::on);
    auto& c = make();
    runToEnd(c.start());
    EXPECT_THAT(trace, ElementsAre("version", "unregister", "register", "state"));
    EXPECT_THAT(logged(),
                ElementsAre("Default: Helper version 1 != 2; re-registering",
                            "Default: Helper registered; status enabled", "Default: Phase loading -> ready(on)"));
}

TEST_F(LightControllerTest, ACurrentHelperIsLeftAloneAndAFailedUnregisterDoesNotStopAReinstall) {
    light.versions.scripted.push_back(std::string("2"));
    light.states.scripted.push_back(LightState::off);
    auto& c = make();
    runToEnd(c.start());
    EXPECT_THAT(trace, ElementsAre("version", "state"));

    trace.clear();
    sink->records.clear();
    registration.unregisterError = PlatformError{"Operation not permitted"};
    light.states.scripted.push_back(LightState::on);
    runToEnd(c.reinstallHelper());
    EXPECT_THAT(trace, ElementsAre("unregister", "register", "state"));
    EXPECT_THAT(logged(),
                ElementsAre("Error: Unregister failed: Operation not permitted",
                            "Default: Helper registered; status enabled", "Default: Phase ready(off) -> ready(on)"));
}

TEST_F(LightControllerTest, AVersionQueryThatTimesOutSkipsReRegistration) {
    testing::FakeConnector connector;
    HelperClient client(loop, connector, 5s);
    auto& c = make(std::nullopt, HardwareSupport::supported, &client);
    auto running = testing::start(c.start());
    loop.runUntilIdle();
    ASSERT_EQ(connector.connections.size(), 1U);
    ASSERT_EQ(connector.connections[0]->helper().versionReplies.size(), 1U);

    loop.advance(5s);
    ASSERT_EQ(connector.connections.size(), 2U) << "the state read follows the time-out";
    connector.connections[1]->helper().stateReplies.at(0)(0, std::nullopt);
    loop.runUntilIdle();
    EXPECT_TRUE(running.done());
    EXPECT_EQ(c.phase(), Phase::ready(LightState::off));
    EXPECT_TRUE(trace.empty()) << "neither unregistered nor registered";
    EXPECT_TRUE(connector.connections[0]->invalidated);
}

TEST_F(LightControllerTest, RefreshFollowsTheRegistrationStatus) {
    struct Case {
        Phase before;
        HelperStatus status;
        std::optional<Expected<LightState, HelperError>> read;
        Phase after;
    };
    const std::vector<Case> cases{
        {Phase::loading(), HelperStatus::enabled, LightState::on, Phase::ready(LightState::on)},
        {Phase::ready(LightState::on), HelperStatus::enabled, unexpected(failure("gone")),
         Phase::failed("gone", LightState::on)},
        {Phase::needsApproval(), HelperStatus::enabled, unexpected(failure("gone")),
         Phase::failed("gone", std::nullopt)},
        {Phase::ready(LightState::on), HelperStatus::requiresApproval, std::nullopt, Phase::needsApproval()},
        {Phase::loading(), HelperStatus::notFound, std::nullopt, Phase::needsApproval()},
        {Phase::failed("old", std::nullopt), HelperStatus::notRegistered, std::nullopt, Phase::needsApproval()},
    };
    for (const auto& test : cases) {
        trace.clear();
        registration.current = test.status;
        if (test.read) {
            light.states.scripted.push_back(*test.read);
        }
        auto& c = make();
        c.setPhase(test.before);
        runToEnd(c.refresh());
        EXPECT_EQ(c.phase(), test.after) << test.before.text() << " " << helperStatusName(test.status);
        EXPECT_EQ(trace.size(), test.read ? 1U : 0U) << "the daemon is asked only once enabled";
    }
}

TEST_F(LightControllerTest, AnInstallProblemStopsEverythingBeforeTheHelper) {
    EXPECT_EQ(installProblemFor("/private/var/folders/x/AppTranslocation/ABC/d/Lidora.app"),
              "Move Lidora to your Applications folder, then open it from there.");
    EXPECT_TRUE(installProblemFor("/Volumes/Lidora/Lidora.app"));
    EXPECT_FALSE(installProblemFor("/Applications/Lidora.app"));
    EXPECT_FALSE(installProblemFor("/Users/me/Volumes/Lidora.app"));

    registration.current = HelperStatus::notRegistered;
    auto& c = make("Move it.");
    runToEnd(c.start());
    EXPECT_EQ(c.phase(), Phase::failed("Move it.", std::nullopt));
    runToEnd(c.refresh());
    std::optional<bool> reset;
    auto resetting = testing::start(testing::store(c.resetLogoBrightness(), reset));
    EXPECT_EQ(reset, false);
    EXPECT_TRUE(trace.empty()) << "no registration, no daemon call";
    EXPECT_EQ(c.blockingMessage(), "Move it.");
}

TEST_F(LightControllerTest, BlockingMessagesComeInOrder) {
    registration.current = HelperStatus::requiresApproval;
    EXPECT_EQ(make("Move it.", HardwareSupport::unsupported).blockingMessage(),
              "This Mac doesn't have an illuminated logo.");
    EXPECT_EQ(make(std::nullopt, HardwareSupport::unknown).blockingMessage(),
              "Lidora needs its helper approved first.");
    registration.current = HelperStatus::enabled;
    EXPECT_EQ(make(std::nullopt, HardwareSupport::unknown).blockingMessage(), std::nullopt);
}

TEST_F(LightControllerTest, ASecondSwitchWhileOneIsInFlightReturnsAtOnce) {
    auto& c = make();
    Trace busy;
    auto subscription = c.subscribeBusy([&](bool b) { busy.push_back(b ? "busy" : "idle"); });
    auto first = testing::start(c.setLight(LightState::on));
    EXPECT_TRUE(c.isBusy()) << "set before the first suspension";
    auto second = testing::start(c.setLight(LightState::off));
    EXPECT_TRUE(second.done());
    EXPECT_THAT(trace, ElementsAre("setLight(on)"));

    light.states.scripted.push_back(LightState::on);
    light.switches.held.at(0).resolve(Expected<void, HelperError>{});
    loop.runUntilIdle();
    EXPECT_TRUE(first.done());
    EXPECT_EQ(c.phase(), Phase::ready(LightState::on));
    EXPECT_EQ(lightChanges, 1);
    EXPECT_THAT(busy, ElementsAre("busy", "idle"));

    registration.current = HelperStatus::requiresApproval;
    runToEnd(c.setLight(LightState::off));
    EXPECT_THAT(trace, ElementsAre("setLight(on)", "state")) << "no switch without an enabled helper";
}

TEST_F(LightControllerTest, FailedSwitchesKeepTheBestKnownState) {
    auto& c = make();
    c.setPhase(Phase::ready(LightState::off));

    // Switched, but the read-back failed: the light is most likely as asked.
    light.switches.scripted.push_back(Expected<void, HelperError>{});
    light.states.scripted.push_back(unexpected(failure("The Lidora helper didn't respond.")));
    runToEnd(c.setLight(LightState::on));
    EXPECT_EQ(c.phase(), Phase::failed("The Lidora helper didn't respond.", LightState::on));
    EXPECT_EQ(lightChanges, 1);

    c.setPhase(Phase::ready(LightState::off));
    light.switches.scripted.push_back(unexpected(failure("Couldn't turn the light on: disk full")));
    runToEnd(c.setLight(LightState::on));
    EXPECT_EQ(c.phase(), Phase::failed("Couldn't turn the light on: disk full", LightState::off));
    EXPECT_EQ(lightChanges, 1);
    EXPECT_FALSE(c.isBusy());
    EXPECT_THAT(trace, ElementsAre("setLight(on)", "state", "setLight(on)"));
}

TEST_F(LightControllerTest, PhaseChangesAreLoggedAndToldOnce) {
    auto& c = make();
    int told = 0;
    auto subscription = c.subscribePhase([&](const Phase&) { ++told; });
    c.setPhase(Phase::failed("gone", LightState::on));
    c.setPhase(Phase::failed("gone", LightState::on));
    c.setPhase(Phase::failed("gone", std::nullopt));
    EXPECT_EQ(told, 2) << "losing the last known state is a change";
    EXPECT_EQ(logged().size(), 2U);
}

TEST_F(LightControllerTest, WaitUntilIdleSleepsOnlyWhileASwitchIsInFlight) {
    auto& c = make();
    auto idle = testing::start(c.waitUntilIdle(5s));
    EXPECT_TRUE(idle.done());
    EXPECT_EQ(loop.pendingTimers(), 0U);

    auto stuck = testing::start(c.setLight(LightState::on));
    auto waiting = testing::start(c.waitUntilIdle(5s));
    loop.advance(5s - 1ms);
    EXPECT_FALSE(waiting.done());
    loop.advance(1ms);
    EXPECT_TRUE(waiting.done());
    EXPECT_TRUE(c.isBusy());
}

TEST_F(LightControllerTest, ResettingTheBrightnessReportsWithoutTouchingThePhase) {
    auto& c = make();
    light.resets.scripted.push_back(Expected<void, HelperError>{});
    light.resets.scripted.push_back(unexpected(failure("Couldn't reset")));
    std::optional<bool> first;
    std::optional<bool> second;
    auto a = testing::start(testing::store(c.resetLogoBrightness(), first));
    auto b = testing::start(testing::store(c.resetLogoBrightness(), second));
    EXPECT_EQ(first, true);
    EXPECT_EQ(second, false);
    EXPECT_THAT(logged(), ElementsAre("Default: Logo brightness tables reset",
                                      "Error: Logo brightness reset failed: Couldn't reset"));
    EXPECT_EQ(c.phase(), Phase::loading());

    registration.current = HelperStatus::requiresApproval;
    auto d = testing::start(testing::store(c.resetLogoBrightness(), first));
    EXPECT_EQ(first, false);
    EXPECT_THAT(trace, ElementsAre("reset", "reset")) << "no daemon call without an enabled helper";
}

TEST_F(LightControllerTest, DiagnosticsMarkWhatIsNotKnown) {
    environment.info = {{"CFBundleShortVersionString", PreferenceValue("1.0.3")},
                        {"CFBundleVersion", PreferenceValue(14)}};
    const std::string text = make().diagnostics();
    EXPECT_NE(text.find("\nApp version: 1.0.3 (?)\n"), std::string::npos) << "a number is not a version text";
    EXPECT_NE(text.find("\nLight: unknown\nPhase: loading"), std::string::npos);
    EXPECT_NE(text.back(), '\n');
}

}  // namespace
}  // namespace lidora
