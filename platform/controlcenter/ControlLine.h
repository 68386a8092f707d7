#pragma once

#include <string>

#include "core/ports/ControlWidget.h"
#include "core/runtime/Expected.h"

namespace lidora::vmac {

// One control as Control Center shows it, on one line: title, value text,
// symbol name and, for a switch, on or off; or the title and why there is
// no value.
std::string controlLine(const std::string& title, const Expected<ControlTemplate, std::string>& shown);

}  // namespace lidora::vmac
