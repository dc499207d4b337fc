// Local time on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace plat {

void GetLocalTimeMs(LocalTime* t) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    t->year = now.wYear;
    t->month = now.wMonth;
    t->day = now.wDay;
    t->hour = now.wHour;
    t->minute = now.wMinute;
    t->second = now.wSecond;
    t->milliseconds = now.wMilliseconds;
}

// A reading of its own, in whole seconds: callers that take both see the
// clock move between them, as with any two readings.
void GetLocalTimeSeconds(LocalTime* t) {
    GetLocalTimeMs(t);
    t->milliseconds = 0;
}

}  // namespace plat
