// vmac siri "PHRASE": what Siri does with a spoken phrase.
#include <cstdio>

#include "platform/shortcuts/AppIntentsMetadata.h"
#include "platform/shortcuts/PhraseMatcher.h"
#include "platform/tools/vmac/Command.h"
#include "platform/tools/vmac/ShortcutsRun.h"

namespace lidora::vmac {

int runSiri(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    constexpr const char* kUsage =
        "usage: vmac siri \"PHRASE\"\n\n"
        "Matches a spoken phrase against the App Shortcuts of the apps in\n"
        "/Applications (vmac shortcuts list shows them), in any case, with the app's\n"
        "name and a choice's title or synonym in its place, runs the action in its\n"
        "app and prints what Siri would say. A missing value is asked for on the\n"
        "terminal. Status 1 when nothing matches or the action fails.\n";
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    std::string phrase;
    for (const auto& word : arguments) {
        phrase += (phrase.empty() ? "" : " ") + word;
    }
    const auto apps = installedShortcutsApps(
        paths, [](const std::string& warning) { std::fprintf(stderr, "vmac siri: ignoring %s\n", warning.c_str()); });
    auto match = matchPhrase(apps, phrase);
    if (!match) {
        std::fprintf(stderr, "vmac siri: no App Shortcut matches \"%s\" (vmac shortcuts list shows the phrases)\n",
                     phrase.c_str());
        return 1;
    }
    return performAction(paths, *match->app, *match->action, std::move(match->arguments), kActionTimeLimit,
                         "vmac siri");
}

}  // namespace lidora::vmac
