#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// One `vmac` subcommand. run() gets the arguments after the subcommand's
// name and returns the exit status.
struct Command {
    const char* name;
    const char* summary;
    int (*run)(const VmacPaths& paths, const std::vector<std::string>& arguments);
};

int runStatus(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runLog(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runDefaults(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runCodesign(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runBoot(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runShutdown(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runLaunchctl(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runApprove(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runLoginItems(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runSettings(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runModel(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runDisplay(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runLogo(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runWatch(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runNotify(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runWake(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runControls(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runControlCenter(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runKey(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runCamera(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runMic(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runOpen(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runPublishUpdate(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runInstall(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runLock(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runUnlock(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runPower(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runUi(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runSpace(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runWindows(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runPointer(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runMenubar(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runScreen(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runShortcuts(const VmacPaths& paths, const std::vector<std::string>& arguments);
int runSiri(const VmacPaths& paths, const std::vector<std::string>& arguments);

bool wantsHelp(const std::vector<std::string>& arguments);

// Whether this vmac has a subcommand of that name.
bool hasCommand(std::string_view name);

// For commands without arguments: prints `usage` for --help (status 0) or
// refuses arguments (status 64); empty when the command should run.
std::optional<int> answerArgumentlessCommand(const char* name, const char* usage,
                                             const std::vector<std::string>& arguments);

}  // namespace lidora::vmac
