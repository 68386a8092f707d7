#pragma once

#include <cstdio>
#include <sstream>
#include <string>

namespace lidora::testing {

// The figures of one run, printed as they come:
//   figure NAME = VALUE (goal GOAL)
// and remembered so the run fails when any goal was missed.
class Report {
public:
    template <typename Value>
    void figure(const std::string& name, const Value& value, const std::string& goal, bool met) {
        std::ostringstream text;
        text << value;
        std::printf("figure %s = %s (goal %s)%s\n", name.c_str(), text.str().c_str(), goal.c_str(),
                    met ? "" : "  MISSED");
        std::fflush(stdout);
        missed_ += met ? 0 : 1;
    }
    // A count that must be exactly `goal`.
    void exactly(const std::string& name, long long value, long long goal) {
        figure(name, value, std::to_string(goal), value == goal);
    }
    void atMost(const std::string& name, double value, double goal, const std::string& unit = "") {
        std::ostringstream bound;
        bound << "<= " << goal << unit;
        figure(name, value, bound.str(), value <= goal);
    }
    // What went wrong in setting a part up, which fails the run like a missed goal.
    void problem(const std::string& part, const std::string& what) {
        std::printf("problem %s: %s\n", part.c_str(), what.c_str());
        std::fflush(stdout);
        ++missed_;
    }
    void note(const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    }

    [[nodiscard]] int missed() const { return missed_; }

private:
    int missed_ = 0;
};

// How big a run is: the long one of the figures, or the quick one the test
// command runs.
struct RunSize {
    bool quick = false;
    [[nodiscard]] int pick(int full, int short_) const { return quick ? short_ : full; }
};

}  // namespace lidora::testing
