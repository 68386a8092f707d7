#include "core/light/HelperClient.h"

#include <memory>
#include <utility>

#include "core/runtime/Completion.h"

namespace lidora {

namespace {

constexpr const char* kUnexpectedInterface = "The Lidora helper has an unexpected interface.";

HelperError describe(const XpcError& error) {
    if (error.kind == XpcError::Kind::interfaceMismatch) {
        return {kUnexpectedInterface};
    }
    return {"Couldn't reach the Lidora helper: " + error.localizedDescription};
}

// Success and failure replies share one shape: an absent error text is success.
Expected<void, HelperError> fromErrorText(std::optional<std::string> error) {
    if (error) {
        return unexpected(HelperError{std::move(*error)});
    }
    return {};
}

}  // namespace

HelperClient::HelperClient(RunLoop& loop, XpcConnector& connector, Duration timeout)
    : loop_(loop), connector_(connector), timeout_(timeout) {}

template <typename T>
Task<Expected<T, HelperError>> HelperClient::call(Request<T> request) {
    using Result = Expected<T, HelperError>;
    auto connection =
        connector_.connectToMachService(std::string(kHelperMachService), XpcConnectionOptions::privileged);
    connection->setRemoteObjectInterface(XpcInterface::of<LogoHelperProtocol>());
    connection->resume();

    const Completion<Result> slot(loop_);
    // Replies and errors arrive on the connection's queue; the slot lives on the loop.
    const Reply<T> resolveOnLoop = [&loop = loop_, slot](Result result) {
        loop.post([slot, result = std::move(result)]() mutable { slot.resolve(std::move(result)); });
    };

    const auto proxy = connection->remoteObjectProxy(
        [resolveOnLoop](const XpcError& error) { resolveOnLoop(unexpected(describe(error))); });
    const auto helper = std::dynamic_pointer_cast<LogoHelperProtocol>(proxy);
    Cancellable timeLimit;
    if (helper) {
        request(*helper, resolveOnLoop);
        // resume() doesn't wait for the peer to be authenticated; messages
        // queue until it is, so this limit covers that wait too.
        timeLimit = loop_.scheduleAfter(
            timeout_, [slot] { slot.resolve(unexpected(HelperError{"The Lidora helper didn't respond."})); });
    } else {
        slot.resolve(unexpected(HelperError{kUnexpectedInterface}));
    }

    Result result = co_await slot;
    timeLimit.cancel();
    connection->invalidate();
    co_return result;
}

Task<Expected<LightState, HelperError>> HelperClient::state() {
    return call<LightState>([](LogoHelperProtocol& helper, Reply<LightState> reply) {
        helper.getState([reply = std::move(reply)](std::int64_t raw, std::optional<std::string> error) {
            // An error text wins over whatever number came with it.
            if (error) {
                reply(unexpected(HelperError{std::move(*error)}));
            } else if (const auto state = lightStateFromWire(raw)) {
                reply(*state);
            } else {
                reply(unexpected(HelperError{"The helper returned an unknown state."}));
            }
        });
    });
}

Task<Expected<void, HelperError>> HelperClient::setLight(LightState target) {
    return call<void>([target](LogoHelperProtocol& helper, Reply<void> reply) {
        helper.setLightOn(target == LightState::on, [reply = std::move(reply)](std::optional<std::string> error) {
            reply(fromErrorText(std::move(error)));
        });
    });
}

Task<Expected<std::string, HelperError>> HelperClient::version() {
    return call<std::string>([](LogoHelperProtocol& helper, Reply<std::string> reply) {
        helper.version([reply = std::move(reply)](std::string text) { reply(std::move(text)); });
    });
}

Task<Expected<void, HelperError>> HelperClient::resetLogoTables() {
    return call<void>([](LogoHelperProtocol& helper, Reply<void> reply) {
        helper.resetLogoTables(
            [reply = std::move(reply)](std::optional<std::string> error) { reply(fromErrorText(std::move(error))); });
    });
}

}  // namespace lidora
