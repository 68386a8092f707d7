#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "core/ports/RunLoop.h"
#include "core/runtime/Logger.h"
#include "platform/vmac/FileDescriptor.h"

namespace lidora::vmac {

// Serves a listening Unix socket one line at a time: each line a client
// sends gets the handler's answer as one line. Clients keep their
// connections as long as they like; one that sends an over-long line is
// dropped.
class LineServer {
public:
    using Handler = std::function<std::string(std::string_view line)>;
    static constexpr std::size_t kMaxConnections = 256;

    LineServer(RunLoop& loop, FileDescriptor listening, std::size_t maxLine, Handler handler, Logger log);
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;

    [[nodiscard]] std::size_t connectionCount() const { return connections_.size(); }

private:
    struct Connection {
        FileDescriptor fd;
        std::string buffer;
        Cancellable watch;
    };

    void acceptPending();
    void serve(Connection* connection);
    // False when the reply could not be sent whole.
    bool reply(Connection& connection, std::string text);

    RunLoop& loop_;
    FileDescriptor listening_;
    std::size_t maxLine_;
    Handler handler_;
    Logger log_;
    Cancellable acceptWatch_;
    std::map<Connection*, std::unique_ptr<Connection>> connections_;
};

}  // namespace lidora::vmac
