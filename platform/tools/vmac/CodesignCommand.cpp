#include <cstdio>
#include <optional>

#include "platform/codesign/SignatureDatabase.h"
#include "platform/codesign/SignatureStore.h"
#include "platform/tools/vmac/Command.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: vmac codesign --identifier ID [--team TEAM] PATH...\n"
    "       vmac codesign --verify PATH...\n"
    "       vmac codesign --remove PATH...\n\n"
    "Signs executables of the virtual Mac as they are now, with an identifier and\n"
    "a team (ad-hoc without one). Editing, replacing or copying a file afterwards\n"
    "leaves it unsigned. --verify tells whether each file is still signed and as\n"
    "what; --remove takes the signature away. Signatures live in\n"
    "var/db/codesign/signatures.json and count only while that file and its\n"
    "folder belong to root or to the verifying user and nobody else may write them.\n";

enum class Action { Sign, Verify, Remove };

struct Invocation {
    Action action = Action::Sign;
    std::optional<std::string> identifier;
    std::optional<std::string> team;
    std::vector<std::string> paths;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, "vmac codesign: %s\n\n%s", message.c_str(), kUsage);
    return 64;
}

// Either an invocation or the exit status of a usage error.
Expected<Invocation, int> parse(const std::vector<std::string>& arguments) {
    Invocation invocation;
    std::optional<Action> action;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (optionsEnded || argument.empty() || argument.front() != '-') {
            invocation.paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if ((argument == "--identifier" || argument == "--team") && !hasValue) {
            return unexpected(usageError(argument + " needs a value"));
        } else if (argument == "--identifier") {
            invocation.identifier = arguments[++i];
        } else if (argument == "--team") {
            invocation.team = arguments[++i];
        } else if (argument == "--verify" || argument == "--remove") {
            const Action chosen = argument == "--verify" ? Action::Verify : Action::Remove;
            if (action && *action != chosen) {
                return unexpected(usageError("--verify and --remove exclude each other"));
            }
            action = chosen;
        } else {
            return unexpected(usageError("unknown option " + argument));
        }
    }
    invocation.action = action.value_or(Action::Sign);
    if (invocation.paths.empty()) {
        return unexpected(usageError("no file given"));
    }
    if (invocation.action != Action::Sign && (invocation.identifier || invocation.team)) {
        return unexpected(usageError("--identifier and --team are only for signing"));
    }
    if (invocation.action == Action::Sign) {
        if (!invocation.identifier) {
            return unexpected(usageError("signing needs --identifier"));
        }
        if (auto valid = checkIdentifier(*invocation.identifier); !valid) {
            return unexpected(usageError(valid.error()));
        }
        if (auto valid = checkTeam(invocation.team.value_or("")); !valid) {
            return unexpected(usageError(valid.error()));
        }
    }
    return invocation;
}

const char* teamText(const CodeSignature& signature) {
    return signature.isAdHoc() ? "not set" : signature.teamID.c_str();
}

}  // namespace

int runCodesign(const VmacPaths& paths, const std::vector<std::string>& arguments) {
    if (wantsHelp(arguments)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const auto invocation = parse(arguments);
    if (!invocation) {
        return invocation.error();
    }
    auto store = SignatureStore::forRoot(paths);
    int status = 0;
    for (const auto& path : invocation->paths) {
        switch (invocation->action) {
            case Action::Sign: {
                const auto signature = store.sign(path, *invocation->identifier, invocation->team.value_or(""));
                if (!signature) {
                    std::fprintf(stderr, "%s: %s\n", path.c_str(), signature.error().c_str());
                    status = 1;
                } else {
                    std::printf("%s: signed\nIdentifier=%s\nTeamIdentifier=%s\n", path.c_str(),
                                signature->identifier.c_str(), teamText(*signature));
                }
                break;
            }
            case Action::Verify: {
                const auto record = store.verifyFile(path);
                if (!record) {
                    std::fprintf(stderr, "%s: %s\n", path.c_str(), record.error().c_str());
                    status = 1;
                } else {
                    std::printf("%s: valid on disk\nIdentifier=%s\nTeamIdentifier=%s\nSha256=%s\n", path.c_str(),
                                record->signature.identifier.c_str(), teamText(record->signature),
                                record->sha256.c_str());
                }
                break;
            }
            case Action::Remove: {
                const auto removed = store.remove(path);
                if (!removed) {
                    std::fprintf(stderr, "%s: %s\n", path.c_str(), removed.error().c_str());
                    status = 1;
                } else {
                    std::printf("%s: signature removed\n", path.c_str());
                }
                break;
            }
        }
    }
    return status;
}

}  // namespace lidora::vmac
