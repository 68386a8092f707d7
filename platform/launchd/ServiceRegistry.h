#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/codesign/CodeSignature.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

enum class RegistrationState { requiresApproval, enabled };

std::string_view registrationStateName(RegistrationState state);

// A launch daemon an app registered from its own bundle.
struct ServiceRegistration {
    std::string label;
    std::filesystem::path plist;
    std::filesystem::path bundle;
    std::string bundleIdentifier;
    RegistrationState state = RegistrationState::requiresApproval;
    friend bool operator==(const ServiceRegistration&, const ServiceRegistration&) = default;
};

// The administrator's yes for a daemon program, known by the code signature
// of the program file its property list names, kept until revoked so that an
// updated app, signed alike, may register it again. Approvals recorded by
// earlier versions carry no signature and match nothing.
struct ServiceApproval {
    std::string label;
    CodeSignature program;
    friend bool operator==(const ServiceApproval&, const ServiceApproval&) = default;
};

struct ServiceRecords {
    std::vector<ServiceRegistration> registrations;
    std::vector<ServiceApproval> approvals;

    [[nodiscard]] const ServiceRegistration* findByPlist(const std::filesystem::path& plist) const;
    // Ad-hoc signatures, naming no team, are never approved.
    [[nodiscard]] bool isApproved(std::string_view label, const CodeSignature& program) const;
};

// The service manager's raw status for the daemon whose property list is
// `plist`: not found when the list can't be loaded, whatever was recorded.
int serviceStatus(const ServiceRecords& records, const std::filesystem::path& plist, bool plistLoads);

// Property-list names come from clients; they must not reach out of the
// bundle's LaunchDaemons folder.
bool isPlainFileName(std::string_view name);

// <bundle>/Contents/Library/LaunchDaemons/<plistName>
std::filesystem::path daemonPlistPath(const std::filesystem::path& bundle, std::string_view plistName);

// The registrations and approvals, as var/db/launchd/servicemanagement.json:
// readable by everyone so that status works without launchd, changed only
// under the file's lock and by atomic replacement. A damaged file reads as
// empty and is kept aside before anything is written over it.
class ServiceRegistry {
public:
    using Warn = std::function<void(const std::string&)>;
    using Change = std::function<bool(ServiceRecords&)>;

    explicit ServiceRegistry(std::filesystem::path file, Warn warn = {});
    static ServiceRegistry of(const VmacPaths& paths, Warn warn = {}) {
        return ServiceRegistry(paths.root() / "var" / "db" / "launchd" / "servicemanagement.json", std::move(warn));
    }

    [[nodiscard]] const std::filesystem::path& file() const { return records_.file(); }

    [[nodiscard]] Expected<ServiceRecords, std::string> read() const { return records_.read(); }
    // Writes only when `change` returns true.
    Expected<void, std::string> update(const Change& change) { return records_.update(change); }

private:
    RecordFile<ServiceRecords> records_;
};

// The status a client of `bundle` sees, from the registry alone.
int readServiceStatus(const ServiceRegistry& registry, const std::filesystem::path& bundle, std::string_view plistName);

}  // namespace lidora::vmac
