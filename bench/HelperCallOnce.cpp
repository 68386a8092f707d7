// One daemon call from a fresh process, and nothing else: the baseline a
// Control Center tap is measured against. Prints the light's state.
#include <cstdio>

#include "core/light/HelperClient.h"
#include "core/runtime/Spawn.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

Task<void> readState(HelperClient& client, PollRunLoop& loop, int& status) {
    const auto state = co_await client.state();
    status = state ? 0 : 1;
    std::printf("%s\n", state ? (*state == LightState::on ? "on" : "off") : state.error().message.c_str());
    loop.stop();
}

}  // namespace

int main() {
    const auto paths = VmacPaths::fromEnvironment();
    PollRunLoop loop;
    VirtualXpcConnector connector(loop, machServiceSocket(paths, "").parent_path());
    HelperClient client(loop, connector, std::chrono::seconds(5));
    int status = 1;
    spawn(loop, readState(client, loop, status));
    loop.runUntil(loop.now() + std::chrono::seconds(10));
    return status;
}
