// The daemon's end of a connection fed any bytes a client can send: the
// authentication lines and D-Bus messages, whole, cut short or made up. The
// service behind it may run only its fixed command lines, whatever arrives.

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/helper/HelperService.h"
#include "platform/xpc/XpcWire.h"
#include "tests/fuzz/FuzzInput.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

class RecordingRunner final : public CommandRunning {
public:
    CommandResult run(const std::vector<std::string>& arguments) const override {
        lines.push_back(arguments);
        return {0, "1\n"};
    }
    mutable std::vector<std::vector<std::string>> lines;
};

bool fixedLine(const std::vector<std::string>& line) {
    using Commands = HelperCommands;
    if (line == Commands::readState() || line == Commands::turnOff() || line == Commands::turnOn() ||
        line == Commands::restartBrightnessService()) {
        return true;
    }
    const auto& deletes = Commands::tableDeleteCommands();
    const auto& reads = Commands::tableReadCommands();
    return std::find(deletes.begin(), deletes.end(), line) != deletes.end() ||
           std::find(reads.begin(), reads.end(), line) != reads.end();
}

// The server bus as the daemon sets it up for an accepted connection.
SdBusPtr serverBus(int fd) {
    sd_bus* raw = nullptr;
    if (sd_bus_new(&raw) < 0) {
        ::close(fd);
        return nullptr;
    }
    SdBusPtr bus(raw);
    sd_id128_t id{};
    sd_id128_randomize(&id);
    if (sd_bus_set_fd(bus.get(), fd, fd) < 0 || sd_bus_set_server(bus.get(), 1, id) < 0 ||
        sd_bus_set_anonymous(bus.get(), 1) < 0) {
        ::close(fd);
        return nullptr;
    }
    return bus;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // More than a socket buffer would block the writer; requests are small.
    if (size > 64 * 1024) {
        return 0;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return 0;
    }
    // All of it sent at once, then the client stops sending but still reads
    // (a client gone altogether fails the daemon's first write, before any
    // request is read): the daemon reads up to the end and must stop there.
    std::size_t sent = 0;
    while (sent < size) {
        const auto n = ::send(ends[0], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(ends[0], SHUT_WR);
    const FileDescriptor client(ends[0]);

    const auto defaults = std::make_shared<RecordingRunner>();
    const auto killall = std::make_shared<RecordingRunner>();
    const auto service = std::make_shared<HelperService>(defaults, killall, Logger());
    const SdBusPtr bus = serverBus(ends[1]);
    if (!bus) {
        return 0;
    }
    auto slot = exportObject(XpcInterface::of<LogoHelperProtocol>(), bus.get(), service);
    LIDORA_FUZZ_CHECK(slot.has_value());
    if (sd_bus_start(bus.get()) < 0) {
        return 0;
    }
    // Every round reads or answers something; the input ends after a
    // bounded number of them.
    for (int round = 0; round < 100000; ++round) {
        const int r = sd_bus_process(bus.get(), nullptr);
        if (r < 0) {
            break;
        }
        if (r == 0 && sd_bus_wait(bus.get(), 0) <= 0) {
            break;
        }
    }
    for (const auto& line : defaults->lines) {
        LIDORA_FUZZ_CHECK(fixedLine(line));
    }
    for (const auto& line : killall->lines) {
        LIDORA_FUZZ_CHECK(line == HelperCommands::restartBrightnessService());
    }
    return 0;
}
