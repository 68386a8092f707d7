// vmac launchctl: load, unload and list the jobs of the virtual Mac's launchd.
#include <cstdio>
#include <filesystem>

#include "platform/launchd/JobRegistry.h"
#include "platform/launchd/LaunchJob.h"
#include "platform/launchd/LaunchdClient.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac launchctl load PLIST\n"
    "       vmac launchctl unload PLIST|LABEL\n"
    "       vmac launchctl list\n\n"
    "load hands a job's property list to launchd, which binds its Mach services\n"
    "at once and keeps the job across boots; when launchd is not running, the\n"
    "job is only recorded for the next boot. unload stops the job and forgets\n"
    "it. list shows each job's pid (- when not running), last exit status and\n"
    "label. Only root may load and unload.\n";

std::string absolutePlist(const std::string& argument) {
    return std::filesystem::absolute(argument).lexically_normal().string();
}

// A path names a property list; anything else is a label.
std::string jobKey(const std::string& argument) {
    const bool path =
        argument.find('/') != std::string::npos || std::filesystem::path(argument).extension() == ".plist";
    return path ? absolutePlist(argument) : argument;
}

int load(const VmacPaths& paths, const std::string& argument) {
    const auto plist = absolutePlist(argument);
    const auto reply = requestLaunchd(paths, {{"command", "load"}, {"plist", plist}});
    if (reply) {
        return 0;
    }
    if (!reply.error().notRunning) {
        std::fprintf(stderr, "vmac launchctl load: %s\n", reply.error().message.c_str());
        return 1;
    }
    auto job = loadLaunchJob(plist);
    if (!job) {
        std::fprintf(stderr, "vmac launchctl load: %s\n", job.error().c_str());
        return 1;
    }
    if (auto added = JobRegistry::of(paths).add({job->label, job->plist}); !added) {
        std::fprintf(stderr, "vmac launchctl load: %s\n", added.error().c_str());
        return 1;
    }
    std::printf("launchd is not running; %s will be loaded when it starts (vmac boot)\n", job->label.c_str());
    return 0;
}

int unload(const VmacPaths& paths, const std::string& argument) {
    const auto key = jobKey(argument);
    const auto reply = requestLaunchd(paths, {{"command", "unload"}, {"job", key}});
    if (reply) {
        return 0;
    }
    if (!reply.error().notRunning) {
        std::fprintf(stderr, "vmac launchctl unload: %s\n", reply.error().message.c_str());
        return 1;
    }
    auto removed = JobRegistry::of(paths).remove(key);
    if (!removed) {
        std::fprintf(stderr, "vmac launchctl unload: %s\n", removed.error().c_str());
        return 1;
    }
    if (!*removed) {
        std::fprintf(stderr, "vmac launchctl unload: launchd is not running and no job %s is recorded\n", key.c_str());
        return 1;
    }
    std::printf("launchd is not running; %s will no longer be loaded when it starts\n", (*removed)->label.c_str());
    return 0;
}

int list(const VmacPaths& paths) {
    const auto reply = requestLaunchd(paths, {{"command", "list"}});
    if (!reply) {
        std::fprintf(stderr, "vmac launchctl list: %s\n", reply.error().message.c_str());
        return 1;
    }
    std::printf("PID\tStatus\tLabel\n");
    for (const auto& job : reply->value("jobs", nlohmann::json::array())) {
        const auto pid = job.value("pid", nlohmann::json());
        const auto status = job.value("status", nlohmann::json());
        std::printf("%s\t%s\t%s\n", pid.is_number_integer() ? std::to_string(pid.get<long>()).c_str() : "-",
                    status.is_number_integer() ? std::to_string(status.get<int>()).c_str() : "0",
                    job.value("label", std::string()).c_str());
    }
    return 0;
}

}  // namespace

int runLaunchctl(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::printf("%s", kUsage);
        return 0;
    }
    const std::string subcommand = arguments.empty() ? std::string() : arguments.front();
    if (subcommand == "list" && arguments.size() == 1) {
        return list(paths);
    }
    if (subcommand == "load" && arguments.size() == 2) {
        return load(paths, arguments[1]);
    }
    if (subcommand == "unload" && arguments.size() == 2) {
        return unload(paths, arguments[1]);
    }
    std::fprintf(stderr, "%s", kUsage);
    return 64;
}

}  // namespace lidora::vmac
