#include "platform/launchd/LaunchdClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/runtime/Clock.h"
#include "platform/launchd/LaunchdPaths.h"
#include "platform/launchd/UnixSocket.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxReplyBytes = std::size_t{4} * 1024 * 1024;

Expected<void, LaunchdError> sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return unexpected(LaunchdError{false, "cannot send to launchd: " + std::string(std::strerror(errno))});
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return {};
}

Expected<std::string, LaunchdError> readLine(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = ContinuousClock::now() + timeout;
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - ContinuousClock::now());
        if (left.count() <= 0) {
            return unexpected(LaunchdError{false, "launchd did not answer in time"});
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            return unexpected(LaunchdError{false, "cannot wait for launchd: " + std::string(std::strerror(errno))});
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[4096];
        const auto count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return unexpected(LaunchdError{false, "launchd closed the connection without an answer"});
        }
        line.append(buffer, static_cast<std::size_t>(count));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            line.resize(end);
            return line;
        }
        if (line.size() > kMaxReplyBytes) {
            return unexpected(LaunchdError{false, "launchd's answer is too long"});
        }
    }
}

}  // namespace

Expected<nlohmann::json, LaunchdError> requestLaunchd(const VmacPaths& paths, const nlohmann::json& request,
                                                      std::chrono::milliseconds timeout) {
    auto connection = connectUnix(launchdControlSocket(paths));
    if (!connection) {
        return unexpected(LaunchdError{connection.error().refused, connection.error().refused
                                                                       ? "launchd is not running"
                                                                       : connection.error().message});
    }
    if (auto sent = sendAll(connection->get(), request.dump() + "\n"); !sent) {
        return unexpected(sent.error());
    }
    auto line = readLine(connection->get(), timeout);
    if (!line) {
        return unexpected(line.error());
    }
    auto reply = nlohmann::json::parse(*line, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        return unexpected(LaunchdError{false, "launchd's answer is not understood"});
    }
    if (reply.value("ok", false) != true) {
        const auto error = reply.find("error");
        return unexpected(LaunchdError{
            false, error != reply.end() && error->is_string() ? error->get<std::string>() : "launchd refused"});
    }
    return reply;
}

}  // namespace lidora::vmac
