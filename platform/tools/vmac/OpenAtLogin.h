#pragma once

#include "platform/vmac/VmacPaths.h"

namespace lidora::vmac {

// Opens what the current user's login items name, each with `vmac open`, as
// a Mac opens login items when the user logs in. Problems go to standard
// error; none stops the others.
void openLoginItems(const VmacPaths& paths);

}  // namespace lidora::vmac
