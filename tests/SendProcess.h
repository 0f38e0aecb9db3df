#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The built kelmora-send run as a child process, the way a script runs it: its standard input
// comes from a given text, its standard output and error are kept, and its standard error can
// be a terminal instead.
class SendProcess {
public:
    struct Result {
        int status = -1;  // exit status; -1 when a signal ended the process
        int killedBy = 0; // the signal that ended it
        std::string out;
        std::string err;
    };

    // stderrFd: where standard error goes; -1 keeps it in Result::err.
    explicit SendProcess(const std::vector<std::string>& args, const std::string& input = {},
                         int stderrFd = -1);
    ~SendProcess();
    SendProcess(const SendProcess&) = delete;
    SendProcess& operator=(const SendProcess&) = delete;

    void Signal(int signo) const;
    Result Wait();

    // Runs to the end.
    static Result Run(const std::vector<std::string>& args, const std::string& input = {}) {
        return SendProcess(args, input).Wait();
    }

private:
    struct FileCloser {
        // Written files are flushed and checked before; closing can lose nothing.
        void operator()(std::FILE* file) const { std::fclose(file); } // NOLINT(cert-err33-c)
    };
    using File = std::unique_ptr<std::FILE, FileCloser>;

    pid_t m_pid = -1;
    File m_out{std::tmpfile()};
    File m_err{std::tmpfile()};
};
