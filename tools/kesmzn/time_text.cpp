#include "time_text.h"

#include <time.h>

#include <cstdio>

namespace kesmzn::tool {

std::string NowText(bool iso) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char date[32];
    strftime(date, sizeof date, iso ? "%Y-%m-%dT%H:%M:%S" : "%Y-%m-%d %H:%M:%S", &local);
    char text[64];
    const long ms = now.tv_nsec / 1000000L;
    if (!iso) {
        std::snprintf(text, sizeof text, "%s.%03ld", date, ms);
        return text;
    }
    char zone[8];
    strftime(zone, sizeof zone, "%z", &local);  // +0200
    std::snprintf(text, sizeof text, "%s.%03ld%.3s:%.2s", date, ms, zone, zone + 3);
    return text;
}

std::string ClockText() {
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[16];
    strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

}  // namespace kesmzn::tool
