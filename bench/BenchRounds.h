// Rounds for benchmarks that compare a subject with a baseline on a shared
// machine: each round alternates the two, so load that comes and goes hits
// both alike; a round's ratio is the ratio of its medians, and the figure is
// the median of the rounds' ratios, printed with their spread and the load.
#pragma once

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace lidora::bench {

inline double median(std::vector<double> samples) {
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto middle = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

// The 1, 5 and 15 minute load averages, as uptime shows them.
inline std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    in >> one >> five >> fifteen;
    return one + ", " + five + ", " + fifteen;
}

class Rounds {
public:
    // A round's medians of the subject and the baseline, in the same unit.
    void add(const std::vector<double>& subject, const std::vector<double>& baseline) {
        subjects_.push_back(median(subject));
        baselines_.push_back(median(baseline));
        ratios_.push_back(baselines_.back() > 0 ? subjects_.back() / baselines_.back() : 0.0);
    }

    [[nodiscard]] double subject() const { return median(subjects_); }
    [[nodiscard]] double baseline() const { return median(baselines_); }
    [[nodiscard]] double ratio() const { return median(ratios_); }
    [[nodiscard]] double lowest() const {
        return ratios_.empty() ? 0.0 : *std::min_element(ratios_.begin(), ratios_.end());
    }
    [[nodiscard]] double highest() const {
        return ratios_.empty() ? 0.0 : *std::max_element(ratios_.begin(), ratios_.end());
    }
    [[nodiscard]] std::size_t count() const { return ratios_.size(); }

    // The spread of the rounds' ratios, then the figure, always last.
    void report(const char* name, double goal) const {
        std::printf("spread %.2f .. %.2f (%zu rounds, load %s)\n", lowest(), highest(), count(), loadAverage().c_str());
        std::printf("ratio %s = %.2f (goal <= %g)\n", name, ratio(), goal);
    }

private:
    std::vector<double> subjects_;
    std::vector<double> baselines_;
    std::vector<double> ratios_;
};

}  // namespace lidora::bench
