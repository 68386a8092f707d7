// Copies of element trees, their text, and finding elements by label.
#include <gtest/gtest.h>

#include "platform/accessibility/UiElementTree.h"
#include "platform/accessibility/UiLabelMatch.h"

namespace lidora::vmac {
namespace {

UiElement element(std::uint64_t id, std::string role, std::string title, std::vector<UiElement> children = {}) {
    UiElement made;
    made.id = id;
    made.role = std::move(role);
    made.title = std::move(title);
    made.children = std::move(children);
    if (made.role == kAXButtonRole || made.role == kAXRadioButtonRole || made.role == kAXCheckBoxRole ||
        made.role == kAXMenuBarItemRole) {
        made.actions = {std::string(kAXPressAction)};
    }
    if (made.role == kAXTextFieldRole || made.role == kAXSliderRole) {
        made.valueSettable = true;
        made.value = "";
    }
    return made;
}

UiElement disabled(UiElement made) {
    made.enabled = false;
    return made;
}

// The app with its menu-bar item, the panel and the message window.
UiElement app() {
    return element(
        1, "AXApplication", "Lidora",
        {element(2, "AXMenuBar", "", {element(3, "AXMenuBarItem", "Lidora")}),
         element(
             10, "AXWindow", "",
             {element(11, "AXCheckBox", "Logo Light"), element(12, "AXSlider", "Logo brightness"),
              element(13, "AXButton", "Send a Message\u2026", {element(14, "AXStaticText", "Send a Message\u2026")}),
              element(15, "AXButton", "Quit Lidora")}),
         element(20, "AXWindow", "Send a Message",
                 {element(21, "AXStaticText", "Send a Message"), element(22, "AXTextField", "Message"),
                  element(23, "AXRadioButton", "Slow"), element(24, "AXRadioButton", "Pro"),
                  element(25, "AXButton", "Cancel"), disabled(element(26, "AXButton", "Send"))}),
         element(30, "AXWindow", "Alert", {element(31, "AXButton", "Cancel"), element(32, "AXButton", "send")})});
}

struct Found {
    std::string label;
    UiPurpose purpose;
    std::uint64_t id;  // 0: an error containing `error`
    std::string error;
};

TEST(UiLabelMatch, FindsTheOneElementALabelNamesForWhatIsWanted) {
    const Found cases[] = {
        {"Quit Lidora", UiPurpose::Press, 15, ""},
        {"quit lidora", UiPurpose::Press, 15, ""},
        {"  Quit Lidora ", UiPurpose::Press, 15, ""},
        {"Send a Message", UiPurpose::Press, 13, ""},  // the ellipsis may be left out; texts are not pressable
        {"Send a Message...", UiPurpose::Press, 13, ""},
        {"Message", UiPurpose::SetValue, 22, ""},
        {"Logo brightness", UiPurpose::SetValue, 12, ""},
        {"Pro", UiPurpose::Select, 24, ""},
        {"Lidora", UiPurpose::OpenMenuBarItem, 3, ""},
        {"Alert > Cancel", UiPurpose::Press, 31, ""},
        {"Send a Message > Cancel", UiPurpose::Press, 25, ""},
        {"Alert > send", UiPurpose::Press, 32, ""},  // an exact title wins over a loose one
        {"Cancel", UiPurpose::Press, 0,
         "\"Cancel\" is ambiguous: it names 2 elements; name one with its window or group:\n"
         "  AXButton \"Send a Message > Cancel\"\n  AXButton \"Alert > Cancel\""},
        {"Send a Message > Send", UiPurpose::Press, 0, "AXButton \"Send a Message > Send\" is disabled"},
        {"Stop", UiPurpose::Press, 0, "no element is labelled \"Stop\" in Lidora"},
        {"Nowhere > Cancel", UiPurpose::Press, 0, "no element is labelled"},
        {"Logo Light", UiPurpose::SetValue, 0, "AXCheckBox \"Logo Light\" cannot be given a value"},
        {"Quit Lidora", UiPurpose::Select, 0, "cannot be selected"},
        {"Message", UiPurpose::Press, 0, "cannot be pressed"},
        {"Lidora", UiPurpose::Press, 3, ""},  // the menu-bar item; the app itself is no candidate
        {"", UiPurpose::Press, 0, "an empty label names nothing"},
    };
    const auto tree = app();
    for (const auto& expected : cases) {
        const auto found = findUiLabel(tree, expected.label, expected.purpose);
        if (expected.id != 0) {
            ASSERT_TRUE(found) << expected.label << ": " << found.error();
            EXPECT_EQ((*found)->id, expected.id) << expected.label;
        } else {
            ASSERT_FALSE(found) << expected.label;
            EXPECT_NE(found.error().find(expected.error), std::string::npos) << expected.label << ": " << found.error();
        }
    }
}

TEST(UiElementTree, RendersOneElementALineWithItsStates) {
    auto root = element(1, "AXApplication", "Lidora", {element(20, "AXWindow", "Send a Message")});
    auto& window = root.children.front();
    window.focused = true;
    auto field = element(22, "AXTextField", "Message");
    field.value = "SOS \"now\"\n";
    field.focused = true;
    window.children.push_back(field);
    window.children.push_back(disabled(element(26, "AXButton", "Send")));
    window.children.push_back(element(27, "", ""));
    EXPECT_EQ(renderUiTree(root),
              "AXApplication \"Lidora\"\n"
              "  AXWindow \"Send a Message\" focused\n"
              "    AXTextField \"Message\" = \"SOS \\\"now\\\"\\n\" focused\n"
              "    AXButton \"Send\" disabled\n"
              "    AXUnknown\n");
}

TEST(UiElementTree, WritesValuesAndTextsUnambiguously) {
    const std::pair<AXValue, std::string> values[] = {
        {AXValue(true), "1"},
        {AXValue(false), "0"},
        {AXValue(0.5), "0.5"},
        {AXValue(1.0), "1"},
        {AXValue(-0.0), "0"},
        {AXValue(0.1234567), "0.123457"},
        {AXValue(std::string("x")), "x"},
    };
    for (const auto& [value, text] : values) {
        EXPECT_EQ(uiValueText(value), text);
    }
    const std::pair<std::string, std::string> quoted[] = {
        {"plain", "\"plain\""},
        {"a\\b", "\"a\\\\b\""},
        {"tab\there", "\"tab\\there\""},
        {std::string("bell\x07", 5), "\"bell\\x07\""},
        {"\u00df\u2026", "\"\u00df\u2026\""},
    };
    for (const auto& [text, expected] : quoted) {
        EXPECT_EQ(quotedUiText(text), expected);
    }
}

// An interface element whose children are made on demand: `depth` levels
// of `width` children each.
class FakeElement final : public AXUIElement {
public:
    FakeElement(std::uint64_t id, int depth, int width) : id_(id), depth_(depth), width_(width) {}
    [[nodiscard]] std::uint64_t identifier() const override { return id_; }
    [[nodiscard]] Expected<AXValue, AXError> copyAttributeValue(std::string_view attribute) const override {
        if (attribute == kAXRoleAttribute) {
            return AXValue(std::string(kAXGroupRole));
        }
        if (attribute == kAXDescriptionAttribute) {
            return AXValue("group " + std::to_string(id_));
        }
        if (attribute == kAXValueAttribute && id_ % 2 == 0) {
            return AXValue(std::string(kUiTextMaxBytes + 10, 'v'));
        }
        return unexpected(AXError::AttributeUnsupported);
    }
    [[nodiscard]] bool isAttributeSettable(std::string_view /*attribute*/) const override { return false; }
    AXError setAttributeValue(std::string_view /*attribute*/, const AXValue& /*value*/) override {
        return AXError::AttributeUnsupported;
    }
    [[nodiscard]] std::vector<std::string> copyActionNames() const override { return {}; }
    AXError performAction(std::string_view /*action*/) override { return AXError::ActionUnsupported; }
    [[nodiscard]] std::vector<std::unique_ptr<AXUIElement>> children() const override {
        std::vector<std::unique_ptr<AXUIElement>> made;
        for (int i = 0; depth_ > 0 && i < width_; ++i) {
            made.push_back(
                std::make_unique<FakeElement>(id_ * 10 + static_cast<std::uint64_t>(i) + 1, depth_ - 1, width_));
        }
        return made;
    }

private:
    std::uint64_t id_;
    int depth_;
    int width_;
};

std::size_t count(const UiElement& tree) {
    std::size_t total = 1;
    for (const auto& child : tree.children) {
        total += count(child);
    }
    return total;
}

std::size_t depth(const UiElement& tree) {
    std::size_t deepest = 0;
    for (const auto& child : tree.children) {
        deepest = std::max(deepest, depth(child));
    }
    return deepest + 1;
}

TEST(UiElementTree, CopiesWithinItsBoundsAndFindsElementsAgain) {
    const auto small = copyUiTree(FakeElement(1, 2, 3));
    EXPECT_EQ(count(small), 13U);
    EXPECT_EQ(small.title, "group 1") << "the description stands in for a missing title";
    EXPECT_FALSE(small.children[0].value);
    EXPECT_EQ(small.children[1].value->size(), kUiTextMaxBytes) << "a long value is cut";
    EXPECT_EQ(findUiElement(FakeElement(1, 2, 3), 123)->identifier(), 123U);
    EXPECT_EQ(findUiElement(FakeElement(1, 2, 3), 124), nullptr);

    EXPECT_EQ(count(copyUiTree(FakeElement(1, 8, 4))), kUiTreeMaxElements) << "a wide tree is cut";
    EXPECT_EQ(depth(copyUiTree(FakeElement(1, 200, 1))), kUiTreeMaxDepth) << "a deep one too";
}

}  // namespace
}  // namespace lidora::vmac
