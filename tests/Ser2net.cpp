#include "Ser2net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

bool Ser2net::Listening(int port) {
    char local[32];
    std::snprintf(local, sizeof local, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string line;
    while (std::getline(table, line))
        if (line.find(local) != std::string::npos && line.find(" 0A ") != std::string::npos)
            return true;
    return false;
}

int Ser2net::FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("no free port on 127.0.0.1");
    ::close(fd);
    return ntohs(address.sin_port);
}

Ser2net::Ser2net(std::string device)
    : m_device(std::move(device))
    , m_port(FreePort())
    , m_dir(std::filesystem::temp_directory_path() /
            ("kelmora-ser2net-" + std::to_string(::getpid()) + "-" + std::to_string(m_port))) {
    std::filesystem::create_directories(m_dir);
    std::ofstream(m_dir / "ser2net.yaml")
        << "connection: &panel\n"
        << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << m_port << "\n"
        << "  connector: serialdev," << m_device << ",38400n81,local\n"
        << "  options:\n"
        << "    max-connections: 1\n"
        << "    kickolduser: false\n";
    Start();
}

Ser2net::~Ser2net() {
    Kill();
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

std::string Ser2net::Url() const {
    return "rfc2217://127.0.0.1:" + std::to_string(m_port);
}

void Ser2net::Start() {
    const std::string config = (m_dir / "ser2net.yaml").string();
    m_pid = ::fork();
    if (m_pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        // Debian installs it in /usr/sbin, which an ordinary user's PATH may lack.
        ::execl("/usr/sbin/ser2net", "ser2net", "-n", "-d", "-c", config.c_str(), nullptr);
        ::execlp("ser2net", "ser2net", "-n", "-d", "-c", config.c_str(), nullptr);
        ::_exit(127);
    }
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Listening(m_port)) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("ser2net ended at once; is it installed?");
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("ser2net does not listen");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void Ser2net::Kill() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}
