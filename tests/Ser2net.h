#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

// A real ser2net serving one serial device as an RFC 2217 port on the loopback, started by the
// test and stopped with it: one client at a time, a second one turned away.
class Ser2net {
public:
    // Serves `device` on a free port of 127.0.0.1; returns once ser2net listens.
    explicit Ser2net(std::string device);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // "rfc2217://127.0.0.1:PORT"
    [[nodiscard]] std::string Url() const;
    [[nodiscard]] int Port() const { return m_port; }

    // Kills it at once (SIGKILL), as a crash or a pulled network would end it; Start serves the
    // same port again.
    void Kill();
    void Start();

    // A port of 127.0.0.1 on which nobody listens.
    [[nodiscard]] static int FreePort();
    // Whether something listens on 127.0.0.1:port, from the kernel's table: a trial connection
    // would make ser2net open its device and hold it a moment past the connection's end, during
    // which the next client's Telnet negotiation waits (ser2net 4.6).
    [[nodiscard]] static bool Listening(int port);

private:
    std::string m_device;
    int m_port;
    std::filesystem::path m_dir;
    pid_t m_pid = -1;
};
