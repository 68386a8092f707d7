#include "platform/bus/AccessibilityServer.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/bus/AccessibilityWire.h"
#include "platform/sdbus/SdBusPtr.h"

namespace lidora::vmac {

namespace {

// Requests whose caller is still being identified; more are refused, so a
// flood from anyone costs a bounded amount.
constexpr std::size_t kMaxPending = 64;

using Held = std::shared_ptr<sd_bus_message>;

void fail(sd_bus_message* call, const std::string& name, const std::string& text) {
    (void)sd_bus_reply_method_errorf(call, name.c_str(), "%s", text.c_str());
}

void fail(sd_bus_message* call, AXError error, const std::string& text) {
    fail(call, accessibilityErrorName(error), text);
}

std::string userName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
    }
    return "uid " + std::to_string(uid);
}

// The text as the kind of value the element holds now.
std::optional<AXValue> valueLike(const AXValue& current, const std::string& text) {
    if (std::holds_alternative<std::string>(current)) {
        return AXValue(text);
    }
    if (std::holds_alternative<bool>(current)) {
        if (text == "1" || text == "true" || text == "on" || text == "yes") {
            return AXValue(true);
        }
        if (text == "0" || text == "false" || text == "off" || text == "no") {
            return AXValue(false);
        }
        return std::nullopt;
    }
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return AXValue(number);
}

}  // namespace

struct AccessibilityServer::State : std::enable_shared_from_this<State> {
    RunLoop& loop;
    VmacBus& bus;
    std::function<std::unique_ptr<AXUIElement>()> application;
    Logger logger;
    std::size_t pending = 0;
    std::map<std::uint64_t, Cancellable> queries;
    std::uint64_t nextQuery = 1;

    State(RunLoop& loop, VmacBus& bus, std::function<std::unique_ptr<AXUIElement>()> application, Logger logger)
        : loop(loop), bus(bus), application(std::move(application)), logger(std::move(logger)) {}

    void received(const Held& call) {
        if (sd_bus_message_is_method_call(call.get(), kAccessibilityInterface, nullptr) <= 0) {
            fail(call.get(), "org.freedesktop.DBus.Error.UnknownInterface", "only com.zelquin.vmac.Accessibility");
            return;
        }
        const char* sender = sd_bus_message_get_sender(call.get());
        if (sender == nullptr || pending >= kMaxPending) {
            fail(call.get(), AXError::CannotComplete, "the application is busy");
            return;
        }
        ++pending;
        const auto id = nextQuery++;
        queries.emplace(id,
                        bus.queryNameOwnerUid(sender, [weak = weak_from_this(), call, id](std::optional<uid_t> uid) {
                            if (auto self = weak.lock()) {
                                --self->pending;
                                self->queries.erase(id);
                                self->admitted(call, uid);
                            }
                        }));
    }

    void admitted(const Held& call, std::optional<uid_t> uid) {
        const uid_t own = ::geteuid();
        if (!uid) {
            fail(call.get(), kAccessibilityNotPermitted, "the bus could not say who is asking");
            return;
        }
        if (*uid != own) {
            logger.notice("refused UI scripting by %{public}s", userName(*uid));
            fail(call.get(), kAccessibilityNotPermitted,
                 "only processes of " + userName(own) + " may script this application; the caller runs as " +
                     userName(*uid));
            return;
        }
        const auto root = application();
        if (!root) {
            fail(call.get(), AXError::CannotComplete, "the application has no interface yet");
            return;
        }
        if (sd_bus_message_is_method_call(call.get(), nullptr, kCopyTreeMethod) > 0) {
            copyTree(call, *root);
        } else if (sd_bus_message_is_method_call(call.get(), nullptr, kPerformMethod) > 0) {
            perform(call, *root);
        } else if (sd_bus_message_is_method_call(call.get(), nullptr, kSetValueMethod) > 0) {
            setValue(call, *root);
        } else {
            fail(call.get(), "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
        }
    }

    static void copyTree(const Held& call, const AXUIElement& root) {
        sd_bus_message* raw = nullptr;
        int r = sd_bus_message_new_method_return(call.get(), &raw);
        const SdBusMessagePtr reply(raw);
        if (r >= 0) {
            r = appendUiTree(reply.get(), copyUiTree(root));
        }
        if (r >= 0) {
            r = sd_bus_send(nullptr, reply.get(), nullptr);
        }
        if (r < 0) {
            fail(call.get(), AXError::Failure, std::string("the tree could not be sent: ") + std::strerror(-r));
        }
    }

    // The element a request names, enabled; empty after answering.
    static std::unique_ptr<AXUIElement> target(const Held& call, const AXUIElement& root, std::uint64_t id) {
        auto element = findUiElement(root, id);
        if (!element) {
            fail(call.get(), AXError::InvalidUIElement, "the element is no longer shown");
            return nullptr;
        }
        const auto enabled = element->copyAttributeValue(kAXEnabledAttribute);
        if (enabled && std::holds_alternative<bool>(*enabled) && !std::get<bool>(*enabled)) {
            fail(call.get(), AXError::CannotComplete, "the element is disabled");
            return nullptr;
        }
        return element;
    }

    // Answers before acting: an action may run a modal loop (an alert)
    // that would otherwise hold the answer until it closes.
    void perform(const Held& call, const AXUIElement& root) {
        std::uint64_t id = 0;
        const char* action = nullptr;
        if (sd_bus_message_read(call.get(), "ts", &id, &action) < 0) {
            fail(call.get(), AXError::IllegalArgument, "Perform takes an element and an action");
            return;
        }
        const auto element = target(call, root, id);
        if (!element) {
            return;
        }
        const auto actions = element->copyActionNames();
        if (std::find(actions.begin(), actions.end(), action) == actions.end()) {
            fail(call.get(), AXError::ActionUnsupported, std::string("the element has no action ") + action);
            return;
        }
        (void)sd_bus_reply_method_return(call.get(), "");
        loop.post([weak = weak_from_this(), id, name = std::string(action)] {
            auto self = weak.lock();
            const auto root = self ? self->application() : nullptr;
            const auto element = root ? findUiElement(*root, id) : nullptr;
            if (!element || element->performAction(name) != AXError::Success) {
                if (self) {
                    self->logger.error("UI scripting: %{public}s could not be performed", name);
                }
            }
        });
    }

    static void setValue(const Held& call, const AXUIElement& root) {
        std::uint64_t id = 0;
        const char* text = nullptr;
        if (sd_bus_message_read(call.get(), "ts", &id, &text) < 0) {
            fail(call.get(), AXError::IllegalArgument, "SetValue takes an element and a value");
            return;
        }
        const auto element = target(call, root, id);
        if (!element) {
            return;
        }
        if (!element->isAttributeSettable(kAXValueAttribute)) {
            fail(call.get(), AXError::AttributeUnsupported, "the element's value cannot be set");
            return;
        }
        const auto current = element->copyAttributeValue(kAXValueAttribute);
        const AXValue kind = current ? *current : AXValue(std::string());
        const auto value = valueLike(kind, text);
        if (!value) {
            fail(call.get(), AXError::IllegalArgument,
                 "the element holds a " + std::string(std::holds_alternative<bool>(kind) ? "yes/no" : "number") +
                     " value; " + quotedUiText(text) + " is not one");
            return;
        }
        const auto error = element->setAttributeValue(kAXValueAttribute, *value);
        if (error == AXError::IllegalArgument) {
            fail(call.get(), error, "the element does not take the value " + quotedUiText(text));
        } else if (error != AXError::Success) {
            fail(call.get(), error, "the value could not be set");
        } else {
            (void)sd_bus_reply_method_return(call.get(), "");
        }
    }
};

AccessibilityServer::AccessibilityServer(RunLoop& loop, VmacBus& bus,
                                         std::function<std::unique_ptr<AXUIElement>()> application, Logger logger)
    : state_(std::make_shared<State>(loop, bus, std::move(application), std::move(logger))),
      served_(bus.serveObject(kAccessibilityPath, [weak = std::weak_ptr<State>(state_)](sd_bus_message* message) {
          if (auto state = weak.lock()) {
              state->received(Held(sd_bus_message_ref(message), sd_bus_message_unref));
          }
      })) {}

}  // namespace lidora::vmac
