#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// The writes of one process as its kernel saw them: the `write` and `writev` system calls,
// stamped on the monotonic clock by the kernel's own tracer (root, and tracefs mounted, as in
// the test machine). It sees what a program hands its device, without the delays of whatever
// reads the far end.
class WriteTrace {
public:
    // Starts tracing the threads `pid` has now; clears what an earlier trace left.
    explicit WriteTrace(pid_t pid);
    ~WriteTrace();
    WriteTrace(const WriteTrace&) = delete;
    WriteTrace& operator=(const WriteTrace&) = delete;

    [[nodiscard]] bool IsOn() const { return m_on; }

    struct Write {
        std::chrono::microseconds at{}; // when the call began
        long result = 0;                // bytes written, or the negated errno
    };
    // The calls on descriptor `fd` so far, in order.
    [[nodiscard]] std::vector<Write> WritesTo(int fd) const;

private:
    bool m_on = false;
};
