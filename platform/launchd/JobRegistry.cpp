#include "launchd/JobRegistry.h"

#include <ctime>
#include <nlohmann/json.hpp>

#include "launchd/LaunchJob.h"
#include "prefs/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr mode_t kRegistryMode = 0644;

std::filesystem::path withSuffix(const std::filesystem::path& file, std::string_view suffix) {
    auto path = file;
    path += std::string(suffix);
    return path;
}

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

Expected<std::vector<RegisteredJob>, std::string> JobRegistry::jobs() const {
    auto contents = readFileIfPresent(file_);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return std::vector<RegisteredJob>();
    }
    auto decoded = decode((*contents)->bytes);
    if (!decoded) {
        if (warn_) {
            warn_(file_.string() + " is damaged (" + decoded.error() + "); no jobs are loaded from it");
        }
        return std::vector<RegisteredJob>();
    }
    return decoded;
}

Expected<void, std::string> JobRegistry::update(const Change& change) {
    if (!makeDirectories(file_.parent_path())) {
        return unexpected(systemError("cannot create", file_.parent_path()));
    }
    auto lock = FileLock::acquire(withSuffix(file_, ".lock"));
    if (!lock) {
        return unexpected(lock.error());
    }
    auto contents = readFileIfPresent(file_);
    if (!contents) {
        return unexpected(contents.error());
    }
    std::vector<RegisteredJob> jobs;
    if (*contents) {
        auto decoded = decode((*contents)->bytes);
        if (decoded) {
            jobs = std::move(decoded).value();
        } else {
            const auto aside = withSuffix(file_, ".corrupt-" + std::to_string(std::time(nullptr)));
            std::error_code error;
            std::filesystem::rename(file_, aside, error);
            if (error) {
                return unexpected(file_.string() + " is damaged and cannot be kept aside: " + error.message());
            }
            if (warn_) {
                warn_(file_.string() + " was damaged (" + decoded.error() + "); kept it as " + aside.string());
            }
        }
    }
    if (!change(jobs)) {
        return {};
    }
    return replaceFileAtomically(file_, withSuffix(file_, ".tmp"), encode(jobs), kRegistryMode);
}

Expected<void, std::string> JobRegistry::add(const RegisteredJob& job) {
    return update([&](std::vector<RegisteredJob>& jobs) {
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
    auto updated = update([&](std::vector<RegisteredJob>& jobs) {
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
