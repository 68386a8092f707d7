#include "platform/launchd/JobRegistry.h"

#include <nlohmann/json.hpp>

#include "platform/launchd/LaunchJob.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr mode_t kRegistryMode = 0644;

Expected<std::vector<RegisteredJob>, std::string> decode(std::string_view text) {
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object() || !json.contains("jobs") || !json["jobs"].is_array()) {
        return unexpected(std::string("not a list of jobs"));
    }
    std::vector<RegisteredJob> jobs;
    for (const auto& entry : json["jobs"]) {
        if (!entry.is_object() || !entry.contains("label") || !entry["label"].is_string() || !entry.contains("plist") ||
            !entry["plist"].is_string()) {
            return unexpected(std::string("a job lacks its label or property list"));
        }
        RegisteredJob job{entry["label"].get<std::string>(), entry["plist"].get<std::string>()};
        if (auto valid = validateJobName("label", job.label); !valid) {
            return unexpected(valid.error());
        }
        if (!job.plist.is_absolute()) {
            return unexpected("the property list of " + job.label + " is not an absolute path");
        }
        jobs.push_back(std::move(job));
    }
    return jobs;
}

std::string encode(const std::vector<RegisteredJob>& jobs) {
    nlohmann::json list = nlohmann::json::array();
    for (const auto& job : jobs) {
        list.push_back({{"label", job.label}, {"plist", job.plist.string()}});
    }
    return nlohmann::json{{"jobs", list}}.dump(2) + "\n";
}

}  // namespace

JobRegistry::JobRegistry(std::filesystem::path file, Warn warn)
    : records_(std::move(file), decode, encode, kRegistryMode, std::move(warn)) {}

Expected<std::vector<RegisteredJob>, std::string> JobRegistry::jobs() const {
    return records_.read();
}

Expected<void, std::string> JobRegistry::add(const RegisteredJob& job) {
    return records_.update([&](std::vector<RegisteredJob>& jobs) {
        for (auto& existing : jobs) {
            if (existing.label == job.label) {
                if (existing == job) {
                    return false;
                }
                existing = job;
                return true;
            }
        }
        jobs.push_back(job);
        return true;
    });
}

Expected<std::optional<RegisteredJob>, std::string> JobRegistry::remove(std::string_view labelOrPlist) {
    std::optional<RegisteredJob> removed;
    auto updated = records_.update([&](std::vector<RegisteredJob>& jobs) {
        for (auto it = jobs.begin(); it != jobs.end(); ++it) {
            if (it->label == labelOrPlist || it->plist == std::filesystem::path(labelOrPlist)) {
                removed = *it;
                jobs.erase(it);
                return true;
            }
        }
        return false;
    });
    if (!updated) {
        return unexpected(updated.error());
    }
    return removed;
}

}  // namespace lidora::vmac
