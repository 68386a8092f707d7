#include "platform/sparkle/Appcast.h"

#include <expat.h>

#include <memory>

#include "platform/prefs/XmlPlist.h"
#include "platform/sparkle/BundleVersion.h"

namespace lidora::vmac {

namespace {

constexpr char kSeparator = ' ';
constexpr int kMaxDepth = 32;

// Element and attribute names as expat reports them with namespaces on:
// "<namespace URI> <local name>", or just the local name.
std::string sparkleName(std::string_view local) {
    return std::string(kSparkleNamespace) + kSeparator + std::string(local);
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

struct ParseState {
    Appcast appcast;
    std::vector<std::string> path;  // open elements
    std::string text;
    std::optional<AppcastItem> item;
    bool sawRss = false;
    bool sawChannel = false;
    std::optional<std::string> error;
    XML_Parser parser = nullptr;

    void fail(std::string message) {
        if (!error) {
            error = "line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ": " + std::move(message);
        }
        XML_StopParser(parser, XML_FALSE);
    }
};

void XMLCALL startElement(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& state = *static_cast<ParseState*>(data);
    if (state.error) {
        return;
    }
    const std::string element(name);
    if (state.path.size() >= kMaxDepth) {
        state.fail("elements nest too deeply");
        return;
    }
    if (state.path.empty() && element != "rss") {
        state.fail("the document is no RSS feed (its top element is <" + element + ">)");
        return;
    }
    state.sawRss = true;
    if (state.path.size() == 1 && element == "channel") {
        state.sawChannel = true;
    }
    if (state.path.size() == 2 && state.path[1] == "channel" && element == "item") {
        state.item.emplace();
    }
    if (state.item && element == "enclosure") {
        for (auto attribute = attributes; *attribute != nullptr; attribute += 2) {
            if (attribute[0] == sparkleName("version")) {
                state.item->versionString = attribute[1];
            } else if (attribute[0] == sparkleName("shortVersionString")) {
                state.item->displayVersionString = attribute[1];
            }
        }
    }
    state.path.push_back(element);
    state.text.clear();
}

void XMLCALL endElement(void* data, const XML_Char* name) {
    auto& state = *static_cast<ParseState*>(data);
    // Expat may still report events after the parser was stopped.
    if (state.error || state.path.empty()) {
        return;
    }
    const std::string element(name);
    state.path.pop_back();
    if (state.item && element == sparkleName("version")) {
        state.item->versionString = state.text;
    } else if (state.item && element == sparkleName("shortVersionString")) {
        state.item->displayVersionString = state.text;
    } else if (!state.item && element == "title" && state.path.size() == 2) {
        state.appcast.title = state.text;
    } else if (state.item && element == "item") {
        auto item = std::move(*state.item);
        state.item.reset();
        // Trimmed first: a build of blanks would be written back as none.
        item.versionString = trimmed(item.versionString);
        item.displayVersionString = trimmed(item.displayVersionString);
        if (item.versionString.empty()) {
            state.fail("an item has no sparkle:version");
            return;
        }
        if (item.displayVersionString.empty()) {
            item.displayVersionString = item.versionString;
        }
        state.appcast.items.push_back(std::move(item));
    }
    state.text.clear();
}

void XMLCALL characters(void* data, const XML_Char* text, int length) {
    auto& state = *static_cast<ParseState*>(data);
    state.text.append(text, static_cast<std::size_t>(length));
}

}  // namespace

Expected<Appcast, std::string> parseAppcast(std::string_view text) {
    const std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
        XML_ParserCreateNS(nullptr, kSeparator), &XML_ParserFree);
    if (!parser) {
        return unexpected(std::string("cannot create an XML parser"));
    }
    ParseState state;
    state.parser = parser.get();
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), startElement, endElement);
    XML_SetCharacterDataHandler(parser.get(), characters);
    const auto status = XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE);
    if (state.error) {
        return unexpected(*state.error);
    }
    if (status != XML_STATUS_OK) {
        return unexpected("line " + std::to_string(XML_GetCurrentLineNumber(parser.get())) + ": " +
                          XML_ErrorString(XML_GetErrorCode(parser.get())));
    }
    if (!state.sawChannel) {
        return unexpected(std::string("the feed has no <channel>"));
    }
    state.appcast.title = trimmed(state.appcast.title);
    return std::move(state.appcast);
}

std::string renderAppcast(const Appcast& appcast) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<rss version=\"2.0\" xmlns:sparkle=\"" +
        std::string(kSparkleNamespace) +
        "\">\n"
        "  <channel>\n"
        "    <title>" +
        xmlEscaped(appcast.title) + "</title>\n";
    for (const auto& item : appcast.items) {
        out += "    <item>\n      <title>Version " + xmlEscaped(item.displayVersionString) +
               "</title>\n      <sparkle:version>" + xmlEscaped(item.versionString) +
               "</sparkle:version>\n      <sparkle:shortVersionString>" + xmlEscaped(item.displayVersionString) +
               "</sparkle:shortVersionString>\n    </item>\n";
    }
    out += "  </channel>\n</rss>\n";
    return out;
}

std::optional<AppcastItem> newestItem(const Appcast& appcast) {
    std::optional<AppcastItem> newest;
    for (const auto& item : appcast.items) {
        if (!newest || compareBundleVersions(item.versionString, newest->versionString) > 0) {
            newest = item;
        }
    }
    return newest;
}

}  // namespace lidora::vmac
