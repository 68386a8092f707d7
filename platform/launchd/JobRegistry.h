#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/runtime/Expected.h"
#include "platform/prefs/RecordFile.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

struct RegisteredJob {
    std::string label;
    std::filesystem::path plist;
    friend bool operator==(const RegisteredJob&, const RegisteredJob&) = default;
};

// The jobs launchd loads when it starts, as var/db/launchd/jobs.json. Both
// launchd and `vmac launchctl` change it, each under the file's lock and by
// atomic replacement, so no change is lost and no reader sees half a file.
//
// A damaged file reads as empty and is reported; before anything is
// written over it, it is kept aside as jobs.json.corrupt-<unix time>.
class JobRegistry {
public:
    using Warn = std::function<void(const std::string&)>;

    explicit JobRegistry(std::filesystem::path file, Warn warn = {});
    static JobRegistry of(const VmacPaths& paths, Warn warn = {}) {
        return JobRegistry(paths.root() / "var" / "db" / "launchd" / "jobs.json", std::move(warn));
    }

    [[nodiscard]] const std::filesystem::path& file() const { return records_.file(); }

    // In the order they were added; an error only when the file cannot be read.
    [[nodiscard]] Expected<std::vector<RegisteredJob>, std::string> jobs() const;
    // Replaces a job of the same label.
    Expected<void, std::string> add(const RegisteredJob& job);
    // Removes the job with that label or property list; returns it, if any.
    Expected<std::optional<RegisteredJob>, std::string> remove(std::string_view labelOrPlist);

private:
    RecordFile<std::vector<RegisteredJob>> records_;
};

}  // namespace lidora::vmac
