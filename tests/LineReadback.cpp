// termios2 shows the exact rate (the classic interface cannot express 14400); this file
// must not see <termios.h>.
#include "LineReadback.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <stdexcept>

LineReadback ReadLine(int fd) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2 failed");
    LineReadback r;
    r.inputSpeed = t.c_ispeed;
    r.outputSpeed = t.c_ospeed;
    r.eightBits = (t.c_cflag & CSIZE) == CS8;
    r.parity = t.c_cflag & PARENB;
    r.twoStopBits = t.c_cflag & CSTOPB;
    r.ctsFlow = t.c_cflag & CRTSCTS;
    r.ignoreCarrier = t.c_cflag & CLOCAL;
    r.xonOutput = t.c_iflag & IXON;
    r.xoffInput = t.c_iflag & IXOFF;
    r.crToNl = t.c_iflag & ICRNL;
    r.outputProcessing = t.c_oflag & OPOST;
    r.canonical = t.c_lflag & ICANON;
    r.echo = t.c_lflag & ECHO;
    r.signals = t.c_lflag & ISIG;
    return r;
}

void SetOutputSpeed(int fd, unsigned long speed) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        throw std::runtime_error("TCGETS2 failed");
    t.c_cflag = (t.c_cflag & ~(CBAUD | CIBAUD)) | BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = t.c_ospeed = speed;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        throw std::runtime_error("TCSETS2 failed");
}
