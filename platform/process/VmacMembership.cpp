#include "platform/process/VmacMembership.h"

#include <system_error>
#include <unordered_map>

namespace lidora::vmac {

std::string canonicalVmacRoot(const VmacPaths& paths) {
    std::error_code error;
    auto canonical = std::filesystem::weakly_canonical(paths.root(), error);
    return (error ? paths.root().lexically_normal() : canonical).string();
}

std::string vmacMemberEntry(const VmacPaths& paths) {
    return std::string(kVmacMemberVariable) + "=" + canonicalVmacRoot(paths);
}

std::vector<ProcessRecord> vmacMembers(const std::vector<ProcessRecord>& processes, const std::string& root,
                                       pid_t self) {
    std::unordered_map<pid_t, const ProcessRecord*> byPid;
    for (const auto& process : processes) {
        byPid.emplace(process.pid, &process);
    }
    // The nearest marked ancestor decides; a chain longer than the table is
    // a loop, which a table read while processes come and go may show.
    const auto belongs = [&](const ProcessRecord& process) {
        const ProcessRecord* current = &process;
        for (std::size_t steps = 0; steps <= processes.size(); ++steps) {
            if (current->vmacRoot) {
                return *current->vmacRoot == root;
            }
            const auto parent = byPid.find(current->parent);
            if (current->parent <= 1 || parent == byPid.end()) {
                return false;
            }
            current = parent->second;
        }
        return false;
    };
    std::vector<ProcessRecord> members;
    for (const auto& process : processes) {
        if (process.pid != self && belongs(process)) {
            members.push_back(process);
        }
    }
    return members;
}

}  // namespace lidora::vmac
