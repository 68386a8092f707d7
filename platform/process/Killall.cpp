#include "platform/process/Killall.h"

#include <pwd.h>
#include <regex.h>
#include <signal.h>
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

#include "core/runtime/Expected.h"
#include "platform/process/VmacMembership.h"

namespace lidora::vmac {

namespace {

constexpr const char* kUsage =
    "usage: killall [-lmsvqz] [-help] [-u user] [-c cmd] [-SIGNAL] [cmd]...\n"
    "At least one option or argument to specify processes must be given.\n";
// macOS keeps this much of a process's name, and killall compares no more.
constexpr std::size_t kNameLength = 16;
constexpr int kSignalCount = 32;

struct Options {
    int signal = SIGTERM;
    bool showOnly = false;
    bool verbose = false;
    bool quiet = false;
    bool regex = false;
    bool zombies = false;
    std::optional<std::string> user;
    std::optional<std::string> command;
    std::vector<std::string> names;
};

KillallResult failure(std::string message) {
    return KillallResult{1, "", std::move(message)};
}

std::string signalName(int signal) {
    const char* name = signal > 0 ? ::sigabbrev_np(signal) : nullptr;
    return name != nullptr ? name : std::to_string(signal);
}

std::string signalList() {
    std::string list;
    std::size_t offset = 0;
    for (int signal = 1; signal < kSignalCount; ++signal) {
        const auto entry = signalName(signal) + " ";
        list += entry;
        offset += entry.size();
        if (offset >= 75 && signal + 1 < kSignalCount) {
            list += "\n";
            offset = 0;
        }
    }
    return list + "\n";
}

KillallResult unknownSignal(const std::string& name) {
    return failure("killall: unknown signal " + name + "; valid signals:\n" + signalList());
}

// -9, -KILL, -kill, -SIGKILL.
Expected<int, KillallResult> parseSignal(std::string name) {
    if (std::isdigit(static_cast<unsigned char>(name.front()))) {
        int number = 0;
        const auto parsed = std::from_chars(name.data(), name.data() + name.size(), number);
        if (parsed.ec != std::errc() || parsed.ptr != name.data() + name.size()) {
            return unexpected(failure("killall: illegal signal number: " + name + "\n"));
        }
        if (number >= kSignalCount) {
            return unexpected(unknownSignal(name));
        }
        return number;
    }
    if (!std::isalpha(static_cast<unsigned char>(name.front()))) {
        return unexpected(unknownSignal(name));
    }
    if (::strncasecmp(name.c_str(), "SIG", 3) == 0) {
        name.erase(0, 3);
    }
    for (int signal = 1; signal < kSignalCount; ++signal) {
        if (::strcasecmp(signalName(signal).c_str(), name.c_str()) == 0) {
            return signal;
        }
    }
    return unexpected(unknownSignal(name));
}

Expected<Options, KillallResult> parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    std::size_t index = 0;
    // -u and -c take the rest of their argument, or the next one.
    const auto valueOf = [&](const std::string& argument) -> std::optional<std::string> {
        if (argument.size() > 2) {
            return argument.substr(2);
        }
        if (index + 1 < arguments.size()) {
            return arguments[++index];
        }
        return std::nullopt;
    };
    for (; index < arguments.size(); ++index) {
        const auto& argument = arguments[index];
        if (argument == "-l") {
            return unexpected(KillallResult{0, signalList(), ""});
        }
        if (argument == "-help") {
            return unexpected(failure(kUsage));
        }
        if (argument.size() < 2 || argument.front() != '-') {
            break;
        }
        switch (argument[1]) {
            case 'u':
            case 'c': {
                auto value = valueOf(argument);
                if (!value) {
                    return unexpected(failure(kUsage));
                }
                (argument[1] == 'u' ? options.user : options.command) = std::move(value);
                break;
            }
            case 'v': options.verbose = true; break;
            case 's': options.showOnly = true; break;
            case 'm': options.regex = true; break;
            case 'z': options.zombies = true; break;
            case 'q': options.quiet = true; break;
            default: {
                auto signal = parseSignal(argument.substr(1));
                if (!signal) {
                    return unexpected(signal.error());
                }
                options.signal = *signal;
            }
        }
    }
    options.names.assign(arguments.begin() + static_cast<std::ptrdiff_t>(index), arguments.end());
    if (!options.user && !options.command && options.names.empty()) {
        return unexpected(failure(kUsage));
    }
    return options;
}

Expected<uid_t, KillallResult> userNamed(const std::string& user) {
    unsigned long number = 0;
    const auto parsed = std::from_chars(user.data(), user.data() + user.size(), number);
    if (!user.empty() && parsed.ec == std::errc() && parsed.ptr == user.data() + user.size()) {
        return static_cast<uid_t>(number);
    }
    if (const passwd* entry = ::getpwnam(user.c_str())) {
        return entry->pw_uid;
    }
    return unexpected(failure("killall: user " + user + " does not exist\n"));
}

// A name as given, or a compiled extended regular expression with -m.
class NamePattern {
public:
    static Expected<NamePattern, KillallResult> of(const std::string& text, bool regex) {
        NamePattern pattern;
        pattern.text_ = text;
        if (regex) {
            pattern.compiled_ = std::make_shared<Compiled>();
            if (const int error = ::regcomp(&pattern.compiled_->regex, text.c_str(), REG_EXTENDED | REG_NOSUB)) {
                char message[256];
                ::regerror(error, &pattern.compiled_->regex, message, sizeof message);
                pattern.compiled_->valid = false;
                return unexpected(failure("killall: " + text + ": " + message + "\n"));
            }
        }
        return pattern;
    }

    [[nodiscard]] bool matches(const std::string& name) const {
        if (compiled_) {
            return ::regexec(&compiled_->regex, name.c_str(), 0, nullptr, 0) == 0;
        }
        return name.substr(0, kNameLength) == text_.substr(0, kNameLength);
    }

private:
    struct Compiled {
        regex_t regex{};
        bool valid = true;
        Compiled() = default;
        Compiled(const Compiled&) = delete;
        Compiled& operator=(const Compiled&) = delete;
        ~Compiled() {
            if (valid) {
                ::regfree(&regex);
            }
        }
    };
    std::string text_;
    std::shared_ptr<Compiled> compiled_;
};

}  // namespace

KillallResult runKillall(const std::vector<std::string>& arguments, const KillallCaller& caller, ProcessTable& table) {
    auto options = parseOptions(arguments);
    if (!options) {
        return options.error();
    }
    // Only root may go after other users' processes, and only when asked.
    std::optional<uid_t> user;
    if (options->user) {
        auto named = userNamed(*options->user);
        if (!named) {
            return named.error();
        }
        user = *named;
    } else if (caller.user != 0) {
        user = caller.user;
    }
    std::optional<NamePattern> command;
    if (options->command) {
        auto pattern = NamePattern::of(*options->command, options->regex);
        if (!pattern) {
            return pattern.error();
        }
        command = std::move(*pattern);
    }
    std::vector<NamePattern> names;
    for (const auto& name : options->names) {
        auto pattern = NamePattern::of(name, options->regex);
        if (!pattern) {
            return pattern.error();
        }
        names.push_back(std::move(*pattern));
    }

    KillallResult result;
    const auto signal = signalName(options->signal);
    int matched = 0;
    for (const auto& process : vmacMembers(table.processes(), caller.vmacRoot, caller.pid)) {
        if ((process.zombie && !options->zombies) || (user && process.user != *user) ||
            (command && !command->matches(process.name))) {
            continue;
        }
        if (!names.empty() &&
            std::none_of(names.begin(), names.end(), [&](const auto& name) { return name.matches(process.name); })) {
            continue;
        }
        if (options->verbose || options->showOnly) {
            result.out += "kill -" + signal + " " + std::to_string(process.pid) + "\n";
        }
        ++matched;
        if (!options->showOnly) {
            if (auto sent = table.signal(process, options->signal); !sent) {
                result.err += "killall: warning: kill -" + signal + " " + std::to_string(process.pid) + ": " +
                              std::strerror(sent.error()) + "\n";
                result.status = 1;
            }
        }
    }
    if (matched == 0) {
        if (!options->quiet) {
            result.err +=
                std::string("No matching processes ") + (caller.user != 0 ? "belonging to you " : "") + "were found\n";
        }
        result.status = 1;
    }
    return result;
}

}  // namespace lidora::vmac
