#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/helper/LightState.h"
#include "core/helper/LogoHelperProtocol.h"
#include "core/ports/CommandRunning.h"
#include "core/runtime/Logger.h"

namespace lidora {

// The daemon's answer to a state read: a failed read, or any text but a
// lone 0, means the light is on.
std::int64_t lightState(std::int32_t status, const std::string& output);

// The fixed command lines; nothing a client sends ever reaches one.
struct HelperCommands {
    static const std::vector<std::string>& readState();
    static const std::vector<std::string>& turnOff();
    static const std::vector<std::string>& turnOn();
    static const std::vector<std::vector<std::string>>& tableDeleteCommands();
    static const std::vector<std::vector<std::string>>& tableReadCommands();
    static const std::vector<std::string>& restartBrightnessService();
};

// The object every accepted connection exports. Stateless: requests from
// several connections may run at once.
class HelperService final : public LogoHelperProtocol {
public:
    HelperService(std::shared_ptr<const CommandRunning> runner, std::shared_ptr<const CommandRunning> killall,
                  Logger log);

    void getState(StateReply reply) override;
    void setLightOn(bool on, ErrorReply reply) override;
    void version(VersionReply reply) override;
    void resetLogoTables(ErrorReply reply) override;

private:
    void switchOn(const ErrorReply& reply);
    void switchOff(const ErrorReply& reply);

    const std::shared_ptr<const CommandRunning> runner_;
    const std::shared_ptr<const CommandRunning> killall_;
    const Logger log_;
};

}  // namespace lidora
