#include "platform/tools/vmac/ShortcutsRun.h"

#include <unistd.h>

#include <cstdio>
#include <thread>

#include "platform/bus/BusNames.h"
#include "platform/shortcuts/ShortcutsArguments.h"
#include "platform/shortcuts/ShortcutsWire.h"
#include "platform/system/VirtualProcessEnvironment.h"
#include "platform/tools/vmac/CommandBus.h"
#include "platform/process/DetachedProcess.h"

namespace lidora::vmac {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kLongestAnswer = std::size_t{16} << 20U;

// One line from the terminal, without its line end; none at end of input or past kLongestAnswer.
std::optional<std::string> readAnswer() {
    std::string line;
    for (int c = std::fgetc(stdin); c != EOF; c = std::fgetc(stdin)) {
        if (c == '\n') {
            return line;
        }
        if (line.size() >= kLongestAnswer) {
            return std::nullopt;
        }
        line += static_cast<char>(c);
    }
    return line.empty() ? std::nullopt : std::optional(line);
}

bool askForMissing(const ShortcutsApp& app, const CatalogAction& action, ActionArguments& arguments,
                   const char* command) {
    for (const auto& parameter : action.parameters) {
        if (parameter.optional || arguments.contains(parameter.name)) {
            continue;
        }
        if (::isatty(STDIN_FILENO) == 0) {
            std::fprintf(stderr, "%s: \"%s\" needs %s (--%s VALUE); there is no terminal to ask on\n", command,
                         action.title.c_str(), parameter.title.c_str(), parameter.name.c_str());
            return false;
        }
        const auto choices = choicesText(app.catalog, parameter);
        if (!parameter.requestValueDialog.empty()) {
            std::fprintf(stderr, "%s ", parameter.requestValueDialog.c_str());
        } else if (!choices.empty()) {
            std::fprintf(stderr, "%s (%s): ", parameter.title.c_str(), choices.c_str());
        } else {
            std::fprintf(stderr, "%s: ", parameter.title.c_str());
        }
        std::fflush(stderr);
        const auto answer = readAnswer();
        if (!answer) {
            std::fprintf(stderr, "%s: no value for %s\n", command, parameter.title.c_str());
            return false;
        }
        auto value = argumentValue(app.catalog, parameter, *answer);
        if (!value) {
            std::fprintf(stderr, "%s: %s\n", command, value.error().c_str());
            return false;
        }
        arguments.insert_or_assign(parameter.name, std::move(*value));
    }
    return true;
}

std::string infoEntry(const std::filesystem::path& bundle, std::string_view key) {
    const auto info = readBundleInfo(bundle);
    const auto found = info.find(key);
    const auto* text = found == info.end() ? nullptr : found->second.asString();
    return text == nullptr ? std::string() : *text;
}

// Starts the app as `vmac open` does when no copy owns its name, and waits
// until one does.
bool ensureRunning(const VmacPaths& paths, CommandBus& command, const ShortcutsApp& app, const char* name) {
    const auto busName = busNameForBundleIdentifier(app.bundleIdentifier);
    if (command.ownerOf(busName)) {
        return true;
    }
    const auto executable = infoEntry(app.bundle, "CFBundleExecutable");
    if (executable.empty() || executable.find('/') != std::string::npos) {
        std::fprintf(stderr, "%s: %s has no executable to start\n", name, app.bundle.c_str());
        return false;
    }
    const auto started = startDetached(paths, {(app.bundle / "Contents" / "MacOS" / executable).string()},
                                       paths.root() / "var" / "log" / (app.bundle.stem().string() + ".log"));
    if (!started) {
        std::fprintf(stderr, "%s: cannot start %s: %s\n", name, app.name.c_str(), started.error().c_str());
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + kAppStartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (command.ownerOf(busName, 1s)) {
            return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    std::fprintf(stderr, "%s: %s (pid %d) did not come up within %lld s\n", name, app.name.c_str(),
                 static_cast<int>(*started), static_cast<long long>(kAppStartLimit.count()));
    return false;
}

}  // namespace

int performAction(const VmacPaths& paths, const ShortcutsApp& app, const CatalogAction& action,
                  ActionArguments arguments, std::chrono::milliseconds limit, const char* command) {
    if (!askForMissing(app, action, arguments, command)) {
        return 1;
    }
    CommandBus bus(paths);
    if (!bus.connect()) {
        std::fprintf(stderr, "%s: %s\n", command, kNoBusMessage);
        return 1;
    }
    if (!ensureRunning(paths, bus, app, command)) {
        return 1;
    }
    const RunRequest request{action.identifier, std::move(arguments)};
    const auto began = std::chrono::steady_clock::now();
    const auto reply = bus.call(
        runActionMethod(busNameForBundleIdentifier(app.bundleIdentifier)),
        [&](sd_bus_message* m) { return appendRunRequest(m, request); }, limit);
    if (!reply) {
        std::fprintf(stderr, "%s: lost the message bus while %s ran the action\n", command, app.name.c_str());
        return 1;
    }
    if (sd_bus_message_is_method_error(reply.get(), nullptr) > 0) {
        const sd_bus_error* error = sd_bus_message_get_error(reply.get());
        const bool noReply = sd_bus_message_is_method_error(reply.get(), SD_BUS_ERROR_NO_REPLY) > 0;
        if (noReply && std::chrono::steady_clock::now() - began >= limit) {
            std::fprintf(stderr, "%s: %s did not answer within %lld s; it may be hung\n", command, app.name.c_str(),
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(limit).count()));
        } else if (noReply) {
            std::fprintf(stderr, "%s: %s quit before it finished the action\n", command, app.name.c_str());
        } else {
            std::fprintf(stderr, "%s: %s did not take the request: %s\n", command, app.name.c_str(),
                         error != nullptr && error->message != nullptr ? error->message : "unknown error");
        }
        return 1;
    }
    const auto result = readRunReply(reply.get());
    if (!result) {
        std::fprintf(stderr, "%s: %s answered with a %s\n", command, app.name.c_str(), result.error().c_str());
        return 1;
    }
    if (!*result) {
        std::fprintf(stderr, "%s\n", result->error().message.c_str());
        return 1;
    }
    std::printf("%s\n", (*result)->c_str());
    return 0;
}

}  // namespace lidora::vmac
