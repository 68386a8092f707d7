#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/helper/ListenerDelegate.h"
#include "core/runtime/VirtualRunLoop.h"
#include "tests/support/RecordingLogSink.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

class FakeConnection final : public XpcConnection {
public:
    void setRemoteObjectInterface(XpcInterface) override {}
    void setExportedInterface(XpcInterface interface) override { exported = interface; }
    void setExportedObject(std::shared_ptr<XpcObject> object) override { exportedObject = std::move(object); }
    void setCodeSigningRequirement(std::string text) override { requirement = std::move(text); }
    void setInvalidationHandler(std::function<void()> handler) override { onInvalidate = std::move(handler); }
    void resume() override { resumed = true; }
    void invalidate() override {
        if (onInvalidate) {
            onInvalidate();
        }
    }
    std::shared_ptr<XpcObject> remoteObjectProxy(std::function<void(const XpcError&)>) override { return {}; }
    int processIdentifier() const override { return 4242; }

    XpcInterface exported;
    std::shared_ptr<XpcObject> exportedObject;
    std::string requirement;
    std::function<void()> onInvalidate;
    bool resumed = false;
};

class NoListener final : public XpcListener {
public:
    void setDelegate(std::shared_ptr<XpcListenerDelegate>) override {}
    void resume() override {}
};

TEST(ListenerDelegate, ConfiguresCountsAndAcceptsEveryConnection) {
    VirtualRunLoop queue;
    bool idle = false;
    auto tracker = ConnectionTracker::make(queue, 10s, [&] { idle = true; });
    auto sink = std::make_shared<testing::RecordingLogSink>();
    const Logger log(sink, "com.zelquin.lidora", "helper");
    auto service = std::make_shared<HelperService>(nullptr, nullptr, log);
    ListenerDelegate delegate("K7QX4N2M9T", service, tracker, log);
    NoListener listener;
    auto connection = std::make_shared<FakeConnection>();

    EXPECT_TRUE(delegate.shouldAcceptNewConnection(listener, connection));
    EXPECT_EQ(connection->requirement,
              "(identifier \"com.zelquin.lidora\" or identifier \"com.zelquin.lidora.control\") and anchor apple "
              "generic and certificate leaf[subject.OU] = \"K7QX4N2M9T\"");
    EXPECT_EQ(connection->exported.protocolName, "LogoHelperProtocol");
    EXPECT_EQ(connection->exportedObject, service);
    EXPECT_TRUE(connection->resumed);
    EXPECT_THAT(sink->messages(), ::testing::ElementsAre("Accepted connection from pid 4242"));
    queue.runUntilIdle();
    EXPECT_EQ(tracker->openCount(), 1);

    // The framework refusing the peer invalidates it: the count comes back down.
    connection->invalidate();
    queue.advance(10s);
    EXPECT_EQ(tracker->openCount(), 0);
    EXPECT_TRUE(idle);
}

TEST(ListenerDelegate, TeamIdentifierMustBeANonEmptyString) {
    EXPECT_EQ(teamIdentifier({{"LSTeamID", PreferenceValue("K7QX4N2M9T")}}), "K7QX4N2M9T");
    EXPECT_EQ(teamIdentifier({}), std::nullopt);
    EXPECT_EQ(teamIdentifier({{"LSTeamID", PreferenceValue("")}}), std::nullopt);
    EXPECT_EQ(teamIdentifier({{"LSTeamID", PreferenceValue(7)}}), std::nullopt);
}

}  // namespace
}  // namespace lidora
