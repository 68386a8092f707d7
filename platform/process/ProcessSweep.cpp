#include "platform/process/ProcessSweep.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>

#include "core/runtime/Sleep.h"
#include "platform/process/VmacMembership.h"

namespace lidora::vmac {

namespace {

using ProcessKey = std::pair<pid_t, std::uint64_t>;

ProcessKey keyOf(const ProcessRecord& process) {
    return {process.pid, process.startTime};
}

struct Target {
    ProcessRecord process;
    bool killed = false;
};

}  // namespace

Task<SweepReport> endVmacProcesses(RunLoop& loop, ProcessTable& table, std::string root, pid_t self, SweepTimes times) {
    SweepReport report;
    std::map<ProcessKey, Target> targets;
    std::set<ProcessKey> refused;
    const auto killAt = loop.now() + times.grace;
    const auto giveUpAt = killAt + times.killWait;
    for (;;) {
        const auto processes = table.processes();
        std::set<ProcessKey> living;
        for (const auto& process : processes) {
            if (!process.zombie) {
                living.insert(keyOf(process));
            }
        }
        for (auto target = targets.begin(); target != targets.end();) {
            if (living.contains(target->first)) {
                ++target;
                continue;
            }
            (target->second.killed ? report.killed : report.ended).push_back(target->second.process);
            target = targets.erase(target);
        }

        const bool late = loop.now() >= killAt;
        // Kept by key once signalled: an orphan whose membership came from
        // its parent is still ours after the parent ended.
        for (const auto& member : vmacMembers(processes, root, self)) {
            const auto key = keyOf(member);
            if (member.zombie || targets.contains(key) || refused.contains(key)) {
                continue;
            }
            if (auto sent = table.signal(member, late ? SIGKILL : SIGTERM); !sent) {
                if (sent.error() != ESRCH) {
                    refused.insert(key);
                    report.refused.emplace_back(member, sent.error());
                }
                continue;
            }
            // A stopped process would not see SIGTERM until continued.
            [[maybe_unused]] const auto continued = table.signal(member, SIGCONT);
            targets.emplace(key, Target{member, late});
        }
        if (late) {
            for (auto& [key, target] : targets) {
                if (!target.killed) {
                    [[maybe_unused]] const auto sent = table.signal(target.process, SIGKILL);
                    target.killed = true;
                }
            }
        }

        if (targets.empty()) {
            break;
        }
        if (loop.now() >= giveUpAt) {
            for (const auto& [key, target] : targets) {
                report.remaining.push_back(target.process);
            }
            break;
        }
        co_await sleepUntil(loop, std::min(loop.now() + times.poll, late ? giveUpAt : killAt));
    }
    co_return report;
}

}  // namespace lidora::vmac
