#include "SendProcess.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

std::string ReadBack(std::FILE* file) {
    std::string text;
    if (std::fseek(file, 0, SEEK_SET) != 0)
        throw std::runtime_error("tmpfile rewind failed");
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, file))
        text.append(buffer, n);
    return text;
}

} // namespace

SendProcess::SendProcess(const std::vector<std::string>& args, const std::string& input,
                         int stderrFd) {
    const File in{std::tmpfile()};
    if (!in || !m_out || !m_err)
        throw std::runtime_error("tmpfile failed");
    if (std::fwrite(input.data(), 1, input.size(), in.get()) != input.size() ||
        std::fflush(in.get()) != 0)
        throw std::runtime_error("tmpfile write failed");
    if (std::fseek(in.get(), 0, SEEK_SET) != 0)
        throw std::runtime_error("tmpfile rewind failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(in.get()), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(m_out.get()), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, stderrFd >= 0 ? stderrFd : fileno(m_err.get()),
                                     STDERR_FILENO);
    // Nothing else of the test, above all not the far end of its pseudo-terminals: the run must
    // not keep a line up that the test hangs up.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::vector<char*> argv{const_cast<char*>(KELMORA_SEND)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    // The stop signals act as from a terminal, whatever this test inherited (nohup, a job).
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t byDefault;
    sigemptyset(&byDefault);
    for (const int signo : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&byDefault, signo);
    posix_spawnattr_setsigdefault(&attributes, &byDefault);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const int error =
        posix_spawn(&m_pid, KELMORA_SEND, &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        throw std::runtime_error("cannot start " KELMORA_SEND);
}

SendProcess::~SendProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

void SendProcess::Signal(int signo) const {
    ::kill(m_pid, signo);
}

SendProcess::Result SendProcess::Wait() {
    int wstatus = 0;
    while (::waitpid(m_pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    Result result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.killedBy = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
    result.out = ReadBack(m_out.get());
    result.err = ReadBack(m_err.get());
    return result;
}
