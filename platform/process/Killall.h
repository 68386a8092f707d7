#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/process/ProcessTable.h"

namespace lidora::vmac {

// Who runs killall.
struct KillallCaller {
    std::string vmacRoot;  // the canonical root of its virtual Mac
    pid_t pid = 0;
    uid_t user = 0;  // real user
};

struct KillallResult {
    int status = 0;
    std::string out;
    std::string err;
};

// macOS's killall over the processes of the caller's virtual Mac only:
// `killall [-lmsvqz] [-help] [-u user] [-c cmd] [-SIGNAL] [cmd]...`, names
// compared on their first 16 bytes (or matched as extended regular
// expressions with -m), only the caller's own processes unless root, its
// messages, and status 1 when nothing matched or a signal failed.
KillallResult runKillall(const std::vector<std::string>& arguments, const KillallCaller& caller, ProcessTable& table);

}  // namespace lidora::vmac
