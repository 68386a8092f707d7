#pragma once

#include <functional>
#include <string>

#include "core/helper/LogoHelperProtocol.h"
#include "core/light/LightService.h"
#include "core/ports/RunLoop.h"
#include "core/ports/XpcConnection.h"
#include "core/runtime/Clock.h"

namespace lidora {

// Talks to the root daemon over a fresh privileged connection per call, so a
// restarted daemon or a stale connection never outlives one request. Each
// call fails after `timeout` rather than waiting on a daemon that hangs.
class HelperClient final : public LightService {
public:
    HelperClient(RunLoop& loop, XpcConnector& connector, Duration timeout);

    Task<Expected<LightState, HelperError>> state() override;
    Task<Expected<void, HelperError>> setLight(LightState target) override;
    Task<Expected<std::string, HelperError>> version() override;
    Task<Expected<void, HelperError>> resetLogoTables() override;

private:
    template <typename T>
    using Reply = std::function<void(Expected<T, HelperError>)>;
    template <typename T>
    using Request = std::function<void(LogoHelperProtocol&, Reply<T>)>;

    template <typename T>
    Task<Expected<T, HelperError>> call(Request<T> request);

    RunLoop& loop_;
    XpcConnector& connector_;
    const Duration timeout_;
};

}  // namespace lidora
