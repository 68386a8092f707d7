#include "platform/shortcuts/ShortcutsWire.h"

#include <cstring>

namespace lidora::vmac {

namespace {

constexpr std::size_t kMostArguments = 32;

int appendValue(sd_bus_message* m, const ArgumentValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        return sd_bus_message_append(m, "v", "s", text->c_str());
    }
    if (const auto* number = std::get_if<std::int64_t>(&value)) {
        return sd_bus_message_append(m, "v", "x", *number);
    }
    return sd_bus_message_append(m, "v", "b", static_cast<int>(std::get<bool>(value)));
}

Expected<ArgumentValue, std::string> readValue(sd_bus_message* m) {
    const char* contents = nullptr;
    if (sd_bus_message_peek_type(m, nullptr, &contents) < 0 || contents == nullptr) {
        return unexpected(std::string("malformed argument"));
    }
    const std::string type = contents;
    int r = sd_bus_message_enter_container(m, 'v', contents);
    ArgumentValue value;
    if (r >= 0 && type == "s") {
        const char* text = nullptr;
        r = sd_bus_message_read(m, "s", &text);
        value = std::string(text != nullptr ? text : "");
    } else if (r >= 0 && type == "x") {
        std::int64_t number = 0;
        r = sd_bus_message_read(m, "x", &number);
        value = number;
    } else if (r >= 0 && type == "b") {
        int flag = 0;
        r = sd_bus_message_read(m, "b", &flag);
        value = flag != 0;
    } else {
        return unexpected("arguments of type " + type + " are not taken");
    }
    if (r < 0 || sd_bus_message_exit_container(m) < 0) {
        return unexpected(std::string("malformed argument"));
    }
    return value;
}

}  // namespace

int appendRunRequest(sd_bus_message* m, const RunRequest& request) {
    int r = sd_bus_message_append(m, "s", request.identifier.c_str());
    if (r >= 0) {
        r = sd_bus_message_open_container(m, 'a', "{sv}");
    }
    for (const auto& [name, value] : request.arguments) {
        if (r >= 0) {
            r = sd_bus_message_open_container(m, 'e', "sv");
        }
        if (r >= 0) {
            r = sd_bus_message_append(m, "s", name.c_str());
        }
        if (r >= 0) {
            r = appendValue(m, value);
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
    }
    return r >= 0 ? sd_bus_message_close_container(m) : r;
}

Expected<RunRequest, std::string> readRunRequest(sd_bus_message* m) {
    RunRequest request;
    const char* identifier = nullptr;
    if (sd_bus_message_read(m, "s", &identifier) < 0 || sd_bus_message_enter_container(m, 'a', "{sv}") < 0) {
        return unexpected(std::string("malformed request"));
    }
    request.identifier = identifier;
    for (;;) {
        const int entered = sd_bus_message_enter_container(m, 'e', "sv");
        if (entered == 0) {
            break;
        }
        const char* name = nullptr;
        if (entered < 0 || sd_bus_message_read(m, "s", &name) < 0) {
            return unexpected(std::string("malformed request"));
        }
        auto value = readValue(m);
        if (!value) {
            return unexpected(value.error());
        }
        if (sd_bus_message_exit_container(m) < 0 || request.arguments.size() >= kMostArguments ||
            !request.arguments.emplace(name, std::move(*value)).second) {
            return unexpected(std::string("malformed request"));
        }
    }
    if (sd_bus_message_exit_container(m) < 0) {
        return unexpected(std::string("malformed request"));
    }
    return request;
}

int appendRunReply(sd_bus_message* m, const ActionResult& result) {
    return sd_bus_message_append(m, "bs", static_cast<int>(result.has_value()),
                                 result ? result->c_str() : result.error().message.c_str());
}

Expected<ActionResult, std::string> readRunReply(sd_bus_message* m) {
    int performed = 0;
    const char* text = nullptr;
    if (sd_bus_message_read(m, "bs", &performed, &text) < 0 || text == nullptr) {
        return unexpected(std::string("malformed answer"));
    }
    if (performed != 0) {
        return ActionResult(std::string(text));
    }
    return ActionResult(unexpected(HelperError{text}));
}

}  // namespace lidora::vmac
