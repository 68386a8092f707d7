#pragma once

#include <sys/types.h>
#include <systemd/sd-bus.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/ports/RunLoop.h"
#include "core/runtime/Cancellable.h"
#include "core/runtime/Logger.h"
#include "platform/bus/BusNames.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

enum class NameClaim { Owned, TakenByAnother, Unavailable };

// A method of an object another process serves on the bus.
struct BusMethod {
    std::string destination;
    const char* path;
    const char* interface;
    const char* member;
};

// A client of the virtual Mac's message bus, driven by a run loop. The bus
// is a daemon that may not run yet or may restart: nothing here blocks or
// throws for that. Sends fail quietly (logged) while there is no connection,
// the connection is retried in the background, and subscriptions and name
// claims are renewed on each new connection. Every callback runs on the loop,
// never inside sd-bus's own dispatch, so a callback may use the bus freely.
class VmacBus {
public:
    using Append = std::function<int(sd_bus_message*)>;
    using Handler = std::function<void(sd_bus_message*)>;

    VmacBus(RunLoop& loop, const VmacPaths& paths, Logger logger);
    VmacBus(RunLoop& loop, std::string address, Logger logger);
    ~VmacBus();
    VmacBus(const VmacBus&) = delete;
    VmacBus& operator=(const VmacBus&) = delete;

    // Whether a connection to the daemon is up (it may still authenticate).
    [[nodiscard]] bool connected() const;
    // Runs `ready` once the next time a connection comes up, or soon when
    // one is up already.
    [[nodiscard]] Cancellable whenConnected(std::function<void()> ready);

    // Broadcasts a signal; `append` adds its arguments. Returns false when
    // there is no connection or the message cannot be built.
    bool emit(const BusSignalName& signal, const Append& append = {});

    // Runs `handler` for each matching signal while the handle lives; `arg0`
    // narrows to signals whose first (string) argument equals it. Never
    // waits. On a connection that is set up (settle() has answered since it
    // came up) the subscription is in force when this returns: a signal sent
    // afterwards, from here or by a process that connects afterwards, is
    // heard. Made earlier, it comes into force with the connection.
    [[nodiscard]] Cancellable subscribe(const BusSignalName& signal, std::optional<std::string> arg0, Handler handler);

    // Asks to own a well-known name without queueing. `done` gets the first
    // answer (Unavailable when there is no bus now); the claim is repeated
    // on every new connection while the handle lives.
    [[nodiscard]] Cancellable claimName(std::string name, std::function<void(NameClaim)> done);

    // The process that owns `name`; empty when none does or the bus cannot say.
    [[nodiscard]] Cancellable queryNameOwnerPid(std::string name, std::function<void(std::optional<pid_t>)> done);

    // The user the process owning `name` (a caller's unique name too) runs as.
    [[nodiscard]] Cancellable queryNameOwnerUid(std::string name, std::function<void(std::optional<uid_t>)> done);

    // Calls a method of another process. `reply` gets the answer on the
    // loop, an error reply among them (a time-out after `timeout` too), or
    // null when there is no connection or the call cannot be sent.
    [[nodiscard]] Cancellable callMethod(const BusMethod& method, const Append& append,
                                         std::chrono::microseconds timeout, Handler reply);

    // Serves the object at `path` while the handle lives: `handler` gets
    // each method call to it on the loop and answers it, at once or later,
    // with sd_bus_reply_method_return or an error (taking a reference to
    // keep the call). Served again on each new connection.
    [[nodiscard]] Cancellable serveObject(std::string path, Handler handler);
    // Answers a call served here with a return `append` fills, or with the
    // error `name` and `text`; false when it can no longer be answered.
    bool reply(sd_bus_message* call, const Append& append);
    bool replyError(sd_bus_message* call, const char* name, const std::string& text);

    // `done(true)` once the daemon has handled everything sent before, and
    // so once the connection is set up; `done(false)` soon when there is no
    // connection.
    [[nodiscard]] Cancellable settle(std::function<void(bool)> done);

private:
    class Connection;
    std::shared_ptr<Connection> connection_;
};

}  // namespace lidora::vmac
