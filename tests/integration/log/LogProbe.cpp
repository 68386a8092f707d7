// log-probe: sends the log service datagrams as they are given, as any
// process of the virtual Mac could, hostile or not. Prints its pid first.
//   log-probe SOCKET [--claim] [--flood N] [--sync] DATAGRAM...
// --claim first tries to pass credentials of root's pid 1 along; --flood
// sends N large records; --sync waits for the service before exiting.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log/LogServiceClient.h"

namespace {

bool sendTo(int fd, const sockaddr_un& address, const std::string& datagram) {
    return ::sendto(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&address),
                    sizeof address) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("usage: log-probe SOCKET [--claim] [--flood N] [--sync] DATAGRAM...\n", stderr);
        return 64;
    }
    std::printf("pid %d\n", static_cast<int>(::getpid()));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, argv[1], sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool sync = false;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--sync") {
            sync = true;
        } else if (argument == "--claim") {
            const std::string text = R"({"subsystem":"s","category":"c","level":"Default","message":"claimed"})";
            iovec io{const_cast<char*>(text.data()), text.size()};
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(ucred))] = {};
            msghdr message{};
            message.msg_name = &address;
            message.msg_namelen = sizeof address;
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            auto* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_CREDENTIALS;
            header->cmsg_len = CMSG_LEN(sizeof(ucred));
            const ucred root{1, 0, 0};
            std::memcpy(CMSG_DATA(header), &root, sizeof root);
            if (::sendmsg(fd, &message, 0) < 0) {
                std::printf("claim refused: %s\n", std::strerror(errno));
            } else {
                std::printf("claim sent\n");
            }
        } else if (argument == "--flood" && i + 1 < argc) {
            const int count = std::atoi(argv[++i]);
            const std::string big = R"({"subsystem":"s","category":"flood","level":"Default","message":")" +
                                    std::string(15000, 'f') + "\"}";
            for (int n = 0; n < count; ++n) {
                sendTo(fd, address, big);
            }
        } else if (!sendTo(fd, address, argument)) {
            std::printf("refused: %s\n", std::strerror(errno));
        }
    }
    std::fflush(stdout);
    if (sync && !lidora::vmac::LogServiceClient(argv[1]).sync(std::chrono::seconds(5))) {
        std::fputs("log-probe: no answer from the log service\n", stderr);
        return 1;
    }
    return 0;
}
