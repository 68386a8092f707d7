// vmac publish-update: puts a newer version into the local update feed, as a
// release would put it into the appcast on the web.
#include <cstdio>
#include <optional>

#include "platform/sparkle/Appcast.h"
#include "platform/sparkle/BundleVersion.h"
#include "platform/sparkle/FileAppcastSource.h"
#include "platform/sparkle/HostBundle.h"
#include "platform/tools/vmac/Command.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac publish-update VERSION [--build N] [--app BUNDLE] [--feed PATH]\n\n"
    "Publishes VERSION (the display version, e.g. 1.0.4) with build N as the newest\n"
    "item of the update feed, replacing the file at once, so a running app's\n"
    "updater finds it. The feed is the one the app's Info.plist names (SUFeedURL;\n"
    "the app is /Applications/Lidora.app unless --app says otherwise), else\n"
    "/Library/Updates/<bundle identifier>/appcast.xml; --feed names another file of\n"
    "the virtual Mac. Without --build the build is one more than the highest of the\n"
    "app's build and the builds already in the feed.\n";

struct Invocation {
    std::string version;
    std::optional<std::string> build;
    std::string app = "/Applications/Lidora.app";
    std::optional<std::string> feed;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "vmac publish-update: %s\n\n%s", message.c_str(), kUsage);
    return 64;
}

bool plainVersion(std::string_view text) {
    return !text.empty() && text.front() != '.' && text.back() != '.' &&
           text.find_first_not_of("0123456789.") == std::string_view::npos && text.find("..") == std::string::npos;
}

Expected<Invocation, int> parse(const std::vector<std::string>& arguments) {
    Invocation invocation;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        if (argument == "--build" || argument == "--app" || argument == "--feed") {
            if (i + 1 >= arguments.size()) {
                return unexpected(usageError(argument + " needs a value"));
            }
            const auto& value = arguments[++i];
            if (argument == "--build") {
                invocation.build = value;
            } else if (argument == "--app") {
                invocation.app = value;
            } else {
                invocation.feed = value;
            }
        } else if (!argument.empty() && argument.front() == '-') {
            return unexpected(usageError("unknown option " + argument));
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() != 1) {
        return unexpected(usageError(positional.empty() ? "no version given" : "only one version at a time"));
    }
    invocation.version = positional.front();
    if (!plainVersion(invocation.version)) {
        return unexpected(usageError("the version '" + invocation.version + "' is not like 1.0.4"));
    }
    if (invocation.build && !plainVersion(*invocation.build)) {
        return unexpected(usageError("the build '" + *invocation.build + "' is not like 15 or 1.2.3"));
    }
    return invocation;
}

std::filesystem::path underRoot(const VmacPaths& paths, const std::string& path) {
    return paths.systemPath(std::filesystem::path(path));
}

}  // namespace

int runPublishUpdate(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto invocation = parse(arguments);
    if (!invocation) {
        return invocation.error();
    }
    const auto host = HostBundle::load(underRoot(paths, invocation->app));
    std::filesystem::path feed;
    if (invocation->feed) {
        feed = underRoot(paths, *invocation->feed);
    } else if (host && host->feedURL) {
        auto mapped = FileAppcastSource::pathOfFeedURL(paths, *host->feedURL);
        if (!mapped) {
            std::fprintf(stderr, "vmac publish-update: %s\n", mapped.error().c_str());
            return 1;
        }
        feed = *mapped;
    } else {
        const auto identifier = host && !host->identifier.empty() ? host->identifier : "com.zelquin.lidora";
        feed = paths.systemPath("/Library/Updates") / identifier / "appcast.xml";
    }
    if (!makeDirectories(feed.parent_path())) {
        std::fprintf(stderr, "vmac publish-update: %s\n", systemError("cannot create", feed.parent_path()).c_str());
        return 1;
    }
    auto lockFile = feed;
    lockFile += ".lock";
    auto lock = FileLock::acquire(lockFile);
    if (!lock) {
        std::fprintf(stderr, "vmac publish-update: %s\n", lock.error().c_str());
        return 1;
    }
    const auto existing = readFileIfPresent(feed);
    if (!existing) {
        std::fprintf(stderr, "vmac publish-update: %s\n", existing.error().c_str());
        return 1;
    }
    Appcast appcast{host && !host->identifier.empty() ? host->path.stem().string() : "Lidora", {}};
    if (*existing) {
        auto parsed = parseAppcast((*existing)->bytes);
        if (!parsed) {
            std::fprintf(stderr, "vmac publish-update: %s is malformed (%s); it was left as it is\n", feed.c_str(),
                         parsed.error().c_str());
            return 1;
        }
        appcast = std::move(parsed).value();
    }
    std::string base = host ? host->version : "0";
    if (const auto newest = newestItem(appcast); newest && compareBundleVersions(newest->versionString, base) > 0) {
        base = newest->versionString;
    }
    const auto build = invocation->build.value_or(nextBundleVersion(base));
    std::erase_if(appcast.items, [&](const AppcastItem& item) { return item.versionString == build; });
    appcast.items.insert(appcast.items.begin(), AppcastItem{build, invocation->version});

    auto temporary = feed;
    temporary += ".tmp";
    if (auto written = replaceFileAtomically(feed, temporary, renderAppcast(appcast), 0644); !written) {
        std::fprintf(stderr, "vmac publish-update: %s\n", written.error().c_str());
        return 1;
    }
    std::printf("published %s (build %s) in %s\n", invocation->version.c_str(), build.c_str(), feed.c_str());
    if (host && compareBundleVersions(build, host->version) <= 0) {
        std::fprintf(stderr, "vmac publish-update: note: %s has build %s, so it will not offer build %s\n",
                     invocation->app.c_str(), host->version.c_str(), build.c_str());
    }
    return 0;
}

}  // namespace lidora::vmac
