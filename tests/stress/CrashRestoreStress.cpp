#include "tests/stress/Parts.h"

namespace lidora::testing {

void crashRestorePart(const RunSize& /*size*/, Report& /*report*/) {}

}  // namespace lidora::testing
