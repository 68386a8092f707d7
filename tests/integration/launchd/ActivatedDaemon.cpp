// A socket-activated daemon for the launchd tests: answers every connection
// with "pid <pid>\n" and exits 0 once idle. --exit-status N makes it fail
// at start instead; --linger-ms keeps it exiting for a while, after
// creating the --marker file, so a test can connect during the exit.
#include <poll.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    int idleMs = 300;
    int lingerMs = 0;
    int exitStatus = -1;
    std::string marker;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--idle-ms") {
            idleMs = std::atoi(argv[i + 1]);
        } else if (option == "--linger-ms") {
            lingerMs = std::atoi(argv[i + 1]);
        } else if (option == "--exit-status") {
            exitStatus = std::atoi(argv[i + 1]);
        } else if (option == "--marker") {
            marker = argv[i + 1];
        }
    }
    if (exitStatus >= 0) {
        return exitStatus;
    }
    if (sd_listen_fds(1) < 1) {
        std::fprintf(stderr, "activated-daemon: no socket was passed\n");
        return 2;
    }
    const int listening = SD_LISTEN_FDS_START;
    const std::string answer = "pid " + std::to_string(::getpid()) + "\n";
    for (;;) {
        pollfd waiting{listening, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, idleMs);
        if (ready < 0) {
            return 3;
        }
        if (ready == 0) {
            break;
        }
        const int connection = ::accept(listening, nullptr, nullptr);
        if (connection >= 0) {
            [[maybe_unused]] const auto written = ::write(connection, answer.data(), answer.size());
            ::close(connection);
        }
    }
    if (!marker.empty()) {
        std::ofstream(marker) << ::getpid() << '\n';
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs));
    return 0;
}
