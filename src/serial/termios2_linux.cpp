// termios2 and BOTHER come from the kernel's <asm/termbits.h>, whose struct termios and flag macros
// clash with the C library's <termios.h> that the rest of the Linux backend uses: this one call lives
// alone in its own file for that reason.
#include "serial/termios2_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kesmzn::serial {

bool SetCustomSpeed(int fd, std::uint32_t baud) {
    termios2 settings{};
    if (ioctl(fd, TCGETS2, &settings) != 0) return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= static_cast<tcflag_t>(BOTHER | (BOTHER << IBSHIFT));
    settings.c_ispeed = baud;
    settings.c_ospeed = baud;
    return ioctl(fd, TCSETS2, &settings) == 0;
}

}  // namespace kesmzn::serial
