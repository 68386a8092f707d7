#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// A client's line-per-request connection to corebrightnessd. It stays open
// between requests, so a call costs one round trip; when the daemon was
// restarted in between, the request goes once more over a new connection.
class PropertyConnection {
public:
    static constexpr std::chrono::milliseconds kDefaultTimeout{3000};

    explicit PropertyConnection(std::filesystem::path socket, std::chrono::milliseconds timeout = kDefaultTimeout)
        : socket_(std::move(socket)), timeout_(timeout) {}

    // The reply line without its line end; empty when the daemon cannot be
    // reached or does not answer in time.
    std::optional<std::string> exchange(std::string_view requestLine);

private:
    using Deadline = std::chrono::steady_clock::time_point;

    bool connect();
    // Empty on failure, with the connection closed.
    std::optional<std::string> tryExchange(std::string_view requestLine, Deadline deadline);
    bool waitFor(short events, Deadline deadline) const;

    std::filesystem::path socket_;
    std::chrono::milliseconds timeout_;
    FileDescriptor fd_;
};

}  // namespace lidora::vmac
