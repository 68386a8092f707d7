#pragma once

#include "tests/stress/Report.h"

namespace lidora::testing {

// Each part stages its own temporary virtual Macs and reports its figures.
void admissionPart(const RunSize& size, Report& report);     // R1
void loadPart(const RunSize& size, Report& report);          // R2
void preferencePart(const RunSize& size, Report& report);    // R3
void crashRestorePart(const RunSize& size, Report& report);  // R5
void helperKillPart(const RunSize& size, Report& report);    // R6
void hostileInputPart(const RunSize& size, Report& report);  // R7
void nonRootPart(const RunSize& size, Report& report);       // NR

}  // namespace lidora::testing
