#include "platform/launchd/ServiceManager.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "core/ports/DaemonService.h"
#include "platform/bundle/PlistDocument.h"
#include "platform/launchd/LaunchJob.h"
#include "platform/launchd/ServiceTrust.h"

namespace lidora::vmac {

namespace {

// What the system answers while a registered daemon awaits approval.
constexpr const char* kNotPermitted = "Operation not permitted";

nlohmann::json failure(const std::string& message) {
    return {{"ok", false}, {"error", message}};
}

std::string bundleIdentifierOf(const std::filesystem::path& bundle) {
    std::ifstream in(bundle / "Contents" / "Info.plist");
    std::stringstream text;
    text << in.rdbuf();
    const auto info = parseXmlPlistDocument(text.str());
    if (!info || !info->isDictionary()) {
        return {};
    }
    const auto& dict = *info->asDictionary();
    const auto found = dict.find("CFBundleIdentifier");
    return found != dict.end() && found->second.isString() ? *found->second.asString() : std::string();
}

bool isGone(const std::filesystem::path& plist) {
    std::error_code error;
    return !std::filesystem::exists(plist, error);
}

}  // namespace

ServiceManager::ServiceManager(JobSupervisor& supervisor, ServiceRegistry registry, Logger logger)
    : supervisor_(supervisor), registry_(std::move(registry)), logger_(std::move(logger)) {}

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

Expected<void, std::string> ServiceManager::checkRequester(const Target& target, ServiceRequester requester,
                                                           std::string_view command) const {
    if (isPrivileged(requester.uid)) {
        return {};
    }
    const auto executable = executableOf(requester.pid);
    if (!executable) {
        return unexpected(std::string(command) + ": permission denied; " + executable.error());
    }
    if (!isInside(*executable, target.bundle)) {
        return unexpected(std::string(command) + ": permission denied; " + executable->string() +
                          " does not run from " + target.bundle.string());
    }
    return {};
}

void ServiceManager::handle(const std::string& command, const nlohmann::json& request, ServiceRequester requester,
                            Reply reply) {
    if (command == "approve" || command == "revoke") {
        if (!isPrivileged(requester.uid)) {
            logger_.error("refused %{public}s from uid %u", command, static_cast<unsigned>(requester.uid));
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
        logger_.error("%{public}s", allowed.error());
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
    return {{"ok", true}, {"status", serviceStatus(*records, target.plist, loadLaunchJob(target.plist).has_value())}};
}

nlohmann::json ServiceManager::registerService(const Target& target) {
    const auto job = loadLaunchJob(target.plist);
    if (!job) {
        return failure("cannot register " + target.plist.filename().string() + " of " + target.bundle.string() + ": " +
                       job.error());
    }
    auto records = registry_.read();
    if (!records) {
        return failure(records.error());
    }
    for (const auto& other : records->registrations) {
        if (other.label == job->label && other.plist != target.plist && !isGone(other.plist)) {
            return failure(job->label + " is already registered by " + other.bundle.string());
        }
    }
    ServiceRegistration registration{job->label, target.plist, target.bundle, bundleIdentifierOf(target.bundle),
                                     RegistrationState::requiresApproval};
    const bool approved = records->isApproved(registration.label, registration.bundleIdentifier);
    if (approved) {
        registration.state = RegistrationState::enabled;
        if (auto loaded = loadJob(registration); !loaded) {
            return failure("cannot load " + registration.label + ": " + loaded.error());
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
        logger_.notice("%{public}s of %{public}s registered; awaiting approval", registration.label,
                       target.bundle.string());
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
    std::vector<ServiceRegistration> approved;
    auto updated = registry_.update([&](ServiceRecords& records) {
        for (auto& registration : records.registrations) {
            if (registration.label != label) {
                continue;
            }
            if (!records.isApproved(label, registration.bundleIdentifier)) {
                records.approvals.push_back({label, registration.bundleIdentifier});
            }
            registration.state = RegistrationState::enabled;
            approved.push_back(registration);
        }
        return !approved.empty();
    });
    if (!updated) {
        return failure("cannot update the registrations: " + updated.error());
    }
    if (approved.empty()) {
        return failure("no app has registered " + label + "; there is nothing to approve");
    }
    nlohmann::json bundles = nlohmann::json::array();
    for (const auto& registration : approved) {
        logger_.notice("%{public}s of %{public}s approved", label, registration.bundle.string());
        bundles.push_back(registration.bundle.string());
        if (auto loaded = loadJob(registration); !loaded) {
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

Expected<void, std::string> ServiceManager::loadJob(const ServiceRegistration& registration) {
    const auto job = loadLaunchJob(registration.plist);
    if (!job) {
        return unexpected(job.error());
    }
    for (const auto& file : {job->plist, job->program}) {
        if (auto trusted = checkOnlyAdministratorsCanChange(file); !trusted) {
            return unexpected(trusted.error());
        }
    }
    auto loaded = supervisor_.load(registration.plist, false);
    if (!loaded) {
        return unexpected(loaded.error());
    }
    return {};
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
    for (const auto& registration : records->registrations) {
        if (registration.state != RegistrationState::enabled) {
            continue;
        }
        if (auto loaded = loadJob(registration); !loaded) {
            logger_.error("cannot load %{public}s: %{public}s", registration.label, loaded.error());
        }
    }
}

}  // namespace lidora::vmac
