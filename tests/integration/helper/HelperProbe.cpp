// A client of the helper daemon for tests: makes each call through the app's
// own HelperClient, a fresh connection per call, and prints what came back.
//   helper-probe get-state | set-light on|off | version | reset [--times N]
// Exit status: 0 success, 1 a failure (its message is printed as the app
// would show it), 64 bad usage.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/light/HelperClient.h"
#include "core/runtime/Spawn.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/vmac/VmacPaths.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

constexpr auto kTimeout = std::chrono::seconds(5);

struct Outcome {
    int status = 1;
    std::string text;
};

template <typename T>
Outcome failed(const Expected<T, HelperError>& result) {
    return {1, result.error().message};
}

Task<Outcome> callOnce(HelperClient& client, const std::string& verb, bool on) {
    if (verb == "get-state") {
        const auto state = co_await client.state();
        if (!state) {
            co_return failed(state);
        }
        co_return Outcome{0, std::to_string(static_cast<std::int64_t>(*state))};
    }
    if (verb == "version") {
        const auto version = co_await client.version();
        if (!version) {
            co_return failed(version);
        }
        co_return Outcome{0, *version};
    }
    Expected<void, HelperError> done;
    if (verb == "set-light") {
        done = co_await client.setLight(on ? LightState::on : LightState::off);
    } else {
        done = co_await client.resetLogoTables();
    }
    if (!done) {
        co_return failed(done);
    }
    co_return Outcome{0, "ok"};
}

Task<void> callRepeatedly(PollRunLoop& loop, HelperClient& client, std::string verb, bool on, int times,
                          Outcome& outcome) {
    for (int i = 0; i < times; ++i) {
        outcome = co_await callOnce(client, verb, on);
    }
    loop.stop();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: helper-probe get-state|set-light on|off|version|reset [--times N]\n");
        return 64;
    }
    const std::string verb = argv[1];
    int next = 2;
    bool on = false;
    if (verb == "set-light") {
        if (argc < 3 || (std::strcmp(argv[2], "on") != 0 && std::strcmp(argv[2], "off") != 0)) {
            std::fprintf(stderr, "helper-probe: set-light takes on or off\n");
            return 64;
        }
        on = std::strcmp(argv[2], "on") == 0;
        next = 3;
    } else if (verb != "get-state" && verb != "version" && verb != "reset") {
        std::fprintf(stderr, "helper-probe: unknown verb %s\n", verb.c_str());
        return 64;
    }
    int times = 1;
    if (next + 1 < argc && std::strcmp(argv[next], "--times") == 0) {
        times = std::atoi(argv[next + 1]);
    }
    PollRunLoop loop;
    VirtualXpcConnector connector(loop, machServiceSocket(VmacPaths::fromEnvironment(), "").parent_path());
    HelperClient client(loop, connector, kTimeout);
    Outcome outcome;
    spawn(loop, callRepeatedly(loop, client, verb, on, times, outcome));
    loop.run();
    std::printf("%s\n", outcome.text.c_str());
    return outcome.status;
}
