#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace lidora::testing {

// A program left running in the background, killed at the end at the
// latest so no process outlives the test.
class Spawned {
public:
    // `environment` empty: this process's own. `quiet`: outputs to /dev/null.
    explicit Spawned(std::vector<std::string> argv, std::vector<std::string> environment = {}, bool quiet = false) {
        std::vector<char*> args;
        for (auto& argument : argv) {
            args.push_back(argument.data());
        }
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& variable : environment) {
            envp.push_back(variable.data());
        }
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet) {
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        }
        if (::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(),
                          environment.empty() ? environ : envp.data()) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    Spawned(const Spawned&) = delete;
    Spawned& operator=(const Spawned&) = delete;
    ~Spawned() { kill(); }

    [[nodiscard]] pid_t pid() const { return pid_; }

    // The wait status; -1 when nothing runs.
    int wait() {
        int status = -1;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) != pid_) {
            status = -1;
        }
        pid_ = -1;
        return status;
    }
    int kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
        }
        return wait();
    }

private:
    pid_t pid_ = -1;
};

}  // namespace lidora::testing
