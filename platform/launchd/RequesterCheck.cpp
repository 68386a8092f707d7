#include "platform/launchd/RequesterCheck.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string_view>

#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

// The kernel caps an environment well below this.
constexpr std::size_t kMaxEnvironmentBytes = std::size_t{8} << 20;

constexpr std::array<std::string_view, 3> kLoaderVariables = {"LD_PRELOAD=", "LD_AUDIT=", "LD_LIBRARY_PATH="};

// Empty when the process's environment names no code for the loader.
std::optional<std::string> loaderInjection(pid_t pid) {
    const auto path = "/proc/" + std::to_string(pid) + "/environ";
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) {
        return systemError("cannot read the environment of pid " + std::to_string(pid) + " from", path);
    }
    std::string environment;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return systemError("cannot read", path);
        }
        if (count == 0) {
            break;
        }
        environment.append(buffer, static_cast<std::size_t>(count));
        if (environment.size() > kMaxEnvironmentBytes) {
            return "the environment of pid " + std::to_string(pid) + " is too large to check";
        }
    }
    std::string_view rest(environment);
    while (!rest.empty()) {
        const auto end = rest.find('\0');
        const auto entry = rest.substr(0, end);
        for (const auto variable : kLoaderVariables) {
            if (entry.starts_with(variable)) {
                return "pid " + std::to_string(pid) + " runs with " +
                       std::string(variable.substr(0, variable.size() - 1)) + " set";
            }
        }
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return std::nullopt;
}

}  // namespace

RequesterVerifier signedProcessVerifier(std::shared_ptr<const SignatureStore> signatures) {
    return [signatures = std::move(signatures)](int, const ucred& peer) -> Expected<CodeSignature, std::string> {
        if (auto injected = loaderInjection(peer.pid)) {
            return unexpected(std::move(*injected));
        }
        auto record = signatures->verifyProcess(peer.pid);
        if (!record) {
            return unexpected("pid " + std::to_string(peer.pid) + ": " + record.error());
        }
        return record->signature;
    };
}

}  // namespace lidora::vmac
