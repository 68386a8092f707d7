#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// A process's line to the log service. Sending never blocks for long: when
// the service's queue stays full past `sendWait`, the datagram is dropped,
// and so are later ones at once until the queue takes one again. Records
// sent before the service listens (a daemon starting with it at boot) are
// kept, up to a bound, and go first once it answers. Safe from any thread.
class LogServiceClient {
public:
    static constexpr std::chrono::milliseconds kSendWait{200};

    explicit LogServiceClient(std::filesystem::path socket, std::chrono::milliseconds sendWait = kSendWait);

    // Whether the datagram is queued for the service; false when the service
    // is not running (it is then kept for later) or stays busy.
    bool send(std::string_view datagram);

    // Waits, at most `limit`, until the service has stored everything queued
    // before: datagrams from every sender are handled in the order they
    // queued. False when the service is not running or did not answer.
    bool sync(std::chrono::milliseconds limit);

    // Tries once to send what was kept; true when nothing is left kept.
    bool deliverKept();
    // Called, from the sending thread and outside any lock, when a datagram
    // is kept and none was before. Empty to stop.
    void setKeptHandler(std::function<void()> handler);

private:
    bool connected();
    // `patient`: wait even while congested, as a sync asked for it.
    bool sendLocked(std::string_view datagram, std::chrono::steady_clock::time_point deadline, bool patient);
    // Sends what was kept while the service was away; false if some is left.
    bool sendKept(std::chrono::steady_clock::time_point deadline);
    void keep(std::string_view datagram);

    static constexpr std::size_t kMaxKeptBytes = std::size_t{256} * 1024;

    std::filesystem::path socket_;
    std::chrono::milliseconds sendWait_;
    std::mutex mutex_;
    FileDescriptor fd_;
    std::uint64_t nextToken_;
    bool congested_ = false;
    std::deque<std::string> kept_;
    std::size_t keptBytes_ = 0;
    std::function<void()> onKept_;
};

}  // namespace lidora::vmac
