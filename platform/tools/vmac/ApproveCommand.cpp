// vmac approve: System Settings › General › Login Items & Extensions, where
// an administrator allows a registered background item to run.
#include <unistd.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "platform/launchd/LaunchJob.h"
#include "platform/launchd/LaunchdClient.h"
#include "platform/launchd/ServiceRegistry.h"
#include "platform/launchd/ServiceTrust.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac approve LABEL\n"
    "       vmac approve --revoke LABEL\n\n"
    "Allows the daemon LABEL, registered by an app, to run (as root when its\n"
    "property list says so), as switching it on under Login Items & Extensions\n"
    "does. The approval names the daemon's program by its code signature and\n"
    "holds until revoked, even across unregistering and registering again by\n"
    "an updated app signed alike. --revoke takes it back and stops the\n"
    "daemon. Only root may approve or revoke. When launchd is not running, the\n"
    "change is recorded and takes effect at the next boot.\n";

using Programs = std::vector<std::pair<std::filesystem::path, CodeSignature>>;

// The signatures of the programs registered as `label`, checked as launchd checks them.
Expected<Programs, std::string> programsOf(const VmacPaths& paths, const std::string& label) {
    const auto records = ServiceRegistry::of(paths).read();
    if (!records) {
        return unexpected(records.error());
    }
    const auto signatures = SignatureStore::forRoot(paths);
    Programs programs;
    for (const auto& registration : records->registrations) {
        if (registration.label != label) {
            continue;
        }
        const auto refused = "cannot approve " + label + " of " + registration.bundle.string() + ": ";
        const auto job = loadTrustedLaunchJob(registration.plist);
        if (!job) {
            return unexpected(refused + job.error());
        }
        auto program = programSignature(*job, signatures);
        if (!program) {
            return unexpected(refused + program.error());
        }
        programs.emplace_back(registration.plist, std::move(program).value());
    }
    return programs;
}

// launchd is down: change the records it will read when it starts.
int changeOffline(const VmacPaths& paths, const std::string& label, bool revoke) {
    Programs programs;
    if (!revoke) {
        auto found = programsOf(paths, label);
        if (!found) {
            std::fprintf(stderr, "vmac approve: %s\n", found.error().c_str());
            return 1;
        }
        programs = std::move(found).value();
    }
    bool found = false;
    auto updated = ServiceRegistry::of(paths).update([&](ServiceRecords& records) {
        if (revoke) {
            found = std::erase_if(records.approvals, [&](const auto& a) { return a.label == label; }) > 0;
        }
        for (auto& registration : records.registrations) {
            if (registration.label != label) {
                continue;
            }
            if (revoke) {
                found = true;
                registration.state = RegistrationState::requiresApproval;
                continue;
            }
            for (const auto& [plist, program] : programs) {
                if (plist != registration.plist) {
                    continue;
                }
                found = true;
                if (!records.isApproved(label, program)) {
                    records.approvals.push_back({label, program});
                }
                registration.state = RegistrationState::enabled;
            }
        }
        return found;
    });
    if (!updated) {
        std::fprintf(stderr, "vmac approve: %s\n", updated.error().c_str());
        return 1;
    }
    if (!found) {
        std::fprintf(stderr, "vmac approve: %s\n",
                     (revoke ? label + " is not approved" : "no app has registered " + label).c_str());
        return 1;
    }
    std::printf("launchd is not running; %s is %s from its next boot\n", label.c_str(),
                revoke ? "no longer approved" : "approved");
    return 0;
}

}  // namespace

int runApprove(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::printf("%s", kUsage);
        return 0;
    }
    const bool revoke = arguments.size() == 2 && arguments[0] == "--revoke";
    if (arguments.size() != (revoke ? 2U : 1U) || arguments.back().starts_with("-")) {
        std::fprintf(stderr, "%s", kUsage);
        return 64;
    }
    const auto& label = arguments.back();
    if (auto valid = validateJobName("label", label); !valid) {
        std::fprintf(stderr, "vmac approve: %s\n", valid.error().c_str());
        return 64;
    }
    const auto reply = requestLaunchd(paths, {{"command", revoke ? "revoke" : "approve"}, {"label", label}});
    if (reply) {
        if (revoke) {
            std::printf("%s is no longer approved\n", label.c_str());
        } else {
            for (const auto& bundle : reply->value("bundles", nlohmann::json::array())) {
                std::printf("approved %s of %s\n", label.c_str(), bundle.get<std::string>().c_str());
            }
        }
        return 0;
    }
    if (!reply.error().notRunning) {
        std::fprintf(stderr, "vmac approve: %s\n", reply.error().message.c_str());
        return 1;
    }
    if (::geteuid() != 0) {
        std::fprintf(stderr, "vmac approve: only root may approve or revoke background items\n");
        return 1;
    }
    return changeOffline(paths, label, revoke);
}

}  // namespace lidora::vmac
