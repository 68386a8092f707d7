#include "platform/launchd/ServiceManager.h"

#include <unistd.h>

#include <algorithm>

#include "core/ports/DaemonService.h"
#include "platform/launchd/LaunchJob.h"
#include "platform/launchd/ServiceTrust.h"

namespace lidora::vmac {

namespace {

// What the system answers while a registered daemon awaits approval.
constexpr const char* kNotPermitted = "Operation not permitted";

nlohmann::json failure(const std::string& message) {
    return {{"ok", false}, {"error", message}};
}

std::string describe(const CodeSignature& signature) {
    return signature.identifier + " (team " + (signature.teamID.empty() ? "none" : signature.teamID) + ")";
}

bool isGone(const std::filesystem::path& plist) {
    std::error_code error;
    return !std::filesystem::exists(plist, error);
}

}  // namespace

ServiceManager::ServiceManager(JobSupervisor& supervisor, ServiceRegistry registry, SignatureStore signatures,
                               Logger logger, RequesterVerifier verifier)
    : supervisor_(supervisor),
      registry_(std::move(registry)),
      signatures_(std::make_shared<const SignatureStore>(std::move(signatures))),
      logger_(std::move(logger)),
      verifier_(verifier ? std::move(verifier) : signedProcessVerifier(signatures_)) {}

bool ServiceManager::handles(std::string_view command) {
    return command == "sm-status" || command == "sm-register" || command == "sm-unregister" || command == "approve" ||
           command == "revoke";
}

bool ServiceManager::isPrivileged(uid_t uid) const {
    return uid == 0 || uid == ::geteuid();
}

Expected<ServiceManager::Target, std::string> ServiceManager::targetOf(const nlohmann::json& request) {
    const auto bundle = request.value("bundle", nlohmann::json());
    const auto name = request.value("plistName", nlohmann::json());
    if (!bundle.is_string() || !name.is_string()) {
        return unexpected(std::string("the request needs \"bundle\" and \"plistName\""));
    }
    const std::filesystem::path bundlePath(bundle.get<std::string>());
    if (!bundlePath.is_absolute()) {
        return unexpected("the bundle path " + bundlePath.string() + " is not absolute");
    }
    const auto plistName = name.get<std::string>();
    if (!isPlainFileName(plistName)) {
        return unexpected("\"" + plistName + "\" is not the name of a property list in the bundle");
    }
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(bundlePath, error);
    if (error) {
        canonical = bundlePath.lexically_normal();
    }
    return Target{canonical, daemonPlistPath(canonical, plistName)};
}

Expected<void, std::string> ServiceManager::checkRequester(const Target& target, const ServiceRequester& requester,
                                                           std::string_view command) const {
    if (isPrivileged(requester.peer.uid)) {
        return {};
    }
    const auto denied = std::string(command) + ": permission denied; ";
    const auto signature = verifier_(requester.socket, requester.peer);
    if (!signature) {
        return unexpected(denied + signature.error());
    }
    if (signature->isAdHoc()) {
        return unexpected(denied + "the requester is signed ad hoc, by no team");
    }
    const auto bundle = bundleSignature(target.bundle, *signatures_);
    if (!bundle) {
        return unexpected(denied + bundle.error());
    }
    if (*bundle != *signature) {
        return unexpected(denied + "the requester is signed as " + describe(*signature) + ", " +
                          target.bundle.string() + " as " + describe(*bundle));
    }
    return {};
}

Expected<ServiceManager::Daemon, std::string> ServiceManager::openDaemon(const std::filesystem::path& plist) const {
    auto job = loadTrustedLaunchJob(plist);
    if (!job) {
        return unexpected(job.error());
    }
    auto program = programSignature(*job, *signatures_);
    if (!program) {
        return unexpected(program.error());
    }
    return Daemon{std::move(job).value(), std::move(program).value()};
}

void ServiceManager::handle(const std::string& command, const nlohmann::json& request,
                            const ServiceRequester& requester, Reply reply) {
    if (command == "approve" || command == "revoke") {
        if (!isPrivileged(requester.peer.uid)) {
            logThrottled(refusals_, logger_, [&] {
                logger_.error("refused %{public}s from uid %u", command, static_cast<unsigned>(requester.peer.uid));
            });
            reply(failure(command + ": permission denied; only root may " + command + " background items"));
            return;
        }
        const auto label = request.value("label", nlohmann::json());
        if (!label.is_string() || !validateJobName("label", label.get<std::string>())) {
            reply(failure(command + " needs a valid \"label\""));
            return;
        }
        if (command == "approve") {
            reply(approve(label.get<std::string>()));
        } else {
            revoke(label.get<std::string>(), std::move(reply));
        }
        return;
    }
    const auto target = targetOf(request);
    if (!target) {
        reply(failure(target.error()));
        return;
    }
    if (command == "sm-status") {
        reply(status(*target));
        return;
    }
    if (auto allowed = checkRequester(*target, requester, command); !allowed) {
        logThrottled(refusals_, logger_, [&] { logger_.error("%{public}s", allowed.error()); });
        reply(failure(allowed.error()));
        return;
    }
    if (command == "sm-register") {
        reply(registerService(*target));
    } else {
        unregister(*target, std::move(reply));
    }
}

nlohmann::json ServiceManager::status(const Target& target) const {
    const auto records = registry_.read();
    if (!records) {
        return failure(records.error());
    }
    const bool loads = loadTrustedLaunchJob(target.plist, Ownership::anyone).has_value();
    return {{"ok", true}, {"status", serviceStatus(*records, target.plist, loads)}};
}

nlohmann::json ServiceManager::registerService(const Target& target) {
    auto daemon = openDaemon(target.plist);
    if (!daemon) {
        return failure("cannot register " + target.plist.filename().string() + " of " + target.bundle.string() + ": " +
                       daemon.error());
    }
    auto records = registry_.read();
    if (!records) {
        return failure(records.error());
    }
    const auto& label = daemon->job.label;
    for (const auto& other : records->registrations) {
        if (other.label == label && other.plist != target.plist && !isGone(other.plist)) {
            return failure(label + " is already registered by " + other.bundle.string());
        }
    }
    // Shown to people only; what counts is the program's signature.
    const auto bundle = bundleSignature(target.bundle, *signatures_);
    ServiceRegistration registration{label, target.plist, target.bundle, bundle ? bundle->identifier : std::string(),
                                     RegistrationState::requiresApproval};
    const bool approved = records->isApproved(label, daemon->program);
    if (approved) {
        registration.state = RegistrationState::enabled;
        if (auto loaded = supervisor_.load(std::move(daemon->job), false); !loaded) {
            return failure("cannot load " + label + ": " + loaded.error());
        }
    }
    auto recorded = registry_.update([&](ServiceRecords& current) {
        std::erase_if(current.registrations,
                      [&](const ServiceRegistration& r) { return r.label == registration.label; });
        current.registrations.push_back(registration);
        return true;
    });
    if (!recorded) {
        if (approved) {
            supervisor_.unload(registration.label, [](const auto&) {});
        }
        return failure("cannot record the registration of " + registration.label + ": " + recorded.error());
    }
    if (!approved) {
        logger_.notice("%{public}s of %{public}s registered; its program %{public}s awaits approval",
                       registration.label, target.bundle.string(), describe(daemon->program));
        return {{"ok", false}, {"error", kNotPermitted}, {"status", DaemonService::requiresApproval}};
    }
    logger_.notice("%{public}s of %{public}s registered and enabled", registration.label, target.bundle.string());
    return {{"ok", true}, {"status", DaemonService::enabled}};
}

void ServiceManager::unregister(const Target& target, Reply reply) {
    std::optional<ServiceRegistration> removed;
    auto updated = registry_.update([&](ServiceRecords& records) {
        const auto found = std::find_if(records.registrations.begin(), records.registrations.end(),
                                        [&](const ServiceRegistration& r) { return r.plist == target.plist; });
        if (found == records.registrations.end()) {
            return false;
        }
        removed = *found;
        records.registrations.erase(found);
        return true;
    });
    if (!updated) {
        reply(failure("cannot update the registrations: " + updated.error()));
        return;
    }
    if (!removed) {
        reply(failure(target.plist.filename().string() + " of " + target.bundle.string() + " is not registered"));
        return;
    }
    logger_.notice("%{public}s of %{public}s unregistered", removed->label, target.bundle.string());
    unloadIfLoaded(removed->label, removed->plist, std::move(reply));
}

nlohmann::json ServiceManager::approve(const std::string& label) {
    const auto records = registry_.read();
    if (!records) {
        return failure("cannot read the registrations: " + records.error());
    }
    // The approval names the program as it is now, checked before anything is recorded.
    std::vector<std::pair<ServiceRegistration, Daemon>> daemons;
    for (const auto& registration : records->registrations) {
        if (registration.label != label) {
            continue;
        }
        auto daemon = openDaemon(registration.plist);
        if (!daemon) {
            return failure("cannot approve " + label + " of " + registration.bundle.string() + ": " + daemon.error());
        }
        daemons.emplace_back(registration, std::move(daemon).value());
    }
    if (daemons.empty()) {
        return failure("no app has registered " + label + "; there is nothing to approve");
    }
    auto updated = registry_.update([&](ServiceRecords& current) {
        for (const auto& [registration, daemon] : daemons) {
            if (!current.isApproved(label, daemon.program)) {
                current.approvals.push_back({label, daemon.program});
            }
            for (auto& r : current.registrations) {
                if (r.label == label && r.plist == registration.plist) {
                    r.state = RegistrationState::enabled;
                }
            }
        }
        return true;
    });
    if (!updated) {
        return failure("cannot update the registrations: " + updated.error());
    }
    nlohmann::json bundles = nlohmann::json::array();
    for (auto& [registration, daemon] : daemons) {
        logger_.notice("%{public}s of %{public}s approved for %{public}s", label, registration.bundle.string(),
                       describe(daemon.program));
        bundles.push_back(registration.bundle.string());
        if (auto loaded = supervisor_.load(std::move(daemon.job), false); !loaded) {
            return failure("approved " + label + ", but it cannot be loaded: " + loaded.error());
        }
    }
    return {{"ok", true}, {"label", label}, {"bundles", bundles}};
}

void ServiceManager::revoke(const std::string& label, Reply reply) {
    std::optional<ServiceRegistration> registered;
    bool changed = false;
    auto updated = registry_.update([&](ServiceRecords& records) {
        changed = std::erase_if(records.approvals, [&](const ServiceApproval& a) { return a.label == label; }) > 0;
        for (auto& registration : records.registrations) {
            if (registration.label == label) {
                changed = changed || registration.state == RegistrationState::enabled;
                registration.state = RegistrationState::requiresApproval;
                registered = registration;
            }
        }
        return changed;
    });
    if (!updated) {
        reply(failure("cannot update the registrations: " + updated.error()));
        return;
    }
    if (!changed) {
        reply(failure(label + " is not approved"));
        return;
    }
    logger_.notice("approval of %{public}s revoked", label);
    if (!registered) {
        reply({{"ok", true}, {"label", label}});
        return;
    }
    unloadIfLoaded(label, registered->plist, std::move(reply));
}

void ServiceManager::unloadIfLoaded(const std::string& label, const std::filesystem::path& plist, Reply reply) {
    const auto jobs = supervisor_.list();
    const bool loaded = std::any_of(jobs.begin(), jobs.end(), [&](const JobSupervisor::Entry& entry) {
        return entry.label == label && entry.plist == plist;
    });
    if (!loaded) {
        reply({{"ok", true}, {"label", label}});
        return;
    }
    supervisor_.unload(label, [reply = std::move(reply), label](const Expected<std::string, std::string>& unloaded) {
        reply(unloaded ? nlohmann::json{{"ok", true}, {"label", label}} : failure(unloaded.error()));
    });
}

void ServiceManager::loadEnabled() {
    const auto records = registry_.read();
    if (!records) {
        logger_.error("cannot read the registrations: %{public}s", records.error());
        return;
    }
    std::vector<std::filesystem::path> unapproved;
    for (const auto& registration : records->registrations) {
        if (registration.state != RegistrationState::enabled) {
            continue;
        }
        auto daemon = openDaemon(registration.plist);
        if (!daemon) {
            logger_.error("cannot load %{public}s: %{public}s", registration.label, daemon.error());
            continue;
        }
        if (!records->isApproved(registration.label, daemon->program)) {
            // Also what becomes of approvals recorded before they named a signature.
            logger_.error(
                "%{public}s of %{public}s is enabled, but no approval names its program %{public}s; "
                "it awaits approval again",
                registration.label, registration.bundle.string(), describe(daemon->program));
            unapproved.push_back(registration.plist);
            continue;
        }
        if (auto loaded = supervisor_.load(std::move(daemon->job), false); !loaded) {
            logger_.error("cannot load %{public}s: %{public}s", registration.label, loaded.error());
        }
    }
    if (unapproved.empty()) {
        return;
    }
    auto updated = registry_.update([&](ServiceRecords& current) {
        for (auto& r : current.registrations) {
            if (std::find(unapproved.begin(), unapproved.end(), r.plist) != unapproved.end()) {
                r.state = RegistrationState::requiresApproval;
            }
        }
        return true;
    });
    if (!updated) {
        logger_.error("cannot update the registrations: %{public}s", updated.error());
    }
}

}  // namespace lidora::vmac
