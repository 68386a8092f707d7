#include "platform/xpc/XpcClientConnection.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/xpc/MachService.h"

namespace lidora::vmac {

namespace {

// Generous: the caller's own limit is what ends a call.
constexpr std::uint64_t kCallTimeoutMicroseconds = 120'000'000;
// A service whose backlog is full is busy, not gone: try again, a little
// later each time, for as long as a caller waits for an answer.
constexpr Duration kConnectPatience = std::chrono::seconds(5);
constexpr Duration kFirstRetryPause = std::chrono::milliseconds(5);
constexpr Duration kLongestRetryPause = std::chrono::milliseconds(100);

// Connects without blocking. Paths too long for sockaddr_un go through the
// folder's descriptor.
int connectUnix(const std::filesystem::path& path) {
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd.valid()) {
        return -errno;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string target = path.string();
    FileDescriptor folder;
    if (target.size() >= sizeof address.sun_path) {
        folder.reset(::open(path.parent_path().c_str(), O_PATH | O_CLOEXEC));
        if (!folder.valid()) {
            return -errno;
        }
        target = "/proc/self/fd/" + std::to_string(folder.get()) + "/" + path.filename().string();
        if (target.size() >= sizeof address.sun_path) {
            return -ENAMETOOLONG;
        }
    }
    std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
        return -errno;
    }
    return fd.release();
}

}  // namespace

XpcClientConnection::XpcClientConnection(RunLoop& loop, std::filesystem::path socket, std::string serviceName)
    : loop_(loop), socketPath_(std::move(socket)), serviceName_(std::move(serviceName)) {}

XpcClientConnection::~XpcClientConnection() {
    if (attachment_) {
        attachment_->detach();
    }
    pending_.clear();
}

void XpcClientConnection::resume() {
    if (resumed_ || invalidated_) {
        return;
    }
    resumed_ = true;
    connectDeadline_ = loop_.now() + kConnectPatience;
    retryPause_ = kFirstRetryPause;
    connect();
}

void XpcClientConnection::connect() {
    const int fd = connectUnix(socketPath_);
    if (fd == -EAGAIN && loop_.now() + retryPause_ < connectDeadline_) {
        connecting_ = true;
        retry_ = loop_.scheduleAfter(retryPause_, [weak = weak_from_this()] {
            if (auto self = weak.lock(); self && !self->invalidated_) {
                self->connect();
            }
        });
        retryPause_ = std::min(retryPause_ * 2, kLongestRetryPause);
        return;
    }
    connecting_ = false;
    // Calls made while waiting go out now, or fail as any call would.
    const auto replay = [waiting = std::move(waiting_)] {
        for (const auto& call : waiting) {
            call();
        }
    };
    waiting_.clear();
    if (fd < 0) {
        failure_ = XpcError{XpcError::Kind::invalidated, lookupFailedDescription(serviceName_)};
        replay();
        return;
    }
    sd_bus* raw = nullptr;
    if (sd_bus_new(&raw) < 0) {
        ::close(fd);
        failure_ = XpcError{XpcError::Kind::invalidated, lookupFailedDescription(serviceName_)};
        return;
    }
    bus_.reset(raw);
    // Connected: from here on a failure means the service dropped us.
    if (sd_bus_set_fd(bus_.get(), fd, fd) < 0 || sd_bus_start(bus_.get()) < 0) {
        failure_ = XpcError{XpcError::Kind::interrupted, interruptedDescription(serviceName_)};
        return;
    }
    attachment_ = std::make_unique<SdBusLoopAttachment>(loop_, bus_.get(), [this](int) {
        fail(XpcError{XpcError::Kind::interrupted, interruptedDescription(serviceName_)});
    });
    attachment_->kick();
    replay();
}

void XpcClientConnection::invalidate() {
    if (invalidated_) {
        return;
    }
    fail(XpcError{XpcError::Kind::invalidated, invalidatedDescription(serviceName_)});
}

void XpcClientConnection::fail(XpcError error) {
    const bool firstTime = !invalidated_;
    invalidated_ = true;
    connecting_ = false;
    retry_ = {};
    if (!failure_) {
        failure_ = error;
    }
    if (attachment_) {
        attachment_->detach();
    }
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [id, call] : pending) {
        failLater(std::move(call.onError), error);
    }
    auto waiting = std::move(waiting_);
    waiting_.clear();
    for (const auto& call : waiting) {
        call();  // fails at once: the connection is invalid now
    }
    if (firstTime) {
        loop_.post([self = shared_from_this()] {
            if (auto handler = std::move(self->invalidationHandler_)) {
                handler();
            }
            self->bus_.reset();
        });
    }
}

void XpcClientConnection::failLater(std::function<void(const XpcError&)> onError, XpcError error) {
    if (onError) {
        loop_.post([onError = std::move(onError), error = std::move(error)] { onError(error); });
    }
}

std::shared_ptr<XpcObject> XpcClientConnection::remoteObjectProxy(std::function<void(const XpcError&)> errorHandler) {
    return makeProxy(remoteInterface_, shared_from_this(), std::move(errorHandler));
}

void XpcClientConnection::call(const char* path, const char* interface, const char* member,
                               std::function<int(sd_bus_message*)> append, std::function<void(sd_bus_message*)> onReply,
                               std::function<void(const XpcError&)> onError) {
    if (!resumed_ && !invalidated_) {
        resume();
    }
    if (connecting_ && !invalidated_) {
        waiting_.emplace_back([this, path, interface, member, append = std::move(append), onReply = std::move(onReply),
                               onError = std::move(onError)]() mutable {
            call(path, interface, member, std::move(append), std::move(onReply), std::move(onError));
        });
        return;
    }
    if (failure_ || invalidated_ || !bus_) {
        failLater(std::move(onError),
                  failure_.value_or(XpcError{XpcError::Kind::invalidated, invalidatedDescription(serviceName_)}));
        return;
    }
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_method_call(bus_.get(), &raw, nullptr, path, interface, member);
    const SdBusMessagePtr message(raw);
    if (r >= 0 && append) {
        r = append(message.get());
    }
    const std::uint64_t id = nextCall_++;
    auto& entry = pending_[id];
    entry.owner = this;
    entry.id = id;
    entry.onReply = std::move(onReply);
    entry.onError = std::move(onError);
    sd_bus_slot* slot = nullptr;
    if (r >= 0) {
        r = sd_bus_call_async(bus_.get(), &slot, message.get(), onMethodReply, &entry, kCallTimeoutMicroseconds);
    }
    if (r < 0) {
        auto failed = std::move(entry.onError);
        pending_.erase(id);
        failLater(std::move(failed), XpcError{XpcError::Kind::interrupted, interruptedDescription(serviceName_)});
        return;
    }
    entry.slot.reset(slot);
    attachment_->kick();
}

int XpcClientConnection::onMethodReply(sd_bus_message* reply, void* userdata, sd_bus_error* /*error*/) {
    auto* entry = static_cast<PendingCall*>(userdata);
    XpcClientConnection* self = entry->owner;
    const auto found = self->pending_.find(entry->id);
    if (found == self->pending_.end()) {
        return 0;
    }
    auto onReply = std::move(found->second.onReply);
    auto onError = std::move(found->second.onError);
    // sd-bus holds its own reference to the slot while this runs.
    self->pending_.erase(found);
    if (sd_bus_message_is_method_error(reply, nullptr) != 0) {
        const sd_bus_error* failure = sd_bus_message_get_error(reply);
        // sd-bus reports a connection that ended before the reply as NoReply.
        if (failure != nullptr && sd_bus_error_has_name(failure, SD_BUS_ERROR_NO_REPLY) != 0) {
            onError(XpcError{XpcError::Kind::interrupted, interruptedDescription(self->serviceName_)});
        } else {
            onError(XpcError{XpcError::Kind::interfaceMismatch,
                             failure != nullptr && failure->message != nullptr ? failure->message : "protocol error"});
        }
        return 0;
    }
    onReply(reply);
    return 0;
}

std::shared_ptr<XpcConnection> VirtualXpcConnector::connectToMachService(const std::string& name,
                                                                         XpcConnectionOptions /*options*/) {
    return std::make_shared<XpcClientConnection>(loop_, machDirectory_ / name, name);
}

}  // namespace lidora::vmac
