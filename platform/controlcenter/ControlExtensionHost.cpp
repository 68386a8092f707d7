#include "platform/controlcenter/ControlExtensionHost.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/process/ChildProcess.h"
#include "platform/process/VmacMembership.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/vmac/AtomicFile.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kReplyBytes = 256 * 1024;
// After answering, an extension has this long to end by itself.
constexpr auto kExitGrace = 1s;

const PreferenceDictionary* dictionaryAt(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    return found == info.end() ? nullptr : found->second.asDictionary();
}

std::string stringAt(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    const auto* text = found == info.end() ? nullptr : found->second.asString();
    return text == nullptr ? std::string() : *text;
}

std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& folder, std::string_view extension) {
    std::error_code error;
    std::vector<std::filesystem::path> found;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        if (item.path().extension() == extension && !item.is_symlink(error) && item.is_directory(error)) {
            found.push_back(item.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Ends the extension and collects it; SIGKILL when it lingers.
void endExtension(pid_t pid) {
    // A pidfd becomes readable when the process ends: no polling interval.
    const FileDescriptor exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    if (exited.valid()) {
        pollfd ready{exited.get(), POLLIN, 0};
        const auto grace = std::chrono::duration_cast<std::chrono::milliseconds>(kExitGrace).count();
        while (::poll(&ready, 1, static_cast<int>(grace)) < 0 && errno == EINTR) {
        }
    }
    if (const auto exit = checkChild(pid); exit && !*exit) {
        ::kill(pid, SIGKILL);
    }
    (void)waitForChild(pid);
}

// Extensions run in an environment of the system's making, not the one of
// whoever asked Control Center for a value: nothing preloaded into them.
std::vector<std::string> extensionEnvironment(const VmacPaths& paths) {
    std::vector<std::string> environment{vmacMemberEntry(paths), "VMAC_ROOT=" + paths.root().string(),
                                         "PATH=/usr/bin:/bin"};
    for (const char* name : {"HOME", "USER", "LANG", "TZ", "ASAN_OPTIONS", "UBSAN_OPTIONS"}) {
        if (const char* value = std::getenv(name)) {
            environment.push_back(std::string(name) + "=" + value);
        }
    }
    return environment;
}

}  // namespace

std::vector<ControlExtension> installedControlExtensions(const VmacPaths& paths) {
    std::vector<ControlExtension> extensions;
    for (const auto& app : sortedEntries(paths.applications(), ".app")) {
        for (const auto& plugIn : sortedEntries(app / "Contents" / "PlugIns", ".appex")) {
            const auto info = readBundleInfo(plugIn);
            const auto* declared = dictionaryAt(info, "NSExtension");
            const auto identifier = stringAt(info, "CFBundleIdentifier");
            const auto executable = stringAt(info, "CFBundleExecutable");
            if (declared == nullptr || stringAt(*declared, "NSExtensionPointIdentifier") != kWidgetExtensionPoint ||
                identifier.empty() || executable.empty() || executable.find('/') != std::string::npos) {
                continue;
            }
            extensions.push_back({plugIn, identifier, plugIn / "Contents" / "MacOS" / executable});
        }
    }
    return extensions;
}

LaunchedExtension::LaunchedExtension(ControlExtension extension, pid_t pid, FileDescriptor requests,
                                     FileDescriptor replies, std::filesystem::path logFile)
    : extension_(std::move(extension)),
      pid_(pid),
      requests_(std::move(requests)),
      replies_(std::move(replies)),
      logFile_(std::move(logFile)) {}

LaunchedExtension::LaunchedExtension(LaunchedExtension&& other) noexcept
    : extension_(std::move(other.extension_)),
      pid_(std::exchange(other.pid_, 0)),
      requests_(std::move(other.requests_)),
      replies_(std::move(other.replies_)),
      logFile_(std::move(other.logFile_)) {}

LaunchedExtension::~LaunchedExtension() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        (void)waitForChild(pid_);
    }
}

Expected<LaunchedExtension, std::string> ControlExtensionHost::launch(const ControlExtension& extension) const {
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        return unexpected(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    const FileDescriptor requestRead(toChild[0]);
    FileDescriptor requestWrite(toChild[1]);
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        return unexpected(std::string("cannot make a pipe: ") + std::strerror(errno));
    }
    FileDescriptor replyRead(fromChild[0]);
    const FileDescriptor replyWrite(fromChild[1]);
    auto logFile = paths_.root() / "var" / "log" / (extension.executable.filename().string() + ".log");
    (void)makeDirectories(logFile.parent_path());
    const FileDescriptor log(::open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0644));

    SpawnRequest spawn;
    spawn.program = extension.executable;
    spawn.arguments = {extension.executable.string()};
    spawn.environment = extensionEnvironment(paths_);
    spawn.descriptors = {requestRead.get(), replyWrite.get(), log.valid() ? log.get() : STDERR_FILENO};
    spawn.newSession = true;
    const auto pid = spawnChild(spawn);
    if (!pid) {
        return unexpected("cannot start " + extension.executable.string() + ": " + std::strerror(pid.error().error));
    }
    return LaunchedExtension(extension, *pid, std::move(requestWrite), std::move(replyRead), std::move(logFile));
}

Expected<ControlReply, std::string> ControlExtensionHost::request(const ControlExtension& extension,
                                                                  const ControlRequest& request) const {
    auto launched = launch(extension);
    if (!launched) {
        return unexpected(launched.error());
    }
    return this->request(std::move(launched).value(), request);
}

Expected<ControlReply, std::string> ControlExtensionHost::request(LaunchedExtension launched,
                                                                  const ControlRequest& request) const {
    const auto text = encodeControlRequest(request);
    // A request is far smaller than a pipe's buffer, so this never blocks.
    const bool sent = ::write(launched.requests_.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    launched.requests_ = FileDescriptor();

    std::string reply;
    const auto deadline = std::chrono::steady_clock::now() + limit_;
    bool timedOut = false;
    while (sent && reply.size() < kReplyBytes) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{launched.replies_.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) == 0) {
            timedOut = true;
            break;
        }
        char buffer[4096];
        const auto got = ::read(launched.replies_.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(got));
        if (reply.back() == '\n') {
            break;
        }
    }
    const pid_t pid = std::exchange(launched.pid_, 0);
    if (timedOut) {
        ::kill(pid, SIGKILL);
    }
    endExtension(pid);
    if (timedOut) {
        return unexpected(launched.extension_.identifier + " did not answer in time");
    }
    if (reply.empty()) {
        return unexpected(launched.extension_.identifier + " ended without answering (see " +
                          launched.logFile_.string() + ")");
    }
    return decodeControlReply(reply);
}

}  // namespace lidora::vmac
