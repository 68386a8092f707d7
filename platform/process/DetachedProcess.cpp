#include "platform/process/DetachedProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/process/ChildProcess.h"
#include "platform/process/VmacMembership.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

Expected<pid_t, std::string> startDetached(const VmacPaths& paths, const std::vector<std::string>& argv,
                                           const std::filesystem::path& logFile) {
    if (argv.empty()) {
        return unexpected(std::string("nothing to start"));
    }
    if (!makeDirectories(logFile.parent_path())) {
        return unexpected(systemError("cannot create", logFile.parent_path()));
    }
    const FileDescriptor log(::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644));
    const FileDescriptor null(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (!log.valid() || !null.valid()) {
        return unexpected(systemError("cannot open", logFile));
    }
    SpawnRequest request;
    request.program = argv.front();
    request.arguments = argv;
    request.environment = environmentWith({vmacMemberEntry(paths), "VMAC_ROOT=" + paths.root().string()});
    request.descriptors = {null.get(), log.get(), log.get()};
    request.detached = true;
    request.beforeExec = [] {
        // In /, it keeps no folder of whoever started it busy.
        [[maybe_unused]] const int entered = ::chdir("/");
        return static_cast<const char*>(nullptr);
    };
    const auto pid = spawnChild(request);
    if (!pid) {
        return unexpected("cannot " + std::string(pid.error().step) + " " + argv.front() + ": " +
                          std::strerror(pid.error().error));
    }
    return *pid;
}

}  // namespace lidora::vmac
