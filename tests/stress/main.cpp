// stress: the stress and fault suite. Each part stages temporary virtual
// Macs, prints one line per figure and fails when a goal is missed.
//   stress [--short] [PART...]     parts by id; all of them by default
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "tests/stress/Parts.h"

using namespace lidora::testing;

namespace {

struct Part {
    const char* id;
    void (*run)(const RunSize&, Report&);
};

// In the order they run by default.
constexpr Part kParts[] = {
    {"R1", admissionPart},  {"R2", loadPart},         {"R3", preferencePart}, {"R5", crashRestorePart},
    {"R6", helperKillPart}, {"R7", hostileInputPart}, {"NR", nonRootPart},
};

}  // namespace

int main(int argc, char** argv) {
    RunSize size;
    std::vector<const Part*> chosen;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--short") == 0) {
            size.quick = true;
            continue;
        }
        const Part* found = nullptr;
        for (const auto& part : kParts) {
            found = std::strcmp(part.id, argv[i]) == 0 ? &part : found;
        }
        if (found == nullptr) {
            std::fprintf(stderr, "stress: unknown part %s (parts: R1 R2 R3 R5 R6 R7 NR)\n", argv[i]);
            return 64;
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const auto& part : kParts) {
            chosen.push_back(&part);
        }
    }
    Report report;
    for (const auto* part : chosen) {
        try {
            part->run(size, report);
        } catch (const std::exception& e) {
            report.problem(part->id, e.what());
        }
    }
    return report.missed() == 0 ? 0 : 1;
}
