#include <gtest/gtest.h>

#include "platform/controlcenter/ControlLine.h"
#include "platform/controlcenter/ControlWire.h"

namespace lidora::vmac {
namespace {

const ControlTemplate kLightOn{ControlTemplate::Style::toggle, "Apple Logo Light", "On", "lightbulb.fill", true};
const ControlTemplate kSixty{ControlTemplate::Style::button, "Logo Brightness", "60%", "sun.max.fill", false};

TEST(ControlWire, RequestsAndRepliesSurviveTheTrip) {
    const ControlRequest requests[] = {
        {ControlRequest::Kind::describe, "", std::nullopt},
        {ControlRequest::Kind::value, "com.zelquin.lidora.control.logo-light", std::nullopt},
        {ControlRequest::Kind::preview, "k", std::nullopt},
        {ControlRequest::Kind::perform, "com.zelquin.lidora.control.logo-light", false},
        {ControlRequest::Kind::perform, "com.zelquin.lidora.control.logo-brightness", std::nullopt},
    };
    for (const auto& request : requests) {
        EXPECT_EQ(decodeControlRequest(encodeControlRequest(request)).value(), request);
    }
    ControlReply described;
    described.controls = {{"a.b", "Apple Logo Light", "Turn it on or off.", ControlTemplate::Style::toggle},
                          {"a.c", "Logo Brightness", "Step it.", ControlTemplate::Style::button}};
    ControlReply shown;
    shown.shown = kLightOn;
    ControlReply performed;
    performed.performed = true;
    ControlReply failed;
    failed.failure = "Lidora couldn't change the logo light. Open Lidora to finish setup.";
    for (const auto& reply : {described, shown, performed, failed}) {
        EXPECT_EQ(decodeControlReply(encodeControlReply(reply)).value(), reply);
    }
}

TEST(ControlWire, MalformedMessagesAreRefusedWithAReason) {
    const char* requests[] = {
        "",
        "[]",
        R"({"request":"explode"})",
        R"({"request":"value"})",
        R"({"request":"value","kind":""})",
        R"({"request":"value","kind":"k","value":true})",
        R"({"request":"perform","kind":"k","value":"yes"})",
    };
    for (const char* text : requests) {
        const auto decoded = decodeControlRequest(text);
        ASSERT_FALSE(decoded) << text;
        EXPECT_FALSE(decoded.error().empty());
    }
    const char* replies[] = {
        "",
        "{}",
        R"({"template":{"style":"slider","title":"t","valueText":"v","systemImage":"s","isOn":false}})",
        R"({"template":{"style":"button","title":"t","valueText":"v","systemImage":"s"}})",
        R"({"controls":[{"kind":"k","displayName":"n","style":"button"}]})",
    };
    for (const char* text : replies) {
        EXPECT_FALSE(decodeControlReply(text)) << text;
    }
}

TEST(ControlLine, ShowsTitleValueSymbolAndSwitchState) {
    const struct {
        Expected<ControlTemplate, std::string> shown;
        const char* line;
    } cases[] = {
        {kLightOn, "Apple Logo Light   On    lightbulb.fill  on"},
        {ControlTemplate{ControlTemplate::Style::toggle, "Apple Logo Light", "Off", "lightbulb.slash", false},
         "Apple Logo Light   Off   lightbulb.slash off"},
        {kSixty, "Logo Brightness    60%   sun.max.fill"},
        {unexpected(std::string("Couldn't reach the Lidora helper: gone")),
         "Apple Logo Light  unavailable: Couldn't reach the Lidora helper: gone"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(controlLine("Apple Logo Light", c.shown), c.line);
    }
}

}  // namespace
}  // namespace lidora::vmac
