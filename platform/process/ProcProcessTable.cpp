#include "platform/process/ProcProcessTable.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
// glibc 2.36 declares these without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}

#include <cerrno>
#include <charconv>
#include <sstream>
#include <string_view>

#include "platform/process/VmacMembership.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// An environment is read this far at most: processes may make theirs huge,
// and the mark comes first in every environment the Mac hands out.
constexpr std::size_t kEnvironmentLimit = 1 << 20;
// Linux keeps 15 bytes of an executable's name as the process's name.
constexpr std::size_t kCommandLength = 15;

std::optional<std::string> readAt(int directory, const char* name, std::size_t limit) {
    const FileDescriptor fd(::openat(directory, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        return std::nullopt;
    }
    std::string bytes;
    char buffer[8192];
    while (bytes.size() < limit) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

struct StatLine {
    std::string command;
    char state = '?';
    pid_t parent = 0;
    std::uint64_t startTime = 0;
};

template <typename Number>
bool parseNumber(std::string_view text, Number& value) {
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

// "PID (COMMAND) STATE PPID … STARTTIME …": the command may hold spaces and
// parentheses, so the fields are counted from its last ')'.
std::optional<StatLine> parseStat(const std::string& text) {
    const auto open = text.find('(');
    const auto close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return std::nullopt;
    }
    StatLine line;
    line.command = text.substr(open + 1, close - open - 1);
    std::istringstream fields(text.substr(close + 1));
    std::string field;
    // Fields 3 (state), 4 (ppid) and 22 (starttime), counting from 1.
    for (int index = 3; index <= 22 && fields >> field; ++index) {
        if (index == 3) {
            line.state = field.front();
        } else if (index == 4 && !parseNumber(field, line.parent)) {
            return std::nullopt;
        } else if (index == 22) {
            return parseNumber(field, line.startTime) ? std::optional(line) : std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<uid_t> realUser(const std::string& status) {
    const auto at = status.find("\nUid:");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(status.substr(at + 5));
    unsigned long user = 0;
    if (!(fields >> user)) {
        return std::nullopt;
    }
    return static_cast<uid_t>(user);
}

std::optional<std::string> markIn(const std::string& environment) {
    const std::string prefix = std::string(kVmacMemberVariable) + "=";
    for (std::size_t start = 0; start < environment.size();) {
        auto end = environment.find('\0', start);
        if (end == std::string::npos) {
            end = environment.size();
        }
        if (environment.compare(start, prefix.size(), prefix) == 0) {
            return environment.substr(start + prefix.size(), end - start - prefix.size());
        }
        start = end + 1;
    }
    return std::nullopt;
}

// The kernel keeps only the first 15 bytes of the name; the executable's
// file name completes a name cut there.
std::string fullName(int directory, const std::string& command) {
    if (command.size() < kCommandLength) {
        return command;
    }
    char target[4096];
    const ssize_t length = ::readlinkat(directory, "exe", target, sizeof target - 1);
    if (length <= 0) {
        return command;
    }
    std::string_view executable(target, static_cast<std::size_t>(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (executable.ends_with(kDeleted)) {
        executable.remove_suffix(kDeleted.size());
    }
    const auto slash = executable.rfind('/');
    const auto name = slash == std::string_view::npos ? executable : executable.substr(slash + 1);
    return name.starts_with(command) ? std::string(name) : command;
}

std::optional<ProcessRecord> readProcess(int proc, pid_t pid) {
    const FileDescriptor directory(
        ::openat(proc, std::to_string(pid).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (!directory.valid()) {
        return std::nullopt;
    }
    const auto statText = readAt(directory.get(), "stat", 4096);
    const auto stat = statText ? parseStat(*statText) : std::nullopt;
    const auto statusText = readAt(directory.get(), "status", 16384);
    const auto user = statusText ? realUser(*statusText) : std::nullopt;
    if (!stat || !user) {
        return std::nullopt;
    }
    ProcessRecord record;
    record.pid = pid;
    record.parent = stat->parent;
    record.user = *user;
    record.startTime = stat->startTime;
    record.zombie = stat->state == 'Z' || stat->state == 'X';
    record.name = fullName(directory.get(), stat->command);
    // Another user's environment is not ours to read; such a process is
    // judged by its ancestors.
    if (const auto environment = readAt(directory.get(), "environ", kEnvironmentLimit)) {
        record.vmacRoot = markIn(*environment);
    }
    return record;
}

std::optional<std::uint64_t> startTimeOf(pid_t pid) {
    const auto text = readAt(AT_FDCWD, ("/proc/" + std::to_string(pid) + "/stat").c_str(), 4096);
    const auto stat = text ? parseStat(*text) : std::nullopt;
    return stat ? std::optional(stat->startTime) : std::nullopt;
}

}  // namespace

std::vector<ProcessRecord> ProcProcessTable::processes() const {
    std::vector<ProcessRecord> records;
    const FileDescriptor proc(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!proc.valid()) {
        return records;
    }
    DIR* listing = ::fdopendir(::fcntl(proc.get(), F_DUPFD_CLOEXEC, 0));
    if (listing == nullptr) {
        return records;
    }
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name(entry->d_name);
        pid_t pid = 0;
        const auto parsed = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (parsed.ec != std::errc() || parsed.ptr != name.data() + name.size() || pid <= 0) {
            continue;
        }
        if (auto record = readProcess(proc.get(), pid)) {
            records.push_back(std::move(*record));
        }
    }
    ::closedir(listing);
    return records;
}

Expected<void, int> ProcProcessTable::signal(const ProcessRecord& process, int signal) {
    // The pidfd holds whichever process has the pid now; if that one started
    // when the listed one did, it is the listed one, and the signal reaches
    // it or nothing.
    const FileDescriptor pidfd(::pidfd_open(process.pid, 0));
    if (!pidfd.valid()) {
        return unexpected(errno);
    }
    if (startTimeOf(process.pid) != process.startTime) {
        return unexpected(ESRCH);
    }
    if (::pidfd_send_signal(pidfd.get(), signal, nullptr, 0) != 0) {
        return unexpected(errno);
    }
    return {};
}

}  // namespace lidora::vmac
