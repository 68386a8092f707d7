#pragma once

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>

#include "core/runtime/Expected.h"
#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// The control protocol: one JSON object a line each way, a reply for every
// request, in order.
//
//   {"command":"load","plist":"/abs/x.plist"}   → {"ok":true,"label":"…"}
//   {"command":"unload","job":"label or /abs/x.plist"} → {"ok":true,"label":"…"}
//   {"command":"list"}  → {"ok":true,"pid":N,"jobs":[{"label","plist","pid","status"}]}
//   {"command":"shutdown"} → {"ok":true,"pid":N}
//
// The service manager, for a daemon property list inside an app's bundle:
//   {"command":"sm-status","bundle":"/abs/X.app","plistName":"x.plist"} → {"ok":true,"status":0…3}
//   {"command":"sm-register",…same…}   → {"ok":true,"status":1}, or while approval is
//                                         pending {"ok":false,"error":"Operation not permitted","status":2}
//   {"command":"sm-unregister",…same…} → {"ok":true,"label":"…"} once the job is gone
//   {"command":"approve","label":"…"}  → {"ok":true,"label":"…","bundles":["…"]}  (root)
//   {"command":"revoke","label":"…"}   → {"ok":true,"label":"…"}  (root)
//
// Failures answer {"ok":false,"error":"…"}. "pid" and "status" of a job are
// null while it has none.
struct LaunchdError {
    bool notRunning = false;
    std::string message;
};

// Sends one request and waits for its reply. Replies with "ok": false come
// back as errors with launchd's message.
Expected<nlohmann::json, LaunchdError> requestLaunchd(const VmacPaths& paths, const nlohmann::json& request,
                                                      std::chrono::milliseconds timeout = std::chrono::seconds(30));

}  // namespace lidora::vmac
