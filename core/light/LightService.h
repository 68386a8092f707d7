#pragma once

#include <string>

#include "core/helper/LightState.h"
#include "core/runtime/Expected.h"
#include "core/runtime/Task.h"

namespace lidora {

// A failure talking to the root daemon, worded for the user.
struct HelperError {
    std::string message;
    friend bool operator==(const HelperError&, const HelperError&) = default;
};

// Reading and switching the light: all the Control Center extension asks
// of the root daemon.
class LightSwitch {
public:
    virtual ~LightSwitch() = default;
    virtual Task<Expected<LightState, HelperError>> state() = 0;
    virtual Task<Expected<void, HelperError>> setLight(LightState target) = 0;
};

// What the app asks of the root daemon.
class LightService : public LightSwitch {
public:
    virtual Task<Expected<std::string, HelperError>> version() = 0;
    virtual Task<Expected<void, HelperError>> resetLogoTables() = 0;
};

}  // namespace lidora
