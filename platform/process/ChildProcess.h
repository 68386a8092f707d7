#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/runtime/Expected.h"

namespace lidora::vmac {

// A program to start as a child process. The child execs these very
// strings, so a beforeExec may fill in what only the child knows (its pid).
struct SpawnRequest {
    std::filesystem::path program;
    std::vector<std::string> arguments;    // argv, the program's name first
    std::vector<std::string> environment;  // NAME=value
    // When set, the program is run from this open file rather than looked up
    // by `program`, whose path someone may have changed since it was opened.
    // It must then be a binary: the descriptor is gone before an interpreter
    // could open a script through it.
    int programFd = -1;
    // The child's descriptors 0, 1, 2… in this order; it gets no others.
    std::vector<int> descriptors;
    bool newSession = false;
    // Started as a grandchild in a session of its own: parented to init, it
    // can never get a controlling terminal, and nobody here waits for it.
    bool detached = false;
    // Runs in the child right before exec, with the descriptors in place:
    // async-signal-safe calls only. Returns null, or the step it failed at
    // ("set the user") with errno set.
    std::function<const char*()> beforeExec;
};

// What kept a child from running its program: the step ("execute") and errno.
struct SpawnFailure {
    const char* step = "start";
    int error = 0;
};

// Starts the child and returns its pid once it runs the program: any failure
// up to exec comes back from the child through a close-on-exec pipe. The
// child starts with no signal blocked and SIGPIPE at its default.
Expected<pid_t, SpawnFailure> spawnChild(SpawnRequest& request);

// How a child ended.
struct ChildExit {
    int status = 0;  // its exit status, when it exited
    int signal = 0;  // the signal that ended it, or 0
    friend bool operator==(const ChildExit&, const ChildExit&) = default;
};

// Waits for a child to end, again when a signal interrupts. Fails with errno
// when there is nothing to wait for (ECHILD: not our child, or reaped
// already, as when SIGCHLD is ignored), which must never pass for a success.
Expected<ChildExit, int> waitForChild(pid_t pid);
// The same without blocking: empty while the child runs.
Expected<std::optional<ChildExit>, int> checkChild(pid_t pid);

// This process's environment with `entries` (NAME=value) in place of any of
// the same names, `entries` first.
std::vector<std::string> environmentWith(const std::vector<std::string>& entries);

}  // namespace lidora::vmac
