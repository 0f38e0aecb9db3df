#include "PtyPair.h"

#include "ReadBytes.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <stdexcept>

using namespace std::chrono;

PtyPair::PtyPair() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    m_master.reset(master);
    m_slave.reset(slave);
    m_path = name;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(slave, F_SETFL, ::fcntl(slave, F_GETFL) | O_NONBLOCK);
}

std::string PtyPair::Read(std::size_t count, milliseconds timeout) {
    return ReadBytes(m_master.get(), count, timeout);
}

std::string PtyPair::ReadAll(milliseconds quiet) {
    return ReadUntilQuiet(m_master.get(), quiet);
}

void PtyPair::WriteToLink(std::string_view bytes) {
    if (::write(m_master.get(), bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("write to pty master failed");
}

void PtyPair::CloseFarEnd() {
    m_master.reset();
}

bool PtyPair::MarkedExclusive() const {
    int exclusive = 0;
    if (::ioctl(m_slave.get(), TIOCGEXCL, &exclusive) != 0)
        throw std::runtime_error("TIOCGEXCL failed");
    return exclusive != 0;
}

bool PtyPair::WaitOutputHeld(bool held) {
    // A pty whose output is stopped by XOFF offers no room for writing.
    const auto deadline = steady_clock::now() + seconds(5);
    while (steady_clock::now() < deadline) {
        pollfd pfd{m_slave.get(), POLLOUT, 0};
        const bool writable = ::poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLOUT);
        if (writable != held)
            return true;
        ::usleep(1000);
    }
    return false;
}

bool LockFree(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    return fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

PortEnvironment::PortEnvironment(std::array<std::string, 4> devices) {
    for (int i = 0; i < 4; ++i) {
        const std::string name = "KELMORA_COM" + std::to_string(i + 1);
        if (const char* old = std::getenv(name.c_str()))
            m_saved[i] = old;
        const std::string& device = devices[i].empty() ? Missing(i + 1) : devices[i];
        ::setenv(name.c_str(), device.c_str(), 1);
    }
}

PortEnvironment::~PortEnvironment() {
    for (int i = 0; i < 4; ++i) {
        const std::string name = "KELMORA_COM" + std::to_string(i + 1);
        if (const auto& saved = m_saved[i])
            ::setenv(name.c_str(), saved->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
}
