// Conversion of a file time to an automation date (days since 30 December 1899, the fraction
// counting the time of day away from midnight also for days before that origin).
#pragma once

#include <windows.h>

namespace vinspect {

// E_UNEXPECTED when the file time has no calendar form or lies after the year 9999.
HRESULT ToAutomationDate(const FILETIME& fileTime, double* date);

}  // namespace vinspect
