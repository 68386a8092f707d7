#pragma once

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/helper/LogoHelperProtocol.h"
#include "core/light/LightService.h"
#include "core/ports/XpcConnection.h"
#include "tests/support/StartedTask.h"

namespace lidora::testing {

// The daemon's end of one connection: holds each reply until the test answers.
class FakeHelper final : public LogoHelperProtocol {
public:
    void getState(StateReply reply) override { stateReplies.push_back(std::move(reply)); }
    void setLightOn(bool on, ErrorReply reply) override {
        switches.push_back(on);
        errorReplies.push_back(std::move(reply));
    }
    void version(VersionReply reply) override { versionReplies.push_back(std::move(reply)); }
    void resetLogoTables(ErrorReply reply) override { errorReplies.push_back(std::move(reply)); }

    std::vector<StateReply> stateReplies;
    std::vector<ErrorReply> errorReplies;
    std::vector<VersionReply> versionReplies;
    std::vector<bool> switches;
};

// A proxy for a peer that speaks some other protocol.
class ForeignObject final : public XpcObject {};

class FakeConnection final : public XpcConnection {
public:
    explicit FakeConnection(std::shared_ptr<XpcObject> proxy) : proxy(std::move(proxy)) {}

    void setRemoteObjectInterface(XpcInterface interface) override { remoteInterface = std::move(interface); }
    void setExportedInterface(XpcInterface) override {}
    void setExportedObject(std::shared_ptr<XpcObject>) override {}
    void setCodeSigningRequirement(std::string) override {}
    void setInvalidationHandler(std::function<void()>) override {}
    void resume() override { resumed = true; }
    void invalidate() override { invalidated = true; }
    std::shared_ptr<XpcObject> remoteObjectProxy(std::function<void(const XpcError&)> handler) override {
        errorHandler = std::move(handler);
        return proxy;
    }
    [[nodiscard]] int processIdentifier() const override { return 1; }

    FakeHelper& helper() { return dynamic_cast<FakeHelper&>(*proxy); }
    void fail(XpcError::Kind kind, std::string description) { errorHandler(XpcError{kind, std::move(description)}); }

    std::shared_ptr<XpcObject> proxy;
    std::optional<XpcInterface> remoteInterface;
    std::function<void(const XpcError&)> errorHandler;
    bool resumed = false;
    bool invalidated = false;
};

// Hands out a new connection to a new daemon end for every request.
class FakeConnector final : public XpcConnector {
public:
    std::shared_ptr<XpcConnection> connectToMachService(const std::string& name,
                                                        XpcConnectionOptions options) override {
        names.push_back(name);
        privileged.push_back(options == XpcConnectionOptions::privileged);
        auto proxy = nextProxy ? std::exchange(nextProxy, nullptr) : std::make_shared<FakeHelper>();
        connections.push_back(std::make_shared<FakeConnection>(std::move(proxy)));
        return connections.back();
    }

    std::shared_ptr<XpcObject> nextProxy;
    std::vector<std::string> names;
    std::vector<bool> privileged;
    std::vector<std::shared_ptr<FakeConnection>> connections;
};

// "on"/"off"/"ok"/the text, or "error: <message>": one string to compare.
template <typename T>
std::string outcome(const Expected<T, HelperError>& result) {
    if (!result) {
        return "error: " + result.error().message;
    }
    if constexpr (std::is_void_v<T>) {
        return "ok";
    } else if constexpr (std::is_same_v<T, LightState>) {
        return *result == LightState::on ? "on" : "off";
    } else {
        return *result;
    }
}

template <typename T>
Task<void> store(Task<T> task, std::optional<T>& into) {
    into.emplace(co_await std::move(task));
}

// Starts a task and keeps its result for the test to read once it is done.
template <typename T>
struct Running {
    std::optional<T> result;
    std::optional<StartedTask> task;
};

template <typename T>
void run(Running<T>& running, Task<T> task) {
    running.task.emplace(start(store(std::move(task), running.result)));
}

}  // namespace lidora::testing
