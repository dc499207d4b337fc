// Local time on a POSIX host.
#include <time.h>

#include "platform/platform.h"

namespace plat {
namespace {

void Fill(time_t seconds, int milliseconds, LocalTime* t) {
    struct tm local = {};
    localtime_r(&seconds, &local);
    t->year = local.tm_year + 1900;
    t->month = local.tm_mon + 1;
    t->day = local.tm_mday;
    t->hour = local.tm_hour;
    t->minute = local.tm_min;
    t->second = local.tm_sec;
    t->milliseconds = milliseconds;
}

}  // namespace

void GetLocalTimeMs(LocalTime* t) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    Fill(now.tv_sec, static_cast<int>(now.tv_nsec / 1000000), t);
}

void GetLocalTimeSeconds(LocalTime* t) { Fill(time(nullptr), 0, t); }

}  // namespace plat
