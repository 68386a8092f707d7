#include "platform/controlcenter/ControlExtensionMain.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "core/runtime/Spawn.h"
#include "platform/controlcenter/ControlWire.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

// Control Center may start the process a little before it needs it.
constexpr auto kRequestLimit = 30s;
constexpr std::size_t kRequestBytes = 64 * 1024;
constexpr auto kBusLimit = 2s;
// Two daemon calls of five seconds each, and opening the app.
constexpr auto kWorkLimit = 15s;

std::optional<std::string> readRequest(int in) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + kRequestLimit;
    while (text.find('\n') == std::string::npos && text.size() < kRequestBytes) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready{in, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) == 0) {
            return std::nullopt;
        }
        char buffer[4096];
        const auto got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

bool writeAll(int out, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const auto wrote = ::write(out, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// Runs the loop until `task` ends or `limit` passes; empty on time-out.
template <typename T>
std::optional<T> runToEnd(PollRunLoop& loop, Task<T> task, Duration limit) {
    auto result = std::make_shared<std::optional<T>>();
    auto body = [](Task<T> work, std::shared_ptr<std::optional<T>> out, PollRunLoop& l) -> Task<void> {
        out->emplace(co_await std::move(work));
        l.stop();
    };
    spawn(loop, body(std::move(task), result, loop));
    loop.runUntil(loop.now() + limit);
    return *result;
}

// Waits, within a bound, for a connection: signals sent from then on are
// queued on it even while it authenticates.
void connect(PollRunLoop& loop, VmacBus& bus) {
    if (bus.connected()) {
        return;
    }
    const auto waiting = bus.whenConnected([&] { loop.stop(); });
    loop.runUntil(loop.now() + kBusLimit);
}

// Waits, within a bound, until the bus has handled all sent before.
void settle(PollRunLoop& loop, VmacBus& bus) {
    bool done = false;
    const auto settling = bus.settle([&](bool) {
        done = true;
        loop.stop();
    });
    if (!done) {
        loop.runUntil(loop.now() + kBusLimit);
    }
}

ControlReply failed(std::string text) {
    ControlReply reply;
    reply.failure = std::move(text);
    return reply;
}

ControlReply answer(PollRunLoop& loop, VmacBus& bus, const std::vector<std::unique_ptr<ControlWidget>>& body,
                    const ControlRequest& request) {
    ControlReply reply;
    if (request.request == ControlRequest::Kind::describe) {
        for (const auto& control : body) {
            reply.controls.push_back({std::string(control->kind()), std::string(control->displayName()),
                                      std::string(control->description()), control->style()});
        }
        return reply;
    }
    ControlWidget* control = nullptr;
    for (const auto& candidate : body) {
        if (candidate->kind() == request.kind) {
            control = candidate.get();
        }
    }
    if (control == nullptr) {
        return failed("This extension has no control of kind " + request.kind + ".");
    }
    switch (request.request) {
        case ControlRequest::Kind::preview: reply.shown = control->preview(); return reply;
        case ControlRequest::Kind::value: {
            const auto shown = runToEnd(loop, control->current(), kWorkLimit);
            if (!shown) {
                return failed("The control took too long to answer.");
            }
            if (!*shown) {
                return failed(shown->error().message);
            }
            reply.shown = shown->value();
            return reply;
        }
        case ControlRequest::Kind::perform:
        case ControlRequest::Kind::describe: break;
    }
    const bool toggle = control->style() == ControlTemplate::Style::toggle;
    if (toggle != request.value.has_value()) {
        return failed(toggle ? "A switch is set on or off." : "A button takes no value.");
    }
    connect(loop, bus);
    const auto done = runToEnd(loop, control->perform(request.value), kWorkLimit);
    settle(loop, bus);
    if (!done) {
        return failed("The action took too long.");
    }
    if (!*done) {
        return failed(done->error().message);
    }
    reply.performed = true;
    return reply;
}

}  // namespace

int controlExtensionMain(PollRunLoop& loop, VmacBus& bus, const std::vector<std::unique_ptr<ControlWidget>>& body,
                         int in, int out) {
    const auto text = readRequest(in);
    if (!text) {
        std::fprintf(stderr, "no request from Control Center\n");
        return 1;
    }
    const auto request = decodeControlRequest(*text);
    if (!request) {
        std::fprintf(stderr, "bad request from Control Center: %s\n", request.error().c_str());
        return 1;
    }
    if (!writeAll(out, encodeControlReply(answer(loop, bus, body, *request)))) {
        std::fprintf(stderr, "cannot answer Control Center\n");
        return 1;
    }
    return 0;
}

}  // namespace lidora::vmac
