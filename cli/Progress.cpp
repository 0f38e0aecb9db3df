#include "Progress.h"

#include <ComPort.h>

#include <unistd.h>

#include <algorithm>

using namespace std::chrono_literals;

namespace {

constexpr auto kShowAfter = 500ms;
constexpr auto kRedrawEvery = 100ms;
// Back to the line's start and wipe it to its end.
constexpr const char* kWipe = "\r\033[K";

} // namespace

CProgress::CProgress(int fd, std::size_t total)
    : m_fd(fd)
    , m_enabled(::isatty(fd) == 1)
    , m_total(total) {}

void CProgress::Update(std::size_t sent, Clock::time_point now) {
    if (!m_enabled)
        return;
    if (!m_started) {
        m_started = true;
        m_start = now;
        m_startSent = sent;
        return;
    }
    if (now - m_start < kShowAfter || (m_shown && now - m_lastDraw < kRedrawEvery))
        return;
    // Each byte takes the pause at least; a slower line or a busy machine shows in the rate.
    const auto perByte = std::max<Clock::duration>(
        CComPort::kBytePause, (now - m_start) / std::max<std::size_t>(sent - m_startSent, 1));
    const auto left =
        std::chrono::ceil<std::chrono::seconds>(perByte * (m_total - std::min(sent, m_total)));
    Write(kWipe + ProgressLine(sent, m_total, left));
    m_shown = true;
    m_lastDraw = now;
}

void CProgress::Clear() {
    if (m_shown)
        Write(kWipe);
    m_shown = false;
}

void CProgress::Write(const std::string& text) const {
    // A terminal that cannot keep up loses a redraw, never the run.
    [[maybe_unused]] const ssize_t n = ::write(m_fd, text.data(), text.size());
}

std::string ProgressLine(std::size_t sent, std::size_t total, std::chrono::seconds left) {
    const long long seconds = left.count();
    const std::string secondsText = std::to_string(seconds % 60);
    return "kelmora-send: " + std::to_string(sent) + " von " + std::to_string(total) +
           " Zeichen gesendet, noch " + std::to_string(seconds / 60) + ":" +
           (secondsText.size() < 2 ? "0" : "") + secondsText;
}
