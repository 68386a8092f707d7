#pragma once

#include <map>
#include <string>
#include <vector>

namespace lidora::testing {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal; -1 when it could not be run or waited for
    std::string out;
    std::string err;
};

// Runs a program to its end with extra environment variables, no standard
// input, and both outputs captured.
ProcessResult runProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& environment = {});

}  // namespace lidora::testing
