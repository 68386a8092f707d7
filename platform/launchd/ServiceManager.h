#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "core/runtime/LogThrottle.h"
#include "core/runtime/Logger.h"
#include "platform/codesign/SignatureStore.h"
#include "platform/launchd/JobSupervisor.h"
#include "platform/launchd/RequesterCheck.h"
#include "platform/launchd/ServiceRegistry.h"

namespace lidora::vmac {

// launchd's service manager: apps register the daemons that ship in their
// bundles, and a daemon runs (as its property list says, usually as root)
// only once root approved its program, known by its code signature. Anyone
// may ask for a status; an unprivileged app may register and unregister only
// the bundle whose main executable is signed as the app itself is.
class ServiceManager {
public:
    using Reply = std::function<void(nlohmann::json)>;

    // `verifier` proves who an unprivileged requester is; by default
    // signedProcessVerifier over `signatures`.
    ServiceManager(JobSupervisor& supervisor, ServiceRegistry registry, SignatureStore signatures, Logger logger,
                   RequesterVerifier verifier = {});
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;

    // sm-status, sm-register, sm-unregister, approve and revoke.
    static bool handles(std::string_view command);
    void handle(const std::string& command, const nlohmann::json& request, const ServiceRequester& requester,
                Reply reply);

    // Loads every enabled registration whose approval still names its
    // program, as at launchd's start; the others await approval again.
    void loadEnabled();

private:
    struct Target {
        std::filesystem::path bundle;
        std::filesystem::path plist;
    };
    struct Daemon {
        LaunchJob job;
        CodeSignature program;
    };

    static Expected<Target, std::string> targetOf(const nlohmann::json& request);
    [[nodiscard]] bool isPrivileged(uid_t uid) const;
    [[nodiscard]] Expected<void, std::string> checkRequester(const Target& target, const ServiceRequester& requester,
                                                             std::string_view command) const;
    [[nodiscard]] Expected<Daemon, std::string> openDaemon(const std::filesystem::path& plist) const;

    nlohmann::json status(const Target& target) const;
    nlohmann::json registerService(const Target& target);
    void unregister(const Target& target, Reply reply);
    nlohmann::json approve(const std::string& label);
    void revoke(const std::string& label, Reply reply);

    void unloadIfLoaded(const std::string& label, const std::filesystem::path& plist, Reply reply);

    JobSupervisor& supervisor_;
    ServiceRegistry registry_;
    std::shared_ptr<const SignatureStore> signatures_;
    Logger logger_;
    LogThrottle refusals_{kRefusalLinesPerWindow, kRefusalWindow};
    RequesterVerifier verifier_;
};

}  // namespace lidora::vmac
