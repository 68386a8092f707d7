#include "platform/controlcenter/ControlWire.h"

#include <array>
#include <nlohmann/json.hpp>

namespace lidora::vmac {

namespace {

using Json = nlohmann::json;

constexpr std::array<std::pair<ControlRequest::Kind, const char*>, 4> kRequests{{
    {ControlRequest::Kind::describe, "describe"},
    {ControlRequest::Kind::preview, "preview"},
    {ControlRequest::Kind::value, "value"},
    {ControlRequest::Kind::perform, "perform"},
}};

const char* styleName(ControlTemplate::Style style) {
    return style == ControlTemplate::Style::toggle ? "toggle" : "button";
}

std::optional<ControlTemplate::Style> styleNamed(const Json& json) {
    if (json == "toggle") {
        return ControlTemplate::Style::toggle;
    }
    if (json == "button") {
        return ControlTemplate::Style::button;
    }
    return std::nullopt;
}

// The string member `key`, or empty when missing or of another type.
std::optional<std::string> stringAt(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

Expected<ControlTemplate, std::string> decodeTemplate(const Json& json) {
    const auto style = json.is_object() ? styleNamed(json.value("style", Json())) : std::nullopt;
    const auto title = json.is_object() ? stringAt(json, "title") : std::nullopt;
    const auto valueText = json.is_object() ? stringAt(json, "valueText") : std::nullopt;
    const auto image = json.is_object() ? stringAt(json, "systemImage") : std::nullopt;
    if (!style || !title || !valueText || !image || !json.contains("isOn") || !json["isOn"].is_boolean()) {
        return unexpected(std::string("a control template needs style, title, valueText, systemImage and isOn"));
    }
    return ControlTemplate{*style, *title, *valueText, *image, json["isOn"].get<bool>()};
}

}  // namespace

std::string encodeControlRequest(const ControlRequest& request) {
    Json json{{"request", kRequests.at(static_cast<std::size_t>(request.request)).second}};
    if (request.request != ControlRequest::Kind::describe) {
        json["kind"] = request.kind;
    }
    if (request.value) {
        json["value"] = *request.value;
    }
    return json.dump() + "\n";
}

Expected<ControlRequest, std::string> decodeControlRequest(std::string_view text) {
    const auto json = Json::parse(text, nullptr, false);
    if (!json.is_object()) {
        return unexpected(std::string("a request is a JSON object"));
    }
    ControlRequest request;
    const auto name = stringAt(json, "request");
    const auto* known = std::find_if(kRequests.begin(), kRequests.end(),
                                     [&](const auto& entry) { return name && *name == entry.second; });
    if (known == kRequests.end()) {
        return unexpected("unknown request " + name.value_or("(none)"));
    }
    request.request = known->first;
    if (request.request != ControlRequest::Kind::describe) {
        const auto kind = stringAt(json, "kind");
        if (!kind || kind->empty()) {
            return unexpected(std::string("the request names no control kind"));
        }
        request.kind = *kind;
    }
    if (json.contains("value")) {
        if (!json["value"].is_boolean() || request.request != ControlRequest::Kind::perform) {
            return unexpected(std::string("only perform takes a value, true or false"));
        }
        request.value = json["value"].get<bool>();
    }
    return request;
}

std::string encodeControlReply(const ControlReply& reply) {
    Json json = Json::object();
    if (reply.failure) {
        json["failure"] = *reply.failure;
    } else if (reply.shown) {
        json["template"] = {{"style", styleName(reply.shown->style)},
                            {"title", reply.shown->title},
                            {"valueText", reply.shown->valueText},
                            {"systemImage", reply.shown->systemImage},
                            {"isOn", reply.shown->isOn}};
    } else if (reply.performed) {
        json["performed"] = true;
    } else {
        json["controls"] = Json::array();
        for (const auto& control : reply.controls) {
            json["controls"].push_back({{"kind", control.kind},
                                        {"displayName", control.displayName},
                                        {"description", control.description},
                                        {"style", styleName(control.style)}});
        }
    }
    return json.dump() + "\n";
}

Expected<ControlReply, std::string> decodeControlReply(std::string_view text) {
    const auto json = Json::parse(text, nullptr, false);
    if (!json.is_object()) {
        return unexpected(std::string("the extension's answer is no JSON object"));
    }
    ControlReply reply;
    if (const auto failure = stringAt(json, "failure")) {
        reply.failure = *failure;
    } else if (json.contains("template")) {
        auto shown = decodeTemplate(json["template"]);
        if (!shown) {
            return unexpected(shown.error());
        }
        reply.shown = std::move(shown).value();
    } else if (json.value("performed", false)) {
        reply.performed = true;
    } else if (json.contains("controls") && json["controls"].is_array()) {
        for (const auto& control : json["controls"]) {
            const auto kind = control.is_object() ? stringAt(control, "kind") : std::nullopt;
            const auto name = control.is_object() ? stringAt(control, "displayName") : std::nullopt;
            const auto description = control.is_object() ? stringAt(control, "description") : std::nullopt;
            const auto style = control.is_object() ? styleNamed(control.value("style", Json())) : std::nullopt;
            if (!kind || !name || !description || !style) {
                return unexpected(std::string("a control needs kind, displayName, description and style"));
            }
            reply.controls.push_back({*kind, *name, *description, *style});
        }
    } else {
        return unexpected(std::string("the extension's answer says nothing"));
    }
    return reply;
}

}  // namespace lidora::vmac
