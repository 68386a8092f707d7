// An unprivileged attacker of the helper daemon for tests: connects to the
// helper's socket, forks, and execs a signed program in the connecting
// process while the child speaks on the connection it inherited.
//   exec-race-probe SOCKET keep|close PROGRAM [ARGUMENTS...]
// keep: the connection survives the exec too; close: it is close-on-exec.
// The child prints "switched" when the daemon served it, else "refused: WHY".
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/xpc/LogoHelperWire.h"

namespace {

// Waits for the parent to be the signed program, so that any look at the
// connecting pid sees it.
void waitForExec(pid_t parent) {
    const auto own = std::filesystem::read_symlink("/proc/self/exe");
    const auto link = "/proc/" + std::to_string(parent) + "/exe";
    for (int i = 0; i < 3000; ++i) {
        std::error_code error;
        if (std::filesystem::read_symlink(link, error) != own) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int speak(int fd) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0 || sd_bus_set_fd(bus, fd, fd) < 0 || sd_bus_start(bus) < 0) {
        std::printf("refused: cannot start the bus\n");
        return 1;
    }
    sd_bus_set_method_call_timeout(bus, 10'000'000);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int r = sd_bus_call_method(bus, nullptr, lidora::vmac::kLogoHelperObjectPath,
                                     lidora::vmac::kLogoHelperInterface, "SetLightOn", &error, &reply, "b", 0);
    std::printf(r >= 0 ? "switched\n" : "refused: %s\n", r >= 0 ? "" : std::strerror(-r));
    std::fflush(stdout);
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_close_unref(bus);
    return r >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || (std::strcmp(argv[2], "keep") != 0 && std::strcmp(argv[2], "close") != 0)) {
        std::fprintf(stderr, "usage: exec-race-probe SOCKET keep|close PROGRAM [ARGUMENTS...]\n");
        return 64;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | (std::strcmp(argv[2], "close") == 0 ? SOCK_CLOEXEC : 0), 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        std::printf("refused: cannot connect: %s\n", std::strerror(errno));
        return 1;
    }
    const pid_t parent = ::getpid();
    if (::fork() == 0) {
        waitForExec(parent);
        return speak(fd);
    }
    ::execv(argv[3], argv + 3);
    std::printf("refused: cannot run %s\n", argv[3]);
    return 1;
}
