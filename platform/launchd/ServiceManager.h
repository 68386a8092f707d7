#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "core/runtime/Expected.h"
#include "core/runtime/Logger.h"
#include "platform/launchd/JobSupervisor.h"
#include "platform/launchd/ServiceRegistry.h"

namespace lidora::vmac {

// Who sent a request, as the control socket's peer credentials tell.
struct ServiceRequester {
    uid_t uid = 0;
    pid_t pid = 0;
};

// launchd's service manager: apps register the daemons that ship in their
// bundles, and a daemon runs (as its property list says, usually as root)
// only once root approved it. Anyone may ask for a status; an unprivileged
// app may register and unregister only the bundle it runs from.
class ServiceManager {
public:
    using Reply = std::function<void(nlohmann::json)>;

    ServiceManager(JobSupervisor& supervisor, ServiceRegistry registry, Logger logger);

    // sm-status, sm-register, sm-unregister, approve and revoke.
    static bool handles(std::string_view command);
    void handle(const std::string& command, const nlohmann::json& request, ServiceRequester requester, Reply reply);

    // Loads every enabled registration, as at launchd's start.
    void loadEnabled();

private:
    struct Target {
        std::filesystem::path bundle;
        std::filesystem::path plist;
    };

    static Expected<Target, std::string> targetOf(const nlohmann::json& request);
    [[nodiscard]] bool isPrivileged(uid_t uid) const;
    [[nodiscard]] Expected<void, std::string> checkRequester(const Target& target, ServiceRequester requester,
                                                             std::string_view command) const;

    nlohmann::json status(const Target& target) const;
    nlohmann::json registerService(const Target& target);
    void unregister(const Target& target, Reply reply);
    nlohmann::json approve(const std::string& label);
    void revoke(const std::string& label, Reply reply);

    Expected<void, std::string> loadJob(const ServiceRegistration& registration);
    void unloadIfLoaded(const std::string& label, const std::filesystem::path& plist, Reply reply);

    JobSupervisor& supervisor_;
    ServiceRegistry registry_;
    Logger logger_;
};

}  // namespace lidora::vmac
