// R7: hostile strings sent to every method of the daemon never reach a
// command line or a path: every command it runs is one of its fixed ones.
#include <algorithm>
#include <sstream>

#include "core/helper/HelperService.h"
#include "tests/stress/HostileStrings.h"
#include "tests/stress/Parts.h"
#include "tests/stress/StressMac.h"

namespace lidora::testing {

namespace {

std::vector<std::vector<std::string>> fixedCommands() {
    std::vector<std::vector<std::string>> commands;
    const auto add = [&](const std::string& tool, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), tool);
        commands.push_back(std::move(arguments));
    };
    for (const auto* command : {&HelperCommands::readState(), &HelperCommands::turnOff(), &HelperCommands::turnOn()}) {
        add("defaults", *command);
    }
    for (const auto* list : {&HelperCommands::tableDeleteCommands(), &HelperCommands::tableReadCommands()}) {
        for (const auto& command : *list) {
            add("defaults", command);
        }
    }
    add("killall", HelperCommands::restartBrightnessService());
    return commands;
}

// Files and folders whose names carry the mark, under `folder`.
int markedNames(const std::filesystem::path& folder, bool recursive) {
    int found = 0;
    std::error_code error;
    const auto options = std::filesystem::directory_options::skip_permission_denied;
    const auto check = [&](const std::filesystem::directory_entry& entry) {
        found += entry.path().filename().string().find(kHostileMark) != std::string::npos ? 1 : 0;
    };
    if (recursive) {
        for (std::filesystem::recursive_directory_iterator it(folder, options, error), end; !error && it != end;
             it.increment(error)) {
            check(*it);
        }
    } else {
        for (std::filesystem::directory_iterator it(folder, options, error), end; !error && it != end;
             it.increment(error)) {
            check(*it);
        }
    }
    return found;
}

int number(const std::string& output, const std::string& label) {
    const auto at = output.find(label + " ");
    return at == std::string::npos ? -1 : std::stoi(output.substr(at + label.size() + 1));
}

}  // namespace

void hostileInputPart(const RunSize& /*size*/, Report& report) {
    StressMac stress;
    const auto app = stress.client("app");
    const int tmpBefore = markedNames("/tmp", false);
    stress.forgetCommands();
    const auto hostile = stress.mac.run({app.string(), "hostile"});
    // The ordinary calls, so that the record holds what the daemon does run.
    for (const auto* verb : {"get-state", "off", "on", "reset"}) {
        stress.mac.run({app.string(), "call", verb, "1"});
    }
    const int sent = number(hostile.out, "sent");
    report.figure("R7.hostile_calls", sent, "> 0", sent > 0);
    report.exactly("R7.hostile_calls_answered", number(hostile.out, "answered"), sent);

    const auto fixed = fixedCommands();
    const auto commands = stress.commandsRun();
    int carrying = 0;
    int offTable = 0;
    for (const auto& argv : commands) {
        carrying += std::any_of(argv.begin(), argv.end(),
                                [](const auto& argument) { return argument.find(kHostileMark) != std::string::npos; })
                        ? 1
                        : 0;
        if (std::find(fixed.begin(), fixed.end(), argv) == fixed.end()) {
            ++offTable;
            std::ostringstream shown;
            for (const auto& argument : argv) {
                shown << " [" << argument.substr(0, 60) << "]";
            }
            report.note("R7 command off the table:" + shown.str());
        }
    }
    report.figure("R7.commands_seen", commands.size(), ">= 5 (the ordinary calls')", commands.size() >= 5);
    report.exactly("R7.client_bytes_in_commands", carrying, 0);
    report.exactly("R7.commands_off_table", offTable, 0);
    report.exactly("R7.client_bytes_in_paths",
                   markedNames(stress.mac.root(), true) + markedNames("/tmp", false) - tmpBefore, 0);
    const auto after = stress.mac.run({app.string(), "call", "get-state", "1"});
    report.exactly("R7.served_after", after.out.rfind("ok ", 0) == 0 ? 1 : 0, 1);
}

}  // namespace lidora::testing
