#pragma once

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/process/ProcessTable.h"

namespace lidora::vmac::testing {

inline constexpr const char* kOurRoot = "/vm/ours";
inline constexpr const char* kOtherRoot = "/vm/other";

// How a process takes the signals it is sent.
enum class Reaction { EndsOnTerm, EndsOnKill, NeverEnds, Refuses };

inline ProcessRecord record(pid_t pid, pid_t parent, std::string name, std::optional<std::string> root,
                            uid_t user = 0) {
    ProcessRecord process;
    process.pid = pid;
    process.parent = parent;
    process.user = user;
    process.name = std::move(name);
    process.startTime = static_cast<std::uint64_t>(pid) * 100;
    process.vmacRoot = std::move(root);
    return process;
}

class FakeProcessTable final : public ProcessTable {
public:
    void add(ProcessRecord process, Reaction reaction = Reaction::EndsOnTerm) {
        entries_.emplace_back(std::move(process), reaction);
    }

    [[nodiscard]] std::vector<ProcessRecord> processes() const override {
        std::vector<ProcessRecord> listed;
        for (const auto& [process, reaction] : entries_) {
            listed.push_back(process);
        }
        return listed;
    }

    Expected<void, int> signal(const ProcessRecord& process, int signal) override {
        const auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const auto& candidate) {
            return candidate.first.pid == process.pid && candidate.first.startTime == process.startTime;
        });
        if (entry == entries_.end()) {
            return unexpected(ESRCH);
        }
        if (entry->second == Reaction::Refuses) {
            return unexpected(EPERM);
        }
        sent.emplace_back(process.pid, signal);
        const bool ends = (signal == SIGTERM && entry->second == Reaction::EndsOnTerm) ||
                          (signal == SIGKILL && entry->second != Reaction::NeverEnds);
        if (ends) {
            entries_.erase(entry);
        }
        return {};
    }

    // Signals other than SIGCONT, as (pid, signal).
    [[nodiscard]] std::vector<std::pair<pid_t, int>> sentSignals() const {
        std::vector<std::pair<pid_t, int>> result;
        std::copy_if(sent.begin(), sent.end(), std::back_inserter(result),
                     [](const auto& entry) { return entry.second != SIGCONT; });
        return result;
    }

    std::vector<std::pair<pid_t, int>> sent;

private:
    std::vector<std::pair<ProcessRecord, Reaction>> entries_;
};

}  // namespace lidora::vmac::testing
