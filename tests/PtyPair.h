#pragma once

#include <UniqueFd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

// The far end of a serial line for a test: a real pseudo-terminal. The link opens the slave
// by its path; the test reads at the master what arrived, byte for byte. The test keeps its
// own slave descriptor open so that the master does not hang up while the link reopens.
class PtyPair {
public:
    PtyPair();

    [[nodiscard]] const std::string& Path() const { return m_path; }
    [[nodiscard]] int Slave() const { return m_slave.get(); }

    // Reads until `count` bytes have arrived or `timeout` has passed.
    [[nodiscard]] std::string Read(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads whatever arrives until the line has been quiet for `quiet`.
    [[nodiscard]] std::string
    ReadAll(std::chrono::milliseconds quiet = std::chrono::milliseconds(200));

    void WriteToLink(std::string_view bytes); // e.g. XOFF from the panel
    void CloseFarEnd();                       // the panel's side vanishes

    // Whether the tty is marked for exclusive use (TIOCEXCL), as an open link marks it.
    [[nodiscard]] bool MarkedExclusive() const;

    // Waits until the slave's output is held (by XOFF) or released again.
    [[nodiscard]] bool WaitOutputHeld(bool held);

private:
    UniqueFd m_master;
    UniqueFd m_slave;
    std::string m_path;
};

// True when another open of the device can take its lock, i.e. nobody holds it.
[[nodiscard]] bool LockFree(const std::string& path);

// Points KELMORA_COM1..4 at the given devices for the life of the object, and every port
// without one at a path that does not exist: no test ever reaches a real device.
class PortEnvironment {
public:
    explicit PortEnvironment(std::array<std::string, 4> devices);
    ~PortEnvironment();
    PortEnvironment(const PortEnvironment&) = delete;
    PortEnvironment& operator=(const PortEnvironment&) = delete;

    static std::string Missing(int port) {
        return "/nonexistent/kelmora-test/COM" + std::to_string(port);
    }

private:
    std::array<std::optional<std::string>, 4> m_saved;
};
