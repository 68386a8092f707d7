// vmac shortcuts run|list: the Shortcuts app, as far as Lidora needs it.
#include <cstdio>

#include "platform/shortcuts/AppIntentsMetadata.h"
#include "platform/shortcuts/ShortcutsArguments.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/ShortcutsRun.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac shortcuts list\n"
    "       vmac shortcuts run [--timeout SECONDS] TITLE [--PARAMETER VALUE ...]\n\n"
    "list prints the actions of the apps in /Applications, read from their App\n"
    "Intents metadata, with their parameters and summaries, and their App Shortcuts\n"
    "with the phrases Siri knows.\n\n"
    "run performs the action titled TITLE in its app's own process, starting the\n"
    "app in the background when it does not run, and prints the dialog (status 0)\n"
    "or the error (status 1). PARAMETER is a parameter's name (--state off,\n"
    "--level thirty, --percent 40, --message TEXT, --speed pro, --markers false,\n"
    "--trigger camera); a choice may be given by its value, title or synonym. A\n"
    "missing parameter is asked for on the terminal. The app has 30 seconds to\n"
    "answer unless --timeout says otherwise.\n";

std::vector<ShortcutsApp> installedApps(const VmacPaths& paths) {
    return installedShortcutsApps(paths, [](const std::string& warning) {
        std::fprintf(stderr, "vmac shortcuts: ignoring %s\n", warning.c_str());
    });
}

void printParameter(const ShortcutsApp& app, const CatalogParameter& p) {
    std::string line = "--" + p.name + " " + (p.type == "enum" ? "VALUE" : p.type == "text" ? "TEXT" : "NUMBER");
    if (p.type == "boolean") {
        line = "--" + p.name + " true|false";
    }
    std::printf("      %-22s %s", line.c_str(), p.title.c_str());
    if (const auto* appEnum = app.catalog.enumeration(p.enumIdentifier); appEnum != nullptr) {
        std::printf(" (%s)", appEnum->typeDisplayName.c_str());
    }
    std::printf("%s", p.optional ? ", optional" : "");
    if (const auto choices = choicesText(app.catalog, p); !choices.empty() && p.type == "enum") {
        std::printf(": %s", choices.c_str());
    }
    if (p.range) {
        std::printf(", %lld to %lld", static_cast<long long>(p.range->minimum),
                    static_cast<long long>(p.range->maximum));
    }
    if (!p.requestValueDialog.empty()) {
        std::printf("; asks \"%s\"", p.requestValueDialog.c_str());
    }
    if (!p.description.empty()) {
        std::printf("\n      %-22s %s", "", p.description.c_str());
    }
    std::printf("\n");
}

int list(const VmacPaths& paths) {
    const auto apps = installedApps(paths);
    if (apps.empty()) {
        std::printf("No app in /Applications offers Shortcuts actions.\n");
    }
    for (const auto& app : apps) {
        std::printf("%s (%s)\n  Actions:\n", app.name.c_str(), app.bundleIdentifier.c_str());
        for (const auto& action : app.catalog.actions) {
            std::printf("    %s\n      Summary: %s", action.title.c_str(), action.summary.c_str());
            for (const auto& listed : action.summaryListed) {
                std::printf(", ${%s}", listed.c_str());
            }
            std::printf("\n");
            for (const auto& p : action.parameters) {
                printParameter(app, p);
            }
        }
        std::printf("  App Shortcuts:\n");
        for (const auto& shortcut : app.catalog.shortcuts) {
            const auto* action = app.catalog.actionByIdentifier(shortcut.action);
            std::printf("    %s (%s): %s\n", shortcut.shortTitle.c_str(), shortcut.systemImageName.c_str(),
                        action != nullptr ? action->title.c_str() : shortcut.action.c_str());
            for (const auto& phrase : shortcut.phrases) {
                std::printf("      \"%s\"\n", phrase.c_str());
            }
        }
    }
    return 0;
}

int run(const VmacPaths& paths, std::vector<std::string> arguments) {
    std::chrono::milliseconds limit = kActionTimeLimit;
    if (arguments.size() >= 2 && arguments[0] == "--timeout") {
        char* end = nullptr;
        const double seconds = std::strtod(arguments[1].c_str(), &end);
        if (end == arguments[1].c_str() || *end != '\0' || !(seconds > 0) || seconds > 3600) {
            std::fprintf(stderr, "vmac shortcuts: --timeout takes seconds, more than 0 and at most 3600\n");
            return 64;
        }
        limit = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (arguments.empty() || arguments[0].starts_with("--")) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    const auto apps = installedApps(paths);
    const ShortcutsApp* app = nullptr;
    const CatalogAction* action = nullptr;
    for (const auto& candidate : apps) {
        if ((action = candidate.catalog.actionByTitle(arguments[0])) != nullptr) {
            app = &candidate;
            break;
        }
    }
    if (action == nullptr) {
        std::fprintf(stderr, "vmac shortcuts: no app offers an action titled \"%s\" (vmac shortcuts list)\n",
                     arguments[0].c_str());
        return 1;
    }
    ActionArguments given;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::string value;
        const auto equals = name.find('=');
        if (!name.starts_with("--")) {
            std::fprintf(stderr, "vmac shortcuts: unexpected %s; parameters are given as --NAME VALUE\n", name.c_str());
            return 64;
        }
        if (equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            std::fprintf(stderr, "vmac shortcuts: %s needs a value\n", name.c_str());
            return 64;
        }
        name.erase(0, 2);
        const CatalogParameter* parameter = nullptr;
        for (const auto& p : action->parameters) {
            if (p.name == name) {
                parameter = &p;
            }
        }
        if (parameter == nullptr) {
            std::string names;
            for (const auto& p : action->parameters) {
                names += (names.empty() ? "--" : ", --") + p.name;
            }
            std::fprintf(stderr, "vmac shortcuts: \"%s\" has no parameter --%s (%s)\n", action->title.c_str(),
                         name.c_str(), names.empty() ? "it takes none" : names.c_str());
            return 64;
        }
        auto parsed = argumentValue(app->catalog, *parameter, value);
        if (!parsed) {
            std::fprintf(stderr, "vmac shortcuts: %s\n", parsed.error().c_str());
            return 1;
        }
        if (!given.emplace(name, std::move(*parsed)).second) {
            std::fprintf(stderr, "vmac shortcuts: --%s is given twice\n", name.c_str());
            return 64;
        }
    }
    return performAction(paths, *app, *action, std::move(given), limit, "vmac shortcuts");
}

}  // namespace

int runShortcuts(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (arguments.empty() || (wantsHelp(arguments) && arguments[0] != "run")) {
        std::fputs(kUsage, arguments.empty() ? stderr : stdout);
        return arguments.empty() ? 64 : 0;
    }
    if (arguments[0] == "list") {
        if (arguments.size() != 1) {
            std::fputs(kUsage, stderr);
            return 64;
        }
        return list(paths);
    }
    if (arguments[0] == "run") {
        if (arguments.size() == 2 && (arguments[1] == "--help" || arguments[1] == "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        return run(paths, std::vector<std::string>(arguments.begin() + 1, arguments.end()));
    }
    std::fprintf(stderr, "vmac shortcuts: unknown subcommand '%s'\n\n%s", arguments[0].c_str(), kUsage);
    return 64;
}

}  // namespace lidora::vmac
