// vmac ui: UI scripting, as System Events offers it on macOS: prints a
// running app's element tree, presses buttons, sets values, selects tabs
// and opens the app's menu-bar item, through the app's accessibility
// interface on the bus.
#include <cstdio>
#include <cstdlib>

#include "platform/accessibility/UiLabelMatch.h"
#include "platform/bus/AccessibilityClient.h"
#include "platform/bus/BusNames.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/CommandBus.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr const char* kUsage =
    "usage: vmac ui tree [APP]\n"
    "       vmac ui press LABEL [--app APP]\n"
    "       vmac ui set LABEL VALUE [--app APP]\n"
    "       vmac ui select TAB [--app APP]\n"
    "       vmac ui menubar APP\n\n"
    "Scripts a running app's windows as assistive software does: tree prints\n"
    "every element of the app's menu-bar item and shown windows (role, \"title\",\n"
    "= \"value\", disabled, focused); press clicks a button or check box; set\n"
    "types a text field's text, moves a slider or turns a switch on (1) or\n"
    "off (0); select picks a tab or a segment; menubar clicks the app's\n"
    "menu-bar icon (opening its panel).\n\n"
    "APP is a name in /Applications (Lidora) or a bundle identifier; without\n"
    "it, the one app that runs. LABEL is an element's title, or titles from\n"
    "its window down joined by \" > \" (\"Send a Message > Send\"); case and a\n"
    "trailing ellipsis may differ. Only your own apps can be scripted.\n\n"
    "options:\n"
    "  --app APP      the app to script\n"
    "  --timeout S    how long the app may take to answer (default 5 seconds)\n\n"
    "Exit status 1 when the app is unknown or not running, does not answer,\n"
    "the label names nothing, several elements or a disabled one, or the\n"
    "value is refused; 64 for bad usage.\n";

struct App {
    std::string name;
    std::string bundleIdentifier;
};

struct Options {
    std::string verb;
    std::vector<std::string> operands;
    std::optional<std::string> app;
    std::chrono::milliseconds timeout = 5s;
};

std::string infoString(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    const auto* text = found == info.end() ? nullptr : found->second.asString();
    return text == nullptr ? std::string() : *text;
}

std::optional<App> appAt(const std::filesystem::path& bundle) {
    const auto info = readBundleInfo(bundle);
    auto identifier = infoString(info, "CFBundleIdentifier");
    if (identifier.empty()) {
        return std::nullopt;
    }
    return App{bundle.stem().string(), std::move(identifier)};
}

std::vector<App> installedApps(const VmacPaths& paths) {
    std::vector<App> apps;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(paths.applications(), error)) {
        if (entry.path().extension() == ".app") {
            if (auto app = appAt(entry.path())) {
                apps.push_back(std::move(*app));
            }
        }
    }
    std::sort(apps.begin(), apps.end(), [](const App& a, const App& b) { return a.name < b.name; });
    return apps;
}

Expected<App, std::string> findApp(const VmacPaths& paths, CommandBus& command,
                                   const std::optional<std::string>& name) {
    const auto running = [&](const App& app) {
        return command.ownerOf(busNameForBundleIdentifier(app.bundleIdentifier)).has_value();
    };
    if (name) {
        const std::string stem = name->ends_with(".app") ? name->substr(0, name->size() - 4) : *name;
        for (const auto& app : installedApps(paths)) {
            if (app.name == stem || app.bundleIdentifier == *name) {
                if (!running(app)) {
                    return unexpected(app.name + " is not running (vmac open " + app.name + " starts it)");
                }
                return app;
            }
        }
        return unexpected("there is no application " + *name + " in /Applications");
    }
    std::vector<App> found;
    for (auto& app : installedApps(paths)) {
        if (running(app)) {
            found.push_back(std::move(app));
        }
    }
    if (found.empty()) {
        return unexpected(std::string("no application is running"));
    }
    if (found.size() > 1) {
        std::string names;
        for (const auto& app : found) {
            names += (names.empty() ? "" : ", ") + app.name;
        }
        return unexpected("several applications are running (" + names + "); name one");
    }
    return found.front();
}

// Runs the command's loop until `answer` holds or a bound past the client's own time-out.
template <typename T>
bool await(CommandBus& command, const std::optional<T>& answer, std::chrono::milliseconds timeout) {
    auto& loop = command.loop();
    const auto deadline = loop.now() + timeout + 1s;
    while (!answer && loop.now() < deadline) {
        loop.runUntil(deadline);
    }
    return answer.has_value();
}

Expected<UiElement, std::string> copyTree(CommandBus& command, AccessibilityClient& client,
                                          std::chrono::milliseconds timeout) {
    std::optional<Expected<UiElement, std::string>> tree;
    const auto asking = client.copyTree([&](Expected<UiElement, std::string> answer) {
        tree.emplace(std::move(answer));
        command.loop().stop();
    });
    if (!await(command, tree, timeout)) {
        return unexpected(std::string("the application did not answer in time"));
    }
    return std::move(*tree);
}

std::optional<std::string> act(CommandBus& command, AccessibilityClient& client, const Options& options,
                               const UiElement& element) {
    std::optional<std::optional<std::string>> outcome;
    const auto done = [&](std::optional<std::string> error) {
        outcome.emplace(std::move(error));
        command.loop().stop();
    };
    const auto asking = options.verb == "set" ? client.setValue(element.id, options.operands[1], done)
                                              : client.perform(element.id, std::string(kAXPressAction), done);
    if (!await(command, outcome, options.timeout)) {
        return "the application did not answer in time";
    }
    return *outcome;
}

std::optional<Options> parse(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        if ((argument == "--app" || argument == "--timeout") && i + 1 < arguments.size()) {
            const auto& value = arguments[++i];
            if (argument == "--app") {
                options.app = value;
                continue;
            }
            char* end = nullptr;
            const double seconds = std::strtod(value.c_str(), &end);
            if (value.empty() || *end != '\0' || !(seconds > 0 && seconds <= 600)) {
                return std::nullopt;
            }
            options.timeout = std::chrono::milliseconds(static_cast<long>(seconds * 1000));
        } else if (argument.starts_with("--")) {
            return std::nullopt;
        } else if (options.verb.empty()) {
            options.verb = argument;
        } else {
            options.operands.push_back(argument);
        }
    }
    const std::size_t wanted = options.verb == "set" ? 2 : 1;
    if (options.verb == "tree") {
        if (options.operands.size() > 1 || (options.app && !options.operands.empty())) {
            return std::nullopt;
        }
        if (!options.operands.empty()) {
            options.app = options.operands.front();
        }
        return options;
    }
    if (options.verb == "menubar") {
        if (options.operands.size() != 1 || options.app) {
            return std::nullopt;
        }
        options.app = options.operands.front();
        return options;
    }
    if ((options.verb == "press" || options.verb == "set" || options.verb == "select") &&
        options.operands.size() == wanted) {
        return options;
    }
    return std::nullopt;
}

UiPurpose purposeOf(const std::string& verb) {
    if (verb == "set") {
        return UiPurpose::SetValue;
    }
    if (verb == "select") {
        return UiPurpose::Select;
    }
    return verb == "menubar" ? UiPurpose::OpenMenuBarItem : UiPurpose::Press;
}

}  // namespace

int runUi(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto options = parse(arguments);
    if (!options) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    const std::string prefix = "vmac ui " + options->verb;
    const auto failed = [&](const std::string& why) {
        std::fprintf(stderr, "%s: %s\n", prefix.c_str(), why.c_str());
        return 1;
    };
    CommandBus command(paths);
    if (!command.connect()) {
        return failed(kNoBusMessage);
    }
    const auto app = findApp(paths, command, options->app);
    if (!app) {
        return failed(app.error());
    }
    AccessibilityClient client(command.bus(), app->bundleIdentifier, options->timeout);
    const auto tree = copyTree(command, client, options->timeout);
    if (!tree) {
        return failed(app->name + ": " + tree.error());
    }
    if (options->verb == "tree") {
        std::fputs(renderUiTree(*tree).c_str(), stdout);
        return 0;
    }
    const auto label = options->verb == "menubar" ? tree->title : options->operands.front();
    const auto element = findUiLabel(*tree, label, purposeOf(options->verb));
    if (!element) {
        return failed(element.error());
    }
    if (const auto refused = act(command, client, *options, **element)) {
        return failed(quotedUiText(label) + ": " + *refused);
    }
    return 0;
}

}  // namespace lidora::vmac
