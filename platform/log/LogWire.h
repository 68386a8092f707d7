#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/runtime/Expected.h"
#include "core/runtime/Logger.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// What processes send the log service: one JSON object a datagram, either a
// record or a sync request. Who sent it comes from the kernel, never from
// the datagram.
inline constexpr std::size_t kMaxLogDatagram = 16 * 1024;
inline constexpr std::size_t kMaxLogNameBytes = 256;  // subsystem and category

// Answered once every datagram queued before it is stored: `vmac log show`
// and exiting processes wait for it so that nothing they sent is missing.
struct LogSyncRequest {
    std::uint64_t token = 0;
};

using LogDatagram = std::variant<LogRecord, LogSyncRequest>;

// A record's datagram, the message cut short to fit.
std::string encodeLogDatagram(const LogRecord& record);
std::string encodeLogSync(std::uint64_t token);
// The service's answer to a sync request.
std::string encodeLogSyncReply(std::uint64_t token);
std::optional<std::uint64_t> decodeLogSyncReply(std::string_view datagram);

// Every field is checked: names are short and printable (or empty), the level
// is known.
Expected<LogDatagram, std::string> decodeLogDatagram(std::string_view datagram);

// The service's socket, writable by every user of the virtual Mac, in a
// folder only the service's user writes.
[[nodiscard]] inline std::filesystem::path logServiceFolder(const VmacPaths& paths) {
    return paths.runDirectory() / "logd";
}
[[nodiscard]] inline std::filesystem::path logServiceSocket(const VmacPaths& paths) {
    return logServiceFolder(paths) / "logd.socket";
}

}  // namespace lidora::vmac
