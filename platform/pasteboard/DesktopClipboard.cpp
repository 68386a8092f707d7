#include "platform/pasteboard/DesktopClipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>

#include "platform/process/ChildProcess.h"
#include "platform/process/VmacMembership.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

namespace {

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::optional<std::filesystem::path> findTool(const std::string& searchPath, const std::string& name) {
    std::istringstream folders(searchPath);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty() || folder.front() != '/') {
            continue;  // a relative PATH entry would depend on where the app was started
        }
        const auto candidate = std::filesystem::path(folder) / name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

// Waits for the child to end, until `deadline`; empty past it.
std::optional<Expected<ChildExit, int>> waitUntil(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    const FileDescriptor exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    for (;;) {
        auto done = checkChild(pid);
        if (!done) {
            return Expected<ChildExit, int>(unexpected(done.error()));
        }
        if (*done) {
            return Expected<ChildExit, int>(**done);
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        if (exited.valid()) {
            pollfd ready{exited.get(), POLLIN, 0};
            ::poll(&ready, 1, static_cast<int>(left.count()));
        } else {
            // A kernel without pidfds: look again shortly.
            std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));
        }
    }
}

// A clipboard tool that takes the text on its standard input and leaves a
// process of its own to serve it.
class ToolClipboard final : public DesktopClipboard {
public:
    ToolClipboard(std::filesystem::path program, std::vector<std::string> putArguments,
                  std::vector<std::string> clearArguments, std::chrono::milliseconds limit)
        : program_(std::move(program)),
          putArguments_(std::move(putArguments)),
          clearArguments_(std::move(clearArguments)),
          limit_(limit) {}

    Expected<void, std::string> put(const std::string& text) override { return run(putArguments_, text); }
    Expected<void, std::string> clear() override { return run(clearArguments_, {}); }

private:
    Expected<void, std::string> run(const std::vector<std::string>& arguments, std::string_view input) const {
        const std::string name = program_.filename().string();
        const auto failed = [&](const std::string& why) -> Expected<void, std::string> {
            return unexpected("the desktop clipboard did not take it: " + name + " " + why);
        };
        // The text waits in memory, so a tool that never reads cannot block us.
        FileDescriptor text(::memfd_create("pasteboard", MFD_CLOEXEC));
        if (!text.valid()) {
            return failed(std::string("got no input (") + std::strerror(errno) + ")");
        }
        for (std::size_t done = 0; done < input.size();) {
            const auto n = ::write(text.get(), input.data() + done, input.size() - done);
            if (n < 0 && errno != EINTR) {
                return failed(std::string("got no input (") + std::strerror(errno) + ")");
            }
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        ::lseek(text.get(), 0, SEEK_SET);
        const FileDescriptor null(::open("/dev/null", O_WRONLY | O_CLOEXEC));
        SpawnRequest request;
        request.program = program_;
        request.arguments = {name};
        request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
        // Its server serves the desktop, not the Mac: it may outlive the Mac's shutdown.
        const std::string member = std::string(kVmacMemberVariable) + "=";
        for (auto& entry : environmentWith({})) {
            if (entry.rfind(member, 0) != 0) {
                request.environment.push_back(std::move(entry));
            }
        }
        request.descriptors = {text.get(), null.get(), null.get()};
        request.newSession = true;
        const auto pid = spawnChild(request);
        if (!pid) {
            return failed(std::string("could not start (") + std::strerror(pid.error().error) + ")");
        }
        const auto exit = waitUntil(*pid, std::chrono::steady_clock::now() + limit_);
        if (!exit) {
            ::kill(*pid, SIGKILL);
            (void)waitForChild(*pid);
            return failed("did not finish within " + std::to_string(limit_.count()) + " ms");
        }
        if (!*exit) {
            return failed(std::string("ended unseen (") + std::strerror(exit->error()) + ")");
        }
        if ((*exit)->signal != 0 || (*exit)->status != 0) {
            return failed((*exit)->signal != 0 ? "was killed by signal " + std::to_string((*exit)->signal)
                                               : "failed with status " + std::to_string((*exit)->status));
        }
        return {};
    }

    std::filesystem::path program_;
    std::vector<std::string> putArguments_;
    std::vector<std::string> clearArguments_;
    std::chrono::milliseconds limit_;
};

}  // namespace

DesktopSession DesktopSession::fromEnvironment() {
    return DesktopSession{environment("WAYLAND_DISPLAY"), environment("DISPLAY"), environment("PATH")};
}

std::unique_ptr<DesktopClipboard> desktopClipboardFor(const DesktopSession& session, std::chrono::milliseconds limit) {
    if (!session.waylandDisplay.empty()) {
        if (auto tool = findTool(session.searchPath, "wl-copy")) {
            return std::make_unique<ToolClipboard>(*tool,
                                                   std::vector<std::string>{"--type", "text/plain;charset=utf-8"},
                                                   std::vector<std::string>{"--clear"}, limit);
        }
    }
    // XWayland sessions have DISPLAY too, so the X tools are the fall-back there.
    if (!session.display.empty()) {
        if (auto tool = findTool(session.searchPath, "xclip")) {
            const std::vector<std::string> arguments{"-selection", "clipboard", "-in"};
            return std::make_unique<ToolClipboard>(*tool, arguments, arguments, limit);
        }
        if (auto tool = findTool(session.searchPath, "xsel")) {
            return std::make_unique<ToolClipboard>(*tool, std::vector<std::string>{"--clipboard", "--input"},
                                                   std::vector<std::string>{"--clipboard", "--clear"}, limit);
        }
    }
    return nullptr;
}

}  // namespace lidora::vmac
