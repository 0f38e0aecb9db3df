#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// The progress line of a long send on standard error: characters sent, the total and the time
// left, redrawn in place with a carriage return and wiped at the end. It only draws on a
// terminal, and only once a send has lasted half a second, so that short sends and scripts
// whose standard error goes to a file or a pipe see nothing of it.
class CProgress {
public:
    using Clock = std::chrono::steady_clock;

    CProgress(int fd, std::size_t total);
    ~CProgress() { Clear(); }
    CProgress(const CProgress&) = delete;
    CProgress& operator=(const CProgress&) = delete;

    // After each byte: `sent` bytes of the whole run have gone to the line.
    void Update(std::size_t sent, Clock::time_point now);
    // Wipes the line if it is shown, e.g. before an error message; a later Update draws again.
    void Clear();

private:
    void Write(const std::string& text) const;

    int m_fd;
    bool m_enabled;
    std::size_t m_total;
    bool m_started = false;
    bool m_shown = false;
    std::size_t m_startSent = 0;
    Clock::time_point m_start{};
    Clock::time_point m_lastDraw{};
};

// "kelmora-send: 120 von 5000 Zeichen gesendet, noch 0:15"
[[nodiscard]] std::string ProgressLine(std::size_t sent, std::size_t total,
                                       std::chrono::seconds left);
