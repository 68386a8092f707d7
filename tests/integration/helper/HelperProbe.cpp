// A client of the helper daemon for tests: makes one call on a new
// connection, as the app does, and prints what came back.
//   helper-probe get-state | set-light on|off | version | reset [--times N]
// Exit status: 0 a reply without error, 1 a reply with an error text,
// 2 a connection error, 3 no answer in time, 64 bad usage.
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "helper/LogoHelperProtocol.h"
#include "runloop/PollRunLoop.h"
#include "vmac/VmacPaths.h"
#include "xpc/MachService.h"
#include "xpc/XpcClientConnection.h"

using namespace lidora;
using namespace lidora::vmac;

namespace {

struct Outcome {
    int status = 3;
    std::string text = "no answer";
};

Outcome callOnce(PollRunLoop& loop, XpcConnector& connector, const std::string& verb, bool on) {
    auto connection = connector.connectToMachService(std::string(kHelperMachService), XpcConnectionOptions::privileged);
    connection->setRemoteObjectInterface(XpcInterface::of<LogoHelperProtocol>());
    connection->resume();
    std::optional<Outcome> outcome;
    const auto settle = [&](Outcome o) {
        if (!outcome) {
            outcome = std::move(o);
            loop.stop();
        }
    };
    auto proxy =
        std::dynamic_pointer_cast<LogoHelperProtocol>(connection->remoteObjectProxy([&](const XpcError& error) {
            settle({2, error.localizedDescription});
        }));
    const auto errorReply = [&](std::optional<std::string> error) {
        settle(error ? Outcome{1, *error} : Outcome{0, "ok"});
    };
    if (verb == "get-state") {
        proxy->getState([&](std::int64_t state, std::optional<std::string> error) {
            settle(error ? Outcome{1, *error} : Outcome{0, std::to_string(state)});
        });
    } else if (verb == "set-light") {
        proxy->setLightOn(on, errorReply);
    } else if (verb == "version") {
        proxy->version([&](std::string version) { settle({0, version}); });
    } else {
        proxy->resetLogoTables(errorReply);
    }
    auto limit = loop.scheduleAfter(std::chrono::seconds(5), [&] { settle({3, "no answer"}); });
    loop.run();
    connection->invalidate();
    return outcome.value_or(Outcome{});
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
    Outcome outcome;
    for (int i = 0; i < times; ++i) {
        outcome = callOnce(loop, connector, verb, on);
    }
    std::printf("%s\n", outcome.text.c_str());
    return outcome.status;
}
