#pragma once

#include "platform/log/UnifiedLogStore.h"

namespace lidora::vmac {

// Whether journald listens on this machine.
bool journalAvailable();

// Mirrors a stored record to journald, named after the sender logd saw (its
// pid, user and executable in fields of their own; journald's trusted fields
// name logd). Done by logd alone, so no process pays for it on every record.
void mirrorToJournal(const StoredLogRecord& record);

}  // namespace lidora::vmac
