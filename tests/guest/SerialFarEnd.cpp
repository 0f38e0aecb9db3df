// termios2 sets any speed (14400 included); this file must not see <termios.h>.
#include "SerialFarEnd.h"

#include "ReadBytes.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>

#include <stdexcept>

using namespace std::chrono;

SerialFarEnd::SerialFarEnd(const std::string& device, unsigned long speed)
    : m_fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (!m_fd.valid())
        throw std::runtime_error("cannot open " + device);
    termios2 tio{};
    if (::ioctl(m_fd.get(), TCGETS2, &tio) != 0)
        throw std::runtime_error("TCGETS2 failed on " + device);
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CS8 | CREAD | CLOCAL | BOTHER | (BOTHER << IBSHIFT);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    tio.c_ispeed = tio.c_ospeed = speed;
    if (::ioctl(m_fd.get(), TCSETS2, &tio) != 0)
        throw std::runtime_error("TCSETS2 failed on " + device);
    // Whatever an earlier test left on the line is not this test's.
    ::ioctl(m_fd.get(), TCFLSH, TCIOFLUSH);
}

std::string SerialFarEnd::Read(std::size_t count, milliseconds timeout) {
    return ReadBytes(m_fd.get(), count, timeout);
}

std::string SerialFarEnd::ReadAll(milliseconds quiet) {
    return ReadUntilQuiet(m_fd.get(), quiet);
}

void SerialFarEnd::Write(std::string_view bytes) {
    if (::write(m_fd.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("write to the far end failed");
    ::ioctl(m_fd.get(), TCSBRK, 1); // tcdrain
}

int QueuedOutput(const std::string& device) {
    const UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    int queued = -1;
    if (!fd.valid() || ::ioctl(fd.get(), TIOCOUTQ, &queued) != 0)
        throw std::runtime_error("TIOCOUTQ failed on " + device);
    return queued;
}
