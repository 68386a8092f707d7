#pragma once

#include "platform/process/ProcessTable.h"

namespace lidora::vmac {

// The process table as /proc shows it. Each process is read through one
// open /proc/PID directory, which stays that process's even if the pid is
// reused meanwhile, and signalled through a pidfd checked against the
// start time that was listed.
class ProcProcessTable final : public ProcessTable {
public:
    [[nodiscard]] std::vector<ProcessRecord> processes() const override;
    Expected<void, int> signal(const ProcessRecord& process, int signal) override;
};

}  // namespace lidora::vmac
