#pragma once

#include "platform/bus/VmacBus.h"

namespace lidora::vmac {

// The signals the virtual Mac's system services send on its bus.

// A Darwin notification; argument: its name (s).
inline constexpr BusSignalName kDarwinNotificationPosted{"/com/zelquin/vmac/notify", "com.zelquin.vmac.Notify",
                                                         "Posted"};
// A distributed notification; argument: its name (s).
inline constexpr BusSignalName kDistributedNotificationPosted{"/com/zelquin/vmac/distributed",
                                                              "com.zelquin.vmac.DistributedNotifications", "Posted"};
// The Mac woke from sleep; no arguments.
inline constexpr BusSignalName kWorkspaceDidWake{"/com/zelquin/vmac/workspace", "com.zelquin.vmac.Workspace",
                                                 "DidWake"};
// The displays went to sleep, or woke; no arguments.
inline constexpr BusSignalName kWorkspaceScreensDidSleep{"/com/zelquin/vmac/workspace", "com.zelquin.vmac.Workspace",
                                                         "ScreensDidSleep"};
inline constexpr BusSignalName kWorkspaceScreensDidWake{"/com/zelquin/vmac/workspace", "com.zelquin.vmac.Workspace",
                                                        "ScreensDidWake"};
// The user opened a running application again; argument: its bundle
// identifier (s).
inline constexpr BusSignalName kWorkspaceReopen{"/com/zelquin/vmac/workspace", "com.zelquin.vmac.Workspace", "Reopen"};
// Another space became active on some display; no arguments.
inline constexpr BusSignalName kWorkspaceActiveSpaceDidChange{"/com/zelquin/vmac/workspace",
                                                              "com.zelquin.vmac.Workspace", "ActiveSpaceDidChange"};
// The displays' arrangement, sizes or menu bars changed; no arguments.
inline constexpr BusSignalName kScreenParametersChanged{"/com/zelquin/vmac/windowserver",
                                                        "com.zelquin.vmac.WindowServer", "ScreenParametersChanged"};
// The pointer moved; arguments: x and y (d, d), global, bottom-left origin.
inline constexpr BusSignalName kMouseMoved{"/com/zelquin/vmac/windowserver", "com.zelquin.vmac.WindowServer",
                                           "MouseMoved"};
// An app asked to reload the controls of a kind; argument: the kind (s).
inline constexpr BusSignalName kControlsReloaded{"/com/zelquin/vmac/controls", "com.zelquin.vmac.ControlCenter",
                                                 "Reloaded"};
// A hot key was pressed; arguments: the owner's pid in decimal (s, so that
// a match can pick it), the key code (u), the modifiers (u).
inline constexpr BusSignalName kHotKeyPressed{"/com/zelquin/vmac/hotkeys", "com.zelquin.vmac.HotKeys", "Pressed"};

}  // namespace lidora::vmac
