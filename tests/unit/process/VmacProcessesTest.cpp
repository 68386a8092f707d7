#include <gtest/gtest.h>

#include "core/runtime/VirtualRunLoop.h"
#include "platform/process/ProcessSweep.h"
#include "platform/process/VmacMembership.h"
#include "tests/support/StartedTask.h"
#include "tests/unit/process/FakeProcessTable.h"

namespace lidora::vmac {
namespace {

using namespace std::chrono_literals;
using testing::kOtherRoot;
using testing::kOurRoot;
using testing::Reaction;
using testing::record;
using Signals = std::vector<std::pair<pid_t, int>>;

std::vector<pid_t> pidsOf(const std::vector<ProcessRecord>& processes) {
    std::vector<pid_t> pids;
    for (const auto& process : processes) {
        pids.push_back(process.pid);
    }
    return pids;
}

TEST(VmacMembership, TheMarkOrTheNearestMarkedAncestorDecides) {
    const std::vector<ProcessRecord> processes = {
        record(1, 0, "init", std::nullopt),
        record(10, 1, "vmac-launchd", kOurRoot),
        record(11, 10, "corebrightnessd", kOurRoot),
        record(12, 11, "sudo", std::nullopt),  // cleared its environment
        record(13, 12, "defaults", std::nullopt),
        record(14, 10, "vmac", kOtherRoot),  // started for the other Mac
        record(15, 14, "child", std::nullopt),
        record(20, 1, "bash", std::nullopt),  // a shell that exports VMAC_ROOT is no member
        record(21, 20, "vmac", std::nullopt),
        record(30, 31, "loop", std::nullopt),  // a loop, as a racing listing may show
        record(31, 30, "loop", std::nullopt),
        record(40, 10, "killall", kOurRoot),
    };
    EXPECT_EQ(pidsOf(vmacMembers(processes, kOurRoot, 40)), (std::vector<pid_t>{10, 11, 12, 13}));
    EXPECT_EQ(pidsOf(vmacMembers(processes, kOtherRoot, 40)), (std::vector<pid_t>{14, 15}));
    EXPECT_EQ(vmacMemberEntry(VmacPaths("/tmp/../tmp/./vm")), "VMAC_MEMBER_OF=/tmp/vm");
}

class ProcessSweep : public ::testing::Test {
protected:
    ProcessSweep() {
        table.add(record(10, 1, "Quits", kOurRoot), Reaction::EndsOnTerm);
        table.add(record(11, 1, "Ignores", kOurRoot), Reaction::EndsOnKill);
        table.add(record(12, 11, "Child", std::nullopt), Reaction::EndsOnKill);
        table.add(record(20, 1, "Other", kOtherRoot));
        table.add(record(30, 1, "Host", std::nullopt));
    }
    ::lidora::testing::StartedTask sweep() {
        return ::lidora::testing::start(collect(endVmacProcesses(loop, table, kOurRoot, 99)));
    }
    Task<void> collect(Task<SweepReport> task) { report = co_await std::move(task); }

    VirtualRunLoop loop;
    testing::FakeProcessTable table;
    std::optional<SweepReport> report;
};

TEST_F(ProcessSweep, TermsThenKillsAfterTheGracePeriodAndReportsWhatIsLeft) {
    table.add(record(13, 1, "Unkillable", kOurRoot), Reaction::NeverEnds);
    table.add(record(14, 1, "Foreign", kOurRoot, 501), Reaction::Refuses);
    const auto task = sweep();
    loop.runUntilIdle();
    EXPECT_EQ(table.sentSignals(), (Signals{{10, SIGTERM}, {11, SIGTERM}, {12, SIGTERM}, {13, SIGTERM}}));

    loop.advance(4900ms);
    EXPECT_FALSE(task.done());
    EXPECT_EQ(table.sentSignals().size(), 4U) << "no SIGKILL within the grace period";

    // A process started meanwhile is ended too; once the grace period is
    // over, at once.
    table.add(record(15, 11, "Late", std::nullopt), Reaction::EndsOnKill);
    loop.advance(100ms);
    EXPECT_EQ(table.sentSignals(), (Signals{{10, SIGTERM},
                                            {11, SIGTERM},
                                            {12, SIGTERM},
                                            {13, SIGTERM},
                                            {15, SIGTERM},
                                            {11, SIGKILL},
                                            {12, SIGKILL},
                                            {13, SIGKILL},
                                            {15, SIGKILL}}));
    table.add(record(16, 1, "Later", kOurRoot), Reaction::EndsOnKill);
    loop.advance(20ms);
    EXPECT_EQ(table.sentSignals().back(), (std::pair<pid_t, int>{16, SIGKILL}));

    loop.advance(1880ms);
    EXPECT_FALSE(task.done());
    loop.advance(100ms);
    ASSERT_TRUE(task.done());
    EXPECT_EQ(pidsOf(report->ended), (std::vector<pid_t>{10}));
    EXPECT_EQ(pidsOf(report->killed), (std::vector<pid_t>{11, 12, 15, 16}));
    EXPECT_EQ(pidsOf(report->remaining), (std::vector<pid_t>{13}));
    ASSERT_EQ(report->refused.size(), 1U);
    EXPECT_EQ(report->refused[0].first.pid, 14);
    EXPECT_EQ(report->refused[0].second, EPERM);
}

TEST_F(ProcessSweep, FinishesAsSoonAsEverythingHasEnded) {
    testing::FakeProcessTable quitting;
    quitting.add(record(10, 1, "Quits", kOurRoot));
    quitting.add(record(11, 10, "Child", std::nullopt));
    quitting.add(record(20, 1, "Other", kOtherRoot));
    const auto task = ::lidora::testing::start(collect(endVmacProcesses(loop, quitting, kOurRoot, 99)));
    loop.advance(20ms);
    ASSERT_TRUE(task.done());
    EXPECT_EQ(pidsOf(report->ended), (std::vector<pid_t>{10, 11}));
    EXPECT_TRUE(report->killed.empty());
    EXPECT_EQ(pidsOf(quitting.processes()), (std::vector<pid_t>{20}));
}

}  // namespace
}  // namespace lidora::vmac
