// vmac loginitems: the daemons apps registered, and whether each may run.
#include <cstdio>

#include "platform/launchd/LaunchJob.h"
#include "platform/launchd/ServiceRegistry.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac loginitems\n\n"
    "Lists the daemons apps registered with the service manager: the status an\n"
    "app reads (enabled, requiresApproval, notFound when the property list has\n"
    "gone from the bundle), the label and the app's bundle. Works whether or not\n"
    "launchd is running.\n";

const char* statusName(int status) {
    switch (status) {
        case 1: return "enabled";
        case 2: return "requiresApproval";
        case 3: return "notFound";
        default: return "notRegistered";
    }
}

}  // namespace

int runLoginItems(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (!arguments.empty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 64;
    }
    const auto registry = ServiceRegistry::of(
        paths, [](const std::string& warning) { std::fprintf(stderr, "vmac loginitems: %s\n", warning.c_str()); });
    const auto records = registry.read();
    if (!records) {
        std::fprintf(stderr, "vmac loginitems: %s\n", records.error().c_str());
        return 1;
    }
    if (records->registrations.empty()) {
        std::printf("No daemons are registered.\n");
        return 0;
    }
    std::printf("Status\tLabel\tBundle\n");
    for (const auto& registration : records->registrations) {
        const int status = serviceStatus(*records, registration.plist, loadLaunchJob(registration.plist).has_value());
        std::printf("%s\t%s\t%s\n", statusName(status), registration.label.c_str(), registration.bundle.c_str());
    }
    return 0;
}

}  // namespace lidora::vmac
