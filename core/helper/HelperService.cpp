#include "core/helper/HelperService.h"

#include "core/text/UnicodeText.h"

namespace lidora {

namespace {

constexpr const char* kDomain = "com.apple.CoreBrightness";
constexpr const char* kBacklightKey = "LEBacklightMode";
constexpr const char* kNitsMapping = "LEPWMBrightnessNitsMapping";
constexpr const char* kLuxMapping = "LEPWMLuxToMinNitsRestrictionMapping";

// A read that could not even start proves nothing about the key; taking it
// for "absent" would report a failed switch or reset as done.
bool couldNotRun(const CommandResult& result) {
    return result.status == kLaunchFailureStatus;
}

}  // namespace

std::int64_t lightState(std::int32_t status, const std::string& output) {
    if (status != 0) {
        return static_cast<std::int64_t>(LightState::on);
    }
    return trimmingWhitespaceAndNewlines(output) == "0" ? static_cast<std::int64_t>(LightState::off)
                                                        : static_cast<std::int64_t>(LightState::on);
}

// Function-local statics: built once, thread-safely, on first use.
const std::vector<std::string>& HelperCommands::readState() {
    static const std::vector<std::string> command{"read", kDomain, kBacklightKey};
    return command;
}

const std::vector<std::string>& HelperCommands::turnOff() {
    static const std::vector<std::string> command{"write", kDomain, kBacklightKey, "-int", "0"};
    return command;
}

const std::vector<std::string>& HelperCommands::turnOn() {
    static const std::vector<std::string> command{"delete", kDomain, kBacklightKey};
    return command;
}

const std::vector<std::vector<std::string>>& HelperCommands::tableDeleteCommands() {
    static const std::vector<std::vector<std::string>> commands{{"delete", kDomain, kNitsMapping},
                                                                {"delete", kDomain, kLuxMapping}};
    return commands;
}

const std::vector<std::vector<std::string>>& HelperCommands::tableReadCommands() {
    static const std::vector<std::vector<std::string>> commands{{"read", kDomain, kNitsMapping},
                                                                {"read", kDomain, kLuxMapping}};
    return commands;
}

const std::vector<std::string>& HelperCommands::restartBrightnessService() {
    static const std::vector<std::string> command{"corebrightnessd"};
    return command;
}

HelperService::HelperService(std::shared_ptr<const CommandRunning> runner,
                             std::shared_ptr<const CommandRunning> killall, Logger log)
    : runner_(std::move(runner)), killall_(std::move(killall)), log_(std::move(log)) {}

void HelperService::getState(StateReply reply) {
    const auto result = runner_->run(HelperCommands::readState());
    const auto state = lightState(result.status, result.output);
    log_.notice("getState exit=%d output=%{public}s -> %ld", result.status, result.output, state);
    reply(state, std::nullopt);
}

void HelperService::setLightOn(bool on, ErrorReply reply) {
    if (on) {
        switchOn(reply);
    } else {
        switchOff(reply);
    }
}

void HelperService::switchOn(const ErrorReply& reply) {
    const auto deleted = runner_->run(HelperCommands::turnOn());
    log_.notice("setLight(on) delete exit=%d output=%{public}s", deleted.status, deleted.output);
    if (deleted.status == 0) {
        reply(std::nullopt);
        return;
    }
    // The key may have been absent already: then the light is on anyway.
    const auto read = runner_->run(HelperCommands::readState());
    if (!couldNotRun(read) && lightState(read.status, read.output) == static_cast<std::int64_t>(LightState::on)) {
        reply(std::nullopt);
        return;
    }
    reply("Couldn't turn the light on: " + trimmingWhitespaceAndNewlines(deleted.output));
}

void HelperService::switchOff(const ErrorReply& reply) {
    const auto written = runner_->run(HelperCommands::turnOff());
    log_.notice("setLight(off) write exit=%d output=%{public}s", written.status, written.output);
    if (written.status == 0) {
        reply(std::nullopt);
        return;
    }
    reply("Couldn't turn the light off: " + trimmingWhitespaceAndNewlines(written.output));
}

void HelperService::version(VersionReply reply) {
    reply(std::string(kHelperVersion));
}

void HelperService::resetLogoTables(ErrorReply reply) {
    const auto& deletes = HelperCommands::tableDeleteCommands();
    const auto& reads = HelperCommands::tableReadCommands();
    for (std::size_t i = 0; i < deletes.size(); ++i) {
        const auto deleted = runner_->run(deletes[i]);
        log_.notice("resetLogoTables %{public}s delete exit=%d output=%{public}s", deletes[i][2], deleted.status,
                    deleted.output);
        if (deleted.status == 0) {
            continue;
        }
        if (const auto read = runner_->run(reads[i]); read.status == 0 || couldNotRun(read)) {
            // The key is still there (or unknown); leave the rest alone.
            reply("Couldn't reset the logo brightness: " + trimmingWhitespaceAndNewlines(deleted.output));
            return;
        }
    }
    const auto restarted = killall_->run(HelperCommands::restartBrightnessService());
    log_.notice("resetLogoTables killall exit=%d output=%{public}s", restarted.status, restarted.output);
    if (restarted.status == 0) {
        reply(std::nullopt);
        return;
    }
    reply(std::string(
        "Reset the logo brightness, but couldn't restart corebrightnessd; it takes effect after a restart."));
}

}  // namespace lidora
