// vmac install: puts an app bundle into /Applications as an installer would,
// then signs its executables as the build's signing step would on a Mac.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/bundle/BundleLocation.h"
#include "platform/bundle/EmbeddedInfoPlist.h"
#include "platform/bundle/PlistDocument.h"
#include "platform/codesign/SignatureStore.h"
#include "platform/tools/vmac/Command.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac install BUNDLE\n\n"
    "Copies the application bundle BUNDLE (e.g. build/Lidora.app) into the virtual\n"
    "Mac's /Applications, replacing an older copy in one step, and signs its\n"
    "executables (Contents/MacOS/* and PlugIns/*/Contents/MacOS/*) with the\n"
    "identifier of the Info.plist each belongs to (or the one built into the\n"
    "executable) and its LSTeamID, or team " LIDORA_DEFAULT_TEAM " when it has none.\n";

constexpr std::string_view kDefaultTeam = LIDORA_DEFAULT_TEAM;

struct Identity {
    std::string identifier;
    std::string team;
};

struct Signing {
    std::filesystem::path executable;  // relative to the bundle
    Identity identity;
};

std::optional<std::string> stringOf(const PreferenceDictionary& info, std::string_view key) {
    const auto found = info.find(key);
    if (found == info.end() || found->second.asString() == nullptr || found->second.asString()->empty()) {
        return std::nullopt;
    }
    return *found->second.asString();
}

Expected<PreferenceDictionary, std::string> readInfoPlist(const std::filesystem::path& bundle) {
    const auto file = bundle / "Contents" / "Info.plist";
    const auto contents = readFileIfPresent(file);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return unexpected(file.string() + " does not exist");
    }
    auto document = parseXmlPlistDocument((*contents)->bytes);
    if (!document || !document->isDictionary()) {
        return unexpected(file.string() + " is no property list of a dictionary" +
                          (document ? std::string() : ": " + document.error()));
    }
    return *document->asDictionary();
}

// The identity of one executable of `bundle`: its own embedded property list
// first (command-line tools have one), else the bundle's.
Expected<Identity, std::string> identityOf(const std::filesystem::path& executable,
                                           const std::filesystem::path& bundle) {
    if (const auto embedded = readEmbeddedInfoPlist(executable)) {
        if (const auto identifier = stringOf(*embedded, "CFBundleIdentifier")) {
            return Identity{*identifier, stringOf(*embedded, "LSTeamID").value_or(std::string(kDefaultTeam))};
        }
    }
    const auto info = readInfoPlist(bundle);
    if (!info) {
        return unexpected(info.error());
    }
    const auto identifier = stringOf(*info, "CFBundleIdentifier");
    if (!identifier) {
        return unexpected((bundle / "Contents" / "Info.plist").string() + " has no CFBundleIdentifier");
    }
    return Identity{*identifier, stringOf(*info, "LSTeamID").value_or(std::string(kDefaultTeam))};
}

void collectExecutables(const std::filesystem::path& root, const std::filesystem::path& bundle,
                        std::vector<std::filesystem::path>& executables) {
    std::error_code error;
    const auto folder = bundle / "Contents" / "MacOS";
    std::vector<std::filesystem::path> found;
    for (const auto& item : std::filesystem::directory_iterator(folder, error)) {
        if (item.is_regular_file(error) && !item.is_symlink(error) && ::access(item.path().c_str(), X_OK) == 0) {
            found.push_back(item.path().lexically_relative(root));
        }
    }
    std::sort(found.begin(), found.end());
    executables.insert(executables.end(), found.begin(), found.end());
}

// What to sign, worked out before anything is installed so that a bundle
// that cannot be signed is refused whole.
Expected<std::vector<Signing>, std::string> planSigning(const std::filesystem::path& bundle) {
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> parts{{bundle, bundle}};
    std::error_code error;
    std::vector<std::filesystem::path> plugIns;
    for (const auto& item : std::filesystem::directory_iterator(bundle / "Contents" / "PlugIns", error)) {
        if (item.is_directory(error)) {
            plugIns.push_back(item.path());
        }
    }
    std::sort(plugIns.begin(), plugIns.end());
    std::vector<Signing> plan;
    for (const auto& part : plugIns) {
        parts.emplace_back(part, part);
    }
    for (const auto& [part, infoBundle] : parts) {
        std::vector<std::filesystem::path> executables;
        collectExecutables(bundle, part, executables);
        for (const auto& executable : executables) {
            auto identity = identityOf(bundle / executable, infoBundle);
            if (!identity) {
                return unexpected("cannot sign " + executable.string() + ": " + identity.error());
            }
            if (auto valid = checkIdentifier(identity->identifier); !valid) {
                return unexpected("cannot sign " + executable.string() + ": " + valid.error());
            }
            if (auto valid = checkTeam(identity->team); !valid) {
                return unexpected("cannot sign " + executable.string() + ": " + valid.error());
            }
            plan.push_back({executable, std::move(identity).value()});
        }
    }
    return plan;
}

// Puts `staging` in place of `target` in one rename; the old copy, if any,
// ends up at `staging` for removal.
Expected<bool, std::string> swapIn(const std::filesystem::path& staging, const std::filesystem::path& target) {
    if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return false;
    }
    if (errno != EEXIST) {
        return unexpected(systemError("cannot move the new copy to", target));
    }
    if (::renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) != 0) {
        return unexpected(systemError("cannot swap the new copy with", target));
    }
    return true;
}

}  // namespace

int runInstall(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (arguments.size() != 1 || arguments.front().empty() || arguments.front().front() == '-') {
        std::fprintf(stderr, "vmac install: %s\n\n%s",
                     arguments.empty() ? "no bundle given" : "give one bundle and no options", kUsage);
        return 64;
    }
    std::error_code error;
    const auto source = std::filesystem::absolute(arguments.front(), error).lexically_normal();
    const auto name = (source.has_filename() ? source : source.parent_path()).filename();
    if (error || !isBundle(source) || name.extension() != ".app") {
        std::fprintf(stderr, "vmac install: %s is no application bundle (a NAME.app folder with Contents/Info.plist)\n",
                     arguments.front().c_str());
        return 1;
    }
    const auto plan = planSigning(source);
    if (!plan) {
        std::fprintf(stderr, "vmac install: %s\n", plan.error().c_str());
        return 1;
    }
    const auto applications = paths.applications();
    const auto target = applications / name;
    const auto staging = applications / ("." + name.string() + ".installing");
    if (!makeDirectories(applications) || !makeDirectories(paths.runDirectory())) {
        std::fprintf(stderr, "vmac install: %s\n", systemError("cannot create", applications).c_str());
        return 1;
    }
    auto lock = FileLock::acquire(paths.runDirectory() / ("install-" + name.string() + ".lock"));
    if (!lock) {
        std::fprintf(stderr, "vmac install: %s\n", lock.error().c_str());
        return 1;
    }
    // A copy left by an install that was killed part-way.
    std::filesystem::remove_all(staging, error);
    std::filesystem::copy(source, staging,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::copy_symlinks,
                          error);
    if (error) {
        std::fprintf(stderr, "vmac install: cannot copy %s to %s: %s\n", source.c_str(), staging.c_str(),
                     error.message().c_str());
        std::filesystem::remove_all(staging, error);
        return 1;
    }
    const auto replaced = swapIn(staging, target);
    if (!replaced) {
        std::fprintf(stderr, "vmac install: %s\n", replaced.error().c_str());
        std::filesystem::remove_all(staging, error);
        return 1;
    }
    if (*replaced) {
        std::filesystem::remove_all(staging, error);
    }
    std::printf("installed %s%s\n", target.c_str(), *replaced ? " (replacing the older copy)" : "");

    // Signatures name files where they finally lie, so signing comes after the swap.
    auto store = SignatureStore::forRoot(paths);
    int status = 0;
    for (const auto& signing : *plan) {
        const auto signedIt =
            store.sign(target / signing.executable, signing.identity.identifier, signing.identity.team);
        if (!signedIt) {
            std::fprintf(stderr, "vmac install: cannot sign %s: %s\n", signing.executable.c_str(),
                         signedIt.error().c_str());
            status = 1;
            continue;
        }
        std::printf("signed %s as %s (team %s)\n", signing.executable.c_str(), signing.identity.identifier.c_str(),
                    signing.identity.team.c_str());
    }
    if (status != 0) {
        std::fprintf(stderr, "vmac install: %s is installed but not fully signed\n", target.c_str());
    }
    return status;
}

}  // namespace lidora::vmac
