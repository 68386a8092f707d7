// R1: connection attempts from everything that is not the app or the
// extension of the daemon's team, or is but was tampered with or runs
// foreign code. None may get a reply or change anything.
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "tests/stress/Parts.h"
#include "tests/stress/StressMac.h"

namespace lidora::testing {

namespace {

struct Impostor {
    std::string what;
    std::vector<std::string> argv;  // before the client's own arguments
    bool asAttacker = false;        // run as nobody when the suite is root
};

// Where the client's copy of a library it needs lies.
std::filesystem::path neededLibrary(const std::string& name) {
    std::istringstream lines(runProcess({"/usr/bin/ldd", STRESS_CLIENT}).out);
    for (std::string line; std::getline(lines, line);) {
        if (const auto at = line.find("=> /"); at != std::string::npos && line.find(name) != std::string::npos) {
            return line.substr(at + 3, line.find(' ', at + 3) - at - 3);
        }
    }
    return {};
}

// The folder of a local attacker, with their own preload library and their
// copy of one the client needs.
std::filesystem::path attackerFolder(StressMac& stress) {
    const auto folder = stress.mac.root() / "scratch" / "attacker";
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(PRELOAD_PROBE, folder / "libinjected.so",
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(neededLibrary("libsystemd.so"), folder / "libsystemd.so.0",
                               std::filesystem::copy_options::overwrite_existing);
    for (const auto& each : {folder, folder / "libinjected.so", folder / "libsystemd.so.0"}) {
        [[maybe_unused]] const int changed = ::chown(each.c_str(), geteuid() == 0 ? 65534 : geteuid(), -1);
    }
    return folder;
}

std::vector<Impostor> impostors(StressMac& stress) {
    std::vector<Impostor> list;
    const auto add = [&](std::string what, const std::filesystem::path& program) {
        list.push_back({std::move(what), {program.string()}});
    };
    add("unsigned", stress.client("unsigned", ""));
    add("another team", stress.client("other-team", kAppIdentifier, "AAAAAAAAAA"));
    add("another identifier", stress.client("other-id", "com.example.other"));
    add("ad hoc", stress.client("ad-hoc", kAppIdentifier, ""));
    add("the extension's identifier of another team", stress.client("other-ext", "com.zelquin.lidora.control", "B1"));

    const auto edited = stress.client("edited");
    std::ofstream(edited, std::ios::app | std::ios::binary) << "edited after signing";
    add("edited after signing", edited);

    const auto original = stress.client("original");
    const auto copied = stress.mac.root() / "scratch" / "copied";
    std::filesystem::copy_file(original, copied);
    add("copied after signing", copied);

    // A signed program's path turned into a symlink to a foreign one.
    const auto replaced = stress.client("replaced");
    std::filesystem::remove(replaced);
    std::filesystem::create_symlink(stress.mac.root() / "scratch" / "unsigned", replaced);
    add("a symlink put where a signed program was", replaced);
    const auto linkToCopy = stress.mac.root() / "scratch" / "link-to-copy";
    std::filesystem::create_symlink(copied, linkToCopy);
    add("started through a symlink to a copy", linkToCopy);

    const auto genuine = stress.client("genuine").string();
    const auto folder = attackerFolder(stress);
    for (const auto& variable :
         {"LD_PRELOAD=" + (folder / "libinjected.so").string(), "LD_LIBRARY_PATH=" + folder.string()}) {
        list.push_back({"signed, with " + variable.substr(0, variable.find('=')),
                        {"/usr/bin/env", "ASAN_OPTIONS=verify_asan_link_order=0", variable, genuine},
                        true});
    }
    return list;
}

}  // namespace

void admissionPart(const RunSize& size, Report& report) {
    StressMac stress;
    const auto list = impostors(stress);
    const auto genuine = stress.client("app");
    // The daemon runs once for the genuine client, so refusals are not
    // mistaken for a daemon that never started.
    const auto before = stress.mac.run({genuine.string(), "call", "get-state", "1"});
    if (before.out.rfind("ok ", 0) != 0) {
        report.problem("R1", "the genuine client was not served: " + before.out + before.err);
        return;
    }
    stress.forgetCommands();
    const auto domainBefore = stress.brightnessDomain();

    const int attempts = size.pick(1000, 60);
    std::atomic<int> next = 0;
    std::atomic<int> served = 0;
    std::atomic<int> unexpected = 0;
    const auto attack = [&] {
        for (int i = next++; i < attempts; i = next++) {
            const auto& impostor = list[static_cast<std::size_t>(i) % list.size()];
            auto argv = impostor.argv;
            argv.insert(argv.end(), {"call", i % 2 == 0 ? "off" : "reset", "1"});
            const auto result =
                impostor.asAttacker && geteuid() == 0 ? stress.mac.runAsNobody(argv) : stress.mac.run(argv);
            // Refused: the connection went before any answer.
            const auto at = result.out.find(' ', 6);
            const bool refused = result.out.rfind("error ", 0) == 0 && at != std::string::npos &&
                                 result.out.compare(at + 1, std::string(kUnreachable).size(), kUnreachable) == 0;
            if (!refused) {
                ++served;
                if (unexpected++ < 5) {
                    report.note("R1 " + impostor.what + " got: " + result.out + result.err);
                }
            }
        }
    };
    std::vector<std::thread> attackers;
    for (int t = 0; t < 4; ++t) {
        attackers.emplace_back(attack);
    }
    for (auto& attacker : attackers) {
        attacker.join();
    }
    report.figure("R1.attempts", attempts, ">= " + std::to_string(attempts), true);
    report.figure("R1.kinds", list.size(), ">= 10", list.size() >= 10);
    report.exactly("R1.foreign_served", served, 0);
    const auto commands = stress.commandsRun().size();
    const bool changed = stress.brightnessDomain() != domainBefore;
    report.exactly("R1.state_changed", static_cast<long long>(commands) + (changed ? 1 : 0), 0);
    const auto after = stress.mac.run({genuine.string(), "call", "get-state", "1"});
    report.exactly("R1.genuine_served_after", after.out.rfind("ok ", 0) == 0 ? 1 : 0, 1);
}

}  // namespace lidora::testing
