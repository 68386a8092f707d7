#include "platform/xpc/LogoHelperWire.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace lidora::vmac {

namespace {

// Replies once: the exported object's reply if it gives one before
// returning, otherwise an error, so that no request goes unanswered.
class PendingReply {
public:
    explicit PendingReply(sd_bus_message* call) : call_(sd_bus_message_ref(call)) {}

    template <typename Build>
    void send(Build&& build) {
        if (replied_) {
            return;
        }
        replied_ = true;
        sd_bus_message* raw = nullptr;
        if (sd_bus_message_new_method_return(call_.get(), &raw) < 0) {
            return;
        }
        const SdBusMessagePtr reply(raw);
        if (build(reply.get()) >= 0) {
            sd_bus_send(nullptr, reply.get(), nullptr);
        }
    }

    int finish(sd_bus_error* error) {
        if (replied_) {
            return 1;
        }
        replied_ = true;
        return sd_bus_error_set(error, SD_BUS_ERROR_NO_REPLY, "The exported object did not reply.");
    }

private:
    SdBusMessagePtr call_;
    bool replied_ = false;
};

int appendOptionalText(sd_bus_message* m, const std::optional<std::string>& text) {
    int r = sd_bus_message_open_container(m, 'a', "s");
    if (r >= 0 && text) {
        r = sd_bus_message_append(m, "s", text->c_str());
    }
    return r < 0 ? r : sd_bus_message_close_container(m);
}

Expected<std::optional<std::string>, int> readOptionalText(sd_bus_message* m) {
    int r = sd_bus_message_enter_container(m, 'a', "s");
    if (r < 0) {
        return unexpected(r);
    }
    std::optional<std::string> text;
    const char* item = nullptr;
    while ((r = sd_bus_message_read(m, "s", &item)) > 0) {
        // Zero or one text; a longer array keeps the first.
        if (!text) {
            text = item;
        }
    }
    if (r < 0) {
        return unexpected(r);
    }
    r = sd_bus_message_exit_container(m);
    if (r < 0) {
        return unexpected(r);
    }
    return text;
}

LogoHelperProtocol* target(void* userdata) {
    return static_cast<LogoHelperProtocol*>(userdata);
}

int onGetState(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    PendingReply pending(m);
    target(userdata)->getState([&pending](std::int64_t state, std::optional<std::string> text) {
        pending.send([&](sd_bus_message* reply) {
            const int r = sd_bus_message_append(reply, "x", state);
            return r < 0 ? r : appendOptionalText(reply, text);
        });
    });
    return pending.finish(error);
}

int onSetLightOn(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    int on = 0;
    if (const int r = sd_bus_message_read(m, "b", &on); r < 0) {
        return r;
    }
    PendingReply pending(m);
    target(userdata)->setLightOn(on != 0, [&pending](std::optional<std::string> text) {
        pending.send([&](sd_bus_message* reply) { return appendOptionalText(reply, text); });
    });
    return pending.finish(error);
}

int onVersion(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    PendingReply pending(m);
    target(userdata)->version([&pending](std::string version) {
        pending.send([&](sd_bus_message* reply) { return sd_bus_message_append(reply, "s", version.c_str()); });
    });
    return pending.finish(error);
}

int onResetLogoTables(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    PendingReply pending(m);
    target(userdata)->resetLogoTables([&pending](std::optional<std::string> text) {
        pending.send([&](sd_bus_message* reply) { return appendOptionalText(reply, text); });
    });
    return pending.finish(error);
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("GetState", "", "xas", onGetState, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("SetLightOn", "b", "as", onSetLightOn, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Version", "", "s", onVersion, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ResetLogoTables", "", "as", onResetLogoTables, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

XpcError malformedReply(int r) {
    return XpcError{XpcError::Kind::interfaceMismatch, std::string("Malformed reply: ") + std::strerror(-r)};
}

class LogoHelperProxy final : public LogoHelperProtocol {
public:
    LogoHelperProxy(std::shared_ptr<XpcClientChannel> channel, XpcErrorHandler errorHandler)
        : channel_(std::move(channel)), errorHandler_(std::move(errorHandler)) {}

    void getState(StateReply reply) override {
        channel_->call(
            kLogoHelperObjectPath, kLogoHelperInterface, "GetState", {},
            [reply = std::move(reply), onError = errorHandler_](sd_bus_message* m) {
                std::int64_t state = 0;
                if (const int r = sd_bus_message_read(m, "x", &state); r < 0) {
                    return onError(malformedReply(r));
                }
                auto text = readOptionalText(m);
                if (!text) {
                    return onError(malformedReply(text.error()));
                }
                reply(state, std::move(*text));
            },
            errorHandler_);
    }

    void setLightOn(bool on, ErrorReply reply) override {
        channel_->call(
            kLogoHelperObjectPath, kLogoHelperInterface, "SetLightOn",
            [on](sd_bus_message* m) { return sd_bus_message_append(m, "b", static_cast<int>(on)); },
            errorReply(std::move(reply)), errorHandler_);
    }

    void version(VersionReply reply) override {
        channel_->call(
            kLogoHelperObjectPath, kLogoHelperInterface, "Version", {},
            [reply = std::move(reply), onError = errorHandler_](sd_bus_message* m) {
                const char* version = nullptr;
                if (const int r = sd_bus_message_read(m, "s", &version); r < 0) {
                    return onError(malformedReply(r));
                }
                reply(version);
            },
            errorHandler_);
    }

    void resetLogoTables(ErrorReply reply) override {
        channel_->call(kLogoHelperObjectPath, kLogoHelperInterface, "ResetLogoTables", {}, errorReply(std::move(reply)),
                       errorHandler_);
    }

private:
    std::function<void(sd_bus_message*)> errorReply(ErrorReply reply) const {
        return [reply = std::move(reply), onError = errorHandler_](sd_bus_message* m) {
            auto text = readOptionalText(m);
            if (!text) {
                return onError(malformedReply(text.error()));
            }
            reply(std::move(*text));
        };
    }

    std::shared_ptr<XpcClientChannel> channel_;
    XpcErrorHandler errorHandler_;
};

}  // namespace

Expected<SdBusSlotPtr, std::string> exportLogoHelper(sd_bus* bus, std::shared_ptr<LogoHelperProtocol> object) {
    sd_bus_slot* slot = nullptr;
    const int r =
        sd_bus_add_object_vtable(bus, &slot, kLogoHelperObjectPath, kLogoHelperInterface, kVtable, object.get());
    if (r < 0) {
        return unexpected(std::string("cannot export the helper interface: ") + std::strerror(-r));
    }
    return SdBusSlotPtr(slot);
}

std::shared_ptr<LogoHelperProtocol> makeLogoHelperProxy(std::shared_ptr<XpcClientChannel> channel,
                                                        XpcErrorHandler errorHandler) {
    return std::make_shared<LogoHelperProxy>(std::move(channel), std::move(errorHandler));
}

}  // namespace lidora::vmac
