// The kernel's termios2 interface sets any speed by number (BOTHER). Its struct clashes with the
// C library's <termios.h>, so this file must not include that header, directly or not.
#include "PanelFraming.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace sim {

std::error_code ApplyPanelFraming(int fd, unsigned baud) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return {errno, std::generic_category()};
    }
    tio.c_iflag = IXON | IXOFF;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CS8 | CREAD | CLOCAL | CRTSCTS | BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = baud;
    tio.c_ospeed = baud;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        return {errno, std::generic_category()};
    }
    return {};
}

} // namespace sim
