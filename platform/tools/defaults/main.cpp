// `defaults`: reads and writes the invoking user's preference domains on the
// virtual Mac the way the macOS command of that name does.

#include <cstdio>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/prefs/PlistText.h"
#include "platform/prefs/PreferenceStore.h"
#include "platform/tools/defaults/WriteArguments.h"
#include "platform/vmac/VmacPaths.h"

namespace {

using lidora::Expected;
using lidora::PreferenceDictionary;
using lidora::PreferenceValue;
using lidora::vmac::PreferenceDomain;
using lidora::vmac::PreferencesDirectory;

constexpr std::string_view kUsage =
    "Command line interface to a user's defaults.\n"
    "\n"
    "usage:\n"
    "  defaults read DOMAIN [KEY]        prints a domain, or one key's value\n"
    "  defaults read-type DOMAIN KEY     prints the type of a key's value\n"
    "  defaults write DOMAIN KEY VALUE   writes a value: XML if it starts with '<', old-style\n"
    "                                    property list text if with '(' or '{', else a string\n"
    "  defaults write DOMAIN KEY -string S | -int N | -float X | -bool B\n"
    "  defaults write DOMAIN KEY -array ITEM... | -array-add ITEM...\n"
    "  defaults write DOMAIN KEY -dict KEY VALUE... | -dict-add KEY VALUE...\n"
    "  defaults delete DOMAIN [KEY]      deletes one key, or the whole domain\n"
    "  defaults domains                  lists the domains\n"
    "  defaults help                     prints this text\n";

constexpr int kFailure = 1;

int usageError(std::string_view problem) {
    std::cerr << "defaults: " << problem << "\n\n" << kUsage;
    return kFailure;
}

int failure(std::string_view message) {
    std::cerr << "defaults: " << message << '\n';
    return kFailure;
}

int pairMissing(std::string_view domain, std::string_view key) {
    std::cerr << "The domain/default pair of (" << domain << ", " << key << ") does not exist\n";
    return kFailure;
}

class Command {
public:
    explicit Command(std::span<const std::string_view> arguments)
        : arguments_(arguments),
          directory_(PreferencesDirectory::ofCurrentUser(lidora::vmac::VmacPaths::fromEnvironment())) {}

    int run() {
        if (arguments_.empty()) {
            return usageError("no command given");
        }
        const std::string_view verb = arguments_[0];
        if (verb == "help" || verb == "-h" || verb == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (verb == "domains") {
            return arguments_.size() == 1 ? domains() : usageError("domains takes no arguments");
        }
        if (verb != "read" && verb != "read-type" && verb != "write" && verb != "delete") {
            return usageError("unknown command \"" + std::string(verb) + "\"");
        }
        if (arguments_.size() < 2) {
            return usageError(std::string(verb) + " needs a domain");
        }
        auto domain = PreferenceDomain::open(directory_, std::string(arguments_[1]), [](const std::string& warning) {
            std::cerr << "defaults: warning: " << warning << '\n';
        });
        if (!domain) {
            return failure(domain.error());
        }
        const auto rest = arguments_.subspan(2);
        if (verb == "read") {
            return rest.size() <= 1 ? read(*domain, rest) : usageError("read takes a domain and at most one key");
        }
        if (verb == "read-type") {
            return rest.size() == 1 ? readType(*domain, rest[0]) : usageError("read-type takes a domain and a key");
        }
        if (verb == "delete") {
            return rest.size() <= 1 ? remove(*domain, rest) : usageError("delete takes a domain and at most one key");
        }
        if (rest.size() < 2) {
            return usageError("write takes a domain, a key and a value");
        }
        return write(*domain, rest[0], rest.subspan(1));
    }

private:
    int domains() {
        if (auto trusted = directory_.verify(); !trusted) {
            return failure(trusted.error());
        }
        auto names = lidora::vmac::listDomains(directory_.path());
        if (!names) {
            return failure(names.error());
        }
        std::string line;
        for (const auto& name : *names) {
            line += (line.empty() ? "" : ", ") + name;
        }
        std::cout << line << '\n';
        return 0;
    }

    static int read(const PreferenceDomain& domain, std::span<const std::string_view> key) {
        auto values = domain.load();
        if (!values) {
            return failure("cannot read domain " + domain.name() + ": " + values.error());
        }
        if (key.empty()) {
            if (!domain.exists()) {
                std::cerr << "Domain " << domain.name() << " does not exist\n";
                return kFailure;
            }
            std::cout << lidora::vmac::formatPlistText(PreferenceValue(std::move(values).value())) << '\n';
            return 0;
        }
        const auto found = values->find(key[0]);
        if (found == values->end()) {
            return pairMissing(domain.name(), key[0]);
        }
        std::cout << lidora::vmac::formatPlistText(found->second) << '\n';
        return 0;
    }

    static int readType(const PreferenceDomain& domain, std::string_view key) {
        auto values = domain.load();
        if (!values) {
            return failure("cannot read domain " + domain.name() + ": " + values.error());
        }
        const auto found = values->find(key);
        if (found == values->end()) {
            return pairMissing(domain.name(), key);
        }
        std::cout << "Type is " << found->second.typeName() << '\n';
        return 0;
    }

    static int write(PreferenceDomain& domain, std::string_view key, std::span<const std::string_view> value) {
        auto request = lidora::defaults::parseWriteArguments(value);
        if (!request) {
            return failure(request.error());
        }
        auto written = domain.update([&](PreferenceDictionary& values) -> Expected<bool, std::string> {
            return std::visit([&](auto& change) { return apply(values, key, change); }, *request);
        });
        if (!written) {
            return failure("cannot write domain " + domain.name() + ": " + written.error());
        }
        return 0;
    }

    static Expected<bool, std::string> apply(PreferenceDictionary& values, std::string_view key,
                                             const lidora::defaults::ReplaceValue& change) {
        const auto found = values.find(key);
        if (found != values.end() && found->second == change.value) {
            return false;
        }
        values.insert_or_assign(std::string(key), change.value);
        return true;
    }

    static Expected<bool, std::string> apply(PreferenceDictionary& values, std::string_view key,
                                             const lidora::defaults::AppendToArray& change) {
        auto [slot, added] = values.try_emplace(std::string(key), lidora::PreferenceArray{});
        if (!slot->second.isArray()) {
            return lidora::unexpected("the value of " + std::string(key) + " is not an array; nothing was changed");
        }
        auto items = *slot->second.asArray();
        items.insert(items.end(), change.items.begin(), change.items.end());
        slot->second = std::move(items);
        return true;
    }

    static Expected<bool, std::string> apply(PreferenceDictionary& values, std::string_view key,
                                             const lidora::defaults::MergeIntoDictionary& change) {
        auto [slot, added] = values.try_emplace(std::string(key), PreferenceDictionary{});
        if (!slot->second.isDictionary()) {
            return lidora::unexpected("the value of " + std::string(key) + " is not a dictionary; nothing was changed");
        }
        auto entries = *slot->second.asDictionary();
        for (const auto& [name, item] : change.entries) {
            entries.insert_or_assign(name, item);
        }
        slot->second = std::move(entries);
        return true;
    }

    static int remove(PreferenceDomain& domain, std::span<const std::string_view> key) {
        if (key.empty()) {
            auto erased = domain.erase();
            if (!erased) {
                return failure("cannot delete domain " + domain.name() + ": " + erased.error());
            }
            if (!*erased) {
                std::cerr << "Domain (" << domain.name() << ") not found.\nDefaults have not been changed.\n";
                return kFailure;
            }
            return 0;
        }
        auto removed = domain.remove(key[0]);
        if (!removed) {
            return failure("cannot write domain " + domain.name() + ": " + removed.error());
        }
        return *removed ? 0 : pairMissing(domain.name(), key[0]);
    }

    std::span<const std::string_view> arguments_;
    PreferencesDirectory directory_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    return Command(arguments).run();
}
