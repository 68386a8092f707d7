#include "platform/launchd/ServiceRegistry.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "core/ports/DaemonService.h"
#include "platform/launchd/LaunchJob.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr mode_t kRegistryMode = 0644;

std::optional<RegistrationState> stateFromName(std::string_view name) {
    if (name == "enabled") {
        return RegistrationState::enabled;
    }
    if (name == "requiresApproval") {
        return RegistrationState::requiresApproval;
    }
    return std::nullopt;
}

bool hasStrings(const nlohmann::json& entry, std::initializer_list<const char*> keys) {
    return entry.is_object() && std::all_of(keys.begin(), keys.end(), [&](const char* key) {
               return entry.contains(key) && entry[key].is_string();
           });
}

Expected<ServiceRecords, std::string> decode(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.value("registrations", nlohmann::json()).is_array() ||
        !json.value("approvals", nlohmann::json()).is_array()) {
        return unexpected(std::string("not a list of registrations and approvals"));
    }
    ServiceRecords records;
    for (const auto& entry : json["registrations"]) {
        if (!hasStrings(entry, {"label", "plist", "bundle", "bundleIdentifier", "state"})) {
            return unexpected(std::string("a registration lacks one of its fields"));
        }
        const auto state = stateFromName(entry["state"].get<std::string>());
        ServiceRegistration registration{
            entry["label"].get<std::string>(), entry["plist"].get<std::string>(), entry["bundle"].get<std::string>(),
            entry["bundleIdentifier"].get<std::string>(), state.value_or(RegistrationState::requiresApproval)};
        if (!state) {
            return unexpected("the registration of " + registration.label + " has an unknown state");
        }
        if (auto valid = validateJobName("label", registration.label); !valid) {
            return unexpected(valid.error());
        }
        if (!registration.plist.is_absolute() || !registration.bundle.is_absolute()) {
            return unexpected("the registration of " + registration.label + " has a relative path");
        }
        records.registrations.push_back(std::move(registration));
    }
    for (const auto& entry : json["approvals"]) {
        if (!hasStrings(entry, {"label"})) {
            return unexpected(std::string("an approval lacks its label"));
        }
        ServiceApproval approval{entry["label"].get<std::string>(), {}};
        // One written before approvals named a signature is kept, matching nothing.
        if (hasStrings(entry, {"identifier", "team"})) {
            approval.program = {entry["identifier"].get<std::string>(), entry["team"].get<std::string>()};
        }
        records.approvals.push_back(std::move(approval));
    }
    return records;
}

std::string encode(const ServiceRecords& records) {
    nlohmann::json registrations = nlohmann::json::array();
    for (const auto& r : records.registrations) {
        registrations.push_back({{"label", r.label},
                                 {"plist", r.plist.string()},
                                 {"bundle", r.bundle.string()},
                                 {"bundleIdentifier", r.bundleIdentifier},
                                 {"state", registrationStateName(r.state)}});
    }
    nlohmann::json approvals = nlohmann::json::array();
    for (const auto& a : records.approvals) {
        approvals.push_back({{"label", a.label}, {"identifier", a.program.identifier}, {"team", a.program.teamID}});
    }
    return nlohmann::json{{"registrations", registrations}, {"approvals", approvals}}.dump(2) + "\n";
}

}  // namespace

std::string_view registrationStateName(RegistrationState state) {
    return state == RegistrationState::enabled ? "enabled" : "requiresApproval";
}

const ServiceRegistration* ServiceRecords::findByPlist(const std::filesystem::path& plist) const {
    const auto found = std::find_if(registrations.begin(), registrations.end(),
                                    [&](const ServiceRegistration& r) { return r.plist == plist; });
    return found == registrations.end() ? nullptr : &*found;
}

bool ServiceRecords::isApproved(std::string_view label, const CodeSignature& program) const {
    if (program.isAdHoc() || program.identifier.empty()) {
        return false;
    }
    return std::any_of(approvals.begin(), approvals.end(),
                       [&](const ServiceApproval& a) { return a.label == label && a.program == program; });
}

int serviceStatus(const ServiceRecords& records, const std::filesystem::path& plist, bool plistLoads) {
    if (!plistLoads) {
        return DaemonService::notFound;
    }
    const auto* registration = records.findByPlist(plist);
    if (registration == nullptr) {
        return DaemonService::notRegistered;
    }
    return registration->state == RegistrationState::enabled ? DaemonService::enabled : DaemonService::requiresApproval;
}

bool isPlainFileName(std::string_view name) {
    return !name.empty() && name.size() <= 255 && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::filesystem::path daemonPlistPath(const std::filesystem::path& bundle, std::string_view plistName) {
    return bundle / "Contents" / "Library" / "LaunchDaemons" / std::string(plistName);
}

ServiceRegistry::ServiceRegistry(std::filesystem::path file, Warn warn)
    : records_(std::move(file), decode, encode, kRegistryMode, std::move(warn)) {}

int readServiceStatus(const ServiceRegistry& registry, const std::filesystem::path& bundle,
                      std::string_view plistName) {
    if (!isPlainFileName(plistName) || !bundle.is_absolute()) {
        return DaemonService::notFound;
    }
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(bundle, error);
    const auto plist = daemonPlistPath(error ? bundle : canonical, plistName);
    const auto records = registry.read();
    return serviceStatus(records ? *records : ServiceRecords{}, plist, loadLaunchJob(plist).has_value());
}

}  // namespace lidora::vmac
