#pragma once

#include <ctime>
#include <string>

namespace lidora::vmac {

// The name an item gets in the Trash, as Finder names it: its own name first
// (attempt 0); when that is taken, the time of the move before the extension,
// "Lidora 4.42.07 PM.app"; when that is taken too, a number after the time,
// "Lidora 4.42.07 PM 2.app", 3, and so on. The result fits in a file name
// (255 bytes), the stem shortened at a character boundary when it must.
std::string trashName(const std::string& name, const std::tm& movedAt, unsigned attempt);

}  // namespace lidora::vmac
