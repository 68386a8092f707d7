#include "platform/codesign/LoadedCode.h"

#include <fcntl.h>
#include <sys/personality.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxProcFile = std::size_t{4} << 20;
constexpr std::size_t kMaxCachedFiles = 4096;

// `record`: the file is one record the kernel makes whole at the first read
// (status, stat, personality), so a read that leaves room in the buffer got
// all of it and the read that would say so is spared.
Expected<std::string, std::string> readProcFile(pid_t pid, const char* name, bool record = false) {
    const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        return unexpected("cannot read " + path + ": " + std::strerror(errno));
    }
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return unexpected("cannot read " + path + ": " + std::strerror(errno));
        }
        if (count == 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(count));
        if (record && text.size() == static_cast<std::size_t>(count) && count < static_cast<ssize_t>(sizeof buffer)) {
            return text;
        }
        if (text.size() > kMaxProcFile) {
            return unexpected(path + " is too large");
        }
    }
}

// The next space-separated field of a maps line.
std::string_view nextField(std::string_view& line) {
    const auto start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    const auto end = std::min(line.find(' '), line.size());
    const auto field = line.substr(0, end);
    line.remove_prefix(end);
    return field;
}

std::uint64_t hexNumber(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) != 0 ? c - '0' : (std::tolower(c) - 'a' + 10);
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

// Owned by root or by us and changeable by nobody else, up to the root
// folder; sticky folders such as /tmp are fine, as launchd judges them.
Expected<void, std::string> checkOwnedByAdministrators(const std::filesystem::path& file) {
    auto path = file;
    for (;;) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) {
            return unexpected(path.string() + ": " + std::strerror(errno));
        }
        if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
            return unexpected(path.string() + " belongs to uid " + std::to_string(info.st_uid));
        }
        const bool sticky = S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0;
        if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && !sticky) {
            return unexpected(path.string() + " is writable by other users");
        }
        if (path == path.root_path()) {
            return {};
        }
        path = path.parent_path();
    }
}

bool hasPreloadingVariable(std::string_view environment) {
    while (!environment.empty()) {
        const auto end = std::min(environment.find('\0'), environment.size());
        const auto entry = environment.substr(0, end);
        for (const std::string_view name : {"LD_PRELOAD=", "LD_AUDIT="}) {
            if (entry.size() > name.size() && entry.substr(0, name.size()) == name) {
                return true;
            }
        }
        environment.remove_prefix(std::min(end + 1, environment.size()));
    }
    return false;
}

std::optional<long> tracerOf(std::string_view status) {
    const auto at = status.find("TracerPid:");
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    return std::strtol(status.data() + at + 10, nullptr, 10);
}

}  // namespace

namespace {

// Where process `pid` was placed: its start time and the addresses of its
// code, stack and heap; telling execs apart only when they were randomised.
std::optional<std::string> placementOf(pid_t pid) {
    const auto stat = readProcFile(pid, "stat", true);
    if (!stat) {
        return std::nullopt;
    }
    // Fields after the command name, which may hold spaces and parentheses;
    // the first of them is field 3.
    const auto close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::string_view rest = std::string_view(*stat).substr(close + 1);
    std::vector<std::string_view> fields;
    for (auto field = nextField(rest); !field.empty(); field = nextField(rest)) {
        fields.push_back(field);
    }
    constexpr std::size_t kStartTime = 22 - 3;
    constexpr std::size_t kStartCode = 26 - 3;
    constexpr std::size_t kStartStack = 28 - 3;
    constexpr std::size_t kStartBrk = 47 - 3;
    if (fields.size() <= kStartBrk) {
        return std::nullopt;
    }
    // Hidden addresses read as 0: then nothing tells execs apart.
    for (const auto index : {kStartCode, kStartStack, kStartBrk}) {
        if (fields[index] == "0") {
            return std::nullopt;
        }
    }
    std::string instance = std::to_string(pid);
    for (const auto index : {kStartTime, kStartCode, kStartStack, kStartBrk}) {
        instance += ':';
        instance += fields[index];
    }
    return instance;
}

// Without address randomisation, for the process or for the whole system,
// two execs of one program look alike.
bool addressesRandomised(pid_t pid) {
    const auto personality = readProcFile(pid, "personality", true);
    if (!personality || (std::strtoul(personality->c_str(), nullptr, 16) & ADDR_NO_RANDOMIZE) != 0) {
        return false;
    }
    const FileDescriptor setting(::open("/proc/sys/kernel/randomize_va_space", O_RDONLY | O_CLOEXEC));
    char level = '0';
    return setting.valid() && ::read(setting.get(), &level, 1) == 1 && level != '0';
}

}  // namespace

std::optional<std::string> execInstanceOf(pid_t pid) {
    return addressesRandomised(pid) ? placementOf(pid) : std::nullopt;
}

std::vector<CodeMapping> codeMappings(std::string_view maps) {
    std::vector<CodeMapping> found;
    while (!maps.empty()) {
        const auto end = std::min(maps.find('\n'), maps.size());
        std::string_view line = maps.substr(0, end);
        maps.remove_prefix(std::min(end + 1, maps.size()));
        nextField(line);  // addresses
        const auto perms = nextField(line);
        nextField(line);  // offset
        const auto device = nextField(line);
        const auto inode = nextField(line);
        const auto start = line.find_first_not_of(' ');
        const auto path = start == std::string_view::npos ? std::string_view() : line.substr(start);
        const auto colon = device.find(':');
        if (perms.size() < 3 || perms[2] != 'x' || inode == "0" || path.empty() || colon == std::string_view::npos) {
            continue;  // not code, or anonymous memory and the kernel's [vdso] and [vsyscall]
        }
        CodeMapping mapping{std::string(path),
                            ::makedev(static_cast<unsigned>(hexNumber(device.substr(0, colon))),
                                      static_cast<unsigned>(hexNumber(device.substr(colon + 1)))),
                            std::strtoull(std::string(inode).c_str(), nullptr, 10)};
        if (std::find(found.begin(), found.end(), mapping) == found.end()) {
            found.push_back(std::move(mapping));
        }
    }
    return found;
}

Expected<void, std::string> LoadedCodeCheck::check(pid_t pid, const FileStamp& program) const {
    const auto status = readProcFile(pid, "status", true);
    if (!status) {
        return unexpected(status.error());
    }
    if (tracerOf(*status).value_or(1) != 0) {
        return unexpected("pid " + std::to_string(pid) + " is being traced");
    }
    // The environment and the code mapped at start are those of one exec;
    // a process found clean since its last exec need not be read again.
    // Only randomised placements are remembered, so a placement found here
    // is one exec's: an exec without randomisation cannot land on it, and
    // whether this one had it need not be read again either.
    auto instance = placementOf(pid);
    if (instance) {
        *instance += '\n' + std::to_string(program.device) + ':' + std::to_string(program.inode) + ':' +
                     std::to_string(program.changedNs);
        const std::lock_guard guard(cache_->mutex);
        if (cache_->cleanExecs.contains(*instance)) {
            return {};
        }
    }
    auto clean = checkLoadedCode(pid, program);
    if (clean && instance && addressesRandomised(pid)) {
        const std::lock_guard guard(cache_->mutex);
        if (cache_->cleanExecs.size() >= kMaxCachedFiles) {
            cache_->cleanExecs.clear();
        }
        cache_->cleanExecs.insert(std::move(*instance));
    }
    return clean;
}

Expected<void, std::string> LoadedCodeCheck::checkLoadedCode(pid_t pid, const FileStamp& program) const {
    const auto environment = readProcFile(pid, "environ");
    if (!environment) {
        return unexpected(environment.error());
    }
    if (hasPreloadingVariable(*environment)) {
        return unexpected("pid " + std::to_string(pid) + " runs with LD_PRELOAD or LD_AUDIT");
    }
    const auto maps = readProcFile(pid, "maps");
    if (!maps) {
        return unexpected(maps.error());
    }
    return checkMappings(codeMappings(*maps), program);
}

Expected<void, std::string> LoadedCodeCheck::checkMappings(const std::vector<CodeMapping>& mappings,
                                                           const FileStamp& program) const {
    for (const auto& mapping : mappings) {
        if (mapping.device == program.device && mapping.inode == program.inode) {
            continue;
        }
        if (auto trusted = checkFile(mapping); !trusted) {
            return unexpected("it runs code from " + trusted.error());
        }
    }
    return {};
}

Expected<void, std::string> LoadedCodeCheck::checkFile(const CodeMapping& mapping) const {
    // A file once found trustworthy stays so: only its owner, root or us,
    // could change it, and a new file at its name is a new inode.
    const auto key = mapping.path + '\n' + std::to_string(mapping.device) + ':' + std::to_string(mapping.inode);
    {
        const std::lock_guard guard(cache_->mutex);
        if (cache_->trusted.contains(key)) {
            return {};
        }
    }
    // The name must still lead to the very file that is mapped; a deleted or
    // replaced one (maps then says "(deleted)" or names another) cannot be judged.
    struct stat info {};
    if (::stat(mapping.path.c_str(), &info) != 0 || info.st_dev != mapping.device || info.st_ino != mapping.inode) {
        return unexpected(mapping.path + ", which is no longer the file by that name");
    }
    const std::filesystem::path path(mapping.path);
    if (auto owned = checkOwnedByAdministrators(path); !owned) {
        return unexpected(mapping.path + " (" + owned.error() + ")");
    }
    const std::lock_guard guard(cache_->mutex);
    if (cache_->trusted.size() >= kMaxCachedFiles) {
        cache_->trusted.clear();
    }
    cache_->trusted.insert(key);
    return {};
}

}  // namespace lidora::vmac
