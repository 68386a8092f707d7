#pragma once

#include <chrono>

#include "core/light/HelperClient.h"

namespace lidora::control {

inline constexpr Duration kHelperCallTimeout = std::chrono::seconds(5);

// The extension's client of the root daemon: the app's very client, with
// only the two calls a control makes. It never asks for the daemon's
// version and never resets the logo tables.
class HelperClient final : public LightSwitch {
public:
    HelperClient(RunLoop& loop, XpcConnector& connector, Duration timeout = kHelperCallTimeout)
        : shared_(loop, connector, timeout) {}

    Task<Expected<LightState, HelperError>> state() override { return shared_.state(); }
    Task<Expected<void, HelperError>> setLight(LightState target) override { return shared_.setLight(target); }

private:
    lidora::HelperClient shared_;
};

}  // namespace lidora::control
