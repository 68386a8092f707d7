#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-id128.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <thread>

#include "core/helper/LogoHelperProtocol.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/xpc/LogoHelperWire.h"
#include "platform/xpc/XpcClientConnection.h"
#include "tests/support/TempDir.h"

using namespace std::chrono_literals;

namespace lidora {
namespace {

int answerVersion(sd_bus_message* m, void* userdata, sd_bus_error* /*error*/) {
    *static_cast<bool*>(userdata) = true;
    return sd_bus_reply_method_return(m, "s", "2");
}

const sd_bus_vtable kVersionOnly[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Version", "", "s", answerVersion, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

// Serves one Version call on the next connection `listener` gives, if one
// comes within a few seconds.
void serveOneCall(int listener) {
    pollfd ready{listener, POLLIN, 0};
    if (poll(&ready, 1, 3000) != 1) {
        return;
    }
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    sd_id128_t id{};
    sd_id128_randomize(&id);
    sd_bus_set_fd(bus, fd, fd);
    sd_bus_set_server(bus, 1, id);
    sd_bus_set_anonymous(bus, 1);
    bool answered = false;
    sd_bus_add_object_vtable(bus, nullptr, vmac::kLogoHelperObjectPath, vmac::kLogoHelperInterface, kVersionOnly,
                             &answered);
    sd_bus_start(bus);
    for (int r = 0; r >= 0 && !answered;) {
        r = sd_bus_process(bus, nullptr);
        if (r == 0) {
            r = sd_bus_wait(bus, 2'000'000);
        }
    }
    sd_bus_flush(bus);
    sd_bus_close_unref(bus);
}

TEST(XpcClientConnection, WaitsForAServiceWhoseBacklogIsFull) {
    const testing::TempDir folder;
    const auto path = folder.path() / "busy.service";
    const int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.string().size() + 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    // One waiting connection fills a backlog of none.
    const int filler = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_EQ(connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    ASSERT_NE(connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(errno, EAGAIN) << "the backlog is full";
    close(probe);

    // The service gets round to its queue a second later.
    std::thread service([&] {
        std::this_thread::sleep_for(1s);
        close(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
        serveOneCall(listener);
    });
    vmac::PollRunLoop loop;
    auto connection = std::make_shared<vmac::XpcClientConnection>(loop, path, "busy.service");
    connection->setRemoteObjectInterface(XpcInterface::of<LogoHelperProtocol>());
    std::optional<std::string> answer;
    auto proxy = std::dynamic_pointer_cast<LogoHelperProtocol>(connection->remoteObjectProxy([&](const XpcError& e) {
        answer = "error: " + e.localizedDescription;
        loop.stop();
    }));
    proxy->version([&](std::string version) {
        answer = std::move(version);
        loop.stop();
    });
    auto limit = loop.scheduleAfter(5s, [&] { loop.stop(); });
    loop.run();
    connection->invalidate();
    service.join();
    EXPECT_EQ(answer, "2");
    close(filler);
    close(listener);
}

}  // namespace
}  // namespace lidora
