#pragma once

#include "core/ports/ApplicationWorkspace.h"
#include "core/runtime/Task.h"

namespace lidora::control {

// Launches the app, or brings up the running one; with `activates` false it
// starts in the background. Does nothing when the app is not installed
// where the workspace finds it, and a failed open is ignored: the control's
// own result tells the user what happened.
Task<void> openApplication(ApplicationWorkspace& workspace, bool activates);

}  // namespace lidora::control
