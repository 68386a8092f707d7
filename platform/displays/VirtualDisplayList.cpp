#include "platform/displays/VirtualDisplayList.h"

#include "platform/displays/DisplayRecords.h"

namespace lidora::vmac {

Expected<std::vector<DisplayID>, std::int32_t> VirtualDisplayList::onlineDisplays(std::uint32_t maxDisplays) const {
    const auto records = displaysRecord(paths_).read();
    if (!records) {
        return unexpected(kDisplayListFailure);
    }
    std::vector<DisplayID> ids;
    for (const auto& display : records->displays) {
        if (ids.size() >= maxDisplays) {
            break;
        }
        ids.push_back(display.id);
    }
    return ids;
}

bool VirtualDisplayList::isBuiltin(DisplayID display) const {
    const auto records = displaysRecord(paths_).read();
    if (!records) {
        return false;
    }
    const auto* found = findDisplay(*records, display);
    return found != nullptr && found->builtIn;
}

}  // namespace lidora::vmac
