// Alone in its file: <asm/termbits.h> clashes with <termios.h>.
#include "termios2_probe.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kesmzn::testing {

SpeedProbe ProbeSpeed(int fd) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return {false, false, 0, 0};
    return {true, (settings.c_cflag & CBAUD) == BOTHER, settings.c_ospeed, settings.c_ispeed};
}

}  // namespace kesmzn::testing
