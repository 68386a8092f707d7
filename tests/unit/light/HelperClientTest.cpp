#include <gtest/gtest.h>

#include "core/light/HelperClient.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/unit/light/FakeHelperConnection.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

using testing::FakeConnection;
using testing::outcome;
using testing::Running;

class HelperClientTest : public ::testing::Test {
protected:
    FakeConnection& connection(std::size_t index = 0) { return *connector.connections.at(index); }

    VirtualRunLoop loop;
    testing::FakeConnector connector;
    HelperClient client{loop, connector, 5s};
};

TEST_F(HelperClientTest, ASilentDaemonFailsAfterExactlyTheLimitAndALateReplyChangesNothing) {
    Running<Expected<LightState, HelperError>> call;
    testing::run(call, client.state());
    ASSERT_EQ(connector.connections.size(), 1U);
    EXPECT_EQ(connector.names[0], "com.zelquin.lidora.helper");
    EXPECT_TRUE(connector.privileged[0]);
    EXPECT_EQ(connection().remoteInterface, XpcInterface{"LogoHelperProtocol"});
    EXPECT_TRUE(connection().resumed);

    loop.advance(5s - 1ns);
    EXPECT_FALSE(call.result);
    EXPECT_FALSE(connection().invalidated);
    loop.advance(1ns);
    ASSERT_TRUE(call.result);
    EXPECT_EQ(outcome(*call.result), "error: The Lidora helper didn't respond.");
    EXPECT_TRUE(connection().invalidated);

    connection().helper().stateReplies.at(0)(1, std::nullopt);
    loop.runUntilIdle();
    EXPECT_EQ(outcome(*call.result), "error: The Lidora helper didn't respond.");
}

TEST_F(HelperClientTest, AConnectionErrorBeforeTheLimitWins) {
    Running<Expected<void, HelperError>> call;
    testing::run(call, client.setLight(LightState::on));
    loop.advance(2s);
    connection().fail(XpcError::Kind::interrupted, "The connection was interrupted.");
    connection().helper().errorReplies.at(0)(std::nullopt);
    loop.runUntilIdle();
    ASSERT_TRUE(call.result);
    EXPECT_EQ(outcome(*call.result), "error: Couldn't reach the Lidora helper: The connection was interrupted.");
    EXPECT_TRUE(connection().invalidated);
    EXPECT_EQ(loop.pendingTimers(), 0U) << "the time limit goes with the call";
}

TEST_F(HelperClientTest, APeerSpeakingAnotherProtocolIsAnUnexpectedInterface) {
    Running<Expected<std::string, HelperError>> mismatch;
    testing::run(mismatch, client.version());
    connection().fail(XpcError::Kind::interfaceMismatch, "ignored");
    loop.runUntilIdle();
    ASSERT_TRUE(mismatch.result);
    EXPECT_EQ(outcome(*mismatch.result), "error: The Lidora helper has an unexpected interface.");

    connector.nextProxy = std::make_shared<testing::ForeignObject>();
    Running<Expected<std::string, HelperError>> foreign;
    testing::run(foreign, client.version());
    loop.runUntilIdle();
    ASSERT_TRUE(foreign.result) << "no waiting for a reply that can't be sent";
    EXPECT_EQ(outcome(*foreign.result), "error: The Lidora helper has an unexpected interface.");
    EXPECT_TRUE(connection(1).invalidated);
}

TEST_F(HelperClientTest, RepliesMapOnlyKnownStatesAndPassTheDaemonsWordsThrough) {
    const std::pair<std::int64_t, std::optional<std::string>> stateReplies[] = {
        {0, std::nullopt}, {1, std::nullopt}, {2, std::nullopt}, {-1, std::nullopt}, {0, "Couldn't read it"}};
    std::vector<Running<Expected<LightState, HelperError>>> states(std::size(stateReplies));
    for (auto& state : states) {
        testing::run(state, client.state());
    }
    Running<Expected<void, HelperError>> on;
    Running<Expected<void, HelperError>> off;
    Running<Expected<std::string, HelperError>> version;
    Running<Expected<void, HelperError>> reset;
    testing::run(on, client.setLight(LightState::on));
    testing::run(off, client.setLight(LightState::off));
    testing::run(version, client.version());
    testing::run(reset, client.resetLogoTables());
    EXPECT_EQ(connection(5).helper().switches, std::vector<bool>{true});
    EXPECT_EQ(connection(6).helper().switches, std::vector<bool>{false});

    for (std::size_t i = 0; i < states.size(); ++i) {
        connection(i).helper().stateReplies.at(0)(stateReplies[i].first, stateReplies[i].second);
    }
    connection(5).helper().errorReplies.at(0)(std::nullopt);
    connection(6).helper().errorReplies.at(0)(" disk full \n");
    connection(7).helper().versionReplies.at(0)(" 2\n");
    connection(8).helper().errorReplies.at(0)("Couldn't reset");
    loop.runUntilIdle();
    std::vector<std::string> outcomes;
    for (const auto& state : states) {
        outcomes.push_back(outcome(state.result.value()));
    }
    const std::string unknown = "error: The helper returned an unknown state.";
    EXPECT_EQ(outcomes, (std::vector<std::string>{"off", "on", unknown, unknown, "error: Couldn't read it"}));
    EXPECT_EQ(outcome(*on.result), "ok");
    EXPECT_EQ(outcome(*off.result), "error:  disk full \n");
    EXPECT_EQ(outcome(*version.result), " 2\n");
    EXPECT_EQ(outcome(*reset.result), "error: Couldn't reset");
}

TEST_F(HelperClientTest, OverlappingCallsEachGetTheirOwnConnectionAndResult) {
    Running<Expected<LightState, HelperError>> first;
    Running<Expected<LightState, HelperError>> second;
    testing::run(first, client.state());
    loop.advance(3s);
    testing::run(second, client.state());
    ASSERT_EQ(connector.connections.size(), 2U);

    connection(1).helper().stateReplies.at(0)(1, std::nullopt);
    loop.runUntilIdle();
    EXPECT_FALSE(first.result);
    EXPECT_EQ(outcome(*second.result), "on");
    EXPECT_FALSE(connection(0).invalidated);
    EXPECT_TRUE(connection(1).invalidated);

    loop.advance(2s);
    EXPECT_EQ(outcome(*first.result), "error: The Lidora helper didn't respond.");
}

}  // namespace
}  // namespace lidora
