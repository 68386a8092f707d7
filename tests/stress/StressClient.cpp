// A client of the helper daemon for the stress suite, signed by the suite
// as whatever it plays.
//   stress-client call get-state|off|on|version|reset COUNT [--lateness]
//     COUNT calls through the app's own HelperClient, one after another; one
//     line per call, "ok MS" or "error MS TEXT"; with --lateness then
//     "lateness MS": how late a 5 ms timer of the same run loop fired at
//     worst, i.e. how long the loop was ever kept from its work.
//   stress-client hostile
//     every method with hostile arguments over a raw connection; prints
//     "sent N" and "answered N".
// Exit status: 0 when it ran, 64 bad usage.
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/light/HelperClient.h"
#include "core/runtime/Spawn.h"
#include "platform/runloop/PollRunLoop.h"
#include "platform/vmac/VmacPaths.h"
#include "platform/xpc/LogoHelperWire.h"
#include "platform/xpc/MachService.h"
#include "platform/xpc/XpcClientConnection.h"
#include "tests/stress/HostileStrings.h"

using namespace lidora;
using namespace lidora::vmac;
using lidora::testing::HostileString;
using lidora::testing::hostileStrings;

namespace {

constexpr auto kTimeout = std::chrono::seconds(5);
constexpr auto kTick = std::chrono::milliseconds(5);

template <typename T>
std::string failure(const Expected<T, HelperError>& result) {
    return result ? std::string() : result.error().message;
}

Task<std::string> callOnce(HelperClient& client, const std::string& verb) {
    if (verb == "get-state") {
        co_return failure(co_await client.state());
    }
    if (verb == "version") {
        co_return failure(co_await client.version());
    }
    if (verb == "reset") {
        co_return failure(co_await client.resetLogoTables());
    }
    co_return failure(co_await client.setLight(verb == "on" ? LightState::on : LightState::off));
}

Task<void> callRepeatedly(PollRunLoop& loop, HelperClient& client, std::string verb, int count) {
    for (int i = 0; i < count; ++i) {
        const auto started = loop.now();
        const auto error = co_await callOnce(client, verb);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(loop.now() - started).count();
        if (error.empty()) {
            std::printf("ok %lld\n", static_cast<long long>(ms));
        } else {
            std::printf("error %lld %s\n", static_cast<long long>(ms), error.c_str());
        }
        std::fflush(stdout);
    }
    loop.stop();
}

int callMode(const std::string& verb, int count, bool timed) {
    PollRunLoop loop;
    VirtualXpcConnector connector(loop, machServiceSocket(VmacPaths::fromEnvironment(), "").parent_path());
    HelperClient client(loop, connector, kTimeout);
    Duration worst{};
    auto due = loop.now() + kTick;
    Cancellable ticks;
    if (timed) {
        ticks = loop.scheduleRepeating(kTick, [&] {
            const auto now = loop.now();
            worst = std::max(worst, now - due);
            due = now + kTick;
        });
    }
    spawn(loop, callRepeatedly(loop, client, verb, count));
    loop.run();
    if (timed) {
        std::printf("lateness %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(worst).count()));
    }
    return 0;
}

// One raw call; whether any answer (a reply or an error) came back.
bool sendRaw(sd_bus* bus, const char* member, const std::string& signature, const HostileString& hostile) {
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus, &raw, nullptr, kLogoHelperObjectPath, kLogoHelperInterface, member) < 0) {
        return false;
    }
    for (const char type : signature) {
        int r = 0;
        if (type == 's') {
            r = sd_bus_message_append(raw, "s", hostile.text.c_str());
        } else if (type == 'b') {
            r = sd_bus_message_append(raw, "b", 1);
        } else {
            r = sd_bus_message_append_array(raw, 'y', hostile.bytes.data(), hostile.bytes.size());
        }
        if (r < 0) {
            sd_bus_message_unref(raw);
            return false;
        }
    }
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call(bus, raw, 5'000'000, &error, &reply);
    // An error reply is an answer; a dropped connection is not.
    const bool answered = r >= 0 || (sd_bus_error_is_set(&error) != 0 && r != -ECONNRESET && r != -ENOTCONN &&
                                     r != -ETIMEDOUT && r != -EPIPE);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(raw);
    return answered;
}

sd_bus* connectRaw() {
    const auto path = machServiceSocket(VmacPaths::fromEnvironment(), kHelperMachService);
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0) {
        return nullptr;
    }
    const std::string address = "unix:path=" + path.string();
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_anonymous(bus, 1) < 0 || sd_bus_start(bus) < 0) {
        sd_bus_unref(bus);
        return nullptr;
    }
    return bus;
}

int hostileMode() {
    int sent = 0;
    int answered = 0;
    const std::vector<std::pair<const char*, std::vector<std::string>>> shapes{
        {"GetState", {"s", "ay"}},
        {"Version", {"s", "ay"}},
        {"ResetLogoTables", {"s", "ay"}},
        {"SetLightOn", {"s", "ay", "bs", "bay"}},
    };
    for (const auto& hostile : hostileStrings()) {
        for (const auto& [member, signatures] : shapes) {
            for (const auto& signature : signatures) {
                // A fresh connection each time, as a refused call may close it.
                sd_bus* bus = connectRaw();
                if (bus == nullptr) {
                    continue;
                }
                // Invalid UTF-8 and NUL cannot be a string on the wire; they go as bytes only.
                if (signature.find('s') == std::string::npos || hostile.validText) {
                    ++sent;
                    answered += sendRaw(bus, member, signature, hostile) ? 1 : 0;
                }
                sd_bus_flush_close_unref(bus);
            }
        }
    }
    std::printf("sent %d\nanswered %d\n", sent, answered);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const bool timed = args.size() == 4 && args[3] == "--lateness";
    if ((args.size() == 3 || timed) && args[0] == "call") {
        const std::vector<std::string> verbs{"get-state", "off", "on", "version", "reset"};
        const int count = std::atoi(args[2].c_str());
        if (std::find(verbs.begin(), verbs.end(), args[1]) != verbs.end() && count > 0) {
            return callMode(args[1], count, timed);
        }
    }
    if (args.size() == 1 && args[0] == "hostile") {
        return hostileMode();
    }
    std::fprintf(stderr, "usage: stress-client call get-state|off|on|version|reset COUNT [--lateness] | hostile\n");
    return 64;
}
