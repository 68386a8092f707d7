#include "platform/launchd/LaunchJob.h"

#include <unistd.h>

#include <algorithm>

#include "platform/bundle/PlistDocument.h"
#include "platform/vmac/AtomicFile.h"

namespace lidora::vmac {

namespace {

constexpr std::size_t kMaxNameLength = 200;
constexpr std::size_t kMaxPlistBytes = std::size_t{1024} * 1024;
constexpr std::int64_t kMaxThrottleSeconds = std::int64_t{24} * 60 * 60;

using Dictionary = PreferenceDictionary;

const PreferenceValue* find(const Dictionary& dict, std::string_view key) {
    const auto found = dict.find(key);
    return found == dict.end() ? nullptr : &found->second;
}

Expected<std::optional<std::string>, std::string> optionalString(const Dictionary& dict, std::string_view key) {
    const auto* value = find(dict, key);
    if (value == nullptr) {
        return std::optional<std::string>();
    }
    if (!value->isString()) {
        return unexpected(std::string(key) + " must be a string, not " + value->typeName());
    }
    return std::optional<std::string>(*value->asString());
}

Expected<bool, std::string> optionalBool(const Dictionary& dict, std::string_view key) {
    const auto* value = find(dict, key);
    if (value == nullptr) {
        return false;
    }
    if (!value->isBool()) {
        return unexpected(std::string(key) + " must be true or false, not " + value->typeName());
    }
    return std::get<bool>(value->storage());
}

Expected<std::vector<std::string>, std::string> stringArray(const PreferenceValue& value, std::string_view key) {
    const auto* array = value.asArray();
    if (array == nullptr) {
        return unexpected(std::string(key) + " must be an array of strings, not " + value.typeName());
    }
    std::vector<std::string> strings;
    for (const auto& item : *array) {
        if (!item.isString()) {
            return unexpected(std::string(key) + " must hold only strings, not " + item.typeName());
        }
        strings.push_back(*item.asString());
    }
    return strings;
}

Expected<std::optional<std::filesystem::path>, std::string> absolutePath(const Dictionary& dict, std::string_view key) {
    auto text = optionalString(dict, key);
    if (!text) {
        return unexpected(text.error());
    }
    if (!*text) {
        return std::optional<std::filesystem::path>();
    }
    const std::filesystem::path path(**text);
    if (!path.is_absolute()) {
        return unexpected(std::string(key) + " \"" + **text + "\" is not an absolute path");
    }
    return std::optional<std::filesystem::path>(path.lexically_normal());
}

// <bundle>/Contents/Library/LaunchDaemons/<name>.plist belongs to <bundle>.
std::optional<std::filesystem::path> bundleOf(const std::filesystem::path& plist) {
    const auto daemons = plist.parent_path();
    const auto library = daemons.parent_path();
    const auto contents = library.parent_path();
    if (daemons.filename() != "LaunchDaemons" || library.filename() != "Library" || contents.filename() != "Contents") {
        return std::nullopt;
    }
    return contents.parent_path();
}

Expected<std::filesystem::path, std::string> bundleProgram(const std::string& relative,
                                                           const std::filesystem::path& plist) {
    const std::filesystem::path path(relative);
    if (relative.empty() || path.is_absolute()) {
        return unexpected("BundleProgram \"" + relative + "\" must be a path relative to the bundle");
    }
    const auto normal = path.lexically_normal();
    if (normal.empty() || *normal.begin() == "..") {
        return unexpected("BundleProgram \"" + relative + "\" leads out of the bundle");
    }
    const auto bundle = bundleOf(plist);
    if (!bundle) {
        return unexpected(
            "BundleProgram needs the property list inside a bundle's Contents/Library/LaunchDaemons, not " +
            plist.string());
    }
    return *bundle / normal;
}

Expected<std::vector<std::string>, std::string> machServices(const Dictionary& dict) {
    const auto* value = find(dict, "MachServices");
    if (value == nullptr) {
        return std::vector<std::string>();
    }
    const auto* services = value->asDictionary();
    if (services == nullptr) {
        return unexpected(std::string("MachServices must be a dictionary of service names, not ") + value->typeName());
    }
    std::vector<std::string> names;
    for (const auto& [name, enabled] : *services) {
        if (auto valid = validateJobName("service name", name); !valid) {
            return unexpected("MachServices: " + valid.error());
        }
        if (!(enabled == PreferenceValue(true)) && !enabled.isDictionary()) {
            return unexpected("MachServices: the value of " + name + " must be true");
        }
        names.push_back(name);
    }
    return names;  // sorted: the dictionary is ordered
}

Expected<std::chrono::seconds, std::string> throttleInterval(const Dictionary& dict) {
    const auto* value = find(dict, "ThrottleInterval");
    if (value == nullptr) {
        return kDefaultThrottleInterval;
    }
    if (!value->isInteger()) {
        return unexpected(std::string("ThrottleInterval must be an integer number of seconds, not ") +
                          value->typeName());
    }
    const auto seconds = std::get<std::int64_t>(value->storage());
    if (seconds < 1 || seconds > kMaxThrottleSeconds) {
        return unexpected("ThrottleInterval must be between 1 and " + std::to_string(kMaxThrottleSeconds) +
                          " seconds, not " + std::to_string(seconds));
    }
    return std::chrono::seconds(seconds);
}

Expected<void, std::string> readProgram(const Dictionary& dict, const std::filesystem::path& plist, LaunchJob& job) {
    auto program = absolutePath(dict, "Program");
    auto bundled = optionalString(dict, "BundleProgram");
    if (!program) {
        return unexpected(program.error());
    }
    if (!bundled) {
        return unexpected(bundled.error());
    }
    if (const auto* arguments = find(dict, "ProgramArguments")) {
        auto strings = stringArray(*arguments, "ProgramArguments");
        if (!strings) {
            return unexpected(strings.error());
        }
        job.arguments = std::move(strings).value();
    }
    if (*program && *bundled) {
        return unexpected(std::string("Program and BundleProgram are both set; keep one"));
    }
    if (*program) {
        job.program = **program;
    } else if (*bundled) {
        auto resolved = bundleProgram(**bundled, plist);
        if (!resolved) {
            return unexpected(resolved.error());
        }
        job.program = std::move(resolved).value();
    } else if (!job.arguments.empty()) {
        // Without a PATH to search, the first argument must name the file.
        const std::filesystem::path first(job.arguments.front());
        if (!first.is_absolute()) {
            return unexpected("ProgramArguments[0] \"" + job.arguments.front() +
                              "\" is not an absolute path and there is no Program");
        }
        job.program = first.lexically_normal();
    } else {
        return unexpected(std::string("no program: set Program, BundleProgram or ProgramArguments"));
    }
    if (job.arguments.empty()) {
        job.arguments.push_back(job.program.string());
    }
    return {};
}

}  // namespace

Expected<void, std::string> validateJobName(std::string_view what, std::string_view name) {
    if (name.empty()) {
        return unexpected("the " + std::string(what) + " is empty");
    }
    const std::string quoted = "the " + std::string(what) + " \"" + std::string(name) + "\"";
    if (name.size() > kMaxNameLength) {
        return unexpected(quoted + " is longer than " + std::to_string(kMaxNameLength) + " bytes");
    }
    if (name.front() == '.') {
        return unexpected(quoted + " starts with '.'");
    }
    const bool safe = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
    if (!safe) {
        return unexpected(quoted + " may hold only letters, digits, '.', '-' and '_'");
    }
    return {};
}

Expected<LaunchJob, std::string> launchJobFromPlist(const PreferenceValue& root, const std::filesystem::path& plist) {
    const auto* dict = root.asDictionary();
    if (dict == nullptr) {
        return unexpected(std::string("the property list must hold a dictionary, not ") + root.typeName());
    }
    LaunchJob job;
    job.plist = plist.lexically_normal();

    auto label = optionalString(*dict, "Label");
    if (!label) {
        return unexpected(label.error());
    }
    if (!*label) {
        return unexpected(std::string("Label is missing"));
    }
    if (auto valid = validateJobName("label", **label); !valid) {
        return unexpected(valid.error());
    }
    job.label = **label;

    if (auto program = readProgram(*dict, job.plist, job); !program) {
        return unexpected(program.error());
    }
    auto services = machServices(*dict);
    if (!services) {
        return unexpected(services.error());
    }
    job.machServices = std::move(services).value();

    auto user = optionalString(*dict, "UserName");
    if (!user) {
        return unexpected(user.error());
    }
    if (*user) {
        if (user->value().empty()) {
            return unexpected(std::string("UserName is empty"));
        }
        job.userName = **user;
    }

    if (const auto* keepAlive = find(*dict, "KeepAlive"); keepAlive != nullptr && keepAlive->isDictionary()) {
        return unexpected(std::string("KeepAlive conditions are not supported; use true or false"));
    }
    auto keepAlive = optionalBool(*dict, "KeepAlive");
    auto runAtLoad = optionalBool(*dict, "RunAtLoad");
    if (!keepAlive) {
        return unexpected(keepAlive.error());
    }
    if (!runAtLoad) {
        return unexpected(runAtLoad.error());
    }
    job.keepAlive = *keepAlive;
    job.runAtLoad = *runAtLoad;

    auto throttle = throttleInterval(*dict);
    if (!throttle) {
        return unexpected(throttle.error());
    }
    job.throttleInterval = *throttle;

    auto out = absolutePath(*dict, "StandardOutPath");
    auto err = absolutePath(*dict, "StandardErrorPath");
    if (!out) {
        return unexpected(out.error());
    }
    if (!err) {
        return unexpected(err.error());
    }
    job.standardOutPath = *out;
    job.standardErrorPath = *err;

    if (const auto* bundles = find(*dict, "AssociatedBundleIdentifiers")) {
        if (bundles->isString()) {
            job.associatedBundleIdentifiers = {*bundles->asString()};
        } else {
            auto strings = stringArray(*bundles, "AssociatedBundleIdentifiers");
            if (!strings) {
                return unexpected(strings.error());
            }
            job.associatedBundleIdentifiers = std::move(strings).value();
        }
    }
    return job;
}

Expected<LaunchJob, std::string> parseLaunchJob(std::string_view text, const std::filesystem::path& plist) {
    if (text.size() > kMaxPlistBytes) {
        return unexpected(plist.string() + ": too large for a property list");
    }
    auto parsed = parseXmlPlistDocument(text);
    if (!parsed) {
        return unexpected(plist.string() + ": " + parsed.error());
    }
    auto job = launchJobFromPlist(*parsed, plist);
    if (!job) {
        return unexpected(plist.string() + ": " + job.error());
    }
    return job;
}

Expected<LaunchJob, std::string> loadLaunchJob(const std::filesystem::path& plist) {
    const auto path = std::filesystem::absolute(plist).lexically_normal();
    auto contents = readFileIfPresent(path);
    if (!contents) {
        return unexpected(contents.error());
    }
    if (!*contents) {
        return unexpected(path.string() + ": no such file");
    }
    auto job = parseLaunchJob((*contents)->bytes, path);
    if (!job) {
        return job;
    }
    if (::access(job->program.c_str(), X_OK) != 0 || std::filesystem::is_directory(job->program)) {
        return unexpected(path.string() + ": the program " + job->program.string() + " is not an executable file");
    }
    return job;
}

}  // namespace lidora::vmac
